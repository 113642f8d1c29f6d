#include "ui/domaintablewindow.h"

#include "core/export/csv.h"
#include "core/export/listexport.h"
#include "core/store/historystore.h"
#include "core/table/domaintablemodel.h"
#include "core/table/domaintableproxy.h"
#include "core/text/urls.h"
#include "ui/dialogs.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTableView>
#include <QVBoxLayout>

#include <iterator>

namespace {

constexpr char WindowName[] = "domainTableWindow";
constexpr char SettingsGroup[] = "domainTable";
// A name list is a few megabytes at most; a larger file is not one.
constexpr qint64 MaxFileBytes = 64 * 1024 * 1024;
// The longest label a registry takes.
constexpr int MaxLabelLength = 63;

const int DefaultColumnWidths[] = { 150, 55, 40, 65, 160, 110, 115, 80, 125, 125, 75, 75, 75, 50, 110, 115 };
static_assert(std::size(DefaultColumnWidths) == DomainTableModel::ColumnCount);

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

const QString Organisation = QStringLiteral("Vexlon");
const QString Application = QStringLiteral("vexlon-collector");

template <typename T> T *named(T *widget, const char *objectName, const QString &accessibleName)
{
    widget->setObjectName(QLatin1String(objectName));
    widget->setAccessibleName(accessibleName);
    return widget;
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

QPushButton *button(QWidget *parent, const char *objectName, const QString &caption)
{
    auto *pushButton = named(new QPushButton(caption, parent), objectName, caption);
    pushButton->setAutoDefault(false);
    return pushButton;
}

QLabel *caption(QWidget *parent, const QString &text, QWidget *buddy)
{
    auto *label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace

DomainTableWindow::DomainTableWindow(const AppConfig &config, HistoryStore *history, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_config(config)
    , m_history(history)
    , m_fetcher(new PageFetcher(this))
    , m_model(new DomainTableModel(this))
    , m_proxy(new DomainTableProxy(m_model, this))
{
    setObjectName(QLatin1String(WindowName));
    setWindowTitle(QStringLiteral("域名工作台"));
    setAccessibleName(windowTitle());
    createControls();
    createActions();
    connect(m_proxy, &DomainTableProxy::countsChanged, this, &DomainTableWindow::showCounts);
    // Without a history there are no days to read.
    dateEdit->setEnabled(m_history);
    loadDayButton->setEnabled(m_history);
    restoreSettings();
    showCounts(0, 0);
    updateButtons();
    // The keyboard starts in the table: arrows, Ctrl+A, Ctrl+L at once.
    table->setFocus();
}

DomainTableWindow::~DomainTableWindow()
{
    saveSettings();
    if (m_batch)
        m_batch->disconnect(this);
}

void DomainTableWindow::createControls()
{
    sourceLabel = named(new QLabel(this), "sourceLabel", QStringLiteral("来源"));
    dateEdit = named(new QDateEdit(QDate::currentDate(), this), "dateEdit", QStringLiteral("采集日期"));
    dateEdit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    dateEdit->setCalendarPopup(true);
    loadDayButton = button(this, "loadDayButton", QStringLiteral("读取当日采集"));
    openFileButton = button(this, "openFileButton", QStringLiteral("打开文件…"));

    auto *filterFrame = named(new QGroupBox(QStringLiteral("筛选"), this), "filterFrame", QStringLiteral("筛选"));
    suffixEdit = filterEdit(filterFrame, "suffixEdit", QStringLiteral("后缀"), QStringLiteral(".com .cn"));
    minLengthSpin = lengthSpin(filterFrame, "minLengthSpin", QStringLiteral("最短长度"));
    maxLengthSpin = lengthSpin(filterFrame, "maxLengthSpin", QStringLiteral("最长长度"));
    kindCombo = named(new QComboBox(filterFrame), "kindCombo", QStringLiteral("类型"));
    kindCombo->addItem(QStringLiteral("全部"));
    for (const NameKind kind : Kinds) {
        if (kind != NameKind::Any)
            kindCombo->addItem(DomainTableModel::kindCaption(kind));
    }
    filingCombo = named(new QComboBox(filterFrame), "filingCombo", QStringLiteral("是否备案"));
    filingCombo->addItems({ QStringLiteral("全部"), QStringLiteral("已备案"), QStringLiteral("未备案"),
        QStringLiteral("查询失败"), QStringLiteral("未查询") });
    containsEdit = filterEdit(filterFrame, "containsEdit", QStringLiteral("包含"), QString());
    startsEdit = filterEdit(filterFrame, "startsEdit", QStringLiteral("开头"), QString());
    endsEdit = filterEdit(filterFrame, "endsEdit", QStringLiteral("结尾"), QString());
    excludesEdit = filterEdit(filterFrame, "excludesEdit", QStringLiteral("排除"), QStringLiteral("多个用空格分开"));
    patternEdit = filterEdit(filterFrame, "patternEdit", QStringLiteral("正则表达式"), QString());
    clearFilterButton = button(filterFrame, "clearFilterButton", QStringLiteral("清除筛选"));
    countLabel = named(new QLabel(filterFrame), "countLabel", QStringLiteral("显示的域名数"));
    countLabel->setMinimumWidth(countLabel->fontMetrics().horizontalAdvance(QStringLiteral("显示 100,000 / 100,000")));

    table = named(new QTableView(this), "domainTable", QStringLiteral("域名表格"));
    table->setModel(m_proxy);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setWordWrap(false);
    table->setTabKeyNavigation(false);
    table->verticalHeader()->hide();
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    QHeaderView *header = table->horizontalHeader();
    for (int column = 0; column < DomainTableModel::ColumnCount; ++column)
        header->resizeSection(column, DefaultColumnWidths[column]);
    header->setStretchLastSection(true);
    header->setSortIndicatorClearable(true);
    // Unsorted until the user sorts: the list's own order first.
    header->setSortIndicator(-1, Qt::AscendingOrder);
    table->setSortingEnabled(true);

    lookupButton = button(this, "lookupButton", QStringLiteral("批量查询"));
    pauseButton = button(this, "pauseButton", QStringLiteral("暂停"));
    cancelButton = button(this, "cancelButton", QStringLiteral("取消"));
    progressBar = named(new QProgressBar(this), "progressBar", QStringLiteral("查询进度"));
    progressBar->setRange(0, 1);
    progressBar->setValue(0);
    progressBar->setFormat(QStringLiteral("%v / %m"));
    progressBar->setTextVisible(false);
    progressLabel = named(new QLabel(this), "progressLabel", QStringLiteral("查询情况"));
    copyButton = button(this, "copyButton", QStringLiteral("复制域名"));
    bookButton = button(this, "bookButton", QStringLiteral("预定域名"));
    exportCsvButton = button(this, "exportCsvButton", QStringLiteral("导出CSV"));
    exportTxtButton = button(this, "exportTxtButton", QStringLiteral("导出TXT"));
    statusLine = named(new QLabel(this), "statusLine", QStringLiteral("运行状态"));
    for (QLabel *label : { sourceLabel, countLabel, progressLabel, statusLine })
        label->setTextFormat(Qt::PlainText);

    auto *sourceRow = new QHBoxLayout;
    sourceRow->addWidget(sourceLabel, 1);
    sourceRow->addWidget(caption(this, QStringLiteral("采集日期"), dateEdit));
    sourceRow->addWidget(dateEdit);
    sourceRow->addWidget(loadDayButton);
    sourceRow->addWidget(openFileButton);

    // Two rows: what a name is (suffix, length, kind, filing), then what it holds. Text boxes take the
    // room left.
    auto *filters = new QVBoxLayout(filterFrame);
    const auto filterRow = [filters, filterFrame](const QList<std::pair<QString, QWidget *>> &fields, QWidget *last) {
        auto *row = new QHBoxLayout;
        for (const auto &[text, widget] : fields) {
            row->addWidget(caption(filterFrame, text, widget));
            row->addWidget(widget, qobject_cast<QLineEdit *>(widget) ? 1 : 0);
        }
        row->addWidget(last);
        filters->addLayout(row);
    };
    filterRow({ { QStringLiteral("后缀"), suffixEdit }, { QStringLiteral("长度"), minLengthSpin },
                  { QStringLiteral("至"), maxLengthSpin }, { QStringLiteral("类型"), kindCombo },
                  { QStringLiteral("备案"), filingCombo } },
        clearFilterButton);
    filterRow({ { QStringLiteral("包含"), containsEdit }, { QStringLiteral("开头"), startsEdit },
                  { QStringLiteral("结尾"), endsEdit }, { QStringLiteral("排除"), excludesEdit },
                  { QStringLiteral("正则"), patternEdit } },
        countLabel);

    auto *lookupRow = new QHBoxLayout;
    for (QWidget *widget : { static_cast<QWidget *>(lookupButton), static_cast<QWidget *>(pauseButton),
             static_cast<QWidget *>(cancelButton) })
        lookupRow->addWidget(widget);
    lookupRow->addWidget(progressBar, 1);
    lookupRow->addWidget(progressLabel, 1);
    for (QPushButton *pushButton : { copyButton, bookButton, exportCsvButton, exportTxtButton })
        lookupRow->addWidget(pushButton);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(sourceRow);
    layout->addWidget(filterFrame);
    layout->addWidget(table, 1);
    layout->addLayout(lookupRow);
    layout->addWidget(statusLine);

    QWidget *order[] = { dateEdit, loadDayButton, openFileButton, suffixEdit, minLengthSpin, maxLengthSpin, kindCombo,
        filingCombo, clearFilterButton, containsEdit, startsEdit, endsEdit, excludesEdit, patternEdit, table,
        lookupButton, pauseButton, cancelButton, copyButton, bookButton, exportCsvButton, exportTxtButton };
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);

    for (QLineEdit *edit : { suffixEdit, containsEdit, startsEdit, endsEdit, excludesEdit, patternEdit })
        connect(edit, &QLineEdit::textChanged, this, &DomainTableWindow::applyFilter);
    for (QSpinBox *spin : { minLengthSpin, maxLengthSpin })
        connect(spin, &QSpinBox::valueChanged, this, &DomainTableWindow::applyFilter);
    for (QComboBox *combo : { kindCombo, filingCombo })
        connect(combo, &QComboBox::currentIndexChanged, this, &DomainTableWindow::applyFilter);
    connect(clearFilterButton, &QPushButton::clicked, this, &DomainTableWindow::clearFilter);
    connect(loadDayButton, &QPushButton::clicked, this, [this] { showDay(dateEdit->date()); });
    connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this, &DomainTableWindow::updateButtons);
}

// A command of the window: its shortcut works wherever the focus is in the window, and its button,
// if it has one, runs it and is enabled with it.
QAction *DomainTableWindow::addShortcut(const char *objectName, const QString &text, const QKeySequence &keys,
    QPushButton *button, const std::function<void()> &run)
{
    auto *action = new QAction(text, this);
    action->setObjectName(QLatin1String(objectName));
    action->setShortcut(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    addAction(action);
    connect(action, &QAction::triggered, this, run);
    if (button) {
        const QString shortcut = keys.toString(QKeySequence::NativeText);
        button->setToolTip(QStringLiteral("%1 (%2)").arg(text, shortcut));
        button->setAccessibleDescription(QStringLiteral("快捷键 %1").arg(shortcut));
        connect(button, &QPushButton::clicked, action, &QAction::trigger);
        connect(action, &QAction::changed, button, [action, button] { button->setEnabled(action->isEnabled()); });
    }
    return action;
}

void DomainTableWindow::createActions()
{
    addShortcut("filterAction", QStringLiteral("筛选"), QKeySequence::Find, nullptr, [this] { focusFilter(); });
    addShortcut(
        "openFileAction", QStringLiteral("打开文件"), QKeySequence::Open, openFileButton, [this] { chooseFile(); });
    lookupAction = addShortcut("lookupAction", QStringLiteral("批量查询"), QKeySequence(Qt::CTRL | Qt::Key_L),
        lookupButton, [this] { lookUp(); });
    pauseAction = addShortcut("pauseAction", QStringLiteral("暂停/继续"), QKeySequence(Qt::CTRL | Qt::Key_P),
        pauseButton, [this] { pauseOrResume(); });
    cancelAction = addShortcut("cancelAction", QStringLiteral("取消查询"), QKeySequence(Qt::Key_Escape), cancelButton,
        [this] { cancelLookUp(); });
    copyAction = addShortcut(
        "copyAction", QStringLiteral("复制域名"), QKeySequence::Copy, copyButton, [this] { copySelected(); });
    bookAction = addShortcut("bookAction", QStringLiteral("预定域名"), QKeySequence(Qt::CTRL | Qt::Key_D), bookButton,
        [this] { openBookingPage(); });
    exportCsvAction = addShortcut("exportCsvAction", QStringLiteral("导出CSV"), QKeySequence(Qt::CTRL | Qt::Key_E),
        exportCsvButton, [this] { exportShown(true); });
    exportTxtAction = addShortcut("exportTxtAction", QStringLiteral("导出TXT"),
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E), exportTxtButton, [this] { exportShown(false); });
    // The right button on the table offers what acts on its rows.
    table->setContextMenuPolicy(Qt::ActionsContextMenu);
    table->addActions({ copyAction, lookupAction, bookAction });
}

void DomainTableWindow::showNames(const QStringList &names)
{
    showList(names, QStringLiteral("主窗口列表"), QDate::currentDate().startOfDay());
}

void DomainTableWindow::showDay(const QDate &day)
{
    dateEdit->setDate(day);
    const QString caption = day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" 的采集");
    QStringList names;
    if (m_history) {
        const QDateTime from = day.startOfDay();
        const QDateTime to = day.addDays(1).startOfDay().addMSecs(-1);
        for (const HistoryStore::RunSummary &run : m_history->runsBetween(from, to))
            names += m_history->namesOfRun(run.id);
    }
    showList(names, caption, day.startOfDay());
    if (!m_history)
        showStatus(QStringLiteral("没有历史记录可读"));
    else if (names.isEmpty())
        showStatus(QStringLiteral("这一天没有采集记录"));
}

bool DomainTableWindow::showFile(const QString &path)
{
    QFile file(path);
    const QFileInfo info(path);
    QString reason;
    if (!info.exists())
        reason = QStringLiteral("文件不存在");
    else if (info.isDir())
        reason = QStringLiteral("这是一个文件夹");
    else if (!file.open(QIODevice::ReadOnly))
        reason = file.error() == QFileDevice::PermissionsError ? QStringLiteral("没有读取权限")
                                                               : QStringLiteral("无法读取文件");
    else if (file.size() > MaxFileBytes)
        reason = QStringLiteral("文件过大，不是域名列表");
    if (!reason.isEmpty()) {
        Dialogs::showMessage(this, QMessageBox::Warning,
            QStringLiteral("文件读取失败!\n原因：") + reason + QStringLiteral("\n文件：")
                + QDir::toNativeSeparators(path));
        return false;
    }
    // Names in a file may come from any day: the history's last week tells when they were first seen.
    showList(namesFromText(file.readAll()), QStringLiteral("文件 ") + info.fileName(),
        QDate::currentDate().addDays(-7).startOfDay());
    return true;
}

void DomainTableWindow::showList(const QStringList &names, const QString &source, const QDateTime &seenSince)
{
    if (m_batch)
        m_batch->cancel();
    QHash<QString, QDateTime> firstSeen;
    if (m_history && !names.isEmpty()) {
        // Only the names seen since then are read: the whole history may hold millions.
        const QSet<QString> wanted(names.cbegin(), names.cend());
        for (const HistoryStore::SeenName &seen : m_history->namesSeenSince(seenSince, false)) {
            if (wanted.contains(seen.domain))
                firstSeen.insert(seen.domain, seen.firstSeen);
        }
    }
    m_model->setDomains(names, firstSeen);
    sourceLabel->setText(QStringLiteral("来源：%1（%L2 个域名）").arg(source).arg(m_model->rowCount()));
    progressBar->setTextVisible(false);
    progressBar->setValue(0);
    progressLabel->clear();
    showStatus(QString());
    updateButtons();
}

void DomainTableWindow::applyFilter()
{
    if (m_restoring)
        return;
    DomainFilter filter;
    filter.suffixes = listIn(suffixEdit->text());
    filter.minLength = minLengthSpin->value();
    filter.maxLength = maxLengthSpin->value();
    filter.kind = Kinds[std::max(0, kindCombo->currentIndex())];
    filter.contains = containsEdit->text().trimmed();
    filter.startsWith = startsEdit->text().trimmed();
    filter.endsWith = endsEdit->text().trimmed();
    filter.excludes = listIn(excludesEdit->text());
    const QRegularExpression pattern(patternEdit->text(), QRegularExpression::CaseInsensitiveOption);
    // A pattern still being typed is not applied until it is whole.
    const bool patternValid = pattern.isValid();
    if (patternValid)
        filter.pattern = pattern;
    patternEdit->setToolTip(patternValid ? QString() : QStringLiteral("正则表达式有误：") + pattern.errorString());
    patternEdit->setStyleSheet(patternValid ? QString() : QStringLiteral("QLineEdit { color: #c00000; }"));
    m_proxy->setFilter(filter, FilingFilters[std::max(0, filingCombo->currentIndex())]);
}

void DomainTableWindow::clearFilter()
{
    m_restoring = true;
    for (QLineEdit *edit : { suffixEdit, containsEdit, startsEdit, endsEdit, excludesEdit, patternEdit })
        edit->clear();
    minLengthSpin->setValue(0);
    maxLengthSpin->setValue(0);
    kindCombo->setCurrentIndex(0);
    filingCombo->setCurrentIndex(0);
    m_restoring = false;
    applyFilter();
}

void DomainTableWindow::focusFilter()
{
    containsEdit->setFocus(Qt::ShortcutFocusReason);
    containsEdit->selectAll();
}

void DomainTableWindow::showCounts(int shown, int all)
{
    countLabel->setText(QStringLiteral("显示 %L1 / %L2").arg(shown).arg(all));
    updateButtons();
}

void DomainTableWindow::showStatus(const QString &text)
{
    statusLine->setText(text);
}

QStringList DomainTableWindow::selectedDomains() const
{
    QModelIndexList rows = table->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    QStringList domains;
    domains.reserve(rows.size());
    for (const QModelIndex &index : rows)
        domains.append(m_model->domainAt(m_proxy->mapToSource(index).row()));
    return domains;
}

void DomainTableWindow::lookUp()
{
    if (m_batch)
        return;
    const QStringList selected = selectedDomains();
    const QStringList domains = selected.isEmpty() ? m_proxy->shownDomains() : selected;
    if (domains.isEmpty()) {
        showStatus(QStringLiteral("没有可查询的域名"));
        return;
    }
    m_batch = new BatchLookup(*m_fetcher, m_config, m_history, m_batchOptions, this);
    m_paused = false;
    connect(
        m_batch, &BatchLookup::lookedUp, m_model, [this](const LookupRecord &record) { m_model->setLookup(record); });
    connect(m_batch, &BatchLookup::progress, this, [this](int done, int total, int failed) {
        progressBar->setRange(0, total);
        progressBar->setValue(done);
        progressLabel->setText(QStringLiteral("失败 %L1 个").arg(failed));
    });
    connect(m_batch, &BatchLookup::waiting, this, [this](const QString &host, qint64 milliseconds) {
        progressLabel->setText(QStringLiteral("%1 要求等待 %2 秒 ..").arg(host).arg((milliseconds + 999) / 1000));
    });
    connect(m_batch, &BatchLookup::finished, this, &DomainTableWindow::batchFinished);
    progressBar->setRange(0, int(domains.size()));
    progressBar->setValue(0);
    progressBar->setTextVisible(true);
    progressLabel->clear();
    showStatus(QStringLiteral("正在批量查询 %L1 个域名 ..").arg(domains.size()));
    m_batch->start(domains);
    updateButtons();
}

void DomainTableWindow::pauseOrResume()
{
    if (!m_batch)
        return;
    m_paused = !m_paused;
    if (m_paused)
        m_batch->pause();
    else
        m_batch->resume();
    pauseButton->setText(m_paused ? QStringLiteral("继续") : QStringLiteral("暂停"));
    pauseButton->setAccessibleName(pauseButton->text());
    showStatus(m_paused ? QStringLiteral("批量查询已暂停 ..") : QStringLiteral("正在批量查询 .."));
}

void DomainTableWindow::cancelLookUp()
{
    if (m_batch)
        m_batch->cancel();
}

void DomainTableWindow::batchFinished(int done, int failed, bool cancelled)
{
    if (m_batch)
        m_batch->deleteLater();
    m_batch = nullptr;
    m_paused = false;
    pauseButton->setText(QStringLiteral("暂停"));
    pauseButton->setAccessibleName(pauseButton->text());
    progressLabel->setText(QStringLiteral("失败 %L1 个").arg(failed));
    showStatus(cancelled ? QStringLiteral("批量查询已取消：已查询 %L1 个域名").arg(done)
                         : QStringLiteral("批量查询完毕：共 %L1 个域名，失败 %L2 个").arg(done).arg(failed));
    updateButtons();
}

void DomainTableWindow::updateButtons()
{
    if (!lookupAction)
        return;
    const bool running = !m_batch.isNull();
    const bool anyShown = m_proxy->rowCount() > 0;
    const bool anySelected = table->selectionModel()->hasSelection();
    lookupAction->setEnabled(!running && anyShown);
    pauseAction->setEnabled(running);
    cancelAction->setEnabled(running);
    exportCsvAction->setEnabled(anyShown);
    exportTxtAction->setEnabled(anyShown);
    copyAction->setEnabled(anySelected);
    bookAction->setEnabled(anySelected);
}

void DomainTableWindow::copySelected()
{
    const QStringList domains = selectedDomains();
    if (domains.isEmpty()) {
        showStatus(QStringLiteral("请先选择域名 .."));
        return;
    }
    QGuiApplication::clipboard()->setText(domains.join(u'\n'));
    showStatus(QStringLiteral("已复制 %L1 个域名 ..").arg(domains.size()));
}

void DomainTableWindow::openBookingPage()
{
    const QModelIndex current = table->currentIndex();
    const QStringList selected = selectedDomains();
    QString domain;
    if (current.isValid() && table->selectionModel()->isRowSelected(current.row()))
        domain = m_model->domainAt(m_proxy->mapToSource(current).row());
    else if (!selected.isEmpty())
        domain = selected.first();
    const QUrl url = Urls::backorderPage(m_config.marketUrl, domain);
    if (domain.isEmpty() || !url.isValid()) {
        showStatus(QStringLiteral("请先选择域名 .."));
        return;
    }
    // The name may come from a web page: it reaches the browser percent-encoded, never through a shell.
    QDesktopServices::openUrl(url);
}

void DomainTableWindow::exportShown(bool csv)
{
    if (m_proxy->rowCount() == 0) {
        Dialogs::showMessage(this, QMessageBox::Information, QStringLiteral("没有可导出域名"));
        return;
    }
    const QString extension = csv ? QStringLiteral(".csv") : QStringLiteral(".txt");
    QString suggested = m_lastExportPath;
    if (suggested.isEmpty()) {
        suggested = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + QStringLiteral("/域名-")
            + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + extension;
    } else {
        const QFileInfo last(suggested);
        suggested = last.dir().filePath(last.completeBaseName() + extension);
    }
    Dialogs::chooseSaveFile(this, csv ? QStringLiteral("导出为CSV文件") : QStringLiteral("导出为文本文件"),
        csv ? QStringLiteral("CSV文件 (*.csv)") : QStringLiteral("文本文件 (*.txt)"), suggested,
        [this, csv](const QString &path) {
            m_lastExportPath = path;
            // Read only now: answers may have come in while the dialog was open.
            const ExportResult result = csv ? writeCsv(path, DomainTableModel::columnTitles(), m_proxy->shownRows())
                                            : writeDomainList(m_proxy->shownDomains(), path);
            if (result.saved) {
                Dialogs::showMessage(this, QMessageBox::Information, QStringLiteral("域名保存成功!"));
                return;
            }
            Dialogs::showMessage(this, QMessageBox::Warning,
                QStringLiteral("域名保存失败!\n原因：") + result.reason + QStringLiteral("\n文件：")
                    + QDir::toNativeSeparators(path));
        });
}

void DomainTableWindow::chooseFile()
{
    auto *dialog = new QFileDialog(this, QStringLiteral("打开域名列表"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilters({ QStringLiteral("文本文件 (*.txt *.csv)"), QStringLiteral("所有文件 (*)") });
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString &path) { showFile(path); });
    dialog->open();
}

void DomainTableWindow::restoreSettings()
{
    QSettings stored(Organisation, Application);
    stored.beginGroup(QLatin1String(SettingsGroup));
    if (!restoreGeometry(stored.value(QStringLiteral("geometry")).toByteArray()))
        resize(1320, 720);
    table->horizontalHeader()->restoreState(stored.value(QStringLiteral("columns")).toByteArray());
    m_restoring = true;
    suffixEdit->setText(stored.value(QStringLiteral("suffixes")).toString());
    minLengthSpin->setValue(stored.value(QStringLiteral("minLength")).toInt());
    maxLengthSpin->setValue(stored.value(QStringLiteral("maxLength")).toInt());
    kindCombo->setCurrentIndex(std::clamp(stored.value(QStringLiteral("kind")).toInt(), 0, kindCombo->count() - 1));
    filingCombo->setCurrentIndex(
        std::clamp(stored.value(QStringLiteral("filing")).toInt(), 0, filingCombo->count() - 1));
    containsEdit->setText(stored.value(QStringLiteral("contains")).toString());
    startsEdit->setText(stored.value(QStringLiteral("startsWith")).toString());
    endsEdit->setText(stored.value(QStringLiteral("endsWith")).toString());
    excludesEdit->setText(stored.value(QStringLiteral("excludes")).toString());
    patternEdit->setText(stored.value(QStringLiteral("pattern")).toString());
    m_lastExportPath = stored.value(QStringLiteral("lastExport")).toString();
    m_restoring = false;
    applyFilter();
}

void DomainTableWindow::saveSettings()
{
    QSettings stored(Organisation, Application);
    stored.beginGroup(QLatin1String(SettingsGroup));
    stored.setValue(QStringLiteral("geometry"), saveGeometry());
    stored.setValue(QStringLiteral("columns"), table->horizontalHeader()->saveState());
    stored.setValue(QStringLiteral("suffixes"), suffixEdit->text());
    stored.setValue(QStringLiteral("minLength"), minLengthSpin->value());
    stored.setValue(QStringLiteral("maxLength"), maxLengthSpin->value());
    stored.setValue(QStringLiteral("kind"), kindCombo->currentIndex());
    stored.setValue(QStringLiteral("filing"), filingCombo->currentIndex());
    stored.setValue(QStringLiteral("contains"), containsEdit->text());
    stored.setValue(QStringLiteral("startsWith"), startsEdit->text());
    stored.setValue(QStringLiteral("endsWith"), endsEdit->text());
    stored.setValue(QStringLiteral("excludes"), excludesEdit->text());
    stored.setValue(QStringLiteral("pattern"), patternEdit->text());
    stored.setValue(QStringLiteral("lastExport"), m_lastExportPath);
}

void DomainTableWindow::closeEvent(QCloseEvent *event)
{
    if (m_batch)
        m_batch->cancel();
    saveSettings();
    event->accept();
}
