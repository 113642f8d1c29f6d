#include "ui/domaintablewindow.h"

#include "core/store/historystore.h"
#include "core/store/historywriter.h"
#include "core/table/domaintablemodel.h"
#include "core/table/domaintableproxy.h"
#include "core/text/urls.h"
#include "ui/batchbar.h"
#include "ui/controls.h"
#include "ui/domaintableview.h"
#include "ui/exportbuttons.h"
#include "ui/filterbar.h"
#include "ui/sourcebar.h"
#include "ui/watchpanel.h"
#include "ui/windowcommands.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QSettings>
#include <QSplitter>
#include <QVBoxLayout>

using Controls::button;
using Controls::named;

namespace {

constexpr char WindowName[] = "domainTableWindow";
constexpr char SettingsGroup[] = "domainTable";

// It fits a screen of 1280 × 720 with its frame and a task bar.
const QSize DefaultSize(1240, 640);

const QString Organisation = QStringLiteral("Vexlon");
const QString Application = QStringLiteral("vexlon-collector");

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
    connect(filterBar, &FilterBar::filterChanged, watchPanel, &WatchPanel::setCurrentFilter);
    connect(watchPanel, &WatchPanel::matchesChosen, sourceBar, &SourceBar::showList);
    connect(watchPanel, &WatchPanel::statusChanged, this, &DomainTableWindow::showStatus);
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
    watchPanel->setCurrentFilter(filterBar->filter());
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

    table = new DomainTableView(m_proxy, this);
    watchPanel = new WatchPanel(m_history, m_writer, this);
    batchBar = new BatchBar(m_config, m_history, this);
    copyButton = button(this, "copyButton", QStringLiteral("复制域名"));
    bookButton = button(this, "bookButton", QStringLiteral("预定域名"));
    exportButtons = new ExportButtons(m_proxy, this);
    statusLine = named(new QLabel(this), "statusLine", QStringLiteral("运行状态"));
    // A reason may be long: cut at the window's edge rather than widening the window past the screen.
    statusLine->setTextFormat(Qt::PlainText);
    statusLine->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    auto *lookupRow = new QHBoxLayout;
    lookupRow->addWidget(batchBar, 1);
    for (QWidget *widget :
        std::initializer_list<QWidget *> { copyButton, bookButton, exportButtons })
        lookupRow->addWidget(widget);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(sourceBar);
    layout->addWidget(filterBar);
    auto *splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(table);
    splitter->addWidget(watchPanel);
    splitter->setStretchFactor(0, 1);
    splitter->setSizes({ 1000, 190 });
    layout->addWidget(splitter, 1);
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
        exportButtons->csvButton(), [this] { exportShown(true); });
    exportTxtAction = addShortcut("exportTxtAction", QStringLiteral("导出TXT"),
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E), exportButtons->txtButton(), [this] { exportShown(false); });
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

void DomainTableWindow::lookUp()
{
    if (batchBar->isRunning())
        return;
    const QStringList selected = table->selectedDomains();
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
    const QStringList domains = table->selectedDomains();
    if (domains.isEmpty()) {
        showStatus(QStringLiteral("请先选择域名 .."));
        return;
    }
    QGuiApplication::clipboard()->setText(domains.join(u'\n'));
    showStatus(QStringLiteral("已复制 %L1 个域名 ..").arg(domains.size()));
}

void DomainTableWindow::openBookingPage()
{
    const QString domain = table->chosenDomain();
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
    exportButtons->exportShown(csv);
}

void DomainTableWindow::restoreSettings()
{
    QSettings stored(Organisation, Application);
    stored.beginGroup(QLatin1String(SettingsGroup));
    if (!restoreGeometry(stored.value(QStringLiteral("geometry")).toByteArray()))
        resize(DefaultSize);
    table->restoreColumns(stored);
    exportButtons->restoreSettings(stored);
    filterBar->restoreSettings(stored);
    batchBar->restoreSettings(stored);
}

void DomainTableWindow::saveSettings()
{
    QSettings stored(Organisation, Application);
    stored.beginGroup(QLatin1String(SettingsGroup));
    stored.setValue(QStringLiteral("geometry"), saveGeometry());
    table->saveColumns(stored);
    filterBar->saveSettings(stored);
    batchBar->saveSettings(stored);
    exportButtons->saveSettings(stored);
}

void DomainTableWindow::closeEvent(QCloseEvent *event)
{
    batchBar->cancel();
    saveSettings();
    event->accept();
}
