// The collection run and the single-page collection against the fake site: what they tell their
// caller, in which order, and which pages they ask for, also when the site stalls or fails.
#include "core/collect/collectionrun.h"
#include "core/collect/pagecount.h"
#include "core/collect/singlepagecollection.h"
#include "tests/sitetest.h"
#include "tools/samplemarket.h"

#include <QElapsedTimer>
#include <QMetaEnum>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace std::chrono_literals;
using namespace Qt::Literals::StringLiterals;

namespace {

// What the operations tell, as the tests write it down.
const QString RunStarted = QStringLiteral("started");
const QString SingleStarted = QStringLiteral("started");
const QString SingleDone = QStringLiteral("Collected");
const QString SingleFailed = QStringLiteral("FetchFailed");
const QString SingleNoNames = QStringLiteral("NoNames");

constexpr int ShortTimeoutMs = 1000;
constexpr int WaitMs = 30000;

FakeSite::Answer replyOf(const std::string &utf8Page, int status = 200)
{
    return FakeSite::Reply::utf8Html(utf8Page, status);
}

// What a run that asks for all these pages at once tells: a request each, their outcomes in order, the end.
QStringList runOf(const QList<int> &pages, const QList<int> &failing = {})
{
    QStringList events { RunStarted };
    for (const int page : pages)
        events << QStringLiteral("requested %1").arg(page);
    for (const int page : pages)
        events << (failing.contains(page) ? QStringLiteral("failed %1") : QStringLiteral("names %1")).arg(page);
    return events << QStringLiteral("finished %1").arg(failing.size());
}

// The names and failures handed on, and the end: what a run tells whenever pages come.
QStringList handedOn(const QStringList &events)
{
    QStringList kept;
    for (const QString &event : events) {
        if (event.startsWith(u"names") || event.startsWith(u"failed") || event.startsWith(u"finished"))
            kept << event;
    }
    return kept;
}

} // namespace

class TestCollectionRun : public SiteTest
{
    Q_OBJECT

private slots:
    void init()
    {
        startSite();
        m_events.clear();
        m_requested.clear();
        m_finished = 0;
    }

    void cleanup()
    {
        m_run.reset();
        endSite();
    }

    // The first page is answered last; the names still come in page order, the final status after them, and
    // a stalled first page cannot make the run ask for, and keep, pages without end.
    void pagesInPageOrder_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::newRow("pages 1 to 3") << 1 << 3;
        QTest::newRow("page 1 alone") << 1 << 1;
        QTest::newRow("pages 1 to 7, more than are in flight") << 1 << 7;
        QTest::newRow("page 7 alone") << 7 << 7;
        QTest::newRow("pages 1 to 40, more than may be outstanding") << 1 << 40;
        QTest::newRow("the last three possible pages") << LastPossiblePage - 2 << LastPossiblePage;
    }

    void pagesInPageOrder()
    {
        QFETCH(int, first);
        QFETCH(int, last);
        const QList<int> asked = pageRange(first, std::min(last, first + CollectionRun::MaxPagesOutstanding - 1));
        site().hold(pageTarget(first));
        startRun(first, last);
        QTRY_COMPARE_WITH_TIMEOUT(m_requested, asked, WaitMs);
        QTRY_COMPARE(site().requests().size(), std::size_t(asked.size()));
        std::vector<std::string> targets = site().requestedTargets(), expected; // in any order
        for (const int page : asked)
            expected.push_back(pageTarget(page));
        std::sort(targets.begin(), targets.end());
        std::sort(expected.begin(), expected.end());
        QCOMPARE(targets, expected);
        for (const auto &request : site().requests())
            QCOMPARE(request.ifModifiedSince, std::string("0"));
        QVERIFY(settle(1));
        QCOMPARE(handedOn(m_events), QStringList());
        QCOMPARE(site().requestedTargets(), std::vector<std::string> { "/" }); // none since the settling

        site().release(pageTarget(first));
        QTRY_COMPARE_WITH_TIMEOUT(m_finished, 1, WaitMs);
        QCOMPARE(m_requested, pageRange(first, last));
        QCOMPARE(site().requests().size(), std::size_t(1 + last - first + 1 - asked.size())); // each page once
        if (asked.size() == last - first + 1)
            QCOMPARE(m_events, runOf(asked));
        else
            QCOMPARE(handedOn(m_events), handedOn(runOf(pageRange(first, last))));
    }

    // Never more pages in flight than allowed, the next one asked for as soon as one is done; a last page
    // changed meanwhile ends the run there, but pages already asked for are still handed on.
    void heldPages_data()
    {
        QTest::addColumn<int>("pagesInFlight"); // 0: as the run comes
        QTest::addColumn<int>("lastPage");
        QTest::addColumn<int>("newLastPage"); // set while the first pages are held
        QTest::addColumn<int>("endsAfter");
        QTest::newRow("four in flight by default") << 0 << 10 << 10 << 10;
        QTest::newRow("one after the other") << 1 << 10 << 10 << 10;
        QTest::newRow("last page raised from 2 to 4") << 0 << 2 << 4 << 4;
        QTest::newRow("lowered from 10 to 5") << 0 << 10 << 5 << 5;
        QTest::newRow("lowered from 10 to 2, after 4 were asked for") << 0 << 10 << 2 << 4;
    }

    void heldPages()
    {
        QFETCH(int, pagesInFlight);
        QFETCH(int, lastPage);
        QFETCH(int, newLastPage);
        QFETCH(int, endsAfter);
        const int most = pagesInFlight > 0 ? pagesInFlight : CollectionRun::MaxPagesInFlight;
        site().holdEverything();
        m_run = std::make_unique<CollectionRun>(fetcher(), config);
        if (pagesInFlight > 0)
            m_run->setPagesInFlight(pagesInFlight);
        startRun(1, lastPage);
        QTRY_COMPARE(m_requested, pageRange(1, std::min(lastPage, most)));
        QTRY_COMPARE(int(site().requests().size()), std::min(lastPage, most));
        if (newLastPage != lastPage) {
            m_run->setLastPage(newLastPage);
        } else {
            site().release(pageTarget(1));
            QTRY_COMPARE(int(site().requests().size()), most + 1);
            QVERIFY(site().waitUntilRequested(pageTarget(most + 1), 0ms));
        }
        site().releaseAll();
        QTRY_COMPARE_WITH_TIMEOUT(m_finished, 1, WaitMs);
        if (newLastPage == lastPage)
            QCOMPARE(site().mostAnsweredAtOnce(), most);
        QCOMPARE(m_requested, pageRange(1, endsAfter));
        QCOMPARE(site().requests().size(), std::size_t(endsAfter));
        QCOMPARE(handedOn(m_events), handedOn(runOf(pageRange(1, endsAfter))));
    }

    void stopAbandonsRun()
    {
        site().holdEverything();
        site().release(pageTarget(1));
        startRun(1, 6);
        QTRY_VERIFY_WITH_TIMEOUT(m_events.contains(QStringLiteral("names 1")), WaitMs);
        QTRY_COMPARE(m_requested, pageRange(1, 5));

        m_run->stop();
        QCOMPARE(m_events.constLast(), QStringLiteral("stopped"));
        // The site answers the stopped run's pages: nothing of them is handed on, nothing more asked.
        const qsizetype stoppedAt = m_events.size();
        site().releaseAll();
        QVERIFY(settle(0));
        m_run->stop(); // a second stop says nothing
        QCOMPARE(m_events.size(), stoppedAt);
        QCOMPARE(site().requestedTargets(), std::vector<std::string> { "/" });

        // A new run gets its own pages only.
        m_run->start(1, 2);
        QTRY_COMPARE_WITH_TIMEOUT(m_finished, 1, WaitMs);
        QCOMPARE(m_events.mid(stoppedAt), runOf({ 1, 2 }));
    }

    // Whoever hears of a page may stop the run, or start another, right there, while its other pages still come.
    void endedByItsOwnPage_data()
    {
        QTest::addColumn<bool>("restart");
        QTest::addColumn<QStringList>("told");
        QTest::newRow("stopped") << false << QStringList { u"names 1"_s, u"names 2"_s, u"stopped"_s };
        QTest::newRow("another started") << true
                                         << QStringList { u"names 1"_s, u"names 2"_s, u"names 7"_s, u"names 8"_s,
                                                u"finished 0"_s };
    }

    void endedByItsOwnPage()
    {
        QFETCH(bool, restart);
        QFETCH(QStringList, told);
        startRun(1, 6);
        connect(m_run.get(), &CollectionRun::namesArrived, this, [this, restart](int page) {
            if (page == 2 && restart)
                m_run->start(7, 8);
            else if (page == 2)
                m_run->stop();
        });
        QTRY_VERIFY_WITH_TIMEOUT(m_events.contains(told.constLast()), WaitMs);
        QVERIFY(settle(0));
        static const QRegularExpression outcome(u"^(names|finished|stopped)"_s);
        QCOMPARE(m_events.filter(outcome), told);
    }

    // Page 2 of 3 fails (refused, all of them): the run goes on, hands on the others and counts it, in time.
    void failingPagesSkippedAndCounted_data()
    {
        QTest::addColumn<FakeSite::Answer>("answer");
        QTest::addColumn<int>("lastPage");
        QTest::addColumn<QList<int>>("failing");
        for (const Fault fault : allFaults()) {
            QList<int> failing { 2 };
            if (fault == Fault::ConnectionRefused)
                failing = { 1, 2, 3 };
            else if (fault == Fault::InvalidUtf8 || fault == Fault::GbkDeclaredUtf8)
                failing = {}; // the markers and names are ASCII
            QTest::newRow(describeFault(fault)) << FakeSite::Answer(fault) << 3 << failing;
        }
        QTest::newRow("no results marker") << replyOf("<html><body>系统维护中</body></html>") << 3 << QList<int> { 2 };
        QTest::newRow("empty page") << replyOf("") << 3 << QList<int> { 2 };
        QTest::newRow("first and last pages with an error status")
            << replyOf(SampleMarket::resultsPage(SampleMarket::namesForPage(1)), 503) << 4 << QList<int> { 1, 4 };
    }

    void failingPagesSkippedAndCounted()
    {
        QFETCH(FakeSite::Answer, answer);
        QFETCH(int, lastPage);
        QFETCH(QList<int>, failing);
        config.requestTimeoutMs = ShortTimeoutMs;
        for (const int page : failing.isEmpty() ? QList<int> { 2 } : failing)
            setAnswer(pageTarget(page), answer);

        QElapsedTimer clock;
        clock.start();
        startRun(1, lastPage);
        QTRY_COMPARE_WITH_TIMEOUT(m_finished, 1, WaitMs);
        QVERIFY2(clock.elapsed() < ShortTimeoutMs + 2000, QByteArray::number(clock.elapsed()));
        QCOMPARE(m_events, runOf(pageRange(1, lastPage), failing));
        if (answer.fault != Fault::ConnectionRefused) {
            for (int page = 1; page <= lastPage; ++page)
                QVERIFY(site().requestCount(pageTarget(page)) > 0); // a redirect loop asks again and again
            QCOMPARE(site().requestCount(pageTarget(lastPage + 1)), 0);
        }
    }

    // The page number goes into the address as typed, percent-encoded. A page that did not come says the
    // collection failed, one without the results table that no domain was found; no names either way.
    void singlePage_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::string>("target");
        QTest::addColumn<FakeSite::Answer>("answer");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("listedPage"); // whose names the site shows there
        const auto typed = [](const char *text, const std::string &target, int listedPage) {
            QTest::addRow("typed \"%s\"", text)
                << QString::fromUtf8(text) << target << FakeSite::Answer() << SingleDone << listedPage;
        };
        typed("7", "/search?p=7", 7);
        typed("-2", "/search?p=-2", 0);
        typed("0.5", "/search?p=0.5", 0);
        typed("1&x=2", "/search?p=1%26x%3D2", 0);
        const auto answered = [](const char *name, const FakeSite::Answer &answer, const QString &status) {
            QTest::newRow(name) << QStringLiteral("1") << pageTarget(1) << answer << status
                                << (status == SingleDone ? 1 : 0);
        };
        for (const Fault fault : allFaults()) {
            QString status = SingleFailed;
            if (fault == Fault::InvalidUtf8 || fault == Fault::GbkDeclaredUtf8)
                status = SingleDone;
            else if (fault == Fault::RedirectElsewhere)
                status = SingleNoNames; // another site's login page
            answered(describeFault(fault), FakeSite::Answer(fault), status);
        }
        std::string withoutPagination = SampleMarket::resultsPage(SampleMarket::namesForPage(1));
        withoutPagination.erase(withoutPagination.find("<div class=\"pagination\">"), 24);
        answered("empty page", replyOf(""), SingleFailed);
        answered("no results marker", replyOf("<html><body>系统维护中</body></html>"), SingleNoNames);
        answered("no pagination marker", replyOf(withoutPagination), SingleNoNames);
    }

    void singlePage()
    {
        QFETCH(QString, text);
        QFETCH(std::string, target);
        QFETCH(FakeSite::Answer, answer);
        QFETCH(QString, status);
        QFETCH(int, listedPage);
        config.requestTimeoutMs = ShortTimeoutMs;
        setAnswer(pageTarget(1), answer);
        SinglePageCollection collection(fetcher(), config);
        QStringList names;
        connect(&collection, &SinglePageCollection::started, this, [this] { m_events << SingleStarted; });
        connect(&collection, &SinglePageCollection::namesArrived, this, [&](const QStringList &arrived) {
            m_events << QStringLiteral("names");
            names = arrived;
        });
        connect(&collection, &SinglePageCollection::finished, this, [this](SinglePageCollection::Outcome outcome) {
            m_events << QString::fromLatin1(QMetaEnum::fromType<SinglePageCollection::Outcome>().valueToKey(int(outcome)));
        });

        QElapsedTimer clock;
        clock.start();
        collection.start(text);
        QTRY_COMPARE_WITH_TIMEOUT(m_events.size(), status == SingleDone ? 3 : 2, WaitMs);
        QVERIFY2(clock.elapsed() < ShortTimeoutMs + 2000, QByteArray::number(clock.elapsed()));
        if (status == SingleDone)
            QCOMPARE(m_events, QStringList({ SingleStarted, QStringLiteral("names"), status }));
        else
            QCOMPARE(m_events, QStringList({ SingleStarted, status }));
        QCOMPARE(names, sampleNames(listedPage));
        if (answer.fault != Fault::ConnectionRefused) {
            QCOMPARE(site().requests().front().target, target);
            QCOMPARE(site().requests().front().ifModifiedSince, std::string("0"));
        }
    }

private:
    void startRun(int first, int last)
    {
        if (!m_run)
            m_run = std::make_unique<CollectionRun>(fetcher(), config);
        CollectionRun *run = m_run.get();
        connect(run, &CollectionRun::started, this, [this] { m_events << RunStarted; });
        connect(run, &CollectionRun::pageRequested, this, [this](int page) {
            m_events << QStringLiteral("requested %1").arg(page);
            m_requested << page;
        });
        connect(run, &CollectionRun::namesArrived, this, [this](int page, const QStringList &names) {
            const QString mark = names == sampleNames(page) ? QString() : QStringLiteral(" (not the page's names)");
            m_events << QStringLiteral("names %1").arg(page) + mark;
        });
        connect(run, &CollectionRun::pageFailed, this,
            [this](int page, const QString &) { m_events << QStringLiteral("failed %1").arg(page); });
        connect(run, &CollectionRun::finished, this, [this](int failed) {
            m_events << QStringLiteral("finished %1").arg(failed);
            ++m_finished;
        });
        connect(run, &CollectionRun::stopped, this, [this] { m_events << QStringLiteral("stopped"); });
        run->start(first, last);
        QCOMPARE(m_events, QStringList { RunStarted });
    }

    std::unique_ptr<CollectionRun> m_run;
    // What the operation told, in order: "started", "requested N", "names N" (marked when they are not
    // page N's names), "failed N", "finished K", "stopped".
    QStringList m_events;
    QList<int> m_requested;
    int m_finished = 0;
};

QTEST_GUILESS_MAIN(TestCollectionRun)
#include "tst_collectionrun.moc"
