// The domain list as a list box: where its entries are shown, what a click, a key or the wheel
// selects, what it paints, that the skin's list rules reach it and what a screen reader finds,
// also with 100,000 entries.
#include "app/domainlist.h"

#include <QAccessible>
#include <QApplication>
#include <QImage>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <algorithm>
#include <memory>

namespace {

QStringList entryNames(int count, int first = 0)
{
    QStringList names;
    names.reserve(count);
    for (int i = first; i < first + count; ++i)
        names.append(QStringLiteral("entry%1.com").arg(i));
    return names;
}

QModelIndex entryIndex(const DomainList *list, int row)
{
    return list->model()->index(row, 0);
}

// Wholly inside the viewport from top to bottom.
bool isShown(const DomainList *list, int row)
{
    const QRect rect = list->visualRect(entryIndex(list, row));
    return rect.isValid() && rect.top() >= 0 && rect.bottom() < list->viewport()->height();
}

int rowHeight(const DomainList *list)
{
    return list->visualRect(entryIndex(list, 0)).height();
}

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

class TestDomainList : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void entryIsShownWhereItIs_data();
    void entryIsShownWhereItIs();
    void appendLeavesViewAlone();
    void clickSelectsEntryUnderPointer();
    void keysMoveSelection_data();
    void keysMoveSelection();
    void wheelScrollsWholeRows();
    void paintsEntriesAndSelection();
    void longEntryScrollsSideways_data();
    void longEntryScrollsSideways();
    void skinRulesReachTheList();
    void fontChangeMeasuresRowsAgain();
    void clearEmptiesTheView();
    void longListIsAccessible();

private:
    std::unique_ptr<DomainList> m_list;
};

void TestDomainList::init()
{
    m_list = std::make_unique<DomainList>();
    m_list->resize(200, 300);
    m_list->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_list.get()));
}

void TestDomainList::cleanup()
{
    m_list.reset();
    qApp->setStyleSheet(QString());
}

void TestDomainList::entryIsShownWhereItIs_data()
{
    QTest::addColumn<int>("row");
    QTest::newRow("first") << 0;
    QTest::newRow("just below the first page") << 20;
    QTest::newRow("middle") << 50000;
    QTest::newRow("last but one") << 99998;
    QTest::newRow("last") << 99999;
}

void TestDomainList::entryIsShownWhereItIs()
{
    QFETCH(int, row);
    DomainList *list = m_list.get();
    list->AddItems(entryNames(100000));
    list->setListIndex(row);

    QCOMPARE(list->ListIndex(), row);
    QCOMPARE(list->text(), QStringLiteral("entry%1.com").arg(row));
    QVERIFY(isShown(list, row));
    const QRect rect = list->visualRect(entryIndex(list, row));
    QCOMPARE(list->indexAt(rect.center()), entryIndex(list, row));
    QCOMPARE(list->indexAt(rect.topLeft()), entryIndex(list, row));
    QCOMPARE(list->indexAt(rect.bottomLeft()), entryIndex(list, row));
    // Rows touch: the next one starts right below, the previous one ends right above.
    if (row + 1 < list->ListCount())
        QCOMPARE(list->visualRect(entryIndex(list, row + 1)).top(), rect.bottom() + 1);
    if (row > 0)
        QCOMPARE(list->visualRect(entryIndex(list, row - 1)).bottom(), rect.top() - 1);
    // The bar counts rows: at its end the last entry is the last one shown.
    QScrollBar *bar = list->verticalScrollBar();
    bar->setValue(bar->maximum());
    QVERIFY(isShown(list, 99999));
    QVERIFY(!isShown(list, bar->value() - 1));
}

void TestDomainList::appendLeavesViewAlone()
{
    DomainList *list = m_list.get();
    list->AddItems(entryNames(1000));
    list->setListIndex(10);
    const int top = list->verticalScrollBar()->value();
    const QRect selected = list->visualRect(entryIndex(list, 10));

    list->AddItems(entryNames(1000, 1000));
    QCOMPARE(list->ListCount(), 2000);
    QCOMPARE(list->ListIndex(), 10);
    QCOMPARE(list->verticalScrollBar()->value(), top);
    QCOMPARE(list->visualRect(entryIndex(list, 10)), selected);
    QCOMPARE(list->List(1999), QStringLiteral("entry1999.com"));

    // As a collection does: the selection moves to the last name, which comes into sight.
    list->setListIndex(1999);
    QVERIFY(isShown(list, 1999));
    QVERIFY(!isShown(list, 10));
}

void TestDomainList::clickSelectsEntryUnderPointer()
{
    DomainList *list = m_list.get();
    list->AddItems(entryNames(1000));
    list->verticalScrollBar()->setValue(500);
    const int height = rowHeight(list);
    QVERIFY(height > 0);
    QCOMPARE(list->visualRect(entryIndex(list, 503)).top(), 3 * height);

    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 3 * height + height / 2));
    QCOMPARE(list->ListIndex(), 503);
    QCOMPARE(list->currentIndex().row(), 503);

    // Below the last entry there is nothing to select.
    list->Clear();
    list->AddItems(entryNames(3));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 3 * height + 2));
    QCOMPARE(list->ListIndex(), -1);
}

void TestDomainList::keysMoveSelection_data()
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

void TestDomainList::keysMoveSelection()
{
    QFETCH(int, start);
    QFETCH(int, key);
    QFETCH(int, rowsDown);
    QFETCH(int, pagesDown);

    DomainList *list = m_list.get();
    list->AddItems(entryNames(1000));
    list->setListIndex(start);
    const int shownRows = list->viewport()->height() / rowHeight(list);
    const int expected = std::clamp(start + rowsDown + pagesDown * (shownRows - 1), 0, 999);

    QTest::keyClick(list, Qt::Key(key));
    QCOMPARE(list->ListIndex(), expected);
    QCOMPARE(list->currentIndex().row(), expected);
    QVERIFY(isShown(list, expected));
}

void TestDomainList::wheelScrollsWholeRows()
{
    DomainList *list = m_list.get();
    list->AddItems(entryNames(1000));
    QCOMPARE(list->verticalScrollBar()->value(), 0);

    const QPoint at(10, 10);
    QWheelEvent wheel(at, list->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
        Qt::NoScrollPhase, false);
    QApplication::sendEvent(list->viewport(), &wheel);

    const int scrolled = list->verticalScrollBar()->value();
    QCOMPARE(scrolled, QApplication::wheelScrollLines());
    // The top row is whole: no entry is cut at the top edge.
    QCOMPARE(list->visualRect(entryIndex(list, scrolled)).top(), 0);
    QCOMPARE(list->indexAt(QPoint(1, 0)).row(), scrolled);
}

void TestDomainList::paintsEntriesAndSelection()
{
    DomainList *list = m_list.get();
    list->AddItems(entryNames(5));
    list->setListIndex(2);

    QImage image = list->viewport()->grab().toImage();
    QCOMPARE(image.size(), list->viewport()->size());
    const int height = rowHeight(list);
    const QRgb background = image.pixel(image.width() - 2, image.height() - 2);
    const auto textArea = [&](int row) { return QRect(0, row * height, image.width() / 2, height); };
    const auto rightEnd = [&](int row) { return QPoint(image.width() - 3, row * height + height / 2); };

    for (int row = 0; row < 5; ++row)
        QVERIFY2(hasInk(image, textArea(row), row == 2 ? image.pixel(rightEnd(2)) : background),
            qPrintable(QStringLiteral("no text in row %1").arg(row)));
    QVERIFY(!hasInk(image, QRect(0, 5 * height, image.width(), image.height() - 5 * height), background));
    const QColor highlight
        = list->palette().color(list->isActiveWindow() ? QPalette::Active : QPalette::Inactive, QPalette::Highlight);
    QVERIFY2(isNearColour(image.pixel(rightEnd(2)), highlight),
        qPrintable(QColor(image.pixel(rightEnd(2))).name() + QStringLiteral(" is no highlight")));
    QCOMPARE(image.pixel(rightEnd(1)), background);
    QCOMPARE(image.pixel(rightEnd(3)), background);

    // Scrolled far down, the selected entry is painted where it is shown.
    list->Clear();
    list->AddItems(entryNames(1000));
    list->setListIndex(600);
    image = list->viewport()->grab().toImage();
    const QRect selected = list->visualRect(entryIndex(list, 600));
    QVERIFY(isNearColour(image.pixel(image.width() - 3, selected.center().y()), highlight));
    QCOMPARE(image.pixel(image.width() - 3, selected.center().y() - height), background);
    QVERIFY(hasInk(image, textArea(0), background));
}

void TestDomainList::longEntryScrollsSideways_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("300 characters") << 300;
    QTest::newRow("64 KiB") << 65536;
}

void TestDomainList::longEntryScrollsSideways()
{
    QFETCH(int, length);
    DomainList *list = m_list.get();
    list->AddItems(entryNames(3));
    QCOMPARE(list->horizontalScrollBar()->maximum(), 0);

    list->AddItem(QString(length, u'w') + QStringLiteral(".com"));
    QVERIFY(list->horizontalScrollBar()->maximum() > 0);
    QVERIFY(list->visualRect(entryIndex(list, 0)).width() > list->viewport()->width());
    list->horizontalScrollBar()->setValue(40);
    QCOMPARE(list->visualRect(entryIndex(list, 3)).left(), -40);
    QCOMPARE(list->indexAt(QPoint(5, list->visualRect(entryIndex(list, 3)).center().y())), entryIndex(list, 3));

    list->Clear();
    QCOMPARE(list->horizontalScrollBar()->maximum(), 0);
}

void TestDomainList::skinRulesReachTheList()
{
    DomainList *list = m_list.get();
    list->AddItems(entryNames(5));
    list->setListIndex(1);
    const int plainHeight = rowHeight(list);

    // The skin writes its rules for QListView.
    qApp->setStyleSheet(QStringLiteral("QListView::item { padding: 12px 4px; }\n"
                                       "QListView::item:selected { background-color: #2f6fcf; color: #ffffff; }"));
    QVERIFY2(rowHeight(list) >= plainHeight + 18,
        qPrintable(QStringLiteral("rows %1 px high, %2 px without the padding").arg(rowHeight(list)).arg(plainHeight)));
    const QImage image = list->viewport()->grab().toImage();
    const QRect selected = list->visualRect(entryIndex(list, 1));
    QVERIFY(isNearColour(image.pixel(image.width() - 3, selected.center().y()), QColor(0x2f, 0x6f, 0xcf)));
    QCOMPARE(list->indexAt(selected.center()), entryIndex(list, 1));
}

void TestDomainList::fontChangeMeasuresRowsAgain()
{
    DomainList *list = m_list.get();
    list->AddItems(entryNames(100));
    const int before = rowHeight(list);
    QFont font = list->font();
    font.setPixelSize(3 * QFontMetrics(font).height());
    list->setFont(font);

    QVERIFY(rowHeight(list) > 2 * before);
    list->setListIndex(50);
    QVERIFY(isShown(list, 50));
    QCOMPARE(list->indexAt(list->visualRect(entryIndex(list, 50)).center()), entryIndex(list, 50));
}

void TestDomainList::clearEmptiesTheView()
{
    DomainList *list = m_list.get();
    list->AddItems(entryNames(1000));
    list->setListIndex(900);
    QVERIFY(list->verticalScrollBar()->value() > 0);

    list->Clear();
    QCOMPARE(list->ListCount(), 0);
    QCOMPARE(list->ListIndex(), -1);
    QCOMPARE(list->text(), QString());
    QCOMPARE(list->verticalScrollBar()->maximum(), 0);
    QCOMPARE(list->indexAt(QPoint(5, 5)), QModelIndex());

    list->AddItems(entryNames(3, 7));
    QCOMPARE(list->visualRect(entryIndex(list, 0)).top(), 0);
    QCOMPARE(list->indexAt(QPoint(5, 1)), entryIndex(list, 0));
    QCOMPARE(list->List(0), QStringLiteral("entry7.com"));
}

void TestDomainList::longListIsAccessible()
{
    DomainList *list = m_list.get();
    list->AddItems(entryNames(100000));
    list->setListIndex(99999);

    QAccessibleInterface *view = QAccessible::queryAccessibleInterface(list);
    QVERIFY(view);
    QAccessibleTableInterface *table = view->tableInterface();
    QVERIFY(table);
    QCOMPARE(table->rowCount(), 100000);
    for (int row : { 0, 50000, 99999 }) {
        QAccessibleInterface *cell = table->cellAt(row, 0);
        QVERIFY(cell);
        QCOMPARE(cell->text(QAccessible::Name), QStringLiteral("entry%1.com").arg(row));
    }
    QAccessibleInterface *last = table->cellAt(99999, 0);
    QVERIFY(last->state().selected);
    const QRect shown = list->visualRect(entryIndex(list, 99999));
    QCOMPARE(last->rect(), QRect(list->viewport()->mapToGlobal(shown.topLeft()), shown.size()));
}

QTEST_MAIN(TestDomainList)
#include "tst_domainlist.moc"
