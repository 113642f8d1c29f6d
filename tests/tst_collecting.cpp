// Collecting as the user does it: the page-count box, the start button, a single page and a run of
// pages, against the fake site's sample marketplace.
#include "tests/sitetest.h"
#include "tests/windowtest.h"
#include "tools/samplemarket.h"
#include "ui/domainlistview.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int WaitMs = 15000;
const QString StartCaption = u"开始采集"_s;
const QString StopCaption = u"停止采集"_s;
const QString RunDone = u"批量采集完毕 .."_s;
const QString SingleDone = u"采集完毕 .."_s;

FakeSite::Reply resultsPage(const QStringList &names)
{
    std::vector<std::string> rows;
    for (const QString &name : names)
        rows.push_back(name.toStdString());
    return FakeSite::Reply::utf8Html(SampleMarket::resultsPage(rows));
}

} // namespace

class TestCollecting : public WindowTest
{
    Q_OBJECT
    QAbstractButton *startButton() const { return control<QAbstractButton>("startButton"); }

    QList<int> requestedPages()
    {
        QList<int> pages;
        for (const std::string &target : site().requestedTargets())
            pages.append(std::stoi(target.substr(target.find('=') + 1)));
        std::sort(pages.begin(), pages.end());
        return pages;
    }

    void collectSinglePage()
    {
        click("startButton");
        QTRY_COMPARE_WITH_TIMEOUT(status(), SingleDone, WaitMs);
    }

private slots:
    void init() { startWindow(); }

    void cleanup() { endWindow(); }

    void pageCountKeepsOnlyNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("kept");
        // What reads as a count is tst_pagecount's; here the box's answer to each kind.
        QTest::newRow("letters become 1") << u"abc"_s << u"1"_s;
        QTest::newRow("zero stays") << u"0"_s << u"0"_s;
        QTest::newRow("negative fraction with exponent stays") << u"-2.5e1"_s << u"-2.5e1"_s;
        QTest::newRow("blanks stay") << u" 3"_s << u" 3"_s;
    }

    void pageCountKeepsOnlyNumbers()
    {
        QFETCH(QString, text);
        QFETCH(QString, kept);
        setPageCount(u"9"_s);
        setPageCount(text);
        QCOMPARE(textOf("pageCountEdit"), kept);
        QCOMPARE(control<QAbstractSlider>("pageCountArrows")->value(), 0);
    }

    // The count goes into the address as typed (tst_collectionrun tries others); the button waits meanwhile.
    void singlePage()
    {
        const std::string served = "/search?p=%201";
        const QStringList names = sampleNames(3, 3);
        site().setReply(served, resultsPage(names));
        site().hold(served);
        const QStringList before { u"first.com"_s, u"second.com"_s };
        fillList(before);
        setPageCount(u" 1"_s);
        click("startButton");
        QVERIFY(waitForRequest(served));
        QCOMPARE(status(), u"开始采集 .."_s);
        QVERIFY(!startButton()->isEnabled());
        click("startButton"); // does nothing meanwhile
        site().release(served);
        QTRY_COMPARE_WITH_TIMEOUT(status(), SingleDone, WaitMs);
        QCOMPARE(site().requestedTargets(), std::vector<std::string> { served });
        QCOMPARE(domainList()->names(), before + names);
        QCOMPARE(textOf("startButton"), StartCaption);
        QVERIFY(startButton()->isEnabled());
    }

    void selectionFollowsAppendedNames_data()
    {
        QTest::addColumn<int>("entries");
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("names");
        QTest::addColumn<int>("expected");
        // Where selecting the next entry after each appended name leaves it.
        QTest::newRow("empty list, three names: third entry") << 0 << -1 << 3 << 2;
        QTest::newRow("second of five selected, three names: fifth entry") << 5 << 1 << 3 << 4;
        QTest::newRow("five entries, none selected, three names: third entry") << 5 << -1 << 3 << 2;
        QTest::newRow("last of five selected, fifty names: last entry") << 5 << 4 << 50 << 54;
        QTest::newRow("no rows: selection stays") << 5 << 2 << 0 << 2;
        QTest::newRow("no rows, none selected: none") << 5 << -1 << 0 << -1;
    }

    void selectionFollowsAppendedNames()
    {
        QFETCH(int, entries);
        QFETCH(int, selected);
        QFETCH(int, names);
        QFETCH(int, expected);
        site().setReply(pageTarget(1), resultsPage(sampleNames(5, 5).mid(0, names)));
        fillList(sampleNames(6, 6).mid(0, entries), selected);
        collectSinglePage();
        QCOMPARE(domainList()->count(), entries + names);
        QCOMPARE(domainList()->currentRow(), expected);
        QCOMPARE(domainList()->selectionModel()->selectedIndexes().size(), expected < 0 ? 0 : 1);
    }

    void runListsPagesInOrder_data()
    {
        QTest::addColumn<QString>("count");
        QTest::addColumn<int>("pages");
        QTest::newRow("count 2.5: pages 1 and 2") << u"2.5"_s << 2;
        QTest::newRow("count 7: more pages than are asked for at once") << u"7"_s << 7;
    }

    void runListsPagesInOrder()
    {
        QFETCH(QString, count);
        QFETCH(int, pages);
        site().hold(pageTarget(1)); // page 1 comes last
        fillList({ u"old.com"_s }, 0);
        QSignalSpy blocks(domainList()->model(), &QAbstractItemModel::rowsInserted);
        // The final message must come after the last page's names, not before.
        QStringList statusAtBlocks;
        connect(domainList()->model(), &QAbstractItemModel::rowsInserted, this, [&] { statusAtBlocks << status(); });
        setPageCount(count);
        click("startButton");
        QCOMPARE(textOf("startButton"), StopCaption);
        QCOMPARE(status(), u"正在批量采集 .."_s);
        QCOMPARE(domainList()->count(), 0);
        QVERIFY(waitForRequest(pageTarget(pages)));
        QCOMPARE(status(), u"正在采集第%1页.."_s.arg(pages));
        QCOMPARE(domainList()->count(), 0);
        site().release(pageTarget(1));
        QTRY_COMPARE_WITH_TIMEOUT(status(), RunDone, WaitMs);
        QCOMPARE(requestedPages(), pageRange(1, pages));
        QCOMPARE(domainList()->names(), sampleNames(1, pages));
        QCOMPARE(blocks.count(), pages);
        for (const QList<QVariant> &block : std::as_const(blocks))
            QCOMPARE(block.at(2).toInt() - block.at(1).toInt() + 1, SampleMarket::RowsPerPage);
        QVERIFY2(!statusAtBlocks.contains(RunDone), qPrintable(statusAtBlocks.join(u'|')));
        QCOMPARE(domainList()->currentRow(), pages * SampleMarket::RowsPerPage - 1);
        QCOMPARE(textOf("startButton"), StartCaption);
        QVERIFY(startButton()->isEnabled());
    }

    void stopEndsRunAndNewRunGetsNoOldPages()
    {
        site().holdEverything();
        site().release(pageTarget(1));
        setPageCount(u"6"_s);
        click("startButton");
        QTRY_COMPARE_WITH_TIMEOUT(domainList()->count(), 50, WaitMs);
        QVERIFY(waitForRequest(pageTarget(5)));
        click("startButton");
        QCOMPARE(status(), u"已停止批量采集操作 .."_s);
        QCOMPARE(textOf("startButton"), StartCaption);
        // The stopped run's pages are answered now; a page collected after them shows none arrived.
        site().releaseAll();
        setPageCount(u"0"_s);
        collectSinglePage();
        QCOMPARE(domainList()->names(), sampleNames(1, 1));
        setPageCount(u"2"_s);
        click("startButton");
        QCOMPARE(domainList()->count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(status(), RunDone, WaitMs);
        QCOMPARE(domainList()->names(), sampleNames(1, 2));
        // Four pages in flight at most: page 6 was never asked for.
        QCOMPARE(requestedPages(), QList<int>({ 0, 1, 1, 2, 2, 3, 4, 5 }));
        QCOMPARE(site().mostAnsweredAtOnce(), 4);
    }

    void changingCountDuringRun_data()
    {
        QTest::addColumn<QString>("count");
        QTest::addColumn<int>("askedBefore");
        QTest::addColumn<QString>("changed");
        QTest::newRow("raised from 2 to 4") << u"2"_s << 2 << u"4"_s;
        QTest::newRow("lowered from 10 to 2 with four pages asked for") << u"10"_s << 4 << u"2"_s;
    }

    // Either way the run ends after page 4: raised, it asks for the new pages; lowered, for no more.
    void changingCountDuringRun()
    {
        QFETCH(QString, count);
        QFETCH(int, askedBefore);
        QFETCH(QString, changed);
        site().holdEverything();
        setPageCount(count);
        click("startButton");
        QVERIFY(waitForRequest(pageTarget(askedBefore)));
        setPageCount(changed);
        QVERIFY(waitForRequest(pageTarget(4)));
        QCOMPARE(textOf("startButton"), StopCaption);
        site().releaseAll();
        QTRY_COMPARE_WITH_TIMEOUT(status(), RunDone, WaitMs);
        QCOMPARE(requestedPages(), pageRange(1, 4));
        QCOMPARE(domainList()->names(), sampleNames(1, 4));
        QCOMPARE(textOf("startButton"), StartCaption);
    }

    void singlePageDuringRunLeavesRunAlone()
    {
        for (int page = 1; page <= 5; ++page)
            site().hold(pageTarget(page));
        const QStringList extra = sampleNames(9, 9);
        site().setReply(pageTarget(0), resultsPage(extra));
        setPageCount(u"5"_s);
        click("startButton");
        QVERIFY(waitForRequest(pageTarget(4)));
        setPageCount(u"0"_s);
        collectSinglePage(); // page 0 at once, while the run's pages wait
        QCOMPARE(domainList()->names(), extra);
        QCOMPARE(textOf("startButton"), StopCaption);
        QVERIFY(startButton()->isEnabled());
        setPageCount(u"5"_s);
        site().releaseAll();
        QTRY_COMPARE_WITH_TIMEOUT(status(), RunDone, WaitMs);
        QCOMPARE(domainList()->names(), extra + sampleNames(1, 5));
        QCOMPARE(requestedPages(), pageRange(0, 5));
        QCOMPARE(textOf("startButton"), StartCaption);
    }
};

QTEST_MAIN(TestCollecting)
#include "tst_collecting.moc"
