// What the window's operations leave in the history: each run with its pages, a single page as a run
// of its own, each lookup; and a history that fails, told about once while the operations go on.
#include "core/collect/collectionrun.h"
#include "core/collect/singlepagecollection.h"
#include "core/lookup/domainlookup.h"
#include "core/store/historyrecorder.h"
#include "core/store/historystore.h"
#include "tests/sitetest.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int WaitMs = 30000;

// " 1 3": the sample marketplace's pages whose names these are, in this order.
QString pagesOf(QStringList names)
{
    QString pages;
    for (int page = 1; page <= 20 && !names.isEmpty(); ++page) {
        if (names.mid(0, 50) == sampleNames(page)) {
            pages += u" %1"_s.arg(page);
            names.remove(0, 50);
            page = 0;
        }
    }
    return names.isEmpty() ? pages : pages + u" and others"_s;
}

// "pages 1-5, failed 2, stopped, names of 1 3": a run as kept, with the pages its names came from.
QString describe(const HistoryStore &store, const HistoryStore::RunSummary &run)
{
    return u"pages %1-%2, failed %3%4%5, names of%6"_s.arg(run.firstPage)
        .arg(run.lastPage)
        .arg(run.pagesFailed)
        .arg(run.stopped ? u", stopped"_s : QString(), run.ended.isValid() ? QString() : u", not ended"_s,
            pagesOf(store.namesOfRun(run.id)));
}

} // namespace

class TestHistoryRecorder : public SiteTest
{
    Q_OBJECT

private slots:
    void init()
    {
        startSite();
        m_dir = std::make_unique<QTemporaryDir>();
        m_path = m_dir->filePath(u"history.sqlite"_s);
        m_store = std::make_unique<HistoryStore>();
        QCOMPARE(m_store->open(m_path).value_or(QString()), QString());
        m_recorder = std::make_unique<HistoryRecorder>(m_path, config.marketUrl);
    }

    void cleanup()
    {
        m_recorder.reset();
        m_store.reset();
        endSite();
    }

    void collectionRun_data()
    {
        QTest::addColumn<QString>("action"); // after the pages before the held one: "stop", "restart", or none
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<QList<int>>("failing");
        QTest::addColumn<int>("held"); // answered after the action; 0: none
        QTest::addColumn<QStringList>("runs");
        const auto row = [](const char *name, const QString &action, int first, int last, const QList<int> &failing,
                             int held, const QStringList &runs) {
            QTest::newRow(name) << action << first << last << failing << held << runs;
        };
        row("pages 1 to 3", {}, 1, 3, {}, 0, { u"pages 1-3, failed 0, names of 1 2 3"_s });
        row("pages 5 to 9, two failing", {}, 5, 9, { 6, 9 }, 0, { u"pages 5-9, failed 2, names of 5 7 8"_s });
        row("stopped after two pages", u"stop"_s, 1, 5, {}, 3, { u"pages 1-5, failed 0, stopped, names of 1 2"_s });
        row("stopped after failed pages", u"stop"_s, 1, 5, { 1, 2 }, 3,
            { u"pages 1-5, failed 2, stopped, names of"_s });
        row("started again while going", u"restart"_s, 1, 3, { 1 }, 2,
            { u"pages 1-3, failed 1, stopped, names of"_s, u"pages 1-3, failed 1, names of 2 3"_s });
    }

    void collectionRun()
    {
        QFETCH(QString, action);
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(QList<int>, failing);
        QFETCH(int, held);
        QFETCH(QStringList, runs);
        for (const int page : failing)
            site().setFault(pageTarget(page), Fault::ServerError);
        if (held)
            site().hold(pageTarget(held));
        CollectionRun run(fetcher(), config);
        m_recorder->record(&run);
        QSignalSpy names(&run, &CollectionRun::namesArrived);
        QSignalSpy failed(&run, &CollectionRun::pageFailed);
        QSignalSpy finished(&run, &CollectionRun::finished);
        const QDateTime started = QDateTime::currentDateTimeUtc();
        run.start(first, last);
        if (held) {
            QTRY_COMPARE_WITH_TIMEOUT(names.size() + failed.size(), held - first, WaitMs);
            if (action == u"stop")
                run.stop();
            else
                run.start(first, last);
            site().release(pageTarget(held));
        }
        if (action != u"stop")
            QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, WaitMs);
        m_recorder->flush();

        QStringList kept;
        for (const HistoryStore::RunSummary &summary : m_store->runsBetween(started, {})) {
            kept << describe(*m_store, summary);
            QCOMPARE(summary.marketUrl, config.marketUrl);
            QVERIFY(summary.started <= summary.ended && summary.ended <= QDateTime::currentDateTimeUtc());
        }
        QCOMPARE(kept, runs);
    }

    // A long run's pages reach the history while it goes; a recorder that ends first writes those it holds.
    void pagesKeptWhileRunning_data()
    {
        QTest::addColumn<bool>("recorderEnds");
        QTest::newRow("run going on") << false;
        QTest::newRow("recorder ending") << true;
    }

    void pagesKeptWhileRunning()
    {
        QFETCH(bool, recorderEnds);
        site().hold(pageTarget(3));
        CollectionRun run(fetcher(), config);
        m_recorder->record(&run);
        QSignalSpy names(&run, &CollectionRun::namesArrived);
        run.start(1, 3);
        QTRY_COMPARE_WITH_TIMEOUT(names.size(), 2, WaitMs);
        if (recorderEnds)
            m_recorder.reset();
        QTRY_COMPARE_WITH_TIMEOUT(m_store->runsBetween({}, {}).size(), 1, WaitMs);
        const HistoryStore::RunSummary kept = m_store->runsBetween({}, {})[0];
        QTRY_COMPARE_WITH_TIMEOUT(m_store->namesOfRun(kept.id), sampleNames(1, 2), recorderEnds ? 0 : WaitMs);
        site().release(pageTarget(3));
    }

    // A single page is a run of one page, numbered as the text reads.
    void singlePage_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("failing");
        QTest::addColumn<QString>("run");
        QTest::newRow("page 3") << u"3"_s << false << u"pages 3-3, failed 0, names of 3"_s;
        QTest::newRow("a fraction with blanks") << u" 2.9 "_s << false << u"pages 2-2, failed 0, names of"_s;
        QTest::newRow("an exponent") << u"1e1"_s << false << u"pages 10-10, failed 0, names of"_s;
        QTest::newRow("not a number") << u"abc"_s << false << u"pages 0-0, failed 0, names of"_s;
        QTest::newRow("a page failing") << u"4"_s << true << u"pages 4-4, failed 1, names of"_s;
    }

    void singlePage()
    {
        QFETCH(QString, text);
        QFETCH(bool, failing);
        QFETCH(QString, run);
        if (failing)
            site().setFault(pageTarget(text.toInt()), Fault::ServerError);
        SinglePageCollection collection(fetcher(), config);
        m_recorder->record(&collection);
        QSignalSpy finished(&collection, &SinglePageCollection::finished);
        collection.start(text);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, WaitMs);
        m_recorder->flush();
        const QList<HistoryStore::RunSummary> runs = m_store->runsBetween({}, {});
        QCOMPARE(runs.size(), 1);
        QCOMPARE(describe(*m_store, runs[0]), run);
    }

    // Every lookup is kept, failed ones with their reasons; only a whole answer is given back.
    void lookup_data()
    {
        QTest::addColumn<bool>("icpFailing");
        QTest::addColumn<QString>("kept");
        QTest::newRow("both answers") << false << u"read, filed with a licence"_s;
        QTest::newRow("the ICP site failing") << true << u"read, failed with a reason"_s;
    }

    void lookup()
    {
        QFETCH(bool, icpFailing);
        QFETCH(QString, kept);
        const QString domain = sampleDomain(false, true);
        if (icpFailing)
            site().setFault(icpTarget(domain), Fault::TooManyRequests);
        DomainLookup lookup(fetcher(), config);
        m_recorder->record(&lookup);
        QSignalSpy finished(&lookup, &DomainLookup::finished);
        lookup.start(domain, LookupTrigger::DoubleClick);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, WaitMs);
        const LookupRecord record = finished[0][0].value<LookupRecord>();
        m_recorder->flush();

        const std::optional<LookupRecord> answer = m_store->latestAnsweredLookup(domain);
        QCOMPARE(answer.has_value(), !icpFailing);
        if (answer) {
            QCOMPARE(answer->time, record.time);
            QCOMPARE(answer->licence, licenceOf(domain));
            QCOMPARE(answer->values.whois, record.values.whois);
            QCOMPARE(answer->values.price, record.values.price);
        }
        QCOMPARE(SqlConnection(m_path).column(u"SELECT iif(backorder_read, 'read', 'unread') || ', ' || icp_state"
                                              " || iif(licence <> '', ' with a licence', '')"
                                              " || iif(icp_failure <> '', ' with a reason', '') FROM lookups"_s),
            QStringList { kept });
    }

    // Another writer holds the lock past the time-out as a page comes: one line on stderr, nothing of
    // the page kept, and nothing recorded any more, also once the lock is gone; the operations go on.
    void failingHistoryToldOnce()
    {
        CollectionRun run(fetcher(), config);
        DomainLookup lookup(fetcher(), config);
        m_recorder->record(&run);
        m_recorder->record(&lookup);
        QSignalSpy names(&run, &CollectionRun::namesArrived);
        QSignalSpy finished(&run, &CollectionRun::finished);
        QSignalSpy looked(&lookup, &DomainLookup::finished);
        site().hold(pageTarget(1));
        run.start(1, 3);
        m_recorder->flush();
        auto lock = std::make_unique<SqlConnection>(m_path);
        lock->column(u"BEGIN EXCLUSIVE"_s);

        QTest::ignoreMessage(
            QtWarningMsg, QRegularExpression(u"^vexlon-collector: history not recorded: .*pages? 1\\b.*locked"_s));
        QTest::failOnWarning(QRegularExpression(u"history"_s));
        site().release(pageTarget(1));
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, WaitMs);
        QCOMPARE(names.size(), 3);
        m_recorder->flush(); // past the history's busy time-out
        lock.reset();
        run.start(4, 4);
        lookup.start(u"a.com"_s, LookupTrigger::DoubleClick);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, WaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(looked.size(), 1, WaitMs);
        m_recorder->flush();

        const QList<HistoryStore::RunSummary> runs = m_store->runsBetween({}, {});
        QCOMPARE(runs.size(), 1);
        QCOMPARE(describe(*m_store, runs[0]), u"pages 1-3, failed 0, not ended, names of"_s);
        QCOMPARE(SqlConnection(m_path).column(u"SELECT count(*) FROM lookups"_s), QStringList { u"0"_s });
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
    std::unique_ptr<HistoryStore> m_store;
    std::unique_ptr<HistoryRecorder> m_recorder;
};

QTEST_GUILESS_MAIN(TestHistoryRecorder)
#include "tst_historyrecorder.moc"
