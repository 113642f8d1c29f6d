#include "ui/watchpanel.h"

#include "core/store/historystore.h"
#include "core/store/historywriter.h"
#include "ui/controls.h"
#include "ui/dialogs.h"

#include <QDate>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

using Controls::button;
using Controls::named;

namespace {

constexpr int NameRole = Qt::UserRole;

} // namespace

WatchPanel::WatchPanel(const HistoryStore *history, HistoryWriter *writer, QWidget *parent)
    : QWidget(parent)
    , m_history(history)
    , m_writer(history ? writer : nullptr)
{
    setObjectName(QStringLiteral("watchPanel"));
    auto *title = new QLabel(QStringLiteral("关注"), this);
    list = named(new QListWidget(this), "watchList", QStringLiteral("关注列表"));
    list->setToolTip(QStringLiteral("保存的筛选条件；每次采集时，首次出现且符合条件的域名记为新匹配。\n"
                                    "括号中是今天的新匹配数；选中一个关注即在表格中显示它的全部匹配。"));
    title->setBuddy(list);
    saveButton = button(this, "saveWatchButton", QStringLiteral("保存为关注"));
    renameButton = button(this, "renameWatchButton", QStringLiteral("重命名"));
    removeButton = button(this, "removeWatchButton", QStringLiteral("删除"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(renameButton);
    buttons->addWidget(removeButton);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(title);
    layout->addWidget(list, 1);
    layout->addWidget(saveButton);
    layout->addLayout(buttons);

    connect(saveButton, &QPushButton::clicked, this, &WatchPanel::saveFilter);
    connect(renameButton, &QPushButton::clicked, this, &WatchPanel::renameChosen);
    connect(removeButton, &QPushButton::clicked, this, &WatchPanel::removeChosen);
    connect(list, &QListWidget::itemSelectionChanged, this, [this] {
        updateButtons();
        showChosen();
    });
    if (m_writer) {
        connect(m_writer, &HistoryWriter::watchesMatched, this, &WatchPanel::refresh);
        connect(m_writer, &HistoryWriter::watchChanged, this,
            [this](int request, WatchChange outcome, const QString &reason) {
                const auto pending = m_pending.constFind(request);
                if (pending == m_pending.constEnd())
                    return;
                const Pending done = *pending;
                m_pending.erase(pending);
                switch (outcome) {
                case WatchChange::Done:
                    m_chooseNext = done.nameAfter;
                    emit statusChanged(done.doneText);
                    break;
                case WatchChange::NameTaken: emit statusChanged(QStringLiteral("已有同名的关注，请换一个名称 ..")); break;
                case WatchChange::NoSuchWatch: emit statusChanged(QStringLiteral("这个关注已不存在 ..")); break;
                case WatchChange::Failed: emit statusChanged(QStringLiteral("关注保存失败：") + reason); break;
                }
                refresh();
            });
    } else {
        list->setEnabled(false);
        saveButton->setEnabled(false);
        saveButton->setToolTip(QStringLiteral("没有历史记录，无法保存关注"));
    }
    refresh();
}

void WatchPanel::refresh()
{
    const QString chosen = m_chooseNext.isEmpty() ? chosenWatch() : std::exchange(m_chooseNext, QString());
    const QSignalBlocker blocker(list);
    list->clear();
    if (m_history) {
        const QHash<QString, int> today = m_history->matchCountsSince(QDate::currentDate().startOfDay());
        for (const Watch &watch : m_history->watches()) {
            auto *item = new QListWidgetItem(QStringLiteral("%1（今日 %2）").arg(watch.name).arg(today.value(watch.name)), list);
            item->setData(NameRole, watch.name);
            item->setToolTip(filterArguments(watch.filter).join(u' '));
            if (watch.name == chosen)
                item->setSelected(true);
        }
    }
    updateButtons();
}

QString WatchPanel::chosenWatch() const
{
    const QList<QListWidgetItem *> selected = list->selectedItems();
    return selected.isEmpty() ? QString() : selected.constFirst()->data(NameRole).toString();
}

void WatchPanel::showChosen()
{
    const QString name = chosenWatch();
    if (name.isEmpty() || !m_history)
        return;
    QStringList names;
    for (const HistoryStore::WatchMatch &match : m_history->matchesOf(name, QDateTime()))
        names.append(match.domain);
    emit matchesChosen(names, QStringLiteral("关注「%1」的匹配").arg(name));
}

void WatchPanel::updateButtons()
{
    const bool chosen = m_writer && !chosenWatch().isEmpty();
    renameButton->setEnabled(chosen);
    removeButton->setEnabled(chosen);
}

bool WatchPanel::nameIsGood(const QString &name)
{
    switch (watchNameFault(name)) {
    case WatchNameFault::Empty:
        emit statusChanged(QStringLiteral("关注的名称不能为空 .."));
        return false;
    case WatchNameFault::TooLong:
        emit statusChanged(QStringLiteral("关注的名称最多 %1 个字符 ..").arg(LongestWatchName));
        return false;
    case WatchNameFault::None:
        break;
    }
    return true;
}

void WatchPanel::change(int request, const QString &doneText, const QString &nameAfter)
{
    m_pending.insert(request, { doneText, nameAfter });
}

void WatchPanel::saveFilter()
{
    if (!m_writer)
        return;
    WatchFilter filter { m_filter.names, m_filter.age };
    if (filter.isEmpty()) {
        emit statusChanged(QStringLiteral("请先在筛选栏设置条件，再保存为关注 .."));
        return;
    }
    Dialogs::askText(this, QStringLiteral("保存为关注"), QStringLiteral("关注名称："), QString(),
        [this, filter](const QString &typed) {
            const QString name = typed.trimmed();
            if (!nameIsGood(name))
                return;
            Watch watch;
            watch.name = name;
            watch.filter = filter;
            change(m_writer->addWatch(watch), QStringLiteral("已保存关注「%1」，以后采集到的新域名会与它比对 ..").arg(name));
        });
}

void WatchPanel::renameChosen()
{
    const QString name = chosenWatch();
    if (!m_writer || name.isEmpty())
        return;
    Dialogs::askText(this, QStringLiteral("重命名关注"), QStringLiteral("新名称："), name, [this, name](const QString &typed) {
        const QString newName = typed.trimmed();
        if (newName == name || !nameIsGood(newName))
            return;
        change(m_writer->renameWatch(name, newName), QStringLiteral("关注「%1」已改名为「%2」 ..").arg(name, newName),
            newName);
    });
}

void WatchPanel::removeChosen()
{
    const QString name = chosenWatch();
    if (!m_writer || name.isEmpty())
        return;
    Dialogs::confirm(this, QStringLiteral("删除关注「%1」和它的全部匹配记录？").arg(name), [this, name] {
        change(m_writer->removeWatch(name), QStringLiteral("关注「%1」已删除 ..").arg(name));
    });
}
