#include "ui/domaintablewindow.h"

#include "core/export/csv.h"
#include "core/export/listexport.h"
#include "core/store/historystore.h"
#include "core/store/historywriter.h"
#include "core/table/domaintablemodel.h"
#include "core/table/domaintableproxy.h"
#include "core/text/urls.h"
#include "ui/batchbar.h"
#include "ui/controls.h"
#include "ui/dialogs.h"
#include "ui/filterbar.h"
#include "ui/sourcebar.h"
#include "ui/windowcommands.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QSettings>
#include <QStandardPaths>
#include <QTableView>
#include <QVBoxLayout>

#include <iterator>

using Controls::button;
using Controls::caption;
using Controls::named;

namespace {

constexpr char WindowName[] = "domainTableWindow";
constexpr char SettingsGroup[] = "domainTable";

// The width a column starts with, by its title; others get DefaultColumnWidth.
int defaultColumnWidth(const QString &title)
{
    static const QHash<QString, int> widths { { QStringLiteral("域名"), 150 }, { QStringLiteral("后缀"), 55 },
        { QStringLiteral("长度"), 40 }, { QStringLiteral("类型"), 65 }, { QStringLiteral("品相"), 160 },
        { QStringLiteral("拼音"), 110 }, { QStringLiteral("首次发现"), 115 },
        { QStringLiteral("删除类型"), 80 }, { QStringLiteral("删除时间"), 125 }, { QStringLiteral("预定截止"), 125 },
        { QStringLiteral("预定平台"), 75 }, { QStringLiteral("预定价格"), 75 }, { QStringLiteral("折合人民币"), 75 },
        { QStringLiteral("保证金"), 50 }, { QStringLiteral("是否备案"), 110 }, { QStringLiteral("查询时间"), 115 } };
    return widths.value(title, 90);
}

// It fits a screen of 1280 × 720 with its frame and a task bar.
const QSize DefaultSize(1240, 640);

const QString Organisation = QStringLiteral("Vexlon");
const QString Application = QStringLiteral("vexlon-collector");

// A label whose text may be long (a file's name, a reason): cut at the window's edge rather than widening
// the window past the screen.
QLabel *lineLabel(QWidget *parent, const char *objectName, const QString &accessibleName)
{
    auto *label = named(new QLabel(parent), objectName, accessibleName);
    label->setTextFormat(Qt::PlainText);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    return label;
}

} // namespace

DomainTableWindow::DomainTableWindow(
    const AppConfig &config, HistoryStore *history, HistoryWriter *writer, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_config(config)
    , m_history(history)
    , m_writer(writer)
    , m_model(new DomainTableModel(this))
    , m_proxy(new DomainTableProxy(m_model, this))
{
    setObjectName(QLatin1String(WindowName));
    setWindowTitle(QStringLiteral("域名工作台"));
    setAccessibleName(windowTitle());
    setWhatsThis(QStringLiteral(
        "域名工作台：一次显示整份域名列表，可以排序，按后缀、长度、类型、备案和文字筛选，批量查询删除信息和备案情况，"
        "导出为CSV或TXT文件。\n"
        "在主窗口的域名列表中按 Ctrl+B 打开，带上列表中的域名；也可以用命令 vexlon-collector table 单独打开，"
        "读取某一天的采集记录或一个文本文件。\n"
        "快捷键：Ctrl+F 筛选，Ctrl+L 批量查询，Ctrl+P 暂停/继续，Esc 取消，Ctrl+C 复制域名，Ctrl+D 预定域名，"
        "Ctrl+E 导出CSV，Ctrl+Shift+E 导出TXT，Ctrl+O 打开文件。"));
    createControls();
    createActions();
    connect(filterBar, &FilterBar::filterChanged, m_proxy, &DomainTableProxy::setFilter);
    connect(m_proxy, &DomainTableProxy::countsChanged, this, [this](int shown, int all) {
        filterBar->showCounts(shown, all);
        updateButtons();
    });
    connect(batchBar, &BatchBar::lookedUp, this, [this](const LookupRecord &record, bool fromHistory) {
        m_model->setLookup(record);
        if (m_writer && !fromHistory)
            m_writer->recordLookup(record);
    });
    connect(batchBar, &BatchBar::elsewhereChecked, this,
        [this](const QString &domain, const ElsewhereResult &result, const QList<ElsewhereState> &fresh) {
            m_model->setElsewhere(domain, result);
            if (m_writer)
                m_writer->recordElsewhere(fresh);
        });
    connect(batchBar, &BatchBar::statusChanged, this, &DomainTableWindow::showStatus);
    // What was looked up waits for a history that takes no writes, and goes in once it takes them.
    if (m_writer) {
        connect(m_writer, &HistoryWriter::writeFailed, this, [this](const QString &reason) {
            showStatus(QStringLiteral("历史记录暂时无法写入，查询结果等待写入：") + reason);
        });
        connect(m_writer, &HistoryWriter::writesResumed, this,
            [this] { showStatus(QStringLiteral("历史记录已恢复写入 ..")); });
    }
    connect(batchBar, &BatchBar::runningChanged, this, &DomainTableWindow::updateButtons);
    connect(sourceBar, &SourceBar::listChosen, this, &DomainTableWindow::showList);
    connect(sourceBar, &SourceBar::statusChanged, this, &DomainTableWindow::showStatus);
    restoreSettings();
    updateButtons();
    // The keyboard starts in the table: arrows, Ctrl+A, Ctrl+L at once.
    table->setFocus();
}

DomainTableWindow::~DomainTableWindow()
{
    saveSettings();
    batchBar->disconnect(this);
}

void DomainTableWindow::setBatchOptions(const BatchOptions &options)
{
    batchBar->setOptions(options);
}

void DomainTableWindow::createControls()
{
    // Made in the order the Tab key visits them.
    sourceBar = new SourceBar(m_history, this);
    filterBar = new FilterBar(this);

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
    for (int column = 0; column < DomainTableModel::columnTotal(); ++column)
        header->resizeSection(column, defaultColumnWidth(DomainTableModel::columnTitle(column)));
    header->setStretchLastSection(true);
    header->setSortIndicatorClearable(true);
    // Unsorted until the user sorts: the list's own order first.
    header->setSortIndicator(-1, Qt::AscendingOrder);
    table->setSortingEnabled(true);

    batchBar = new BatchBar(m_config, m_history, this);
    copyButton = button(this, "copyButton", QStringLiteral("复制域名"));
    bookButton = button(this, "bookButton", QStringLiteral("预定域名"));
    exportCsvButton = button(this, "exportCsvButton", QStringLiteral("导出CSV"));
    exportTxtButton = button(this, "exportTxtButton", QStringLiteral("导出TXT"));
    statusLine = lineLabel(this, "statusLine", QStringLiteral("运行状态"));

    auto *lookupRow = new QHBoxLayout;
    lookupRow->addWidget(batchBar, 1);
    for (QWidget *widget :
        std::initializer_list<QWidget *> { copyButton, bookButton, exportCsvButton, exportTxtButton })
        lookupRow->addWidget(widget);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(sourceBar);
    layout->addWidget(filterBar);
    layout->addWidget(table, 1);
    layout->addLayout(lookupRow);
    layout->addWidget(statusLine);

    connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this, &DomainTableWindow::updateButtons);
}

void DomainTableWindow::createActions()
{
    auto *commands = new WindowCommands(this);
    const auto addShortcut = [commands](const char *objectName, const QString &text, const QKeySequence &keys,
                                 QPushButton *button, const std::function<void()> &run) {
        return commands->add(objectName, text, keys, button, run);
    };
    addShortcut("filterAction", QStringLiteral("筛选"), QKeySequence::Find, nullptr, [this] { focusFilter(); });
    addShortcut("openFileAction", QStringLiteral("打开文件"), QKeySequence::Open, sourceBar->openFileButton(),
        [this] { chooseFile(); });
    lookupAction = addShortcut("lookupAction", QStringLiteral("批量查询"), QKeySequence(Qt::CTRL | Qt::Key_L),
        batchBar->lookupButton(), [this] { lookUp(); });
    pauseAction = addShortcut("pauseAction", QStringLiteral("暂停/继续"), QKeySequence(Qt::CTRL | Qt::Key_P),
        batchBar->pauseButton(), [this] { pauseOrResume(); });
    cancelAction = addShortcut("cancelAction", QStringLiteral("取消查询"), QKeySequence(Qt::Key_Escape),
        batchBar->cancelButton(), [this] { cancelLookUp(); });
    copyAction = addShortcut(
        "copyAction", QStringLiteral("复制域名"), QKeySequence::Copy, copyButton, [this] { copySelected(); });
    bookAction = addShortcut("bookAction", QStringLiteral("预定域名"), QKeySequence(Qt::CTRL | Qt::Key_D), bookButton,
        [this] { openBookingPage(); });
    exportCsvAction = addShortcut("exportCsvAction", QStringLiteral("导出CSV"), QKeySequence(Qt::CTRL | Qt::Key_E),
        exportCsvButton, [this] { exportShown(true); });
    exportTxtAction = addShortcut("exportTxtAction", QStringLiteral("导出TXT"),
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E), exportTxtButton, [this] { exportShown(false); });
    // The window's shortcuts come before a text field's own use of the same keys, but for copying.
    commands->leaveToFields(copyAction);
    commands->watchTextFields();
    // The right button on the table offers what acts on its rows.
    table->setContextMenuPolicy(Qt::ActionsContextMenu);
    table->addActions({ copyAction, lookupAction, bookAction });
}

void DomainTableWindow::showNames(const QStringList &names)
{
    sourceBar->showNames(names);
}

void DomainTableWindow::showDay(const QDate &day)
{
    sourceBar->showDay(day);
}

bool DomainTableWindow::showFile(const QString &path)
{
    return sourceBar->showFile(path);
}

void DomainTableWindow::chooseFile()
{
    sourceBar->chooseFile();
}

void DomainTableWindow::showList(const QStringList &names, const QString &source)
{
    batchBar->cancel();
    // The history tells when each name was first seen, whatever the list's source.
    m_model->setDomains(names, m_history ? m_history->firstSeenOf(names) : QHash<QString, QDateTime>());
    sourceBar->showCount(source, m_model->rowCount());
    batchBar->clearProgress();
    showStatus(QString());
    updateButtons();
}

void DomainTableWindow::focusFilter()
{
    filterBar->focusFilter();
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
    if (batchBar->isRunning())
        return;
    const QStringList selected = selectedDomains();
    const QStringList domains = selected.isEmpty() ? m_proxy->shownDomains() : selected;
    if (domains.isEmpty())
        showStatus(QStringLiteral("没有可查询的域名"));
    else
        batchBar->start(domains);
}

void DomainTableWindow::pauseOrResume()
{
    batchBar->pauseOrResume();
}

void DomainTableWindow::cancelLookUp()
{
    batchBar->cancel();
}

void DomainTableWindow::updateButtons()
{
    if (!lookupAction)
        return;
    const bool running = batchBar->isRunning();
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
            QString reason;
            const bool saved = csv ? writeCsv(path, DomainTableModel::columnTitles(), m_proxy->shownRows(), &reason)
                                   : writeDomainList(m_proxy->shownDomains(), path, &reason);
            if (saved) {
                Dialogs::showMessage(this, QMessageBox::Information, QStringLiteral("域名保存成功!"));
                return;
            }
            Dialogs::showMessage(this, QMessageBox::Warning,
                QStringLiteral("域名保存失败!\n原因：") + reason + QStringLiteral("\n文件：")
                    + QDir::toNativeSeparators(path));
        });
}

void DomainTableWindow::restoreSettings()
{
    QSettings stored(Organisation, Application);
    stored.beginGroup(QLatin1String(SettingsGroup));
    if (!restoreGeometry(stored.value(QStringLiteral("geometry")).toByteArray()))
        resize(DefaultSize);
    // A layout saved with other columns would give their widths and places to these.
    if (stored.value(QStringLiteral("columnTitles")).toStringList() == DomainTableModel::columnTitles())
        table->horizontalHeader()->restoreState(stored.value(QStringLiteral("columns")).toByteArray());
    m_lastExportPath = stored.value(QStringLiteral("lastExport")).toString();
    filterBar->restoreSettings(stored);
    batchBar->restoreSettings(stored);
}

void DomainTableWindow::saveSettings()
{
    QSettings stored(Organisation, Application);
    stored.beginGroup(QLatin1String(SettingsGroup));
    stored.setValue(QStringLiteral("geometry"), saveGeometry());
    stored.setValue(QStringLiteral("columns"), table->horizontalHeader()->saveState());
    stored.setValue(QStringLiteral("columnTitles"), DomainTableModel::columnTitles());
    filterBar->saveSettings(stored);
    batchBar->saveSettings(stored);
    stored.setValue(QStringLiteral("lastExport"), m_lastExportPath);
}

void DomainTableWindow::closeEvent(QCloseEvent *event)
{
    batchBar->cancel();
    saveSettings();
    event->accept();
}
