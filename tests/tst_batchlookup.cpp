// Batch lookups against the fake site: the window's lookup for each domain, politely, failures
// counted and never taken for "not filed", answers from the history, overlap across sites, pause,
// cancel, and memory over a long list.
#include "core/batch/batchlookup.h"
#include "core/store/historystore.h"
#include "tests/sitetest.h"
#include "tools/samplemarket.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

FakeSite::Reply tooManyRequests()
{
    FakeSite::Reply reply = FakeSite::Reply::utf8Html("<html>slow down</html>", 429);
    reply.headers.emplace_back("Retry-After", "0");
    return reply;
}

// Resident memory of this process, from /proc; 0 where there is none.
qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    return statm.open(QIODevice::ReadOnly) ? statm.readAll().split(' ').value(1).toLongLong() * 4096 : 0;
}

} // namespace

class TestBatchLookup : public SiteTest
{
    Q_OBJECT

private slots:
    void init()
    {
        startSite();
        config.requestTimeoutMs = 5000;
        m_options = BatchOptions();
        m_options.politeness = { 50, 1, 3, 2, 20, 100 }; // 3 attempts for 429, pauses of 20 to 100 ms
    }

    void cleanup()
    {
        m_batch.reset();
        endSite();
    }

    void sampleDomains()
    {
        const QStringList domains = sampleNames(1).mid(0, 6);
        makeBatch()->start(domains);
        QVERIFY(m_finished->wait(20000));
        QCOMPARE(m_finished->takeFirst(), QVariantList({ 6, 0, false }));
        QCOMPARE(m_progress->count(), 6);
        QCOMPARE(m_progress->last(), QVariantList({ 6, 6, 0 }));
        QCOMPARE(m_fromHistory, 0);
        QCOMPARE(int(m_records.size()), 6);
        int filed = 0;
        for (const LookupRecord &record : m_records) { // their values: the command's lookup rows
            QVERIFY(domains.contains(record.domain) && !record.failed());
            QCOMPARE(record.licence, licenceOf(record.domain));
            filed += record.filing == IcpFiling::Filed;
        }
        QVERIFY(filed > 0 && filed < 6);
        // The window's requests: the backorder page, then the ICP page, which asks for a fresh copy.
        const std::vector<std::string> targets = site().requestedTargets();
        const auto position
            = [&](const std::string &target) { return std::find(targets.begin(), targets.end(), target); };
        for (const QString &domain : domains)
            QVERIFY(position(backorderTarget(domain)) < position(icpTarget(domain)));
        for (const auto &request : site().requests())
            QCOMPARE(request.ifModifiedSince, request.path.rfind("/backorder/", 0) == 0 ? "" : "0");
        QCOMPARE(site().mostAnsweredAtOnce(), 1);
    }

    // A failed or rate-limited answer makes a failed lookup, never "not filed"; each retry is told as a wait.
    void failures_data()
    {
        QTest::addColumn<bool>("icp"); // which page answers so
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body"); // empty: a rate-limit answer
        QTest::addColumn<int>("requests");
        QTest::addColumn<QString>("reason");
        QTest::newRow("ICP site rate-limits for ever")
            << true << 429 << QByteArray() << 3 << QStringLiteral("HTTP 429");
        QTest::newRow("ICP error status carrying a not-filed text")
            << true << 500 << QByteArray(SampleMarket::icpPage("").c_str()) << 3 << QStringLiteral("HTTP 500");
        QTest::newRow("ICP page without its markers")
            << true << 200 << QByteArray("<html>请输入验证码</html>") << 1 << QStringLiteral("not an ICP lookup page");
        QTest::newRow("backorder page missing")
            << false << 404 << QByteArray("<html>no</html>") << 1 << QStringLiteral("HTTP 404");
        QTest::newRow("marketplace rate-limits for ever")
            << false << 429 << QByteArray() << 3 << QStringLiteral("HTTP 429");
    }

    void failures()
    {
        QFETCH(bool, icp);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, requests);
        QFETCH(QString, reason);
        const QString domain = sampleNames(1).front();
        const std::string target = icp ? icpTarget(domain) : backorderTarget(domain);
        site().setReply(
            target, body.isEmpty() ? tooManyRequests() : FakeSite::Reply::gbkHtml(body.toStdString(), status));
        QSignalSpy waiting(makeBatch(), &BatchLookup::waiting);
        m_batch->start({ domain });
        QVERIFY(m_finished->wait(20000));
        QCOMPARE(m_finished->takeFirst(), QVariantList({ 1, 1, false }));
        QCOMPARE(site().requestCount(target), requests);
        QCOMPARE(waiting.count(), requests - 1);
        for (const QList<QVariant> &signal : waiting)
            QCOMPARE(signal.front().toString(), QStringLiteral("127.0.0.1"));
        const LookupRecord &record = m_records.front();
        QVERIFY(record.failed());
        QCOMPARE(icp ? record.icpFailure : record.backorderFailure, reason);
        // The other page was read all the same.
        QCOMPARE(record.backorderRead(), icp);
        QCOMPARE(record.filing == IcpFiling::Unknown, icp);
    }

    // The marketplace gets the next domain while the ICP site still answers the one before.
    void lookupsOverlapAcrossSites()
    {
        FakeSite icpSite;
        QVERIFY(icpSite.start());
        config.icpUrl = QString::fromStdString(icpSite.url());
        const QStringList domains = sampleNames(1).mid(0, 3);
        icpSite.hold(icpTarget(domains[0]));
        makeBatch()->start(domains);
        QTRY_COMPARE(site().requestCount(backorderTarget(domains[1])), 1);
        QCOMPARE(icpSite.requestedTargets(), std::vector<std::string> { icpTarget(domains[0]) });
        icpSite.releaseAll();
        QVERIFY(m_finished->wait(20000));
        QCOMPARE(m_finished->takeFirst(), QVariantList({ 3, 0, false }));
        QCOMPARE(site().mostAnsweredAtOnce(), 1);
        QCOMPARE(icpSite.mostAnsweredAtOnce(), 1);
    }

    void pauseAndCancel_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("paused after the first lookup, then resumed") << false;
        QTest::newRow("cancelled after the first lookup") << true;
    }

    void pauseAndCancel()
    {
        QFETCH(bool, cancel);
        const QStringList domains = sampleNames(1).mid(0, 3);
        const QMetaObject::Connection first = connect(
            makeBatch(), &BatchLookup::lookedUp, this, [&] { cancel ? m_batch->cancel() : m_batch->pause(); });
        QSignalSpy lookedUp(m_batch.get(), &BatchLookup::lookedUp);
        m_batch->start(domains);
        QVERIFY(lookedUp.wait(5000));
        QCOMPARE(m_finished->count(), cancel ? 1 : 0);
        QVERIFY(!lookedUp.wait(400));
        QCOMPARE(site().requestCount(icpTarget(domains[2])), 0);
        if (cancel) {
            QCOMPARE(m_finished->takeFirst(), QVariantList({ 1, 0, true }));
            QCOMPARE(site().requestCount(backorderTarget(domains[2])), 0);
        } else {
            disconnect(first);
            m_batch->resume();
            QVERIFY(m_finished->wait(10000));
            QCOMPARE(m_finished->takeFirst(), QVariantList({ 3, 0, false }));
        }
    }

    // Answers younger than the limit come from the history; failed or old ones are asked again, all when refreshing.
    void history()
    {
        QTemporaryDir folder;
        HistoryStore store;
        QVERIFY(store.open(folder.filePath(QStringLiteral("history.sqlite"))));
        const QStringList domains = sampleNames(1).mid(0, 4);
        LookupRecord old;
        old.domain = domains[3];
        old.time = QDateTime::currentDateTimeUtc().addSecs(-13 * 60 * 60);
        old.values.isBackorderPage = true;
        old.filing = IcpFiling::NotFiled;
        QVERIFY(store.recordLookup(old));
        site().setReply(icpTarget(domains[2]), tooManyRequests());
        // Refreshing, how many from the history, requests (two a lookup, the failing ICP page's thrice).
        for (const auto &[refresh, fromHistory, requests] :
            { std::tuple(false, 0, 10), std::tuple(false, 3, 4), std::tuple(true, 0, 10) }) {
            site().clearLog();
            m_options.refresh = refresh;
            // The batch's caller records what was looked up.
            connect(makeBatch(&store), &BatchLookup::lookedUp, this, [&store](const LookupRecord &record, bool cached) {
                if (!cached)
                    QVERIFY(store.recordLookup(record));
            });
            m_batch->start(domains);
            QVERIFY(m_finished->wait(20000));
            QCOMPARE(m_finished->takeFirst(), QVariantList({ 4, 1, false }));
            QCOMPARE(m_fromHistory, fromHistory);
            QCOMPARE(int(site().requests().size()), requests);
        }
        const std::optional<LookupRecord> latest = store.latestAnsweredLookup(domains[3]);
        QVERIFY(latest && latest->time > old.time); // recorded anew
    }

    // Nothing is kept per finished domain: a long list costs no more memory than a short one.
    void memoryOverTenThousandLookups()
    {
#ifdef __SANITIZE_ADDRESS__
        QSKIP("the address sanitizer holds freed memory back");
#endif
        if (residentBytes() == 0)
            QSKIP("no /proc here to read the memory from");
        m_options.politeness.requestsPerSecond = 1e6;
        m_options.politeness.requestsAtOnce = 4;
        qint64 afterThousand = 0;
        connect(makeBatch(), &BatchLookup::progress, this, [&](int done) {
            if (done % 1000 == 0)
                site().clearLog(); // the site's log of requests is in this process too
            if (done == 1000)
                afterThousand = residentBytes();
        });
        m_progress.reset();
        m_batch->start(numberedNames(QStringLiteral("n"), 10000));
        QVERIFY(m_finished->wait(120000));
        QCOMPARE(m_finished->takeFirst(), QVariantList({ 10000, 0, false }));
        const qint64 grown = residentBytes() - afterThousand;
        qInfo("resident memory after 1,000 lookups: %lld KiB, grown by %lld KiB over the next 9,000",
            afterThousand / 1024, grown / 1024);
        QVERIFY(grown < 4 * 1024 * 1024);
    }

private:
    // A batch with the options set, its signals spied on and the first records kept.
    BatchLookup *makeBatch(HistoryStore *store = nullptr)
    {
        m_batch = std::make_unique<BatchLookup>(fetcher(), config, store, m_options);
        m_records.clear();
        m_fromHistory = 0;
        connect(m_batch.get(), &BatchLookup::lookedUp, this, [this](const LookupRecord &record, bool fromHistory) {
            if (m_records.size() < 10) // a long list is counted, not kept
                m_records.push_back(record);
            m_fromHistory += fromHistory;
        });
        m_finished = std::make_unique<QSignalSpy>(m_batch.get(), &BatchLookup::finished);
        m_progress = std::make_unique<QSignalSpy>(m_batch.get(), &BatchLookup::progress);
        return m_batch.get();
    }

    BatchOptions m_options;
    std::unique_ptr<BatchLookup> m_batch;
    std::vector<LookupRecord> m_records;
    int m_fromHistory = 0;
    std::unique_ptr<QSignalSpy> m_finished;
    std::unique_ptr<QSignalSpy> m_progress;
};

QTEST_GUILESS_MAIN(TestBatchLookup)
#include "tst_batchlookup.moc"
