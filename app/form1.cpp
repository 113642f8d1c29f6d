#include "app/form1.h"

#include "app/domainlist.h"
#include "app/savedialog.h"
#include "app/spinarrows.h"
#include "fetch/internettransfer.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

namespace {

// The layout is given in twips; 15 twips make one pixel at 96 dots per inch.
int px(int twips)
{
    return qRound(twips / 15.0);
}

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
}

const QColor PriceTableRuleColour(64, 64, 64);

} // namespace

Form1::Form1(const AppConfig &config, QWidget *parent)
    : QWidget(parent)
    , m_config(config)
    , m_programFolder(QCoreApplication::applicationDirPath())
    , m_fetcher(new PageFetcher(this))
{
    createControls();
    connectHandlers();
}

Form1::~Form1()
{
    delete C1;
    delete Inet1;
}

void Form1::createControls()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Vexlon域名回收采集器 v1.4"));
    // A fixed single border: title bar, minimize and close boxes, no way to resize.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(px(10110), px(8100));
    QFont windowFont = font();
    windowFont.setPointSize(9);
    setFont(windowFont);

    const auto makeFrame = [](QWidget *container, const char *name, const QString &caption, const QRect &place) {
        auto *frame = new QGroupBox(caption, container);
        frame->setObjectName(QLatin1String(name));
        frame->setGeometry(place);
        frame->setFocusPolicy(Qt::NoFocus);
        // Without it a frame inside a frame would be read out by its container's caption.
        frame->setAccessibleName(caption);
        return frame;
    };
    const auto makeLabel = [](QWidget *container, const char *name, const QString &caption, const QRect &place,
                              Qt::Alignment alignment) {
        auto *label = new QLabel(caption, container);
        label->setObjectName(QLatin1String(name));
        label->setGeometry(place);
        label->setAlignment(alignment);
        // Values come from web pages: never let one be taken for markup.
        label->setTextFormat(Qt::PlainText);
        return label;
    };
    const auto makeRule = [](QWidget *container, const char *name, int x1, int y1, int x2, int y2,
                             const QColor &colour) {
        auto *rule = new QFrame(container);
        rule->setObjectName(QLatin1String(name));
        rule->setFrameShape(QFrame::NoFrame);
        rule->setGeometry(px(x1), px(y1), qMax(1, px(x2) - px(x1) + (x1 == x2 ? 0 : 1)),
                          qMax(1, px(y2) - px(y1) + (y1 == y2 ? 0 : 1)));
        QPalette palette = rule->palette();
        palette.setColor(QPalette::Window, colour);
        rule->setPalette(palette);
        rule->setAutoFillBackground(true);
        return rule;
    };
    const auto makeButton = [this](const char *name, const QString &caption, const QRect &place) {
        auto *button = new QPushButton(caption, this);
        button->setObjectName(QLatin1String(name));
        button->setGeometry(place);
        button->setAutoDefault(false);
        return button;
    };

    // Domain list
    Frame1 = makeFrame(this, "Frame1", QStringLiteral("查询今日已删除域名"), twipsRect(240, 120, 3135, 5175));
    List1 = new DomainList(Frame1);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setGeometry(twipsRect(120, 240, 2895, 4740));
    List1->setAccessibleName(QStringLiteral("域名列表"));

    // Page count
    Frame2 = makeFrame(this, "Frame2", QStringLiteral("请选择采集的页数"), twipsRect(240, 5400, 3135, 855));
    Text1 = new QLineEdit(QStringLiteral("1"), Frame2);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(twipsRect(360, 360, 1695, 270));
    Text1->setAccessibleName(QStringLiteral("采集页数"));
    HScroll1 = new SpinArrows(Frame2);
    HScroll1->setObjectName(QStringLiteral("HScroll1"));
    HScroll1->setGeometry(twipsRect(2280, 360, 495, 255));
    HScroll1->setAccessibleName(QStringLiteral("采集页数调节"));

    // Domain information
    Frame3 = makeFrame(this, "Frame3", QStringLiteral("域名信息 [双击域名列表查看相关信息]"),
                       twipsRect(3600, 120, 6255, 6135));
    const Qt::Alignment keyValue = Qt::AlignLeft | Qt::AlignVCenter;
    Label1 = makeLabel(Frame3, "Label1", QStringLiteral("删除类型：未查询"), twipsRect(240, 480, 1440, 180), keyValue);
    Label2 = makeLabel(Frame3, "Label2", QStringLiteral("删除时间：未查询"), twipsRect(240, 840, 1440, 180), keyValue);
    Label13 = makeLabel(Frame3, "Label13", QStringLiteral("预定截止：未查询"), twipsRect(2760, 480, 1440, 180), keyValue);
    Label12 = makeLabel(Frame3, "Label12", QStringLiteral("是否备案：未查询"), twipsRect(2760, 840, 1440, 180), keyValue);
    // Opaque, so that a long value that runs under the next label is covered by it, not mixed with it.
    for (QLabel *label : {Label1, Label2, Label13, Label12})
        label->setAutoFillBackground(true);

    const Qt::Alignment centred = Qt::AlignCenter;
    Label3 = makeLabel(Frame3, "Label3", QStringLiteral("域名价格"), twipsRect(240, 1600, 5775, 255), centred);
    Label4 = makeLabel(Frame3, "Label4", QStringLiteral("预定平台"), twipsRect(240, 2070, 1455, 255), centred);
    Label5 = makeLabel(Frame3, "Label5", QStringLiteral("预定价格"), twipsRect(1680, 2070, 1455, 255), centred);
    Label6 = makeLabel(Frame3, "Label6", QStringLiteral("折合人民币"), twipsRect(3120, 2070, 1455, 255), centred);
    Label7 = makeLabel(Frame3, "Label7", QStringLiteral("保证金"), twipsRect(4560, 2070, 1455, 255), centred);
    Label8 = makeLabel(Frame3, "Label8", QStringLiteral("未查询"), twipsRect(240, 2550, 1455, 255), centred);
    Label9 = makeLabel(Frame3, "Label9", QStringLiteral("未查询"), twipsRect(1680, 2550, 1455, 255), centred);
    Label10 = makeLabel(Frame3, "Label10", QStringLiteral("未查询"), twipsRect(3120, 2550, 1455, 255), centred);
    Label11 = makeLabel(Frame3, "Label11", QStringLiteral("未查询"), twipsRect(4560, 2550, 1455, 255), centred);

    const QColor defaultRuleColour = palette().color(QPalette::WindowText);
    Line1 = makeRule(Frame3, "Line1", 240, 1440, 6000, 1440, PriceTableRuleColour);
    Line2 = makeRule(Frame3, "Line2", 240, 1920, 6000, 1920, PriceTableRuleColour);
    Line3 = makeRule(Frame3, "Line3", 240, 2400, 6000, 2400, PriceTableRuleColour);
    Line4 = makeRule(Frame3, "Line4", 240, 2880, 6000, 2880, PriceTableRuleColour);
    Line5 = makeRule(Frame3, "Line5", 240, 1440, 240, 2880, PriceTableRuleColour);
    Line6 = makeRule(Frame3, "Line6", 6000, 1440, 6000, 2880, PriceTableRuleColour);
    Line7 = makeRule(Frame3, "Line7", 1680, 1920, 1680, 2880, defaultRuleColour);
    Line8 = makeRule(Frame3, "Line8", 3120, 1920, 3120, 2880, defaultRuleColour);
    Line9 = makeRule(Frame3, "Line9", 4560, 1920, 4560, 2880, defaultRuleColour);

    Frame4 = makeFrame(Frame3, "Frame4", QStringLiteral("whois信息"), twipsRect(240, 3120, 5775, 2775));
    Text2 = new QPlainTextEdit(Frame4);
    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->setGeometry(twipsRect(120, 240, 5535, 2415));
    Text2->setReadOnly(true);
    // Nothing reads it back; it can still be walked and selected from the keyboard.
    Text2->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Text2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text2->setAccessibleName(QStringLiteral("whois信息"));

    // Buttons
    Command1 = makeButton("Command1", QStringLiteral("开始采集"), twipsRect(240, 6480, 1575, 615));
    Command5 = makeButton("Command5", QStringLiteral("域名保存"), twipsRect(1800, 6480, 1575, 615));
    Command4 = makeButton("Command4", QStringLiteral("Vexlon官方网站"), twipsRect(3600, 6480, 2175, 615));
    Command2 = makeButton("Command2", QStringLiteral("Vexlon官方论坛"), twipsRect(5760, 6480, 2055, 615));
    Command3 = makeButton("Command3", QStringLiteral("退出程序"), twipsRect(7800, 6480, 2055, 615));

    // Status bar: a fixed label, the status line, the maker's mark.
    S1 = new QStatusBar(this);
    S1->setObjectName(QStringLiteral("S1"));
    S1->setSizeGripEnabled(false);
    S1->setGeometry(twipsRect(0, 7485, 10110, 615));
    auto *panel1 = new QLabel(QStringLiteral("运行状态："), S1);
    panel1->setTextFormat(Qt::PlainText);
    panel1->setObjectName(QStringLiteral("S1Panel1"));
    panel1->setFixedWidth(px(1440));
    m_statusLine = new QLabel(QStringLiteral("正在检测更新 .."), S1);
    m_statusLine->setTextFormat(Qt::PlainText);
    m_statusLine->setObjectName(QStringLiteral("S1Panel2"));
    auto *panel3 = new QLabel(QStringLiteral("Vexlon出品"), S1);
    panel3->setTextFormat(Qt::PlainText);
    panel3->setObjectName(QStringLiteral("S1Panel3"));
    panel3->setFixedWidth(px(1440));
    S1->addWidget(panel1);
    S1->addWidget(m_statusLine, 1);
    S1->addPermanentWidget(panel3);

    // Popup menu of the domain list
    cxcd = new QMenu(QStringLiteral("程序菜单"), this);
    cxcd->setObjectName(QStringLiteral("cxcd"));
    fz = cxcd->addAction(QStringLiteral("复制域名"));
    fz->setObjectName(QStringLiteral("fz"));
    x1 = cxcd->addSeparator();
    x1->setObjectName(QStringLiteral("x1"));
    cx = cxcd->addAction(QStringLiteral("查询信息"));
    cx->setObjectName(QStringLiteral("cx"));
    x2 = cxcd->addSeparator();
    x2->setObjectName(QStringLiteral("x2"));
    ydym = cxcd->addAction(QStringLiteral("预定域名"));
    ydym->setObjectName(QStringLiteral("ydym"));

    // Non-visual components
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1);
    C1 = new SaveDialog;
    Inet1 = new InternetTransfer;
    Inet1->RequestTimeout = 60;

    // Tab order: frames and labels take no focus.
    QWidget::setTabOrder(Command1, List1);
    QWidget::setTabOrder(List1, Text1);
    QWidget::setTabOrder(Text1, HScroll1);
    QWidget::setTabOrder(HScroll1, Text2);
    QWidget::setTabOrder(Text2, Command2);
    QWidget::setTabOrder(Command2, Command3);
    QWidget::setTabOrder(Command3, Command4);
    QWidget::setTabOrder(Command4, Command5);
}

void Form1::connectHandlers()
{
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    connect(Text1, &QLineEdit::textChanged, this, &Form1::Text1_Change);
    connect(HScroll1, &QAbstractSlider::valueChanged, this, &Form1::HScroll1_Change);
    connect(List1, &DomainList::dblClick, this, &Form1::List1_DblClick);
    connect(List1, &DomainList::mouseDown, this, &Form1::List1_MouseDown);
    connect(fz, &QAction::triggered, this, &Form1::fz_Click);
    connect(cx, &QAction::triggered, this, &Form1::cx_Click);
    connect(ydym, &QAction::triggered, this, &Form1::ydym_Click);
}

void Form1::setStatusText(const QString &text)
{
    if (m_exiting)
        return;
    m_statusLine->setText(text);
}

QString Form1::statusText() const
{
    return m_statusLine->text();
}

void Form1::showMessage(QMessageBox::Icon icon, const QString &text)
{
    if (m_exiting)
        return;
    QMessageBox box(icon, QStringLiteral("Vexlon系列软件"), text, QMessageBox::Ok, this);
    // A published version or an error reason is shown as it came, not as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void Form1::setAutoSizedCaption(QLabel *label, const QString &text)
{
    label->setText(text);
    label->resize(label->sizeHint().width(), label->height());
}

void Form1::closeEvent(QCloseEvent *event)
{
    requestExit();
    event->accept();
}

void Form1::requestExit()
{
    if (m_exiting)
        return;
    m_exiting = true;
    Timer1->stop();
    // Waiting handlers get their answer now and see that nothing more is to be written.
    m_fetcher->abortAll();
    // So do handlers waiting for a message box or the save dialog (an exit by signal can come
    // while one is open).
    for (QDialog *dialog : findChildren<QDialog *>()) {
        if (dialog->isVisible())
            dialog->reject();
    }
    QCoreApplication::quit();
}
