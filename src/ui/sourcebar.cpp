#include "ui/sourcebar.h"

#include "core/net/backgroundread.h"
#include "core/store/historystore.h"
#include "core/table/domaintablemodel.h"
#include "ui/controls.h"
#include "ui/dialogs.h"

#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>

using Controls::button;
using Controls::caption;
using Controls::named;

namespace {

// A name list is a few megabytes at most; a larger file is not one.
constexpr qint64 MaxFileBytes = 64 * 1024 * 1024;

} // namespace

SourceBar::SourceBar(const HistoryStore *history, QWidget *parent)
    : QWidget(parent)
    , m_history(history)
{
    setObjectName(QStringLiteral("sourceBar"));
    // Made in the order the Tab key visits them.
    sourceLabel = named(new QLabel(this), "sourceLabel", QStringLiteral("来源"));
    sourceLabel->setTextFormat(Qt::PlainText);
    // A long file name is cut at the window's edge rather than widening the window past the screen.
    sourceLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    dateEdit = named(new QDateEdit(QDate::currentDate(), this), "dateEdit", QStringLiteral("采集日期"));
    dateEdit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    dateEdit->setCalendarPopup(true);
    loadDayButton = button(this, "loadDayButton", QStringLiteral("读取当日采集"));
    m_openFileButton = button(this, "openFileButton", QStringLiteral("打开文件…"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(sourceLabel, 1);
    row->addWidget(caption(this, QStringLiteral("采集日期"), dateEdit));
    for (QWidget *widget : std::initializer_list<QWidget *> { dateEdit, loadDayButton, m_openFileButton })
        row->addWidget(widget);
    // Without a history there are no days to read.
    dateEdit->setEnabled(m_history);
    loadDayButton->setEnabled(m_history);
    connect(loadDayButton, &QPushButton::clicked, this, [this] { showDay(dateEdit->date()); });
}

void SourceBar::showNames(const QStringList &names)
{
    showList(names, QStringLiteral("主窗口列表"));
}

void SourceBar::showDay(const QDate &day)
{
    dateEdit->setDate(day);
    const QStringList names = m_history
        ? m_history->namesSeenBetween(day.startOfDay(), day.addDays(1).startOfDay().addMSecs(-1))
        : QStringList();
    showList(names, day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" 的采集"));
    if (!m_history)
        emit statusChanged(QStringLiteral("没有历史记录可读"));
    else if (names.isEmpty())
        emit statusChanged(QStringLiteral("这一天没有采集记录"));
}

bool SourceBar::showFile(const QString &path)
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
        tellReadFailure(path, reason);
        return false;
    }
    const quint64 list = m_listsChosen;
    const QString source = QStringLiteral("文件 ") + info.fileName();
    emit statusChanged(QStringLiteral("正在读取文件 .."));
    readAfterFetch(
        this, file.size(),
        [path] {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? readNames(file) : NamesRead { {}, 0, false };
        },
        [this, list, path, source](const NamesRead &read) {
            if (list != m_listsChosen)
                return;
            if (!read.complete)
                return tellReadFailure(path, QStringLiteral("无法读取文件"));
            showList(read.names, source);
            if (read.skipped > 0)
                emit statusChanged(QStringLiteral("已跳过 %L1 个超过 253 个字符的名称").arg(read.skipped));
        });
    return true;
}

void SourceBar::chooseFile()
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

void SourceBar::showCount(const QString &source, int names)
{
    sourceLabel->setText(QStringLiteral("来源：%1（%L2 个域名）").arg(source).arg(names));
}

void SourceBar::showList(const QStringList &names, const QString &source)
{
    ++m_listsChosen;
    emit listChosen(names, source);
}

void SourceBar::tellReadFailure(const QString &path, const QString &reason)
{
    Dialogs::showMessage(window(), QMessageBox::Warning,
        QStringLiteral("文件读取失败!\n原因：") + reason + QStringLiteral("\n文件：") + QDir::toNativeSeparators(path));
}
