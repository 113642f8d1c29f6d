// The domain list as a list box: where its entries are shown, what a click, a key or the wheel selects (and
// what must not), what it paints, that the skin's rules reach it, what a screen reader finds, with 100,000 entries.
#include "tests/sitetest.h"
#include "ui/domainlistview.h"

#include <QAccessible>
#include <QApplication>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <algorithm>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

// Whether anything but the background is drawn in the rectangle.
bool hasInk(const QImage &image, const QRect &rect, QRgb background)
{
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (image.pixel(x, y) != background)
                return true;
    return false;
}

// The style may shade a fill by a step or two.
bool isNearColour(QRgb actual, const QColor &expected)
{
    const QColor colour(actual);
    return qAbs(colour.red() - expected.red()) <= 4 && qAbs(colour.green() - expected.green()) <= 4
        && qAbs(colour.blue() - expected.blue()) <= 4;
}

} // namespace

class TestDomainListView : public QObject
{
    Q_OBJECT
    std::unique_ptr<DomainListView> m_list;
    QModelIndex entryIndex(int row) const { return m_list->model()->index(row, 0); }

    QRect entryRect(int row) const { return m_list->visualRect(entryIndex(row)); }

    int rowHeight() const { return entryRect(0).height(); }

    // Wholly inside the viewport from top to bottom.
    bool isShown(int row) const
    {
        return entryRect(row).isValid() && entryRect(row).top() >= 0
            && entryRect(row).bottom() < m_list->viewport()->height();
    }

    // The list with these entries, the given one selected (-1: none).
    DomainListView *listOf(const QStringList &names, int selectedRow = -1)
    {
        m_list->append(names);
        m_list->setCurrentRow(selectedRow);
        return m_list.get();
    }

private slots:
    void init()
    {
        m_list = std::make_unique<DomainListView>();
        m_list->resize(200, 300);
        m_list->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_list.get()));
    }

    void cleanup()
    {
        m_list.reset();
        qApp->setStyleSheet(QString());
    }

    void entryIsShownWhereItIs_data()
    {
        QTest::addColumn<int>("row");
        QTest::newRow("first") << 0;
        QTest::newRow("just below the first page") << 20;
        QTest::newRow("middle") << 50000;
        QTest::newRow("last") << 99999;
    }

    void entryIsShownWhereItIs()
    {
        QFETCH(int, row);
        DomainListView *list = listOf(numberedNames(u"entry"_s, 100000), row);
        QCOMPARE(list->currentRow(), row);
        QVERIFY(isShown(row));
        const QRect rect = entryRect(row);
        for (const QPoint &point : { rect.center(), rect.topLeft(), rect.bottomLeft() })
            QCOMPARE(list->indexAt(point), entryIndex(row));
        // Rows touch: the next one starts right below, the previous one ends right above.
        if (row + 1 < list->count())
            QCOMPARE(entryRect(row + 1).top(), rect.bottom() + 1);
        if (row > 0)
            QCOMPARE(entryRect(row - 1).bottom(), rect.top() - 1);
        // A screen reader finds every entry, this one selected and where it is shown.
        QAccessibleInterface *view = QAccessible::queryAccessibleInterface(list);
        QVERIFY(view && view->tableInterface());
        QCOMPARE(view->childCount(), 100000);
        QCOMPARE(view->tableInterface()->rowCount(), 100000);
        QAccessibleInterface *cell = view->tableInterface()->cellAt(row, 0);
        QVERIFY(cell && cell->state().selected);
        QCOMPARE(cell->text(QAccessible::Name), u"entry%1.com"_s.arg(row));
        QCOMPARE(cell->rect(), QRect(list->viewport()->mapToGlobal(rect.topLeft()), rect.size()));
        // The bar counts rows: at its end the last entry is the last one shown.
        QScrollBar *bar = list->verticalScrollBar();
        bar->setValue(bar->maximum());
        QVERIFY(isShown(99999));
        QVERIFY(!isShown(bar->value() - 1));
    }

    void appendLeavesViewAloneAndClearEmptiesIt()
    {
        DomainListView *list = listOf(numberedNames(u"entry"_s, 1000), 10);
        const int top = list->verticalScrollBar()->value();
        const QRect selected = entryRect(10);
        list->append(numberedNames(u"entry"_s, 1000, 1000));
        QCOMPARE(list->count(), 2000);
        QCOMPARE(list->currentRow(), 10);
        QCOMPARE(list->verticalScrollBar()->value(), top);
        QCOMPARE(entryRect(10), selected);
        QCOMPARE(list->names().at(1999), u"entry1999.com"_s);
        // As a collection does: the selection moves to the last name, which comes into sight.
        list->setCurrentRow(1999);
        QVERIFY(isShown(1999));
        QVERIFY(!isShown(10));
        list->clear();
        QCOMPARE(list->count(), 0);
        QCOMPARE(list->currentRow(), -1);
        QCOMPARE(list->verticalScrollBar()->maximum(), 0);
        QCOMPARE(list->indexAt(QPoint(5, 5)), QModelIndex());
        list->append(numberedNames(u"entry"_s, 3, 7));
        QCOMPARE(entryRect(0).top(), 0);
        QCOMPARE(list->indexAt(QPoint(5, 1)), entryIndex(0));
        QCOMPARE(list->names().at(0), u"entry7.com"_s);
    }

    // The menu's commands act on the selected entry: only a plain or a Shift left click chooses another.
    void mouseClicksOnSelection_data()
    {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<int>("clickedRow"); // -1: below the last entry
        QTest::addColumn<int>("expected");
        const Qt::KeyboardModifiers none, shift(Qt::ShiftModifier), ctrl(Qt::ControlModifier);
        QTest::newRow("left click on another entry") << Qt::LeftButton << none << 3 << 3;
        QTest::newRow("Shift+click on another entry") << Qt::LeftButton << shift << 3 << 3;
        QTest::newRow("left click on the selected entry") << Qt::LeftButton << none << 1 << 1;
        QTest::newRow("left click below the last entry") << Qt::LeftButton << none << -1 << 1;
        QTest::newRow("middle click on the selected entry") << Qt::MiddleButton << none << 1 << 1;
        QTest::newRow("middle click on another entry") << Qt::MiddleButton << none << 3 << 1;
        QTest::newRow("Ctrl+click on the selected entry") << Qt::LeftButton << ctrl << 1 << 1;
        QTest::newRow("Ctrl+click on another entry") << Qt::LeftButton << ctrl << 3 << 1;
        QTest::newRow("right click on another entry") << Qt::RightButton << none << 3 << 1;
        QTest::newRow("Shift+right click on another entry") << Qt::RightButton << shift << 3 << 1;
        QTest::newRow("Ctrl+right click on another entry") << Qt::RightButton << ctrl << 3 << 1;
    }

    void mouseClicksOnSelection()
    {
        QFETCH(Qt::MouseButton, button);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(int, clickedRow);
        QFETCH(int, expected);
        DomainListView *list = listOf(numberedNames(u"entry"_s, 5), 1);
        const QPoint at = clickedRow >= 0 ? entryRect(clickedRow).center() : QPoint(10, 5 * rowHeight() + 4);
        QVERIFY(at.y() < list->viewport()->height());
        const QModelIndex current = list->currentIndex();
        QSignalSpy menuRequests(list, &DomainListView::menuRequested);
        QTest::mouseClick(list->viewport(), button, modifiers, at);
        // The right button asks for the menu at the pointer, and keeps the current entry too.
        QCOMPARE(menuRequests.size(), button == Qt::RightButton ? 1 : 0);
        if (button == Qt::RightButton) {
            QCOMPARE(menuRequests.at(0).at(0).toPoint(), list->viewport()->mapToGlobal(at));
            QCOMPARE(list->currentIndex(), current);
        }
        QCOMPARE(list->currentRow(), expected);
        QCOMPARE(list->selectedDomain(), u"entry%1.com"_s.arg(expected));
        QCOMPARE(list->selectionModel()->selectedIndexes().size(), 1);
    }

    void onlyLeftDoubleClickOpensEntry()
    {
        DomainListView *list = listOf(numberedNames(u"entry"_s, 5), 2);
        const QPoint at = entryRect(2).center();
        for (Qt::MouseButton button : { Qt::RightButton, Qt::MiddleButton, Qt::LeftButton }) {
            QSignalSpy doubleClicks(list, &DomainListView::entryDoubleClicked);
            // A double-click comes as press, release, double-click, release.
            QTest::mouseClick(list->viewport(), button, Qt::NoModifier, at);
            QTest::mouseDClick(list->viewport(), button, Qt::NoModifier, at);
            QTest::mouseRelease(list->viewport(), button, Qt::NoModifier, at);
            QCOMPARE(doubleClicks.size(), button == Qt::LeftButton ? 1 : 0);
            QCOMPARE(list->currentRow(), 2);
        }
    }

    void keysMoveSelection_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("rowsDown"); // before clamping to the list
        QTest::addColumn<int>("pagesDown"); // a page moves by one row less than are shown
        QTest::newRow("down") << 5 << int(Qt::Key_Down) << 1 << 0;
        QTest::newRow("up") << 5 << int(Qt::Key_Up) << -1 << 0;
        QTest::newRow("up on the first entry") << 0 << int(Qt::Key_Up) << -1 << 0;
        QTest::newRow("down on the last entry") << 999 << int(Qt::Key_Down) << 1 << 0;
        QTest::newRow("page down") << 5 << int(Qt::Key_PageDown) << 0 << 1;
        QTest::newRow("page up") << 500 << int(Qt::Key_PageUp) << 0 << -1;
        QTest::newRow("page up near the top") << 2 << int(Qt::Key_PageUp) << 0 << -1;
        QTest::newRow("end") << 5 << int(Qt::Key_End) << 100000 << 0;
        QTest::newRow("home") << 500 << int(Qt::Key_Home) << -100000 << 0;
    }

    void keysMoveSelection()
    {
        QFETCH(int, start);
        QFETCH(int, key);
        QFETCH(int, rowsDown);
        QFETCH(int, pagesDown);
        DomainListView *list = listOf(numberedNames(u"entry"_s, 1000), start);
        const int shownRows = list->viewport()->height() / rowHeight();
        const int expected = std::clamp(start + rowsDown + pagesDown * (shownRows - 1), 0, 999);
        QTest::keyClick(list, Qt::Key(key));
        QCOMPARE(list->currentRow(), expected);
        QCOMPARE(list->currentIndex().row(), expected);
        QVERIFY(isShown(expected));
    }

    void wheelScrollsWholeRowsAndClickSelectsUnderPointer()
    {
        DomainListView *list = listOf(numberedNames(u"entry"_s, 1000));
        QCOMPARE(list->verticalScrollBar()->value(), 0);
        const QPoint at(10, 10);
        QWheelEvent wheel(at, list->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
            Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(list->viewport(), &wheel);
        const int scrolled = list->verticalScrollBar()->value();
        QCOMPARE(scrolled, QApplication::wheelScrollLines());
        // The top row is whole: no entry is cut at the top edge.
        QCOMPARE(entryRect(scrolled).top(), 0);
        QCOMPARE(list->indexAt(QPoint(1, 0)).row(), scrolled);
        const int height = rowHeight();
        QCOMPARE(entryRect(scrolled + 3).top(), 3 * height);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 3 * height + height / 2));
        QCOMPARE(list->currentRow(), scrolled + 3);
        QCOMPARE(list->currentIndex().row(), scrolled + 3);
    }

    void paintsEntriesAndSelection()
    {
        DomainListView *list = listOf(numberedNames(u"entry"_s, 5), 2);
        QImage image = list->viewport()->grab().toImage();
        QCOMPARE(image.size(), list->viewport()->size());
        const int height = rowHeight();
        const QRgb background = image.pixel(image.width() - 2, image.height() - 2);
        const auto textArea = [&](int row) { return QRect(0, row * height, image.width() / 2, height); };
        const auto rightEnd = [&](int row) { return QPoint(image.width() - 3, row * height + height / 2); };
        for (int row = 0; row < 5; ++row)
            QVERIFY2(hasInk(image, textArea(row), row == 2 ? image.pixel(rightEnd(2)) : background),
                qPrintable(u"no text in row %1"_s.arg(row)));
        QVERIFY(!hasInk(image, QRect(0, 5 * height, image.width(), image.height() - 5 * height), background));
        const QColor highlight = list->palette().color(
            list->isActiveWindow() ? QPalette::Active : QPalette::Inactive, QPalette::Highlight);
        QVERIFY2(
            isNearColour(image.pixel(rightEnd(2)), highlight), qPrintable(QColor(image.pixel(rightEnd(2))).name()));
        QCOMPARE(image.pixel(rightEnd(1)), background);
        QCOMPARE(image.pixel(rightEnd(3)), background);
        // Scrolled far down, the selected entry is painted where it is shown.
        list->clear();
        listOf(numberedNames(u"entry"_s, 1000), 600);
        image = list->viewport()->grab().toImage();
        const int selectedY = entryRect(600).center().y();
        QVERIFY(isNearColour(image.pixel(image.width() - 3, selectedY), highlight));
        QCOMPARE(image.pixel(image.width() - 3, selectedY - height), background);
        QVERIFY(hasInk(image, textArea(0), background));
    }

    void longEntryScrollsSideways()
    {
        for (int length : { 300, 65536 }) {
            DomainListView *list = listOf(numberedNames(u"entry"_s, 3));
            QCOMPARE(list->horizontalScrollBar()->maximum(), 0);
            list->append({ QString(length, u'w') + u".com"_s });
            QVERIFY(list->horizontalScrollBar()->maximum() > 0);
            QVERIFY(entryRect(0).width() > list->viewport()->width());
            list->horizontalScrollBar()->setValue(40);
            QCOMPARE(entryRect(3).left(), -40);
            QCOMPARE(list->indexAt(QPoint(5, entryRect(3).center().y())), entryIndex(3));
            list->clear();
            QCOMPARE(list->horizontalScrollBar()->maximum(), 0);
        }
    }

    // Rows are measured again when the skin's rules for QListView or the font change.
    void rowsMeasuredAgain_data()
    {
        QTest::addColumn<bool>("skin");
        QTest::newRow("skin") << true;
        QTest::newRow("font") << false;
    }

    void rowsMeasuredAgain()
    {
        QFETCH(bool, skin);
        DomainListView *list = listOf(numberedNames(u"entry"_s, 100), 1);
        const int before = rowHeight();
        QFont font = list->font();
        font.setPixelSize(3 * QFontMetrics(font).height());
        if (skin)
            qApp->setStyleSheet(u"QListView::item { padding: 12px 4px; }\n"
                                "QListView::item:selected { background-color: #2f6fcf; color: #ffffff; }"_s);
        else
            list->setFont(font);
        QVERIFY2(skin ? rowHeight() >= before + 18 : rowHeight() > 2 * before,
            qPrintable(u"%1 px, %2 px"_s.arg(rowHeight()).arg(before)));
        const QImage image = list->viewport()->grab().toImage();
        if (skin)
            QVERIFY(isNearColour(image.pixel(image.width() - 3, entryRect(1).center().y()), QColor(0x2f, 0x6f, 0xcf)));
        list->setCurrentRow(50);
        QVERIFY(isShown(50));
        QCOMPARE(list->indexAt(entryRect(50).center()), entryIndex(50));
    }
};

QTEST_MAIN(TestDomainListView)
#include "tst_domainlistview.moc"
