// Batch lookups against the fake site: the window's lookup for each domain, politely, failures
// counted and never taken for "not filed", answers from the history, overlap across sites, pause,
// cancel, and memory over a long list.
#include "core/batch/batchlookup.h"
#include "core/store/historystore.h"
#include "tests/sitetest.h"
#include "tools/samplemarket.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <memory>
#include <mutex>

using namespace std::chrono_literals;

namespace {

QStringList sampleDomains(int count)
{
    return sampleNames(1).mid(0, count);
}

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
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    return statm.readAll().split(' ').value(1).toLongLong() * 4096;
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
        m_options.politeness.requestsPerSecond = 50;
        m_options.politeness.rateLimitedAttempts = 3;
        m_options.politeness.firstPauseMs = 20;
        m_options.politeness.longestPauseMs = 100;
    }
    void cleanup()
    {
        m_batch.reset();
        endSite();
    }

    void sampleDomains()
    {
        const QStringList domains = ::sampleDomains(6);
        makeBatch()->start(domains);
        QVERIFY(m_finished->wait(20000));
        QCOMPARE(m_finished->takeFirst(), QVariantList({ 6, 0, false }));
        QCOMPARE(m_progress->count(), 6);
        QCOMPARE(m_progress->last(), QVariantList({ 6, 6, 0 }));
        QCOMPARE(m_fromHistory, 0);
        QCOMPARE(int(m_records.size()), 6);
        int filed = 0;
        for (const LookupRecord &record : m_records) {
            const std::string name = record.domain.toStdString();
            const QString licence = QString::fromStdString(SampleMarket::icpLicenceFor(name));
            QVERIFY(domains.contains(record.domain) && record.backorderRead && !isFailedLookup(record));
            QCOMPARE(
                record.values.deletionType, QString::fromStdString(SampleMarket::backorderInfoFor(name).deletionType));
            QCOMPARE(record.filing, licence.isEmpty() ? IcpFiling::NotFiled : IcpFiling::Filed);
            QCOMPARE(record.licence, licence);
            filed += record.filing == IcpFiling::Filed;
        }
        QVERIFY(filed > 0 && filed < 6);
        // The window's requests: the backorder page, then the ICP page, which asks for a fresh copy.
        const std::vector<std::string> targets = site().requestedTargets();
        const auto position = [&targets](const std::string &target) {
            return std::find(targets.begin(), targets.end(), target) - targets.begin();
        };
        for (const QString &domain : domains)
            QVERIFY(position(backorderTarget(domain)) < position(icpTarget(domain)));
        for (const auto &request : site().requests())
            QCOMPARE(request.ifModifiedSince, request.path.rfind("/backorder/", 0) == 0 ? "" : "0");
        QCOMPARE(site().mostAnsweredAtOnce(), 1);
    }

    // A failed or rate-limited answer makes a failed lookup, never "not filed".
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
        const QString domain = ::sampleDomains(1).front();
        const std::string target = icp ? icpTarget(domain) : backorderTarget(domain);
        site().setReply(
            target, body.isEmpty() ? tooManyRequests() : FakeSite::Reply::gbkHtml(body.toStdString(), status));
        makeBatch()->start({ domain });
        QVERIFY(m_finished->wait(20000));
        QCOMPARE(m_finished->takeFirst(), QVariantList({ 1, 1, false }));
        QCOMPARE(site().requestCount(target), requests);
        const LookupRecord &record = m_records.front();
        QVERIFY(isFailedLookup(record));
        QCOMPARE(icp ? record.icpFailure : record.backorderFailure, reason);
        // The other page was read all the same.
        QCOMPARE(record.backorderRead, icp);
        QCOMPARE(record.filing == IcpFiling::Unknown, icp);
    }

    void siteRateLimitingEverything()
    {
        using Clock = std::chrono::steady_clock;
        m_options.politeness.requestsPerSecond = 10;
        const QStringList domains = ::sampleDomains(3);
        for (const QString &domain : domains) {
            site().setReply(backorderTarget(domain), tooManyRequests());
            site().setReply(icpTarget(domain), tooManyRequests());
        }
        std::mutex mutex;
        std::vector<Clock::time_point> arrivals;
        site().setRequestObserver([&](const LoopbackServer::LoggedRequest &) {
            std::lock_guard<std::mutex> lock(mutex);
            arrivals.push_back(Clock::now());
        });
        QElapsedTimer clock;
        clock.start();
        QSignalSpy waiting(makeBatch(), &BatchLookup::waiting);
        m_batch->start(domains);
        QVERIFY(m_finished->wait(20000));
        QCOMPARE(m_finished->takeFirst(), QVariantList({ 3, 3, false }));
        for (const LookupRecord &record : m_records)
            QVERIFY(!record.backorderRead && record.filing == IcpFiling::Unknown);
        // Every page tried as often as allowed and no more, each failure announced as a wait, never
        // more than 10 requests in a second, one at a time.
        site().setRequestObserver(nullptr);
        QCOMPARE(int(arrivals.size()), 3 * 2 * 3);
        QCOMPARE(waiting.count(), 3 * 2 * 2);
        QCOMPARE(waiting.front().front().toString(), QStringLiteral("127.0.0.1"));
        for (size_t i = 10; i < arrivals.size(); ++i)
            QVERIFY(arrivals[i] - arrivals[i - 10] >= 1s);
        QVERIFY(clock.elapsed() < 18 * 110 + 1000);
        QCOMPARE(site().mostAnsweredAtOnce(), 1);
    }

    // The marketplace gets the next domain while the ICP site still answers the one before.
    void lookupsOverlapAcrossSites()
    {
        FakeSite icpSite;
        QVERIFY(icpSite.start());
        config.icpUrl = QString::fromStdString(icpSite.url());
        const QStringList domains = ::sampleDomains(3);
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
        const QStringList domains = ::sampleDomains(3);
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

    // Answered lookups younger than the limit come from the history; failed or old ones are asked
    // again, and so is everything when refreshing.
    void history()
    {
        QTemporaryDir folder;
        HistoryStore store;
        QCOMPARE(store.open(folder.filePath(QStringLiteral("history.sqlite"))), std::nullopt);
        const QStringList domains = ::sampleDomains(4);
        LookupRecord old;
        old.domain = domains[3];
        old.time = QDateTime::currentDateTimeUtc().addSecs(-13 * 60 * 60);
        old.backorderRead = true;
        old.filing = IcpFiling::NotFiled;
        QVERIFY(store.recordLookup(old));
        site().setReply(icpTarget(domains[2]), tooManyRequests());

        struct Pass
        {
            const char *name;
            bool refresh;
            int fromHistory;
            int requests; // two a lookup, the failing ICP page tried thrice
        };
        for (const Pass &pass :
            { Pass { "first", false, 0, 10 }, Pass { "again", false, 3, 4 }, Pass { "refreshing", true, 0, 10 } }) {
            site().clearLog();
            m_options.refresh = pass.refresh;
            makeBatch(&store)->start(domains);
            QVERIFY(m_finished->wait(20000));
            QCOMPARE(m_finished->takeFirst(), QVariantList({ 4, 1, false }));
            QVERIFY2(m_fromHistory == pass.fromHistory, pass.name);
            QVERIFY2(int(site().requests().size()) == pass.requests, pass.name);
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
        QStringList domains;
        for (int i = 0; i < 10000; ++i)
            domains.append(QStringLiteral("n%1.com").arg(i));
        qint64 afterThousand = 0;
        connect(makeBatch(), &BatchLookup::progress, this, [&](int done) {
            if (done % 1000 == 0)
                site().clearLog(); // the site's log of requests is in this process too
            if (done == 1000)
                afterThousand = residentBytes();
        });
        m_progress.reset();
        m_batch->start(domains);
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
