#include "ui/mainwindow.h"

#include "core/collect/collectionrun.h"
#include "core/collect/pagecount.h"
#include "core/collect/singlepagecollection.h"
#include "core/export/listexport.h"
#include "core/lookup/domainlookup.h"
#include "core/recording/operationrecording.h"
#include "core/store/historywriter.h"
#include "core/watch/alertdispatch.h"
#include "core/store/historystore.h"
#include "core/text/textops.h"
#include "core/text/urls.h"
#include "core/update/updatecheck.h"
#include "ui/dialogs.h"
#include "ui/domainlistview.h"
#include "ui/domaintablewindow.h"
#include "ui/elidedlabel.h"
#include "ui/pagecountarrows.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHash>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// The caption of the ICP filing label after a lookup.
QString icpFilingCaption(const LookupRecord &record, LookupTrigger trigger)
{
    switch (record.filing) {
    case IcpFiling::Unknown:
        // No answer is not a "no": a buyer must not take a failed lookup for an unfiled site.
        return QStringLiteral("是否备案：查询失败");
    case IcpFiling::NotFiled:
        return QStringLiteral("是否备案：未备案");
    case IcpFiling::Filed:
        // Shown in a one-line label: a number with line breaks in it is shown on one line.
        return (trigger == LookupTrigger::Menu ? QStringLiteral("是否备案：已备案 ") : QStringLiteral("是否备案："))
            + TextOps::oneLine(record.licence);
    }
    return QString();
}

// The layout is given in twips; 15 twips make one pixel at 96 dots per inch.
int px(int twips)
{
    return qRound(twips / 15.0);
}

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
}

enum class Kind { Frame, DomainList, PageCountEdit, PageCountArrows, KeyValueLabel, CentredLabel, WhoisText, Button };

// Every control of the window: its place is relative to its container, in twips; controls that take
// the keyboard focus get it in the order of their tab index.
struct Control
{
    Kind kind;
    const char *name;
    const char *container;
    const char *caption; // UTF-8
    int left, top, width, height;
    int tabIndex; // -1: takes no focus
};

constexpr char WindowName[] = "mainWindow";

// clang-format off
constexpr Control Layout[] = {
    { Kind::Frame,           "domainListFrame",  WindowName,         "查询今日已删除域名",                  240,  120, 3135, 5175, -1 },
    { Kind::DomainList,      "domainList",       "domainListFrame",  "",                                    120,  240, 2895, 4740,  2 },
    { Kind::Frame,           "pageCountFrame",   WindowName,         "请选择采集的页数",                    240, 5400, 3135,  855, -1 },
    { Kind::PageCountEdit,   "pageCountEdit",    "pageCountFrame",   "1",                                   360,  360, 1695,  270,  5 },
    { Kind::PageCountArrows, "pageCountArrows",  "pageCountFrame",   "",                                   2280,  360,  495,  255,  6 },
    { Kind::Frame,           "domainInfoFrame",  WindowName,         "域名信息 [双击域名列表查看相关信息]", 3600,  120, 6255, 6135, -1 },
    { Kind::KeyValueLabel,   "deletionTypeLabel", "domainInfoFrame", "删除类型：未查询",                    240,  480, 1440,  180, -1 },
    { Kind::KeyValueLabel,   "deletionTimeLabel", "domainInfoFrame", "删除时间：未查询",                    240,  840, 1440,  180, -1 },
    { Kind::KeyValueLabel,   "deadlineLabel",    "domainInfoFrame",  "预定截止：未查询",                   2760,  480, 1440,  180, -1 },
    { Kind::KeyValueLabel,   "icpFilingLabel",   "domainInfoFrame",  "是否备案：未查询",                   2760,  840, 1440,  180, -1 },
    { Kind::CentredLabel,    "priceTitle",       "domainInfoFrame",  "域名价格",                            240, 1600, 5775,  255, -1 },
    { Kind::CentredLabel,    "platformHeader",   "domainInfoFrame",  "预定平台",                            240, 2070, 1455,  255, -1 },
    { Kind::CentredLabel,    "priceHeader",      "domainInfoFrame",  "预定价格",                           1680, 2070, 1455,  255, -1 },
    { Kind::CentredLabel,    "rmbHeader",        "domainInfoFrame",  "折合人民币",                         3120, 2070, 1455,  255, -1 },
    { Kind::CentredLabel,    "depositHeader",    "domainInfoFrame",  "保证金",                             4560, 2070, 1455,  255, -1 },
    { Kind::CentredLabel,    "platformCell",     "domainInfoFrame",  "未查询",                              240, 2550, 1455,  255, -1 },
    { Kind::CentredLabel,    "priceCell",        "domainInfoFrame",  "未查询",                             1680, 2550, 1455,  255, -1 },
    { Kind::CentredLabel,    "rmbCell",          "domainInfoFrame",  "未查询",                             3120, 2550, 1455,  255, -1 },
    { Kind::CentredLabel,    "depositCell",      "domainInfoFrame",  "未查询",                             4560, 2550, 1455,  255, -1 },
    { Kind::Frame,           "whoisFrame",       "domainInfoFrame",  "whois信息",                           240, 3120, 5775, 2775, -1 },
    { Kind::WhoisText,       "whoisText",        "whoisFrame",       "",                                    120,  240, 5535, 2415, 21 },
    { Kind::Button,          "startButton",      WindowName,         "开始采集",                            240, 6480, 1575,  615,  1 },
    { Kind::Button,          "saveButton",       WindowName,         "域名保存",                           1800, 6480, 1575,  615, 26 },
    { Kind::Button,          "homePageButton",   WindowName,         "Vexlon官方网站",                     3600, 6480, 2175,  615, 25 },
    { Kind::Button,          "forumButton",      WindowName,         "Vexlon官方论坛",                     5760, 6480, 2055,  615, 23 },
    { Kind::Button,          "exitButton",       WindowName,         "退出程序",                           7800, 6480, 2055,  615, 24 },
};

// The rules of the price table, in the domain info frame's twips: the outer edges and the rows are
// dark grey, the column borders start at the header row and have the text colour.
struct Rule
{
    const char *name;
    int x1, y1, x2, y2;
    bool darkGrey;
};

constexpr Rule PriceTableRules[] = {
    { "priceTableTopRule",        240, 1440, 6000, 1440, true },
    { "priceTableTitleRule",      240, 1920, 6000, 1920, true },
    { "priceTableHeaderRule",     240, 2400, 6000, 2400, true },
    { "priceTableBottomRule",     240, 2880, 6000, 2880, true },
    { "priceTableLeftRule",       240, 1440,  240, 2880, true },
    { "priceTableRightRule",     6000, 1440, 6000, 2880, true },
    { "platformColumnRule",      1680, 1920, 1680, 2880, false },
    { "priceColumnRule",         3120, 1920, 3120, 2880, false },
    { "rmbColumnRule",           4560, 1920, 4560, 2880, false },
};
// clang-format on

const QColor DarkGrey(64, 64, 64);

// Where the right column of the key-and-value labels starts, and where the domain info area ends:
// a label of the left column is cut at the first, one of the right column at the second.
constexpr int RightColumnTwips = 2760;
constexpr int InfoAreaEndTwips = 6000;
constexpr int ColumnGapPx = 6;
// The width the key-and-value labels are made with.
constexpr int KeyValueWidthTwips = 1440;

// Laying out a line of tens of thousands of characters without a blank takes the text box seconds; no
// whois line is anywhere near this long.
constexpr qsizetype WhoisLineChars = 1000;

// The text with every line longer than maxChars broken into lines of maxChars.
QString withLinesAtMost(const QString &text, qsizetype maxChars)
{
    QString wrapped;
    wrapped.reserve(text.size() + text.size() / maxChars);
    qsizetype lineLength = 0;
    for (const QChar c : text) {
        if (c == u'\n') {
            lineLength = 0;
        } else {
            if (lineLength >= maxChars && !c.isLowSurrogate()) {
                wrapped += u'\n';
                lineLength = 0;
            }
            ++lineLength;
        }
        wrapped += c;
    }
    return wrapped;
}

const QString StartCaption = QStringLiteral("开始采集");
const QString StopCaption = QStringLiteral("停止采集");
const QString SelectFirst = QStringLiteral("请先进行获取 ..");

QWidget *createControl(const Control &control, QWidget *container)
{
    const QString caption = QString::fromUtf8(control.caption);
    QWidget *widget = nullptr;
    switch (control.kind) {
    case Kind::Frame: {
        auto *frame = new QGroupBox(caption, container);
        frame->setFocusPolicy(Qt::NoFocus);
        // Without it a frame inside a frame would be read out by its container's caption.
        frame->setAccessibleName(caption);
        widget = frame;
        break;
    }
    case Kind::DomainList:
        widget = new DomainListView(container);
        widget->setAccessibleName(QStringLiteral("域名列表"));
        break;
    case Kind::PageCountEdit:
        widget = new QLineEdit(caption, container);
        widget->setAccessibleName(QStringLiteral("采集页数"));
        break;
    case Kind::PageCountArrows:
        widget = new PageCountArrows(container);
        widget->setAccessibleName(QStringLiteral("采集页数调节"));
        break;
    case Kind::KeyValueLabel: {
        auto *label = new ElidedLabel(caption, container);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        widget = label;
        break;
    }
    case Kind::CentredLabel: {
        auto *label = new ElidedLabel(caption, container);
        label->setAlignment(Qt::AlignCenter);
        widget = label;
        break;
    }
    case Kind::WhoisText: {
        auto *box = new QPlainTextEdit(container);
        box->setReadOnly(true);
        // Nothing reads it back; it can still be walked and selected from the keyboard.
        box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        box->setAccessibleName(QStringLiteral("whois信息"));
        widget = box;
        break;
    }
    case Kind::Button: {
        auto *button = new QPushButton(caption, container);
        button->setAutoDefault(false);
        widget = button;
        break;
    }
    }
    widget->setObjectName(QLatin1String(control.name));
    widget->setGeometry(twipsRect(control.left, control.top, control.width, control.height));
    return widget;
}

QFrame *createRule(const Rule &rule, QWidget *container, const QColor &colour)
{
    auto *line = new QFrame(container);
    line->setObjectName(QLatin1String(rule.name));
    line->setFrameShape(QFrame::NoFrame);
    line->setGeometry(px(rule.x1), px(rule.y1), qMax(1, px(rule.x2) - px(rule.x1) + (rule.x1 == rule.x2 ? 0 : 1)),
                      qMax(1, px(rule.y2) - px(rule.y1) + (rule.y1 == rule.y2 ? 0 : 1)));
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, colour);
    line->setPalette(palette);
    line->setAutoFillBackground(true);
    return line;
}

} // namespace

MainWindow::MainWindow(const AppConfig &config, HistoryStore *history, QWidget *parent)
    : QWidget(parent)
    , m_config(config)
    , m_history(history)
    , m_fetcher(new PageFetcher(this))
    , m_collectionRun(new CollectionRun(*m_fetcher, config, this))
    , m_singlePageCollection(new SinglePageCollection(*m_fetcher, config, this))
    , m_lookup(new DomainLookup(*m_fetcher, config, this))
    , m_updateCheck(new UpdateCheck(*m_fetcher, config, this))
{
    setObjectName(QLatin1String(WindowName));
    setWindowTitle(QStringLiteral("Vexlon域名回收采集器 v" VEXLON_VERSION));
    // A fixed single border: title bar, minimize and close boxes, no way to resize.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(px(10110), px(8100));
    QFont windowFont = font();
    windowFont.setPointSize(9);
    setFont(windowFont);

    createControls();
    createStatusBar();
    createDomainMenu();
    connectOperations();
    // A shortcut and nothing else: no control, caption or place of the window changes for it.
    auto *openTableAction = new QAction(QStringLiteral("域名工作台"), this);
    openTableAction->setObjectName(QStringLiteral("openTableAction"));
    openTableAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    openTableAction->setShortcutContext(Qt::WindowShortcut);
    addAction(openTableAction);
    connect(openTableAction, &QAction::triggered, this, &MainWindow::openTableWindow);
    if (history)
        recordInHistory(new HistoryWriter(history->path(), this));
}

MainWindow::~MainWindow() = default;

void MainWindow::createControls()
{
    QHash<QByteArray, QWidget *> containers { { WindowName, this } };
    QList<std::pair<int, QWidget *>> focusOrder;
    for (const Control &control : Layout) {
        QWidget *widget = createControl(control, containers.value(control.container));
        containers.insert(control.name, widget);
        if (control.tabIndex >= 0)
            focusOrder.append({ control.tabIndex, widget });
    }
    std::sort(focusOrder.begin(), focusOrder.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    for (qsizetype i = 1; i < focusOrder.size(); ++i)
        QWidget::setTabOrder(focusOrder[i - 1].second, focusOrder[i].second);

    QWidget *infoArea = containers.value("domainInfoFrame");
    const QColor textColour = palette().color(QPalette::WindowText);
    for (const Rule &rule : PriceTableRules)
        createRule(rule, infoArea, rule.darkGrey ? DarkGrey : textColour);

    domainList = findChild<DomainListView *>(QStringLiteral("domainList"));
    pageCountEdit = findChild<QLineEdit *>(QStringLiteral("pageCountEdit"));
    pageCountArrows = findChild<PageCountArrows *>(QStringLiteral("pageCountArrows"));
    deletionTypeLabel = findChild<ElidedLabel *>(QStringLiteral("deletionTypeLabel"));
    deletionTimeLabel = findChild<ElidedLabel *>(QStringLiteral("deletionTimeLabel"));
    deadlineLabel = findChild<ElidedLabel *>(QStringLiteral("deadlineLabel"));
    icpFilingLabel = findChild<ElidedLabel *>(QStringLiteral("icpFilingLabel"));
    platformCell = findChild<ElidedLabel *>(QStringLiteral("platformCell"));
    priceCell = findChild<ElidedLabel *>(QStringLiteral("priceCell"));
    rmbCell = findChild<ElidedLabel *>(QStringLiteral("rmbCell"));
    depositCell = findChild<ElidedLabel *>(QStringLiteral("depositCell"));
    whoisText = findChild<QPlainTextEdit *>(QStringLiteral("whoisText"));
    startButton = findChild<QPushButton *>(QStringLiteral("startButton"));
    saveButton = findChild<QPushButton *>(QStringLiteral("saveButton"));
    homePageButton = findChild<QPushButton *>(QStringLiteral("homePageButton"));
    forumButton = findChild<QPushButton *>(QStringLiteral("forumButton"));
    exitButton = findChild<QPushButton *>(QStringLiteral("exitButton"));

    // Opaque, so that nothing shows through a label that reaches its neighbour.
    for (ElidedLabel *label : { deletionTypeLabel, deletionTimeLabel, deadlineLabel, icpFilingLabel })
        label->setAutoFillBackground(true);
}

void MainWindow::createStatusBar()
{
    auto *statusBar = new QStatusBar(this);
    statusBar->setObjectName(QStringLiteral("statusBar"));
    statusBar->setSizeGripEnabled(false);
    statusBar->setGeometry(twipsRect(0, 7485, 10110, 615));
    const auto panel = [statusBar](const char *name, const QString &text) {
        auto *label = new QLabel(text, statusBar);
        label->setObjectName(QLatin1String(name));
        label->setTextFormat(Qt::PlainText);
        return label;
    };
    QLabel *stateCaption = panel("stateCaption", QStringLiteral("运行状态："));
    stateCaption->setFixedWidth(px(1440));
    statusLine = panel("statusLine", QStringLiteral("正在检测更新 .."));
    QLabel *makerMark = panel("makerMark", QStringLiteral("Vexlon出品"));
    makerMark->setFixedWidth(px(1440));
    statusBar->addWidget(stateCaption);
    statusBar->addWidget(statusLine, 1);
    statusBar->addPermanentWidget(makerMark);
}

void MainWindow::createDomainMenu()
{
    domainMenu = new QMenu(QStringLiteral("程序菜单"), this);
    domainMenu->setObjectName(QStringLiteral("domainMenu"));
    copyAction = domainMenu->addAction(QStringLiteral("复制域名"));
    copyAction->setObjectName(QStringLiteral("copyAction"));
    domainMenu->addSeparator();
    queryAction = domainMenu->addAction(QStringLiteral("查询信息"));
    queryAction->setObjectName(QStringLiteral("queryAction"));
    domainMenu->addSeparator();
    bookAction = domainMenu->addAction(QStringLiteral("预定域名"));
    bookAction->setObjectName(QStringLiteral("bookAction"));
}

void MainWindow::connectOperations()
{
    connect(startButton, &QPushButton::clicked, this, &MainWindow::startOrStopCollection);
    connect(saveButton, &QPushButton::clicked, this, &MainWindow::saveList);
    connect(homePageButton, &QPushButton::clicked, this, &MainWindow::openHomePage);
    connect(forumButton, &QPushButton::clicked, this, &MainWindow::openForum);
    connect(exitButton, &QPushButton::clicked, this, &MainWindow::close);
    connect(pageCountEdit, &QLineEdit::textChanged, this, &MainWindow::pageCountEdited);
    connect(pageCountArrows, &QAbstractSlider::valueChanged, this,
            [this](int value) { pageCountEdit->setText(QString::number(value)); });

    connect(domainList, &DomainListView::menuRequested, domainMenu, [this](const QPoint &at) { domainMenu->popup(at); });
    connect(domainList, &DomainListView::entryDoubleClicked, this,
            [this] { queryDomain(LookupTrigger::DoubleClick); });
    connect(copyAction, &QAction::triggered, this, &MainWindow::copyDomain);
    connect(queryAction, &QAction::triggered, this, [this] { queryDomain(LookupTrigger::Menu); });
    connect(bookAction, &QAction::triggered, this, &MainWindow::bookDomain);

    connect(m_collectionRun, &CollectionRun::started, this, [this] { showStatus(QStringLiteral("正在批量采集 ..")); });
    connect(m_collectionRun, &CollectionRun::pageRequested, this, [this](int page) {
        showStatus(QStringLiteral("正在采集第") + QString::number(page) + QStringLiteral("页.."));
    });
    connect(m_collectionRun, &CollectionRun::namesArrived, this,
            [this](int, const QStringList &names) { appendNames(names); });
    connect(m_collectionRun, &CollectionRun::finished, this, [this](int failedPages) {
        showStatus(failedPages == 0
                ? QStringLiteral("批量采集完毕 ..")
                : QStringLiteral("批量采集完毕,其中") + QString::number(failedPages) + QStringLiteral("页失败 .."));
        startButton->setText(StartCaption);
    });
    connect(m_collectionRun, &CollectionRun::stopped, this, [this] {
        showStatus(QStringLiteral("已停止批量采集操作 .."));
        startButton->setText(StartCaption);
    });

    connect(m_singlePageCollection, &SinglePageCollection::started, this,
            [this] { showStatus(QStringLiteral("开始采集 ..")); });
    connect(m_singlePageCollection, &SinglePageCollection::namesArrived, this, &MainWindow::appendNames);
    connect(m_singlePageCollection, &SinglePageCollection::finished, this,
            [this](SinglePageCollection::Outcome outcome) {
                switch (outcome) {
                case SinglePageCollection::Outcome::Collected:
                    showStatus(QStringLiteral("采集完毕 .."));
                    break;
                case SinglePageCollection::Outcome::FetchFailed:
                    showStatus(QStringLiteral("采集失败,请稍后再试 .."));
                    break;
                case SinglePageCollection::Outcome::NoNames:
                    showStatus(QStringLiteral("页面中未找到域名 .."));
                    break;
                }
                startButton->setEnabled(true);
            });

    connect(m_lookup, &DomainLookup::started, this, [this] { showStatus(QStringLiteral("正在进行查询 ..")); });
    connect(m_lookup, &DomainLookup::backorderShown, this, &MainWindow::showBackorder);
    connect(m_lookup, &DomainLookup::finished, this, [this](const LookupRecord &record, LookupTrigger trigger) {
        showKeyValue(icpFilingLabel, icpFilingCaption(record, trigger));
        showStatus(record.backorderRead() ? QStringLiteral("查询完毕 ..") : QStringLiteral("查询失败,请稍后再试 .."));
    });

    connect(m_updateCheck, &UpdateCheck::finished, this, &MainWindow::updateCheckFinished);
}

// The window's runs, single pages and lookups go to the history as they come. A history that takes no
// writes is told about once on stderr; what is to be recorded waits and is tried again.
void MainWindow::recordInHistory(HistoryWriter *writer)
{
    OperationRecording::recordRuns(writer, m_config.marketUrl, m_collectionRun);
    OperationRecording::recordSinglePages(writer, m_config.marketUrl, m_singlePageCollection);
    OperationRecording::recordLookups(writer, m_lookup);
    connect(writer, &HistoryWriter::writeFailed, this, [](const QString &reason) {
        std::fputs(qPrintable(QStringLiteral("vexlon-collector: history not recorded for now, tried again: ") + reason
                       + u'\n'),
            stderr);
    });
    // Once a run is in the history, each watch it found new names for is told on the desktop and to its
    // webhook. What cannot be told is said on stderr; the window goes on as it was.
    connect(writer, &HistoryWriter::watchesMatched, this, [this](int, const QList<WatchAlert> &alerts) {
        auto *dispatch = new AlertDispatch(*m_fetcher, this);
        connect(dispatch, &AlertDispatch::notificationsUnavailable, this, [this](const QString &reason) {
            if (!std::exchange(m_toldNoNotifications, true))
                std::fputs(qPrintable(QStringLiteral("vexlon-collector: the desktop's notifications cannot be shown: ")
                               + reason + u'\n'),
                    stderr);
        });
        connect(dispatch, &AlertDispatch::webhookFailed, this, [](const QString &watch, const QString &reason) {
            std::fputs(qPrintable(QStringLiteral("vexlon-collector: the webhook of the watch \"%1\" failed: %2\n")
                                      .arg(watch, reason)),
                stderr);
        });
        connect(dispatch, &AlertDispatch::finished, dispatch, &QObject::deleteLater);
        dispatch->send(alerts, true);
    });
    m_historyWriter = writer;
}

void MainWindow::showCentred()
{
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    show();
}

void MainWindow::checkForUpdates()
{
    m_updateCheck->start();
}

void MainWindow::startOrStopCollection()
{
    const double count = readPageCount(pageCountEdit->text()).value_or(1.0);
    if (count > 1) {
        if (m_collectionRun->isRunning()) {
            m_collectionRun->stop();
        } else {
            startButton->setText(StopCaption);
            domainList->clear();
            m_collectionRun->start(1, lastRunPage(count));
        }
        return;
    }
    // The page number is the box's text as typed.
    startButton->setEnabled(false);
    m_singlePageCollection->start(pageCountEdit->text());
}

void MainWindow::pageCountEdited(const QString &text)
{
    const std::optional<double> count = readPageCount(text);
    // Setting "1" comes back here; "1" is a number, which ends it.
    if (!count)
        pageCountEdit->setText(QStringLiteral("1"));
    else if (m_collectionRun->isRunning())
        m_collectionRun->setLastPage(lastRunPage(*count));
}

// A page's names go in as one block, and the selection moves once, to where selecting the next entry
// after each name would leave it.
void MainWindow::appendNames(const QStringList &names)
{
    if (names.isEmpty())
        return;
    const int selected = domainList->currentRow();
    const int appended = int(names.size());
    domainList->append(names);
    domainList->setCurrentRow(selected >= 0 ? selected + appended : appended - 1);
}

void MainWindow::showStatus(const QString &text)
{
    statusLine->setText(text);
}

void MainWindow::saveList()
{
    if (domainList->count() == 0) {
        Dialogs::showMessage(this, QMessageBox::Information, QStringLiteral("没有可导出域名,请先进行采集"));
        return;
    }
    Dialogs::chooseSaveFile(this, QStringLiteral("请选择要保存的路径"), QStringLiteral("文本文件 (*.txt)"),
                            m_lastSavePath, [this](const QString &path) {
                                m_lastSavePath = path;
                                // Read only now: a run may have added entries while the dialog was open.
                                QString reason;
                                if (writeDomainList(domainList->names(), path, &reason)) {
                                    Dialogs::showMessage(this, QMessageBox::Information,
                                                         QStringLiteral("域名保存成功!"));
                                    return;
                                }
                                Dialogs::showMessage(this, QMessageBox::Warning,
                                                     QStringLiteral("域名保存失败!\n原因：") + reason
                                                         + QStringLiteral("\n文件：") + QDir::toNativeSeparators(path));
                            });
}

void MainWindow::copyDomain()
{
    const QString domain = domainList->selectedDomain();
    if (domain.isEmpty()) {
        showStatus(SelectFirst);
        return;
    }
    // setText replaces whatever the clipboard held with this one plain-text entry.
    QGuiApplication::clipboard()->setText(domain);
    showStatus(QStringLiteral("域名已复制 .."));
}

void MainWindow::queryDomain(LookupTrigger trigger)
{
    const QString domain = domainList->selectedDomain();
    if (domain.isEmpty()) {
        showStatus(SelectFirst);
        return;
    }
    // A lookup still under way is abandoned: the newer one owns the domain info area.
    m_lookup->start(domain, trigger);
}

void MainWindow::bookDomain()
{
    const QString domain = domainList->selectedDomain();
    if (domain.isEmpty()) {
        showStatus(SelectFirst);
        return;
    }
    // The name comes from a web page: it reaches the browser percent-encoded, never through a shell.
    QDesktopServices::openUrl(Urls::backorderPage(m_config.marketUrl, domain));
}

void MainWindow::openHomePage()
{
    QDesktopServices::openUrl(QUrl(m_config.homeUrl));
}

void MainWindow::openForum()
{
    QDesktopServices::openUrl(QUrl(m_config.forumUrl));
}

void MainWindow::openTableWindow()
{
    if (!m_tableWindow) {
        m_tableWindow = new DomainTableWindow(m_config, m_history, m_historyWriter, this);
        m_tableWindow->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_tableWindow->showNames(domainList->names());
    m_tableWindow->show();
    m_tableWindow->raise();
    m_tableWindow->activateWindow();
}

void MainWindow::showBackorder(const BackorderPage &values)
{
    showKeyValue(deletionTypeLabel, QStringLiteral("删除类型：") + TextOps::oneLine(values.deletionType));
    showKeyValue(deletionTimeLabel, QStringLiteral("删除时间：") + TextOps::oneLine(values.deletionTime));
    showKeyValue(deadlineLabel, QStringLiteral("预定截止：") + TextOps::oneLine(values.deadline));
    QString whois = withLinesAtMost(values.whois, WhoisLineChars);
    if (values.whoisCut)
        whois += QStringLiteral("\n……（whois信息过长，只显示了前%1个字符）").arg(BackorderPage::MaxWhoisChars);
    whoisText->setPlainText(whois);
    if (values.bookingClosed) {
        for (ElidedLabel *cell : { platformCell, priceCell, rmbCell, depositCell })
            cell->setText(QStringLiteral("预定时间已过"));
        return;
    }
    platformCell->setText(TextOps::oneLine(values.platform));
    priceCell->setText(TextOps::oneLine(values.price));
    rmbCell->setText(TextOps::oneLine(values.rmb));
    depositCell->setText(TextOps::oneLine(values.deposit));
}

// A key-and-value label grows to the right with its text, up to the next column or the end of the
// area; what is longer is cut there.
void MainWindow::showKeyValue(ElidedLabel *label, const QString &text)
{
    label->setText(text);
    layOutKeyValues();
}

// A label of the left column may grow as far as a deletion time to the second needs in the window's own
// font; the right column moves aside for what the left one shows, as far as needed and no further, and
// never so far that its labels would have less room than they were made with.
void MainWindow::layOutKeyValues()
{
    const QFontMetricsF metrics(deletionTimeLabel->font(), deletionTimeLabel);
    QChar widestDigit = u'0';
    for (char16_t digit = u'1'; digit <= u'9'; ++digit) {
        if (metrics.horizontalAdvance(QChar(digit)) > metrics.horizontalAdvance(widestDigit))
            widestDigit = QChar(digit);
    }
    const QString longestTime = QStringLiteral("删除时间：0000-00-00 00:00:00").replace(u'0', widestDigit);
    // A pixel more than it takes: eliding compares the exact width, not the rounded one.
    const int timeWidth = int(std::ceil(metrics.horizontalAdvance(longestTime))) + 1;
    const int leftEnd = std::clamp(deletionTimeLabel->x() + timeWidth, px(RightColumnTwips) - ColumnGapPx,
        px(InfoAreaEndTwips - KeyValueWidthTwips) - ColumnGapPx);
    int rightColumn = px(RightColumnTwips);
    for (ElidedLabel *label : { deletionTypeLabel, deletionTimeLabel }) {
        label->resize(qMin(label->sizeHint().width(), leftEnd - label->x()), label->height());
        rightColumn = qMax(rightColumn, label->x() + label->width() + ColumnGapPx);
    }
    for (ElidedLabel *label : { deadlineLabel, icpFilingLabel }) {
        label->move(rightColumn, label->y());
        label->resize(qMin(label->sizeHint().width(), px(InfoAreaEndTwips) - rightColumn), label->height());
    }
}

void MainWindow::updateCheckFinished(const VersionVerdict &verdict)
{
    switch (verdict.kind) {
    case VersionVerdict::Failed:
        Dialogs::showMessage(this, QMessageBox::Warning, QStringLiteral("检测更新失败!请您稍后再试,暂时使用原版"));
        return;
    case VersionVerdict::Current:
        showStatus(QStringLiteral("欢迎使用Vexlon系列软件"));
        return;
    case VersionVerdict::Newer:
        Dialogs::showMessage(this, QMessageBox::Information,
                             QStringLiteral("发现最新版本![") + verdict.version
                                 + QStringLiteral("]\r\n \r\n确定后自动打开官方论坛!"),
                             [this] { openForum(); });
        return;
    }
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // The program ends with its window, whatever is still under way or open; a box still open is not
    // answered (the newer version's box opens no forum then).
    event->accept();
    Dialogs::dismissAll(this);
    QCoreApplication::quit();
}
