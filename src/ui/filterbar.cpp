#include "ui/filterbar.h"

#include "core/appraise/appraisal.h"
#include "core/table/domaintablemodel.h"
#include "ui/controls.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

using Controls::button;
using Controls::caption;
using Controls::named;

namespace {

// The longest label a registry takes.
constexpr int MaxLabelLength = 63;
// Whois dates before 1985 are not taken: no domain is older.
constexpr int MaxAgeYears = 100;
// An age spin box at this value sets no bound: 0 is an age ("under a year").
constexpr int NoAgeBound = -1;

// In the order the combo boxes offer them.
const NameKind Kinds[] = { NameKind::Any, NameKind::DigitsOnly, NameKind::LettersOnly, NameKind::DigitsAndLetters,
    NameKind::WithHyphen, NameKind::Chinese };
const FilingFilter FilingFilters[] = { FilingFilter::Any, FilingFilter::Filed, FilingFilter::NotFiled,
    FilingFilter::Failed, FilingFilter::NotLookedUp };

// "a, b，c d" as its parts: commas (either width) and blanks both separate.
QStringList listIn(const QString &text)
{
    static const QRegularExpression separators(QStringLiteral("[\\s,，、]+"));
    return text.split(separators, Qt::SkipEmptyParts);
}

QRegularExpression patternIn(const QLineEdit *edit)
{
    return QRegularExpression(edit->text(), QRegularExpression::CaseInsensitiveOption);
}

QLineEdit *filterEdit(QWidget *parent, const char *objectName, const QString &accessibleName, const QString &hint)
{
    auto *edit = named(new QLineEdit(parent), objectName, accessibleName);
    edit->setPlaceholderText(hint);
    edit->setClearButtonEnabled(true);
    return edit;
}

QSpinBox *lengthSpin(QWidget *parent, const char *objectName, const QString &accessibleName)
{
    auto *spin = named(new QSpinBox(parent), objectName, accessibleName);
    spin->setRange(0, MaxLabelLength);
    spin->setSpecialValueText(QStringLiteral("不限"));
    return spin;
}

QSpinBox *ageSpin(QWidget *parent, const char *objectName, const QString &accessibleName)
{
    auto *spin = named(new QSpinBox(parent), objectName, accessibleName);
    spin->setRange(NoAgeBound, MaxAgeYears);
    spin->setValue(NoAgeBound);
    spin->setSpecialValueText(QStringLiteral("不限"));
    spin->setSuffix(QStringLiteral("年"));
    return spin;
}

std::optional<int> ageBound(const QSpinBox *spin)
{
    return spin->value() == NoAgeBound ? std::nullopt : std::optional<int>(spin->value());
}

} // namespace

FilterBar::FilterBar(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("filterBar"));
    auto *frame = named(new QGroupBox(QStringLiteral("筛选"), this), "filterFrame", QStringLiteral("筛选"));
    // Made in the order the Tab key visits them.
    suffixEdit = filterEdit(frame, "suffixEdit", QStringLiteral("后缀"), QStringLiteral(".com .cn"));
    minLengthSpin = lengthSpin(frame, "minLengthSpin", QStringLiteral("最短长度"));
    maxLengthSpin = lengthSpin(frame, "maxLengthSpin", QStringLiteral("最长长度"));
    kindCombo = named(new QComboBox(frame), "kindCombo", QStringLiteral("类型"));
    kindCombo->addItem(QStringLiteral("全部"));
    for (const NameKind kind : Kinds) {
        if (kind != NameKind::Any)
            kindCombo->addItem(DomainTableModel::kindCaption(kind));
    }
    tagButton = named(new QToolButton(frame), "tagButton", QStringLiteral("品相"));
    tagButton->setPopupMode(QToolButton::InstantPopup);
    auto *tagMenu = new QMenu(tagButton);
    for (const QString &tag : vocabulary()) {
        QAction *action = tagMenu->addAction(tag);
        action->setCheckable(true);
        connect(action, &QAction::toggled, this, [this] {
            showTagsChosen();
            tellFilter();
        });
    }
    tagButton->setMenu(tagMenu);
    tagButton->setToolTip(QStringLiteral("只显示有所选全部品相的域名"));
    labelPatternEdit = filterEdit(frame, "labelPatternEdit", QStringLiteral("模式"), QStringLiteral("CVCV NN88"));
    labelPatternEdit->setToolTip(QStringLiteral("C 辅音  V 元音  L 字母  N 数字  ? 任一字符，小写字母、数字和 - 代表自己"));
    showTagsChosen();
    filingCombo = named(new QComboBox(frame), "filingCombo", QStringLiteral("是否备案"));
    filingCombo->addItems({ QStringLiteral("全部"), QStringLiteral("已备案"), QStringLiteral("未备案"),
        QStringLiteral("查询失败"), QStringLiteral("未查询") });
    minAgeSpin = ageSpin(frame, "minAgeSpin", QStringLiteral("最小年龄"));
    maxAgeSpin = ageSpin(frame, "maxAgeSpin", QStringLiteral("最大年龄"));
    elsewhereCombo = named(new QComboBox(frame), "elsewhereCombo", QStringLiteral("其他后缀已注册"));
    // 无: under none of the other suffixes in DNS, none unknown.
    elsewhereCombo->addItems({ QStringLiteral("全部"), QStringLiteral("有"), QStringLiteral("无") });
    restoredLabel
        = named(new QLabel(QStringLiteral("筛选已恢复"), frame), "restoredFilterLabel", QStringLiteral("筛选已恢复"));
    restoredLabel->setStyleSheet(QStringLiteral("QLabel { color: #c00000; }"));
    clearRestoredButton = button(frame, "clearRestoredFilterButton", QStringLiteral("清除"));
    clearRestoredButton->setAccessibleName(QStringLiteral("清除已恢复的筛选"));
    clearFilterButton = button(frame, "clearFilterButton", QStringLiteral("清除筛选"));
    containsEdit = filterEdit(frame, "containsEdit", QStringLiteral("包含"), QString());
    startsEdit = filterEdit(frame, "startsEdit", QStringLiteral("开头"), QString());
    endsEdit = filterEdit(frame, "endsEdit", QStringLiteral("结尾"), QString());
    excludesEdit = filterEdit(frame, "excludesEdit", QStringLiteral("排除"), QStringLiteral("多个用空格分开"));
    patternEdit = filterEdit(frame, "patternEdit", QStringLiteral("正则表达式"), QString());
    countLabel = named(new QLabel(frame), "countLabel", QStringLiteral("显示的域名数"));
    countLabel->setTextFormat(Qt::PlainText);
    countLabel->setMinimumWidth(countLabel->fontMetrics().horizontalAdvance(QStringLiteral("显示 100,000 / 100,000")));

    // Two rows: what a name is (suffix, length, kind, filing), then what it holds. Text boxes take the
    // room left.
    auto *rows = new QVBoxLayout(frame);
    const auto addRow = [rows, frame](const QList<std::pair<QString, QWidget *>> &fields, const QList<QWidget *> &end) {
        auto *row = new QHBoxLayout;
        for (const auto &[text, widget] : fields) {
            row->addWidget(caption(frame, text, widget));
            row->addWidget(widget, qobject_cast<QLineEdit *>(widget) ? 1 : 0);
        }
        for (QWidget *widget : end)
            row->addWidget(widget);
        rows->addLayout(row);
    };
    addRow({ { QStringLiteral("后缀"), suffixEdit }, { QStringLiteral("长度"), minLengthSpin },
               { QStringLiteral("至"), maxLengthSpin }, { QStringLiteral("类型"), kindCombo },
               { QStringLiteral("品相"), tagButton }, { QStringLiteral("模式"), labelPatternEdit },
               { QStringLiteral("备案"), filingCombo }, { QStringLiteral("年龄"), minAgeSpin },
               { QStringLiteral("至"), maxAgeSpin } },
        { restoredLabel, clearRestoredButton, clearFilterButton });
    addRow({ { QStringLiteral("包含"), containsEdit }, { QStringLiteral("开头"), startsEdit },
               { QStringLiteral("结尾"), endsEdit }, { QStringLiteral("排除"), excludesEdit },
               { QStringLiteral("正则"), patternEdit }, { QStringLiteral("其他后缀已注册"), elsewhereCombo } },
        { countLabel });
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(frame);

    for (const auto &[edit, key] : textFields())
        connect(edit, &QLineEdit::textChanged, this, &FilterBar::tellFilter);
    for (QSpinBox *spin : { minLengthSpin, maxLengthSpin, minAgeSpin, maxAgeSpin })
        connect(spin, &QSpinBox::valueChanged, this, &FilterBar::tellFilter);
    for (QComboBox *combo : { kindCombo, filingCombo, elsewhereCombo })
        connect(combo, &QComboBox::currentIndexChanged, this, &FilterBar::tellFilter);
    for (QPushButton *clearButton : { clearRestoredButton, clearFilterButton })
        connect(clearButton, &QPushButton::clicked, this, &FilterBar::clear);
    // Whatever the user changes, the filter is the user's own again.
    connect(this, &FilterBar::filterChanged, this, [this] {
        restoredLabel->hide();
        clearRestoredButton->hide();
    });
    restoredLabel->hide();
    clearRestoredButton->hide();
}

std::vector<std::pair<QLineEdit *, QString>> FilterBar::textFields() const
{
    return { { suffixEdit, QStringLiteral("suffixes") }, { containsEdit, QStringLiteral("contains") },
        { startsEdit, QStringLiteral("startsWith") }, { endsEdit, QStringLiteral("endsWith") },
        { excludesEdit, QStringLiteral("excludes") }, { patternEdit, QStringLiteral("pattern") },
        { labelPatternEdit, QStringLiteral("labelPattern") } };
}

TableFilter FilterBar::filter() const
{
    TableFilter filter;
    filter.names.suffixes = listIn(suffixEdit->text());
    filter.names.minLength = minLengthSpin->value();
    filter.names.maxLength = maxLengthSpin->value();
    filter.names.kind = Kinds[std::max(0, kindCombo->currentIndex())];
    filter.names.contains = containsEdit->text().trimmed();
    filter.names.startsWith = startsEdit->text().trimmed();
    filter.names.endsWith = endsEdit->text().trimmed();
    filter.names.excludes = listIn(excludesEdit->text());
    // A pattern still being typed is not applied until it is whole.
    const QRegularExpression pattern = patternIn(patternEdit);
    if (pattern.isValid())
        filter.names.pattern = pattern;
    filter.names.requiredTags = checkedTags();
    if (!badLabelPatternCharacter(labelPatternEdit->text()))
        filter.names.labelPattern = labelPatternEdit->text();
    filter.filing = FilingFilters[std::max(0, filingCombo->currentIndex())];
    filter.age = { ageBound(minAgeSpin), ageBound(maxAgeSpin) };
    const ElsewhereFilter elsewhereFilters[] = { ElsewhereFilter::Any, ElsewhereFilter::SomeTaken,
        ElsewhereFilter::NoneTaken };
    filter.elsewhere = elsewhereFilters[std::clamp(elsewhereCombo->currentIndex(), 0, 2)];
    return filter;
}

void FilterBar::tellFilter()
{
    const QRegularExpression pattern = patternIn(patternEdit);
    patternEdit->setToolTip(pattern.isValid() ? QString() : QStringLiteral("正则表达式有误：") + pattern.errorString());
    patternEdit->setStyleSheet(pattern.isValid() ? QString() : QStringLiteral("QLineEdit { color: #c00000; }"));
    const bool labelPatternValid = !badLabelPatternCharacter(labelPatternEdit->text());
    labelPatternEdit->setStyleSheet(labelPatternValid ? QString() : QStringLiteral("QLineEdit { color: #c00000; }"));
    emit filterChanged(filter());
}

bool FilterBar::isCleared() const
{
    const auto fields = textFields();
    return std::all_of(fields.cbegin(), fields.cend(), [](const auto &field) { return field.first->text().isEmpty(); })
        && minLengthSpin->value() == 0 && maxLengthSpin->value() == 0 && kindCombo->currentIndex() == 0
        && filingCombo->currentIndex() == 0 && checkedTags().isEmpty() && minAgeSpin->value() == NoAgeBound
        && maxAgeSpin->value() == NoAgeBound && elsewhereCombo->currentIndex() == 0;
}

QStringList FilterBar::checkedTags() const
{
    QStringList tags;
    for (const QAction *action : tagButton->menu()->actions()) {
        if (action->isChecked())
            tags << action->text();
    }
    return tags;
}

void FilterBar::checkTags(const QStringList &tags)
{
    for (QAction *action : tagButton->menu()->actions()) {
        const QSignalBlocker blocker(action);
        action->setChecked(tags.contains(action->text()));
    }
    showTagsChosen();
}

void FilterBar::showTagsChosen()
{
    const QStringList tags = checkedTags();
    tagButton->setText(tags.isEmpty() ? QStringLiteral("全部") : tags.join(u' '));
}

void FilterBar::clear()
{
    {
        const QSignalBlocker blocker(this);
        for (const auto &[edit, key] : textFields())
            edit->clear();
        minLengthSpin->setValue(0);
        maxLengthSpin->setValue(0);
        kindCombo->setCurrentIndex(0);
        filingCombo->setCurrentIndex(0);
        checkTags({});
        minAgeSpin->setValue(NoAgeBound);
        maxAgeSpin->setValue(NoAgeBound);
        elsewhereCombo->setCurrentIndex(0);
    }
    tellFilter();
}

void FilterBar::focusFilter()
{
    containsEdit->setFocus(Qt::ShortcutFocusReason);
    containsEdit->selectAll();
}

void FilterBar::showCounts(int shown, int all)
{
    countLabel->setText(QStringLiteral("显示 %L1 / %L2").arg(shown).arg(all));
}

void FilterBar::restoreSettings(const QSettings &settings)
{
    {
        const QSignalBlocker blocker(this);
        for (const auto &[edit, key] : textFields())
            edit->setText(settings.value(key).toString());
        minLengthSpin->setValue(settings.value(QStringLiteral("minLength")).toInt());
        maxLengthSpin->setValue(settings.value(QStringLiteral("maxLength")).toInt());
        minAgeSpin->setValue(settings.value(QStringLiteral("minAge"), NoAgeBound).toInt());
        maxAgeSpin->setValue(settings.value(QStringLiteral("maxAge"), NoAgeBound).toInt());
        const auto restoreIndex = [&settings](QComboBox *combo, const QString &key) {
            combo->setCurrentIndex(std::clamp(settings.value(key).toInt(), 0, combo->count() - 1));
        };
        restoreIndex(kindCombo, QStringLiteral("kind"));
        restoreIndex(filingCombo, QStringLiteral("filing"));
        checkTags(settings.value(QStringLiteral("tags")).toStringList());
        restoreIndex(elsewhereCombo, QStringLiteral("elsewhere"));
    }
    tellFilter();
    const bool restored = !isCleared();
    restoredLabel->setVisible(restored);
    clearRestoredButton->setVisible(restored);
}

void FilterBar::saveSettings(QSettings &settings) const
{
    for (const auto &[edit, key] : textFields())
        settings.setValue(key, edit->text());
    settings.setValue(QStringLiteral("minLength"), minLengthSpin->value());
    settings.setValue(QStringLiteral("maxLength"), maxLengthSpin->value());
    settings.setValue(QStringLiteral("minAge"), minAgeSpin->value());
    settings.setValue(QStringLiteral("maxAge"), maxAgeSpin->value());
    settings.setValue(QStringLiteral("kind"), kindCombo->currentIndex());
    settings.setValue(QStringLiteral("filing"), filingCombo->currentIndex());
    settings.setValue(QStringLiteral("tags"), checkedTags());
    settings.setValue(QStringLiteral("elsewhere"), elsewhereCombo->currentIndex());
}
