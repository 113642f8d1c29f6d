// The main window: its controls, their places and texts, the popup menu of the domain list, the
// page-count spinner, the auto-sized labels and what a screen reader can read.
#include "app/domainlist.h"
#include "app/form1.h"
#include "app/savedialog.h"
#include "app/spinarrows.h"
#include "fetch/internettransfer.h"

#include <QAccessible>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

const QColor DarkGrey(64, 64, 64);

// Twips to pixels at 96 dots per inch.
double px(int twips)
{
    return twips / 15.0;
}

void verifyWithinAPixel(const QRect &actual, int left, int top, int width, int height)
{
    const QRectF expected(px(left), px(top), px(width), px(height));
    const auto near = [](double a, double b) { return qAbs(a - b) <= 1.0; };
    QVERIFY2(near(actual.x(), expected.x()) && near(actual.y(), expected.y()) && near(actual.width(), expected.width())
            && near(actual.height(), expected.height()),
        qPrintable(QStringLiteral("placed at %1,%2 %3x%4, expected %5,%6 %7x%8")
                       .arg(actual.x())
                       .arg(actual.y())
                       .arg(actual.width())
                       .arg(actual.height())
                       .arg(expected.x())
                       .arg(expected.y())
                       .arg(expected.width())
                       .arg(expected.height())));
}

// The text a control shows: a frame's caption, a label's or button's caption, a box's text.
QString shownText(const QWidget *widget)
{
    if (auto *frame = qobject_cast<const QGroupBox *>(widget))
        return frame->title();
    if (auto *label = qobject_cast<const QLabel *>(widget))
        return label->text();
    if (auto *button = qobject_cast<const QAbstractButton *>(widget))
        return button->text();
    if (auto *box = qobject_cast<const QLineEdit *>(widget))
        return box->text();
    if (auto *box = qobject_cast<const QPlainTextEdit *>(widget))
        return box->toPlainText();
    return QString();
}

QString accessibleText(QObject *object, QAccessible::Text kind)
{
    QAccessibleInterface *interface = QAccessible::queryAccessibleInterface(object);
    return interface ? interface->text(kind) : QStringLiteral("<no accessible interface>");
}

// Every name and value in the accessible tree below the interface.
void collectAccessibleTexts(QAccessibleInterface *interface, QStringList &texts, int depth = 0)
{
    if (!interface || depth > 20)
        return;
    for (QAccessible::Text kind : { QAccessible::Name, QAccessible::Value })
        if (const QString text = interface->text(kind); !text.isEmpty())
            texts.append(text);
    for (int i = 0; i < interface->childCount(); ++i)
        collectAccessibleTexts(interface->child(i), texts, depth + 1);
}

QPoint entryCentre(DomainList *list, int row)
{
    return list->visualRect(list->model()->index(row, 0)).center();
}

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void window();
    void controls_data();
    void controls();
    void priceTableRules_data();
    void priceTableRules();
    void statusBarPanels();
    void popupMenu();
    void nonVisualComponents();
    void initialState();
    void tabOrder();

    void rightPressOpensMenuAndKeepsSelection_data();
    void rightPressOpensMenuAndKeepsSelection();
    void rightPressOnEmptyListOpensMenu();
    void otherPressesOpenNoMenu_data();
    void otherPressesOpenNoMenu();

    void spinnerArrows_data();
    void spinnerArrows();
    void spinnerKeyboard();

    void keyValueLabelGrowsWithItsText_data();
    void keyValueLabelGrowsWithItsText();
    void priceTableLabelKeepsItsPlace_data();
    void priceTableLabelKeepsItsPlace();

    void everyShownTextIsAccessible();
    void accessibleTextsFollowChanges();
    void menuAndListEntriesAreAccessible();

private:
    std::unique_ptr<Form1> m_form;
    Form1 &form()
    {
        if (!m_form)
            m_form = std::make_unique<Form1>();
        return *m_form;
    }
    void showForm()
    {
        form().show();
        QVERIFY(QTest::qWaitForWindowExposed(&form()));
    }
};

void TestWindow::cleanup()
{
    if (m_form && m_form->cxcd->isVisible())
        m_form->cxcd->hide();
    m_form.reset();
}

void TestWindow::window()
{
    Form1 &f = form();
    QCOMPARE(f.objectName(), QStringLiteral("Form1"));
    QCOMPARE(f.windowTitle(), QStringLiteral("Vexlon域名回收采集器 v1.4"));
    // Client area 10110 x 8100 twips, and the user cannot change it.
    QCOMPARE(f.size(), QSize(674, 540));
    QCOMPARE(f.minimumSize(), QSize(674, 540));
    QCOMPARE(f.maximumSize(), QSize(674, 540));
    QVERIFY(!(f.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(f.windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(f.findChildren<QMenuBar *>().isEmpty());
    QCOMPARE(f.font().pointSize(), 9);

    showForm();
    QCOMPARE(f.size(), QSize(674, 540));
    QVERIFY(f.findChildren<QMenuBar *>().isEmpty());
}

void TestWindow::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");

    const auto row
        = [](const char *name, const char *container, const QString &text, int left, int top, int width, int height) {
              QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(container) << text << left << top
                                  << width << height;
          };
    row("Frame1", "Form1", QStringLiteral("查询今日已删除域名"), 240, 120, 3135, 5175);
    row("List1", "Frame1", QString(), 120, 240, 2895, 4740);
    row("Frame2", "Form1", QStringLiteral("请选择采集的页数"), 240, 5400, 3135, 855);
    row("Text1", "Frame2", QStringLiteral("1"), 360, 360, 1695, 270);
    row("HScroll1", "Frame2", QString(), 2280, 360, 495, 255);
    row("Frame3", "Form1", QStringLiteral("域名信息 [双击域名列表查看相关信息]"), 3600, 120, 6255, 6135);
    row("Label1", "Frame3", QStringLiteral("删除类型：未查询"), 240, 480, 1440, 180);
    row("Label2", "Frame3", QStringLiteral("删除时间：未查询"), 240, 840, 1440, 180);
    row("Label13", "Frame3", QStringLiteral("预定截止：未查询"), 2760, 480, 1440, 180);
    row("Label12", "Frame3", QStringLiteral("是否备案：未查询"), 2760, 840, 1440, 180);
    row("Label3", "Frame3", QStringLiteral("域名价格"), 240, 1600, 5775, 255);
    row("Label4", "Frame3", QStringLiteral("预定平台"), 240, 2070, 1455, 255);
    row("Label5", "Frame3", QStringLiteral("预定价格"), 1680, 2070, 1455, 255);
    row("Label6", "Frame3", QStringLiteral("折合人民币"), 3120, 2070, 1455, 255);
    row("Label7", "Frame3", QStringLiteral("保证金"), 4560, 2070, 1455, 255);
    row("Label8", "Frame3", QStringLiteral("未查询"), 240, 2550, 1455, 255);
    row("Label9", "Frame3", QStringLiteral("未查询"), 1680, 2550, 1455, 255);
    row("Label10", "Frame3", QStringLiteral("未查询"), 3120, 2550, 1455, 255);
    row("Label11", "Frame3", QStringLiteral("未查询"), 4560, 2550, 1455, 255);
    row("Frame4", "Frame3", QStringLiteral("whois信息"), 240, 3120, 5775, 2775);
    row("Text2", "Frame4", QString(), 120, 240, 5535, 2415);
    row("Command1", "Form1", QStringLiteral("开始采集"), 240, 6480, 1575, 615);
    row("Command5", "Form1", QStringLiteral("域名保存"), 1800, 6480, 1575, 615);
    row("Command4", "Form1", QStringLiteral("Vexlon官方网站"), 3600, 6480, 2175, 615);
    row("Command2", "Form1", QStringLiteral("Vexlon官方论坛"), 5760, 6480, 2055, 615);
    row("Command3", "Form1", QStringLiteral("退出程序"), 7800, 6480, 2055, 615);
    row("S1", "Form1", QString(), 0, 7485, 10110, 615);
}

void TestWindow::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QString, text);
    QFETCH(int, left);
    QFETCH(int, top);
    QFETCH(int, width);
    QFETCH(int, height);

    showForm();
    auto *control = form().findChild<QWidget *>(name);
    QVERIFY2(control, qPrintable(name));
    QVERIFY(control->parentWidget());
    QCOMPARE(control->parentWidget()->objectName(), container);
    QCOMPARE(shownText(control), text);
    verifyWithinAPixel(control->geometry(), left, top, width, height);
    QVERIFY(control->isVisible());
    QVERIFY(control->isEnabled());
    QVERIFY(!control->testAttribute(Qt::WA_SetFont)); // no font of its own
}

void TestWindow::priceTableRules_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<bool>("darkGrey");

    QTest::newRow("Line1 top edge") << QStringLiteral("Line1") << QPoint(240, 1440) << QPoint(6000, 1440) << true;
    QTest::newRow("Line2 under the title row")
        << QStringLiteral("Line2") << QPoint(240, 1920) << QPoint(6000, 1920) << true;
    QTest::newRow("Line3 under the header row")
        << QStringLiteral("Line3") << QPoint(240, 2400) << QPoint(6000, 2400) << true;
    QTest::newRow("Line4 bottom edge") << QStringLiteral("Line4") << QPoint(240, 2880) << QPoint(6000, 2880) << true;
    QTest::newRow("Line5 left edge") << QStringLiteral("Line5") << QPoint(240, 1440) << QPoint(240, 2880) << true;
    QTest::newRow("Line6 right edge") << QStringLiteral("Line6") << QPoint(6000, 1440) << QPoint(6000, 2880) << true;
    QTest::newRow("Line7 first column border")
        << QStringLiteral("Line7") << QPoint(1680, 1920) << QPoint(1680, 2880) << false;
    QTest::newRow("Line8 second column border")
        << QStringLiteral("Line8") << QPoint(3120, 1920) << QPoint(3120, 2880) << false;
    QTest::newRow("Line9 third column border")
        << QStringLiteral("Line9") << QPoint(4560, 1920) << QPoint(4560, 2880) << false;
}

void TestWindow::priceTableRules()
{
    QFETCH(QString, name);
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    QFETCH(bool, darkGrey);

    showForm();
    auto *rule = form().findChild<QFrame *>(name);
    QVERIFY(rule);
    QCOMPARE(rule->parentWidget(), form().Frame3);
    QVERIFY(rule->isVisible());
    const QRect place = rule->geometry();
    // A rule one pixel thick from one end to the other.
    if (from.y() == to.y()) {
        QCOMPARE(place.height(), 1);
        QVERIFY(qAbs(place.top() - px(from.y())) <= 1);
        QVERIFY(qAbs(place.left() - px(from.x())) <= 1);
        QVERIFY(qAbs(place.right() - px(to.x())) <= 1);
    } else {
        QCOMPARE(place.width(), 1);
        QVERIFY(qAbs(place.left() - px(from.x())) <= 1);
        QVERIFY(qAbs(place.top() - px(from.y())) <= 1);
        QVERIFY(qAbs(place.bottom() - px(to.y())) <= 1);
    }
    QVERIFY(rule->autoFillBackground());
    const QColor colour = rule->palette().color(QPalette::Window);
    if (darkGrey)
        QCOMPARE(colour, DarkGrey);
    else
        QCOMPARE(colour, form().palette().color(QPalette::WindowText));
}

void TestWindow::statusBarPanels()
{
    showForm();
    QStatusBar *bar = form().S1;
    QCOMPARE(bar->objectName(), QStringLiteral("S1"));
    QVERIFY(!bar->isSizeGripEnabled());
    QCOMPARE(bar->geometry().bottom(), form().rect().bottom());
    QCOMPARE(bar->width(), form().width());

    // Three labels inside the status bar, left to right.
    QList<QLabel *> panels = bar->findChildren<QLabel *>(Qt::FindDirectChildrenOnly);
    QCOMPARE(panels.size(), 3);
    std::sort(panels.begin(), panels.end(), [](QLabel *a, QLabel *b) { return a->x() < b->x(); });
    QCOMPARE(panels[0]->text(), QStringLiteral("运行状态："));
    QCOMPARE(panels[1]->text(), QStringLiteral("正在检测更新 .."));
    QCOMPARE(panels[2]->text(), QStringLiteral("Vexlon出品"));
    QCOMPARE(panels[0]->width(), 96);
    QCOMPARE(panels[2]->width(), 96);
    // The status line takes what the other two leave.
    QVERIFY(panels[1]->x() >= panels[0]->geometry().right());
    QVERIFY(panels[1]->geometry().right() <= panels[2]->x());
    QVERIFY(panels[1]->width() >= bar->width() - 2 * 96 - 40);
    for (QLabel *panel : panels)
        QVERIFY(panel->isVisible());

    // Only the status line follows setStatusText.
    form().setStatusText(QStringLiteral("查询完毕 .."));
    QCOMPARE(panels[1]->text(), QStringLiteral("查询完毕 .."));
    QCOMPARE(form().statusText(), QStringLiteral("查询完毕 .."));
    QCOMPARE(panels[0]->text(), QStringLiteral("运行状态："));
    QCOMPARE(panels[2]->text(), QStringLiteral("Vexlon出品"));
}

void TestWindow::popupMenu()
{
    QMenu *menu = form().cxcd;
    QCOMPARE(menu->objectName(), QStringLiteral("cxcd"));
    QCOMPARE(menu->title(), QStringLiteral("程序菜单"));
    const QList<QAction *> items = menu->actions();
    QCOMPARE(items.size(), 5);
    QCOMPARE(items[0], form().fz);
    QCOMPARE(items[1], form().x1);
    QCOMPARE(items[2], form().cx);
    QCOMPARE(items[3], form().x2);
    QCOMPARE(items[4], form().ydym);
    const QStringList names { QStringLiteral("fz"), QStringLiteral("x1"), QStringLiteral("cx"), QStringLiteral("x2"),
        QStringLiteral("ydym") };
    const QStringList captions { QStringLiteral("复制域名"), QString(), QStringLiteral("查询信息"), QString(),
        QStringLiteral("预定域名") };
    for (int i = 0; i < items.size(); ++i) {
        QCOMPARE(items[i]->objectName(), names[i]);
        QCOMPARE(items[i]->isSeparator(), captions[i].isEmpty());
        QCOMPARE(items[i]->text(), captions[i]);
        QVERIFY(items[i]->isEnabled());
    }
    QVERIFY(!menu->isVisible());
}

void TestWindow::nonVisualComponents()
{
    QCOMPARE(form().Timer1->objectName(), QStringLiteral("Timer1"));
    QCOMPARE(form().Timer1->interval(), 1);
    QVERIFY(!form().Timer1->isActive());
    QVERIFY(!form().Timer1->isSingleShot());
    QCOMPARE(form().C1->Filter, QStringLiteral("文本文件 (*.txt)"));
    QVERIFY(form().C1->FileName.isEmpty());
    QVERIFY(form().C1->DialogTitle.isEmpty());
    QCOMPARE(form().Inet1->RequestTimeout, 60);
}

void TestWindow::initialState()
{
    Form1 &f = form();
    QCOMPARE(f.Text1->text(), QStringLiteral("1"));
    QVERIFY(!f.Text1->isReadOnly());
    QCOMPARE(f.HScroll1->value(), 0);
    QCOMPARE(f.HScroll1->minimum(), 0);
    QCOMPARE(f.HScroll1->maximum(), 32767);
    QCOMPARE(f.HScroll1->singleStep(), 1);
    QCOMPARE(f.HScroll1->pageStep(), 1);
    QCOMPARE(f.HScroll1->orientation(), Qt::Horizontal);
    QCOMPARE(f.List1->ListCount(), 0);
    QCOMPARE(f.List1->ListIndex(), -1);
    QCOMPARE(f.List1->text(), QString());
    QCOMPARE(f.List1->selectionMode(), QAbstractItemView::SingleSelection);
    QVERIFY(f.Text2->toPlainText().isEmpty());
    QCOMPARE(f.statusText(), QStringLiteral("正在检测更新 .."));
    QVERIFY(!f.isExiting());
    QCOMPARE(f.PageNo, qint16(0));
    for (const QString &slot : f.PageParts)
        QVERIFY(slot.isEmpty());
    for (QWidget *control : f.findChildren<QWidget *>())
        QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
    // Frames and labels take no focus.
    for (QWidget *control : f.findChildren<QGroupBox *>())
        QCOMPARE(control->focusPolicy(), Qt::NoFocus);
    for (QLabel *control : f.findChildren<QLabel *>())
        QCOMPARE(control->focusPolicy(), Qt::NoFocus);
    // Labels show values cut from web pages: none of them may render markup.
    for (QLabel *control : f.findChildren<QLabel *>())
        QVERIFY2(control->textFormat() == Qt::PlainText, qPrintable(control->objectName()));
}

void TestWindow::tabOrder()
{
    showForm();
    Form1 &f = form();
    f.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    f.Command1->setFocus(Qt::OtherFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(f.Command1));

    QStringList expected;
    for (const char *name :
        { "List1", "Text1", "HScroll1", "Text2", "Command2", "Command3", "Command4", "Command5", "Command1" })
        expected.append(QLatin1String(name));
    QStringList walked;
    for (int i = 0; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget *focus = QApplication::focusWidget();
        walked.append(focus ? focus->objectName() : QStringLiteral("<none>"));
    }
    QCOMPARE(walked, expected);
}

void TestWindow::rightPressOpensMenuAndKeepsSelection_data()
{
    QTest::addColumn<int>("selectedRow");
    QTest::addColumn<int>("pressedRow");
    QTest::addColumn<Qt::KeyboardModifiers>("shift");

    QTest::newRow("on another entry") << 0 << 2 << Qt::KeyboardModifiers();
    QTest::newRow("on the selected entry") << 1 << 1 << Qt::KeyboardModifiers();
    QTest::newRow("with Shift") << 2 << 0 << Qt::KeyboardModifiers(Qt::ShiftModifier);
    QTest::newRow("with Ctrl") << 0 << 1 << Qt::KeyboardModifiers(Qt::ControlModifier);
    QTest::newRow("with Alt") << 0 << 1 << Qt::KeyboardModifiers(Qt::AltModifier);
    QTest::newRow("nothing selected") << -1 << 1 << Qt::KeyboardModifiers();
}

void TestWindow::rightPressOpensMenuAndKeepsSelection()
{
    QFETCH(int, selectedRow);
    QFETCH(int, pressedRow);
    QFETCH(Qt::KeyboardModifiers, shift);

    showForm();
    DomainList *list = form().List1;
    list->AddItems({ QStringLiteral("alpha.com"), QStringLiteral("bravo.cn"), QStringLiteral("charlie.net") });
    if (selectedRow >= 0)
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, entryCentre(list, selectedRow));
    QCOMPARE(list->ListIndex(), selectedRow);
    const QModelIndex currentBefore = list->currentIndex();

    const QPoint pressed = entryCentre(list, pressedRow);
    QTest::mousePress(list->viewport(), Qt::RightButton, shift, pressed);

    // Open on the press itself, before any release, at the pointer.
    QVERIFY(form().cxcd->isVisible());
    const QPoint pointer = list->viewport()->mapToGlobal(pressed);
    QVERIFY2((form().cxcd->pos() - pointer).manhattanLength() <= 2,
        qPrintable(QStringLiteral("menu at %1,%2, pointer at %3,%4")
                       .arg(form().cxcd->x())
                       .arg(form().cxcd->y())
                       .arg(pointer.x())
                       .arg(pointer.y())));
    QCOMPARE(list->ListIndex(), selectedRow);
    QCOMPARE(list->currentIndex(), currentBefore);
    QCOMPARE(list->text(), selectedRow >= 0 ? list->List(selectedRow) : QString());

    form().cxcd->hide();
    QTest::mouseRelease(list->viewport(), Qt::RightButton, shift, pressed);
    QCOMPARE(list->ListIndex(), selectedRow);
}

void TestWindow::rightPressOnEmptyListOpensMenu()
{
    showForm();
    QTest::mousePress(form().List1->viewport(), Qt::RightButton, Qt::NoModifier, QPoint(20, 20));
    QVERIFY(form().cxcd->isVisible());
    QCOMPARE(form().List1->ListIndex(), -1);
}

void TestWindow::otherPressesOpenNoMenu_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::newRow("left button") << Qt::LeftButton;
    QTest::newRow("middle button") << Qt::MiddleButton;
}

void TestWindow::otherPressesOpenNoMenu()
{
    QFETCH(Qt::MouseButton, button);

    showForm();
    DomainList *list = form().List1;
    list->AddItems({ QStringLiteral("alpha.com"), QStringLiteral("bravo.cn") });
    QTest::mousePress(list->viewport(), button, Qt::NoModifier, entryCentre(list, 1));
    QVERIFY(!form().cxcd->isVisible());
    QTest::mouseRelease(list->viewport(), button, Qt::NoModifier, entryCentre(list, 1));
    QVERIFY(!form().cxcd->isVisible());
    if (button == Qt::LeftButton)
        QCOMPARE(list->ListIndex(), 1);

    // Called directly, as the handler of a press.
    form().List1_MouseDown(button, Qt::NoModifier, QPoint(5, 5));
    QVERIFY(!form().cxcd->isVisible());
    form().List1_MouseDown(Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
    QVERIFY(form().cxcd->isVisible());
}

void TestWindow::spinnerArrows_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<bool>("rightArrow");
    QTest::addColumn<int>("expected");

    QTest::newRow("right arrow at 0") << 0 << true << 1;
    QTest::newRow("left arrow at 0 does nothing") << 0 << false << 0;
    QTest::newRow("left arrow at 5") << 5 << false << 4;
    QTest::newRow("right arrow at 32766") << 32766 << true << 32767;
    QTest::newRow("right arrow at 32767 does nothing") << 32767 << true << 32767;
    QTest::newRow("left arrow at 32767") << 32767 << false << 32766;
}

void TestWindow::spinnerArrows()
{
    QFETCH(int, start);
    QFETCH(bool, rightArrow);
    QFETCH(int, expected);

    showForm();
    SpinArrows *spinner = form().HScroll1;
    spinner->setValue(start);
    QSignalSpy changes(spinner, &QAbstractSlider::valueChanged);

    QToolButton *arrow = rightArrow ? spinner->rightArrow() : spinner->leftArrow();
    QVERIFY(arrow->isVisible());
    QTest::mouseClick(arrow, Qt::LeftButton);
    QCOMPARE(spinner->value(), expected);
    QCOMPARE(changes.size(), expected == start ? 0 : 1);
}

void TestWindow::spinnerKeyboard()
{
    showForm();
    SpinArrows *spinner = form().HScroll1;
    // Nothing but two arrow buttons, side by side, filling the control.
    QCOMPARE(spinner->leftArrow()->arrowType(), Qt::LeftArrow);
    QCOMPARE(spinner->rightArrow()->arrowType(), Qt::RightArrow);
    QCOMPARE(spinner->leftArrow()->geometry().left(), 0);
    QCOMPARE(spinner->rightArrow()->geometry().right(), spinner->width() - 1);
    QCOMPARE(spinner->leftArrow()->geometry().right() + 1, spinner->rightArrow()->geometry().left());
    QCOMPARE(spinner->leftArrow()->height(), spinner->height());

    QTest::keyClick(spinner, Qt::Key_Right);
    QCOMPARE(spinner->value(), 1);
    QTest::keyClick(spinner, Qt::Key_Left);
    QTest::keyClick(spinner, Qt::Key_Left);
    QCOMPARE(spinner->value(), 0);
}

void TestWindow::keyValueLabelGrowsWithItsText_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");

    QTest::newRow("Label1 deletion type")
        << QStringLiteral("Label1") << QStringLiteral("删除类型：过期删除（Pending Delete）");
    QTest::newRow("Label2 deletion time")
        << QStringLiteral("Label2") << QStringLiteral("删除时间：2024-03-18 10:30:00");
    QTest::newRow("Label13 booking deadline")
        << QStringLiteral("Label13") << QStringLiteral("预定截止：2024-03-18 09:00");
    QTest::newRow("Label12 ICP filing") << QStringLiteral("Label12") << QStringLiteral("是否备案：京ICP备12345678号-1");
    QTest::newRow("Label12 shorter than before") << QStringLiteral("Label12") << QStringLiteral("是否备案：否");
}

void TestWindow::keyValueLabelGrowsWithItsText()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);

    showForm();
    auto *label = form().findChild<QLabel *>(name);
    QVERIFY(label);
    const QRect before = label->geometry();
    QVERIFY(label->alignment() & Qt::AlignLeft);

    form().setAutoSizedCaption(label, caption);
    QCOMPARE(label->text(), caption);
    const int textWidth = label->fontMetrics().horizontalAdvance(caption);
    // Grows (or shrinks) to the right: left edge, top and height stay.
    QCOMPARE(label->x(), before.x());
    QCOMPARE(label->y(), before.y());
    QCOMPARE(label->height(), before.height());
    QVERIFY2(label->width() >= textWidth && label->width() <= textWidth + 4,
        qPrintable(QStringLiteral("width %1 for a text %2 wide").arg(label->width()).arg(textWidth)));
}

void TestWindow::priceTableLabelKeepsItsPlace_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("Label8 platform") << QStringLiteral("Label8");
    QTest::newRow("Label9 price") << QStringLiteral("Label9");
    QTest::newRow("Label10 RMB") << QStringLiteral("Label10");
    QTest::newRow("Label11 deposit") << QStringLiteral("Label11");
    QTest::newRow("Label3 title") << QStringLiteral("Label3");
}

void TestWindow::priceTableLabelKeepsItsPlace()
{
    QFETCH(QString, name);

    showForm();
    auto *label = form().findChild<QLabel *>(name);
    QVERIFY(label);
    const QRect before = label->geometry();
    QCOMPARE(label->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    label->setText(QStringLiteral("一个比格子还要长得多的价格说明文字"));
    QCOMPARE(label->geometry(), before);
    label->setText(QStringLiteral("1"));
    QCOMPARE(label->geometry(), before);
}

void TestWindow::everyShownTextIsAccessible()
{
    showForm();
    Form1 &f = form();
    QCOMPARE(accessibleText(&f, QAccessible::Name), f.windowTitle());

    // Every label, button and frame caption reaches a screen reader as its widget's name.
    int checked = 0;
    for (QWidget *widget : f.findChildren<QWidget *>()) {
        if (!widget->isVisible())
            continue;
        const QString text = shownText(widget);
        if (text.isEmpty())
            continue;
        const QAccessible::Text kind = qobject_cast<QLineEdit *>(widget) ? QAccessible::Value : QAccessible::Name;
        QCOMPARE(accessibleText(widget, kind), text);
        ++checked;
    }
    // 4 frames, 13 labels, 5 buttons, 3 status panels and the page-count box at least.
    QVERIFY2(checked >= 26, qPrintable(QString::number(checked)));

    // The status panels are labels inside the status bar, not text painted on it.
    QAccessibleInterface *statusBar = QAccessible::queryAccessibleInterface(f.S1);
    QVERIFY(statusBar);
    QStringList statusTexts;
    collectAccessibleTexts(statusBar, statusTexts);
    QVERIFY(statusTexts.contains(QStringLiteral("运行状态：")));
    QVERIFY(statusTexts.contains(QStringLiteral("正在检测更新 ..")));
    QVERIFY(statusTexts.contains(QStringLiteral("Vexlon出品")));

    // And the whole window reads, from its top, every caption the table gives.
    QStringList all;
    collectAccessibleTexts(QAccessible::queryAccessibleInterface(&f), all);
    for (const QString &expected : { QStringLiteral("查询今日已删除域名"), QStringLiteral("请选择采集的页数"),
             QStringLiteral("域名信息 [双击域名列表查看相关信息]"), QStringLiteral("whois信息"),
             QStringLiteral("删除类型：未查询"), QStringLiteral("预定截止：未查询"), QStringLiteral("域名价格"),
             QStringLiteral("折合人民币"), QStringLiteral("开始采集"), QStringLiteral("退出程序"),
             QStringLiteral("Vexlon官方网站"), QStringLiteral("正在检测更新 .."), QStringLiteral("1") })
        QVERIFY2(all.contains(expected), qPrintable(expected));

    // Controls without a caption still say what they are.
    QVERIFY(!accessibleText(f.List1, QAccessible::Name).isEmpty());
    QVERIFY(!accessibleText(f.Text1, QAccessible::Name).isEmpty());
    QVERIFY(!accessibleText(f.HScroll1, QAccessible::Name).isEmpty());
    QVERIFY(!accessibleText(f.Text2, QAccessible::Name).isEmpty());
    QVERIFY(!accessibleText(f.HScroll1->leftArrow(), QAccessible::Name).isEmpty());
    QVERIFY(!accessibleText(f.HScroll1->rightArrow(), QAccessible::Name).isEmpty());
}

void TestWindow::accessibleTextsFollowChanges()
{
    showForm();
    Form1 &f = form();
    f.setStatusText(QStringLiteral("正在批量采集 .."));
    QCOMPARE(accessibleText(f.S1->findChild<QLabel *>(QStringLiteral("S1Panel2")), QAccessible::Name),
        QStringLiteral("正在批量采集 .."));
    f.setAutoSizedCaption(f.Label1, QStringLiteral("删除类型：过期删除"));
    QCOMPARE(accessibleText(f.Label1, QAccessible::Name), QStringLiteral("删除类型：过期删除"));
    f.Text2->setPlainText(QStringLiteral("Domain Name: alpha.com\nRegistrar: Example"));
    QCOMPARE(accessibleText(f.Text2, QAccessible::Value), QStringLiteral("Domain Name: alpha.com\nRegistrar: Example"));
    f.Text1->setText(QStringLiteral("7"));
    QCOMPARE(accessibleText(f.Text1, QAccessible::Value), QStringLiteral("7"));
    f.Command1->setText(QStringLiteral("停止采集"));
    QCOMPARE(accessibleText(f.Command1, QAccessible::Name), QStringLiteral("停止采集"));
}

void TestWindow::menuAndListEntriesAreAccessible()
{
    showForm();
    Form1 &f = form();
    f.List1->AddItems({ QStringLiteral("alpha.com"), QStringLiteral("bravo.cn") });
    QStringList listTexts;
    collectAccessibleTexts(QAccessible::queryAccessibleInterface(f.List1), listTexts);
    QVERIFY(listTexts.contains(QStringLiteral("alpha.com")));
    QVERIFY(listTexts.contains(QStringLiteral("bravo.cn")));

    f.List1_MouseDown(Qt::RightButton);
    QVERIFY(f.cxcd->isVisible());
    QStringList menuTexts;
    collectAccessibleTexts(QAccessible::queryAccessibleInterface(f.cxcd), menuTexts);
    for (const QString &caption :
        { QStringLiteral("复制域名"), QStringLiteral("查询信息"), QStringLiteral("预定域名") })
        QVERIFY2(menuTexts.contains(caption), qPrintable(caption));
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
