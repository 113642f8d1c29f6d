// The main window: its controls, their places and texts, the domain list's menu, the page-count arrows, the
// key-and-value labels and price cells as a lookup fills them, and what a screen reader can read.
#include "tests/windowtest.h"
#include "tools/samplemarket.h"
#include "ui/domainlistview.h"
#include "ui/elidedlabel.h"
#include "ui/mainwindow.h"
#include "ui/pagecountarrows.h"

#include <QAccessible>
#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>

using namespace Qt::Literals::StringLiterals;

namespace {

const std::string LookedUpDomain = "alpha.com";

// Within a pixel of a length in twips (15 twips make a pixel at 96 dots per inch).
bool near(int pixels, int twips)
{
    return qAbs(pixels - twips / 15.0) <= 1.0;
}

QString accessibleText(QObject *object, QAccessible::Text kind = QAccessible::Name)
{
    QAccessibleInterface *interface = QAccessible::queryAccessibleInterface(object);
    return interface ? interface->text(kind) : u"<no accessible interface>"_s;
}

// Every name and value in the accessible tree from the interface down.
QStringList accessibleTexts(QAccessibleInterface *interface, int depth = 0)
{
    QStringList texts;
    for (QAccessible::Text kind : { QAccessible::Name, QAccessible::Value })
        if (interface && !interface->text(kind).isEmpty())
            texts.append(interface->text(kind));
    for (int i = 0; interface && depth < 20 && i < interface->childCount(); ++i)
        texts += accessibleTexts(interface->child(i), depth + 1);
    return texts;
}
QStringList accessibleTexts(QObject *object)
{
    return accessibleTexts(QAccessible::queryAccessibleInterface(object));
}

} // namespace

class TestMainWindow : public WindowTest
{
    Q_OBJECT
    ElidedLabel *label(const char *name) const { return control<ElidedLabel>(name); }

    QMenu *menu() const { return control<QMenu>("domainMenu"); }

    PageCountArrows *arrows() const { return control<PageCountArrows>("pageCountArrows"); }

    QPoint entryCentre(int row) const
    {
        return domainList()->visualRect(domainList()->model()->index(row, 0)).center();
    }

    // Looks the domain up by a double-click, with these pages on the site; true once it has ended well.
    bool lookUp(const std::string &backorderPage, const std::string &icpPage = std::string())
    {
        site().setReply("/backorder/" + LookedUpDomain, FakeSite::Reply::gbkHtml(backorderPage));
        if (!icpPage.empty())
            site().setReply("/" + LookedUpDomain, FakeSite::Reply::gbkHtml(icpPage));
        fillList({ QString::fromStdString(LookedUpDomain) });
        doubleClickRow(0);
        return status() == u"正在进行查询 .."_s && QTest::qWaitFor([this] { return status() == u"查询完毕 .."_s; });
    }

private slots:
    void init() { startWindow(); }

    void cleanup() { endWindow(); }

    void initialState()
    {
        QWidget *w = &window();
        QCOMPARE(w->objectName(), u"mainWindow"_s);
        QCOMPARE(w->windowTitle(), u"Vexlon域名回收采集器 v1.4"_s);
        // Client area 10110 x 8100 twips, and the user cannot change it.
        QCOMPARE(w->size(), QSize(674, 540));
        QCOMPARE(w->minimumSize(), w->size());
        QCOMPARE(w->maximumSize(), w->size());
        QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(w->windowFlags() & Qt::WindowCloseButtonHint);
        QVERIFY(w->findChildren<QMenuBar *>().isEmpty());
        QCOMPARE(w->font().pointSize(), 9);
        QCOMPARE(menu()->title(), u"程序菜单"_s);
        QStringList items;
        for (const QAction *item : menu()->actions()) {
            QVERIFY(item->isEnabled());
            items << (item->isSeparator() ? u"-"_s : item->objectName() + u'=' + item->text());
        }
        QCOMPARE(items,
            QStringList(
                { u"copyAction=复制域名"_s, u"-"_s, u"queryAction=查询信息"_s, u"-"_s, u"bookAction=预定域名"_s }));
        QVERIFY(!control<QLineEdit>("pageCountEdit")->isReadOnly());
        QCOMPARE(QList<int>({ arrows()->minimum(), arrows()->value(), arrows()->maximum(), arrows()->singleStep() }),
            QList<int>({ 0, 0, 32767, 1 }));
        QCOMPARE(domainList()->count(), 0);
        QCOMPARE(domainList()->selectionMode(), QAbstractItemView::SingleSelection);
        for (QWidget *widget : w->findChildren<QWidget *>())
            QVERIFY2(
                widget->isEnabled() && (!qobject_cast<QGroupBox *>(widget) || widget->focusPolicy() == Qt::NoFocus),
                qPrintable(widget->objectName()));
        // Labels take no focus, and show values cut from web pages: none of them may render markup.
        for (QLabel *label : w->findChildren<QLabel *>())
            QVERIFY2(label->focusPolicy() == Qt::NoFocus && label->textFormat() == Qt::PlainText,
                qPrintable(label->objectName()));
    }

    void controls_data()
    {
        QTest::addColumn<QString>("container");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QRect>("twips");
        const auto row = [](const char *name, const char *container, const char *text, QRect twips) {
            QTest::newRow(name) << QString::fromLatin1(container) << QString::fromUtf8(text) << twips;
        };
        row("domainListFrame", "mainWindow", "查询今日已删除域名", { 240, 120, 3135, 5175 });
        row("domainList", "domainListFrame", "", { 120, 240, 2895, 4740 });
        row("pageCountFrame", "mainWindow", "请选择采集的页数", { 240, 5400, 3135, 855 });
        row("pageCountEdit", "pageCountFrame", "1", { 360, 360, 1695, 270 });
        row("pageCountArrows", "pageCountFrame", "", { 2280, 360, 495, 255 });
        row("domainInfoFrame", "mainWindow", "域名信息 [双击域名列表查看相关信息]", { 3600, 120, 6255, 6135 });
        row("deletionTypeLabel", "domainInfoFrame", "删除类型：未查询", { 240, 480, 1440, 180 });
        row("deletionTimeLabel", "domainInfoFrame", "删除时间：未查询", { 240, 840, 1440, 180 });
        row("deadlineLabel", "domainInfoFrame", "预定截止：未查询", { 2760, 480, 1440, 180 });
        row("icpFilingLabel", "domainInfoFrame", "是否备案：未查询", { 2760, 840, 1440, 180 });
        row("priceTitle", "domainInfoFrame", "域名价格", { 240, 1600, 5775, 255 });
        row("platformHeader", "domainInfoFrame", "预定平台", { 240, 2070, 1455, 255 });
        row("priceHeader", "domainInfoFrame", "预定价格", { 1680, 2070, 1455, 255 });
        row("rmbHeader", "domainInfoFrame", "折合人民币", { 3120, 2070, 1455, 255 });
        row("depositHeader", "domainInfoFrame", "保证金", { 4560, 2070, 1455, 255 });
        row("platformCell", "domainInfoFrame", "未查询", { 240, 2550, 1455, 255 });
        row("priceCell", "domainInfoFrame", "未查询", { 1680, 2550, 1455, 255 });
        row("rmbCell", "domainInfoFrame", "未查询", { 3120, 2550, 1455, 255 });
        row("depositCell", "domainInfoFrame", "未查询", { 4560, 2550, 1455, 255 });
        // The price table's rules, one pixel thick: its edges and the lines under its rows, then the column borders.
        const auto rule = [&row](const char *name, int x1, int y1, int x2, int y2) {
            row(name, "domainInfoFrame", "", { x1, y1, x2 - x1 + 15, y2 - y1 + 15 });
        };
        rule("priceTableTopRule", 240, 1440, 6000, 1440);
        rule("priceTableTitleRule", 240, 1920, 6000, 1920);
        rule("priceTableHeaderRule", 240, 2400, 6000, 2400);
        rule("priceTableBottomRule", 240, 2880, 6000, 2880);
        rule("priceTableLeftRule", 240, 1440, 240, 2880);
        rule("priceTableRightRule", 6000, 1440, 6000, 2880);
        rule("platformColumnRule", 1680, 1920, 1680, 2880);
        rule("priceColumnRule", 3120, 1920, 3120, 2880);
        rule("rmbColumnRule", 4560, 1920, 4560, 2880);
        row("whoisFrame", "domainInfoFrame", "whois信息", { 240, 3120, 5775, 2775 });
        row("whoisText", "whoisFrame", "", { 120, 240, 5535, 2415 });
        row("startButton", "mainWindow", "开始采集", { 240, 6480, 1575, 615 });
        row("saveButton", "mainWindow", "域名保存", { 1800, 6480, 1575, 615 });
        row("homePageButton", "mainWindow", "Vexlon官方网站", { 3600, 6480, 2175, 615 });
        row("forumButton", "mainWindow", "Vexlon官方论坛", { 5760, 6480, 2055, 615 });
        row("exitButton", "mainWindow", "退出程序", { 7800, 6480, 2055, 615 });
        row("statusBar", "mainWindow", "", { 0, 7485, 10110, 615 });
    }

    void controls()
    {
        QFETCH(QString, container);
        QFETCH(QString, text);
        QFETCH(QRect, twips);
        QWidget *widget = control(QTest::currentDataTag());
        QVERIFY(widget && widget->parentWidget());
        QCOMPARE(widget->parentWidget()->objectName(), container);
        QCOMPARE(textOf(widget), text);
        const QRect place = widget->geometry();
        QVERIFY2(near(place.x(), twips.x()) && near(place.y(), twips.y()) && near(place.width(), twips.width())
                && near(place.height(), twips.height()) && near(place.right() + 1, twips.x() + twips.width())
                && near(place.bottom() + 1, twips.y() + twips.height()),
            qPrintable(u"%1,%2 %3x%4"_s.arg(place.x()).arg(place.y()).arg(place.width()).arg(place.height())));
        QVERIFY(widget->isVisible() && widget->isEnabled());
        QVERIFY(!widget->testAttribute(Qt::WA_SetFont)); // no font of its own
        if (QByteArray(QTest::currentDataTag()).endsWith("Rule")) {
            QCOMPARE(qMin(place.width(), place.height()), 1);
            QVERIFY(widget->autoFillBackground());
            const bool columnBorder = QByteArray(QTest::currentDataTag()).endsWith("ColumnRule");
            QCOMPARE(widget->palette().color(QPalette::Window),
                columnBorder ? window().palette().color(QPalette::WindowText) : QColor(64, 64, 64));
        }
    }

    void statusBarPanels()
    {
        auto *bar = control<QStatusBar>("statusBar");
        QVERIFY(!bar->isSizeGripEnabled());
        QCOMPARE(bar->geometry().bottom(), window().rect().bottom());
        QCOMPARE(bar->width(), window().width());
        // Three labels inside the status bar, left to right; the middle one takes what the others leave.
        QList<QLabel *> panels = bar->findChildren<QLabel *>(Qt::FindDirectChildrenOnly);
        std::sort(panels.begin(), panels.end(), [](QLabel *a, QLabel *b) { return a->x() < b->x(); });
        const auto shown = [&panels] {
            QStringList texts;
            for (QLabel *panel : panels)
                texts << panel->objectName() + u'=' + panel->text() + (panel->isVisible() ? u""_s : u" hidden"_s);
            return texts.join(u'|');
        };
        QCOMPARE(shown(), u"stateCaption=运行状态：|statusLine=正在检测更新 ..|makerMark=Vexlon出品"_s);
        QCOMPARE(QList<int>({ panels[0]->width(), panels[2]->width() }), QList<int>({ 96, 96 }));
        QVERIFY(panels[1]->x() >= panels[0]->geometry().right() && panels[1]->geometry().right() <= panels[2]->x());
        QVERIFY(panels[1]->width() >= bar->width() - 2 * 96 - 40);
        // Only the status line follows what the program says.
        choose("copyAction");
        QCOMPARE(shown(), u"stateCaption=运行状态：|statusLine=请先进行获取 ..|makerMark=Vexlon出品"_s);
    }

    void tabOrder()
    {
        window().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window()));
        control("startButton")->setFocus(Qt::OtherFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), control("startButton"));
        QStringList walked;
        for (int i = 0; i < 9; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            walked << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : u"<none>"_s);
        }
        QCOMPARE(walked.join(u' '),
            u"domainList pageCountEdit pageCountArrows whoisText forumButton exitButton "
            "homePageButton saveButton startButton"_s);
    }

    // The right button opens the menu on its press, at the pointer, and never moves the selection.
    void pressOnList_data()
    {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<int>("entries");
        QTest::addColumn<int>("selectedRow");
        QTest::addColumn<int>("pressedRow"); // -1: on the empty list
        QTest::newRow("right, on another entry") << Qt::RightButton << 3 << 0 << 2;
        QTest::newRow("right, on the selected entry") << Qt::RightButton << 3 << 1 << 1;
        QTest::newRow("right, nothing selected") << Qt::RightButton << 3 << -1 << 1;
        QTest::newRow("right, on an empty list") << Qt::RightButton << 0 << -1 << -1;
        QTest::newRow("left opens no menu") << Qt::LeftButton << 3 << 0 << 1;
    }

    void pressOnList()
    {
        QFETCH(Qt::MouseButton, button);
        QFETCH(int, entries);
        QFETCH(int, selectedRow);
        QFETCH(int, pressedRow);
        DomainListView *list = domainList();
        fillList(QStringList { u"alpha.com"_s, u"bravo.cn"_s, u"charlie.net"_s }.mid(0, entries));
        if (selectedRow >= 0)
            clickRow(selectedRow);
        const QModelIndex currentBefore = list->currentIndex();
        const QPoint pressed = pressedRow >= 0 ? entryCentre(pressedRow) : QPoint(20, 20);
        QTest::mousePress(list->viewport(), button, {}, pressed);
        QCOMPARE(menu()->isVisible(), button == Qt::RightButton);
        if (button == Qt::RightButton) {
            QVERIFY((menu()->pos() - list->viewport()->mapToGlobal(pressed)).manhattanLength() <= 2);
            QCOMPARE(list->currentIndex(), currentBefore);
            menu()->hide();
        }
        QTest::mouseRelease(list->viewport(), button, {}, pressed);
        QVERIFY(!menu()->isVisible());
        QCOMPARE(list->currentRow(), button == Qt::LeftButton ? pressedRow : selectedRow);
    }

    // By a click or a key; typing moves no arrow, and the typed count stays until the arrows move.
    void pageCountArrows_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<bool>("more");
        QTest::addColumn<bool>("byKey");
        QTest::addColumn<int>("expected");
        QTest::newRow("more at 0: the first step") << 0 << true << false << 1;
        QTest::newRow("fewer at 0 does nothing") << 0 << false << false << 0;
        QTest::newRow("fewer at 5") << 5 << false << false << 4;
        QTest::newRow("more at 32766") << 32766 << true << false << 32767;
        QTest::newRow("more at 32767 does nothing") << 32767 << true << false << 32767;
        QTest::newRow("fewer at 32767") << 32767 << false << false << 32766;
        QTest::newRow("Right key at 0") << 0 << true << true << 1;
        QTest::newRow("Left key at 1: back to 0") << 1 << false << true << 0;
        QTest::newRow("Left key at 0 does nothing") << 0 << false << true << 0;
    }

    void pageCountArrows()
    {
        QFETCH(int, start);
        QFETCH(bool, more);
        QFETCH(bool, byKey);
        QFETCH(int, expected);
        auto *fewerButton = control<QToolButton>("fewerPagesButton");
        auto *moreButton = control<QToolButton>("morePagesButton");
        // Nothing but two arrow buttons, side by side, filling the control.
        QCOMPARE(fewerButton->arrowType(), Qt::LeftArrow);
        QCOMPARE(moreButton->arrowType(), Qt::RightArrow);
        QCOMPARE(fewerButton->geometry().united(moreButton->geometry()), arrows()->rect());
        QCOMPARE(fewerButton->geometry().right() + 1, moreButton->geometry().left());
        arrows()->setValue(start);
        auto *edit = control<QLineEdit>("pageCountEdit");
        edit->selectAll();
        QTest::keyClicks(edit, u"9"_s);
        QCOMPARE(edit->text(), u"9"_s);
        QCOMPARE(arrows()->value(), start);
        QSignalSpy changes(arrows(), &QAbstractSlider::valueChanged);
        if (byKey) {
            QTest::keyClick(arrows(), more ? Qt::Key_Right : Qt::Key_Left);
        } else {
            QVERIFY(fewerButton->isVisible() && moreButton->isVisible());
            QTest::mouseClick(more ? moreButton : fewerButton, Qt::LeftButton);
        }
        QCOMPARE(arrows()->value(), expected);
        QCOMPARE(changes.size(), expected == start ? 0 : 1);
        QCOMPARE(edit->text(), expected == start ? u"9"_s : QString::number(expected));
    }

    void keyValueLabelFitsItsText_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("cut");
        const auto row = [](const char *tag, const char *name, const char *value, bool cut) {
            QTest::newRow(tag) << QString::fromLatin1(name) << QString::fromUtf8(value) << cut;
        };
        row("deletion type widens", "deletionTypeLabel", "过期删除", false);
        row("deletion type shorter than before", "deletionTypeLabel", "", false);
        row("deletion type cut at the right column", "deletionTypeLabel", "过期删除（赎回期满后由注册局删除）", true);
        row("deletion time to the second in full", "deletionTimeLabel", "2024-06-16 01:50:00", false);
        row("deletion time of wide digits in full", "deletionTimeLabel", "2088-08-28 08:58:48", false);
        row("deletion time longer than to the second cut", "deletionTimeLabel", "2024-06-16 01:50:00（北京时间）",
            true);
        row("deadline widens", "deadlineLabel", "2024-06-15 23:00", false);
        row("deadline cut at the end of the info area", "deadlineLabel",
            "2024-06-15 23:00:00（北京时间，以注册局公布的时间为准）", true);
        row("ICP filing widens", "icpFilingLabel", "京ICP备12345678号-1", false);
    }

    void keyValueLabelFitsItsText()
    {
        QFETCH(QString, name);
        QFETCH(QString, value);
        QFETCH(bool, cut);
        ElidedLabel *shown = label(qPrintable(name));
        const QRect before = shown->geometry();
        QVERIFY(shown->alignment() & Qt::AlignLeft);
        // The key stays, the value replaces "未查询".
        QVERIFY(shown->text().endsWith(u"未查询"_s));
        const QString expected = shown->text().chopped(3) + value;
        SampleMarket::BackorderInfo info = SampleMarket::backorderInfoFor(LookedUpDomain);
        std::string licence;
        std::string &changed = name == u"deletionTypeLabel"_s ? info.deletionType
            : name == u"deletionTimeLabel"_s                  ? info.deletionTime
            : name == u"deadlineLabel"_s                      ? info.bookingDeadline
                                                              : licence;
        changed = value.toStdString();
        QVERIFY2(
            lookUp(SampleMarket::backorderPage(info), licence.empty() ? std::string() : SampleMarket::icpPage(licence)),
            qPrintable(status()));
        // The whole text is there for a screen reader, whatever is drawn.
        QCOMPARE(shown->text(), expected);
        QCOMPARE(accessibleText(shown), expected);
        QCOMPARE(accessibleText(control("whoisText"), QAccessible::Value), textOf("whoisText"));
        // Grows or shrinks to the right: top and height stay, a left-column label keeps its left edge.
        QCOMPARE(shown->y(), before.y());
        QCOMPARE(shown->height(), before.height());
        // A left-column label never reaches the right column, which moves aside for it as far as needed and no
        // further, and ends with the area.
        const int leftColumnEnd
            = qMax(label("deletionTypeLabel")->geometry().right(), label("deletionTimeLabel")->geometry().right());
        for (const char *right : { "deadlineLabel", "icpFilingLabel" }) {
            const QRect place = label(right)->geometry();
            QVERIFY2(place.x() > leftColumnEnd && place.x() >= 2760 / 15 && place.right() < 6000 / 15, right);
            QVERIFY2(place.x() == 2760 / 15 || place.x() - leftColumnEnd <= 8, right);
        }
        if (before.x() < 2760 / 15)
            QCOMPARE(shown->x(), before.x());
        if (cut) {
            QVERIFY2(shown->shownText().endsWith(u'…'), qPrintable(shown->shownText()));
            QVERIFY(shown->shownText().size() < expected.size());
            QCOMPARE(shown->toolTip(), expected);
        } else {
            QCOMPARE(shown->shownText(), expected);
            QVERIFY(shown->toolTip().isEmpty());
            const int textWidth = shown->fontMetrics().horizontalAdvance(expected);
            QVERIFY2(shown->width() >= textWidth && shown->width() <= textWidth + 4,
                qPrintable(u"width %1 for a text %2 wide"_s.arg(shown->width()).arg(textWidth)));
        }
    }

    void priceCellsKeepTheirPlace()
    {
        const QList<const char *> centred { "priceTitle", "platformHeader", "priceHeader", "rmbHeader", "depositHeader",
            "platformCell", "priceCell", "rmbCell", "depositCell" };
        QList<QRect> places;
        for (const char *name : centred) {
            QCOMPARE(label(name)->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
            places << label(name)->geometry();
        }
        for (const std::string &value : { std::string("一个比格子还要长得多的价格说明文字"), std::string("1") }) {
            SampleMarket::BackorderInfo info = SampleMarket::backorderInfoFor(LookedUpDomain);
            info.platform = info.price = info.rmb = info.deposit = value;
            QVERIFY2(lookUp(SampleMarket::backorderPage(info)), qPrintable(status()));
            for (int i = 0; i < centred.size(); ++i)
                QCOMPARE(label(centred[i])->geometry(), places.at(i));
            for (const char *name : { "platformCell", "priceCell", "rmbCell", "depositCell" }) {
                QCOMPARE(label(name)->text(), QString::fromStdString(value));
                QCOMPARE(label(name)->shownText().endsWith(u'…'), value.size() > 1);
            }
        }
    }

    // Values with line breaks in the page, and a last cell with the row's and the table's closing tags after it.
    void valuesShowOnOneLine()
    {
        QVERIFY2(
            lookUp("<div class=\"info\">\r\n<p><label>删除类型：</label>\r\n过期删除\r\n</p>\r\n"
                   "<p><label>删除时间：</label>2024-06-16</p>\r\n<p><label>预订截止时间：</label>2024-06-15</p>\r\n"
                   "</div>\r\n<div class=\"price\">\r\n<table>\r\n"
                   "<tr><th>预定平台</th><th>预定价格</th><th>折合人民币</th><th>保证金</th></tr>\r\n"
                   "<tr><td>国际通道</td><td>US$9.90</td><td>71</td><td>100 </td>\r\n</tr></table>\r\n"
                   "</div>\r\n<pre>Domain Name: ALPHA.COM</pre>\r\n"),
            qPrintable(status()));
        QCOMPARE(textOf("depositCell"), u"100"_s);
        QCOMPARE(textOf("priceCell"), u"US$9.90"_s);
        for (const char *name : { "deletionTypeLabel", "deletionTimeLabel", "deadlineLabel", "depositCell" }) {
            const QString drawn = label(name)->shownText();
            QVERIFY2(!drawn.contains(u'\n') && !drawn.contains(u'\r') && !drawn.endsWith(u'…'), name);
        }
        QCOMPARE(textOf("deletionTypeLabel"), u"删除类型：过期删除"_s);
    }

    void everyShownTextIsAccessible()
    {
        QCOMPARE(accessibleText(&window()), window().windowTitle());
        // Every label, button and frame caption reaches a screen reader as its widget's name.
        int checked = 0;
        for (QWidget *widget : window().findChildren<QWidget *>()) {
            const QString text = textOf(widget);
            if (!widget->isVisible() || text.isEmpty())
                continue;
            const QAccessible::Text kind = qobject_cast<QLineEdit *>(widget) ? QAccessible::Value : QAccessible::Name;
            QCOMPARE(accessibleText(widget, kind), text);
            ++checked;
        }
        // 4 frames, 13 labels, 5 buttons, 3 status panels and the page-count box at least.
        QVERIFY2(checked >= 26, qPrintable(QString::number(checked)));
        // The status panels are labels, not text painted on the bar; the window reads every caption from its top.
        const QStringList all = accessibleTexts(&window());
        for (const char *text : { "查询今日已删除域名", "whois信息", "删除类型：未查询", "折合人民币", "未查询",
                 "退出程序", "运行状态：", "正在检测更新 ..", "Vexlon出品", "1" })
            QVERIFY2(all.contains(QString::fromUtf8(text)), text);
        // Controls without a caption still say what they are.
        for (const char *name :
            { "domainList", "pageCountEdit", "pageCountArrows", "whoisText", "fewerPagesButton", "morePagesButton" })
            QVERIFY2(!accessibleText(control<QObject>(name)).isEmpty(), name);
        // The menu's and changed texts too.
        fillList({ u"alpha.com"_s, u"bravo.cn"_s }); // the list's own texts are tst_domainlistview's
        QTest::mousePress(domainList()->viewport(), Qt::RightButton, Qt::NoModifier, entryCentre(0));
        QVERIFY(menu()->isVisible());
        const QStringList menuTexts = accessibleTexts(menu());
        for (const char *caption : { "复制域名", "查询信息", "预定域名" })
            QVERIFY2(menuTexts.contains(QString::fromUtf8(caption)), caption);
        menu()->hide();
        auto *edit = control<QLineEdit>("pageCountEdit");
        edit->selectAll();
        QTest::keyClicks(edit, u"3"_s);
        QCOMPARE(accessibleText(edit, QAccessible::Value), u"3"_s);
        click("startButton");
        QCOMPARE(accessibleText(control("startButton")), u"停止采集"_s);
        QCOMPARE(accessibleText(control("statusLine")), u"正在批量采集 .."_s);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
