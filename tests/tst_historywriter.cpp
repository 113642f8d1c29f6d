// What the window's operations leave in the history through the one writer: each run with its pages, a
// single page as a run of its own, each lookup; and a history that takes no writes for a while, told
// about once, everything kept and written once it takes them again.
#include "core/collect/collectionrun.h"
#include "core/collect/singlepagecollection.h"
#include "core/lookup/domainlookup.h"
#include "core/recording/operationrecording.h"
#include "core/store/historywriter.h"
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

class TestHistoryWriter : public SiteTest
{
    Q_OBJECT

private slots:
    void init()
    {
        startSite();
        m_dir = std::make_unique<QTemporaryDir>();
        m_path = m_dir->filePath(u"history.sqlite"_s);
        m_store = std::make_unique<HistoryStore>();
        QVERIFY(m_store->open(m_path));
        m_writer = std::make_unique<HistoryWriter>(m_path);
    }

    void cleanup()
    {
        m_writer.reset();
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
        OperationRecording::recordRuns(m_writer.get(), config.marketUrl, &run);
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
        QVERIFY(written());

        QStringList kept;
        for (const HistoryStore::RunSummary &summary : m_store->runsBetween(started, {})) {
            kept << describe(*m_store, summary);
            QCOMPARE(summary.marketUrl, config.marketUrl);
            QVERIFY(summary.started <= summary.ended && summary.ended <= QDateTime::currentDateTimeUtc());
        }
        QCOMPARE(kept, runs);
    }

    // A long run's pages reach the history while it goes; a writer that ends first writes those it holds.
    void pagesKeptWhileRunning_data()
    {
        QTest::addColumn<bool>("writerEnds");
        QTest::newRow("run going on") << false;
        QTest::newRow("writer ending") << true;
    }

    void pagesKeptWhileRunning()
    {
        QFETCH(bool, writerEnds);
        site().hold(pageTarget(3));
        CollectionRun run(fetcher(), config);
        OperationRecording::recordRuns(m_writer.get(), config.marketUrl, &run);
        QSignalSpy names(&run, &CollectionRun::namesArrived);
        run.start(1, 3);
        QTRY_COMPARE_WITH_TIMEOUT(names.size(), 2, WaitMs);
        if (writerEnds)
            m_writer.reset();
        QTRY_COMPARE_WITH_TIMEOUT(m_store->runsBetween({}, {}).size(), 1, WaitMs);
        const HistoryStore::RunSummary kept = m_store->runsBetween({}, {})[0];
        QTRY_COMPARE_WITH_TIMEOUT(m_store->namesOfRun(kept.id), sampleNames(1, 2), writerEnds ? 0 : WaitMs);
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
        OperationRecording::recordSinglePages(m_writer.get(), config.marketUrl, &collection);
        QSignalSpy finished(&collection, &SinglePageCollection::finished);
        collection.start(text);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, WaitMs);
        QVERIFY(written());
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
        OperationRecording::recordLookups(m_writer.get(), &lookup);
        QSignalSpy finished(&lookup, &DomainLookup::finished);
        lookup.start(domain, LookupTrigger::DoubleClick);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, WaitMs);
        const LookupRecord record = finished[0][0].value<LookupRecord>();
        QVERIFY(written());

        const std::optional<LookupRecord> answer = m_store->latestAnsweredLookup(domain);
        QCOMPARE(answer.has_value(), !icpFailing);
        if (answer) {
            QCOMPARE(answer->time, record.time);
            QCOMPARE(answer->licence, licenceOf(domain));
            QCOMPARE(answer->values.whois, record.values.whois);
            QCOMPARE(answer->values.price, record.values.price);
        }
        QCOMPARE(SqlConnection(m_path).column(u"SELECT iif(backorder_page, 'read', 'unread') || ', ' || icp_state"
                                              " || iif(licence <> '', ' with a licence', '')"
                                              " || iif(icp_failure <> '', ' with a reason', '') FROM lookups"_s),
            QStringList { kept });
    }

    // What DNS said goes to the history through the writer; nothing is written for an empty list.
    void elsewhere()
    {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        m_writer->recordElsewhere({});
        m_writer->recordElsewhere({ { u"abc"_s, u"net"_s, DnsPresence::Taken, now },
            { u"abc"_s, u"org"_s, DnsPresence::NotInDns, now } });
        QVERIFY(written());
        QCOMPARE(SqlConnection(m_path).column(u"SELECT label || '.' || suffix || ' ' || state FROM elsewhere ORDER BY suffix"_s),
            QStringList({ u"abc.net taken"_s, u"abc.org not_in_dns"_s }));
        QCOMPARE(m_writer->unrecorded(), 0);
    }

    // Another program holds the lock past the time-out as pages come: told once, the operations go on,
    // and once the lock is gone every page, the run's end and the lookup are in the history.
    void lockedHistoryCatchesUp()
    {
        CollectionRun run(fetcher(), config);
        DomainLookup lookup(fetcher(), config);
        OperationRecording::recordRuns(m_writer.get(), config.marketUrl, &run);
        OperationRecording::recordLookups(m_writer.get(), &lookup);
        QSignalSpy failed(m_writer.get(), &HistoryWriter::writeFailed);
        QSignalSpy resumed(m_writer.get(), &HistoryWriter::writesResumed);
        QSignalSpy names(&run, &CollectionRun::namesArrived);
        QSignalSpy finished(&run, &CollectionRun::finished);
        QSignalSpy looked(&lookup, &DomainLookup::finished);
        site().hold(pageTarget(1));
        run.start(1, 3);
        QVERIFY(written());
        auto lock = std::make_unique<SqlConnection>(m_path);
        lock->column(u"BEGIN EXCLUSIVE"_s);

        site().release(pageTarget(1));
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, WaitMs);
        QCOMPARE(names.size(), 3);
        lookup.start(u"a.com"_s, LookupTrigger::DoubleClick);
        QTRY_COMPARE_WITH_TIMEOUT(looked.size(), 1, WaitMs);
        QVERIFY(failed.wait(WaitMs)); // past the history's busy time-out
        QVERIFY2(failed[0][0].toString().contains(u"locked"_s), qPrintable(failed[0][0].toString()));
        lock.reset();
        QVERIFY(written());

        QCOMPARE(failed.size(), 1);
        QCOMPARE(resumed.size(), 1);
        QCOMPARE(m_writer->unrecorded(), 0);
        const QList<HistoryStore::RunSummary> runs = m_store->runsBetween({}, {});
        QCOMPARE(runs.size(), 1);
        QCOMPARE(describe(*m_store, runs[0]), u"pages 1-3, failed 0, names of 1 2 3"_s);
        QCOMPARE(SqlConnection(m_path).column(u"SELECT domain FROM lookups"_s), QStringList { u"a.com"_s });
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
    std::unique_ptr<HistoryStore> m_store;
    std::unique_ptr<HistoryWriter> m_writer;

    // Waits until everything recorded so far is in the history; false when nothing is in after a while.
    bool written()
    {
        QSignalSpy finished(m_writer.get(), &HistoryWriter::finished);
        m_writer->finish();
        return finished.wait(WaitMs);
    }
};

QTEST_GUILESS_MAIN(TestHistoryWriter)
#include "tst_historywriter.moc"
