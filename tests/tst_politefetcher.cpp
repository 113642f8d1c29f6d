// The polite fetcher against the fake site: requests spaced per host, never more at once than
// allowed, hosts independent, 429 and 503 waited out, failures retried within their budgets, and
// pause, resume, cancel and owners that go.
#include "core/batch/politefetcher.h"
#include "tests/sitetest.h"

#include <QLocale>
#include <QPoint>
#include <QSignalSpy>
#include <QTest>

#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using Clock = std::chrono::steady_clock;

Q_DECLARE_METATYPE(FetchError)

namespace {

Politeness quickPoliteness(double perSecond = 20, int atOnce = 1)
{
    return { perSecond, atOnce, 5, 2, 50, 400 }; // 5 attempts for 429 and 503, 2 retries, pauses of 50 to 400 ms
}

qint64 msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

// "429 1": that status with that Retry-After; "503": no Retry-After.
FakeSite::Reply replyFrom(const QString &answer)
{
    FakeSite::Reply reply = FakeSite::Reply::utf8Html("<html>answer</html>", answer.section(u' ', 0, 0).toInt());
    if (!answer.section(u' ', 1).isEmpty())
        reply.headers.emplace_back("Retry-After", answer.section(u' ', 1).toStdString());
    return reply;
}

struct Done
{
    std::string target;
    FetchResult result;
    int attempts = 0;
};

} // namespace

class TestPoliteFetcher : public SiteTest
{
    Q_OBJECT

private slots:
    void init()
    {
        startSite();
        m_arrivals.clear();
        m_answers.clear();
        site().setRequestObserver([this](const LoopbackServer::LoggedRequest &request) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_arrivals.push_back(Clock::now());
            // Each arrival gets the next of the answers set, the last one for ever.
            if (!m_answers.empty())
                site().setReply(request.target,
                    replyFrom(m_answers.at(std::min<size_t>(m_arrivals.size() - 1, m_answers.size() - 1))));
        });
        m_polite = std::make_unique<PoliteFetcher>(fetcher(), quickPoliteness());
        m_done.clear();
    }

    void cleanup()
    {
        m_polite.reset();
        endSite();
    }

    void retryAfter_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<qint64>("ms"); // -1: says nothing usable
        QTest::newRow("no wait") << QByteArray("0") << qint64(0);
        QTest::newRow("seconds") << QByteArray("1") << qint64(1000);
        QTest::newRow("seconds between blanks") << QByteArray(" 120 ") << qint64(120000);
        QTest::newRow("nine seconds") << QByteArray("9") << qint64(9000);
        QTest::newRow("ninety seconds") << QByteArray("90") << qint64(90000);
        QTest::newRow("negative") << QByteArray("-1") << qint64(-1);
        QTest::newRow("fraction") << QByteArray("1.5") << qint64(-1);
        QTest::newRow("words") << QByteArray("soon") << qint64(-1);
        QTest::newRow("empty") << QByteArray() << qint64(-1);
        QTest::newRow("HTTP date") << QByteArray("Fri, 01 Mar 2024 12:00:30 GMT") << qint64(30000);
        QTest::newRow("RFC 850 date") << QByteArray("Friday, 01-Mar-24 12:01:00 GMT") << qint64(60000);
        QTest::newRow("asctime date") << QByteArray("Fri Mar  1 12:00:05 2024") << qint64(5000);
        QTest::newRow("date in the past") << QByteArray("Thu, 29 Feb 2024 12:00:00 GMT") << qint64(0);
        QTest::newRow("date without a zone") << QByteArray("Fri, 01 Mar 2024 12:00:30") << qint64(-1);
    }

    void retryAfter()
    {
        QFETCH(QByteArray, value);
        QFETCH(qint64, ms);
        QCOMPARE(retryAfterMs(value, QDateTime(QDate(2024, 3, 1), QTime(12, 0), Qt::UTC)).value_or(-1), ms);
    }

    void spacing_data()
    {
        QTest::addColumn<double>("perSecond");
        QTest::addColumn<int>("atOnce");
        QTest::addColumn<int>("latencyMs");
        QTest::addColumn<int>("siteLimit"); // the site's own limit, answered with 429 and Retry-After: 1
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("someLate"); // the requests for /1.com, /2.com, /5.com, /6.com ... reach the site late
        QTest::newRow("2 a second, one at a time") << 2.0 << 1 << 0 << 2 << 5 << false;
        QTest::newRow("5 a second, two at once, slow answers") << 5.0 << 2 << 500 << 5 << 6 << false;
        QTest::newRow("a site that allows fewer: its 429s waited out") << 4.0 << 1 << 0 << 2 << 4 << false;
        // Sent 1/R apart, a request that is late and one that is not would come closer than that.
        QTest::newRow("2 a second, two requests late, two not") << 2.0 << 1 << 0 << 2 << 8 << true;
    }

    void spacing()
    {
        QFETCH(double, perSecond);
        QFETCH(int, atOnce);
        QFETCH(int, latencyMs);
        QFETCH(int, siteLimit);
        QFETCH(int, count);
        QFETCH(bool, someLate);
        for (int i = 0; someLate && i < count; ++i) {
            if (i % 4 == 1 || i % 4 == 2)
                site().setFault("/" + std::to_string(i) + ".com", Fault::ArrivesLate);
        }
        site().setLatency(std::chrono::milliseconds(latencyMs));
        site().setRateLimit(siteLimit);
        m_polite = std::make_unique<PoliteFetcher>(fetcher(), quickPoliteness(perSecond, atOnce));
        QSignalSpy waiting(m_polite.get(), &PoliteFetcher::waiting);
        for (int i = 0; i < count; ++i)
            ask("/" + std::to_string(i) + ".com");
        QTRY_COMPARE_WITH_TIMEOUT(int(m_done.size()), count, 20000);
        int attempts = 0;
        for (const Done &done : m_done) {
            QVERIFY2(done.result.isPage(), done.target.c_str());
            attempts += done.attempts;
        }
        const std::vector<Clock::time_point> arrivals = arrivalTimes();
        QCOMPARE(int(arrivals.size()), attempts);
        // 1/R apart (but for the site's own hiccups), so over any second no more than the limit rounded up.
        for (size_t i = 1; i < arrivals.size(); ++i)
            QVERIFY(msBetween(arrivals[i - 1], arrivals[i]) >= 900 / perSecond);
        const size_t perWindow = size_t(std::ceil(perSecond));
        for (size_t i = 0; i + perWindow < arrivals.size(); ++i)
            QVERIFY2(msBetween(arrivals[i], arrivals[i + perWindow]) >= 1000, qPrintable(QString::number(i)));
        QVERIFY(site().mostAnsweredAtOnce() <= atOnce);
        if (latencyMs > 0)
            QCOMPARE(site().mostAnsweredAtOnce(), atOnce);
        else if (siteLimit >= perSecond) // not slower than asked either, but for the first answer's round trip
            QVERIFY(msBetween(arrivals.front(), arrivals.back()) <= (count - 1) * 1000 / perSecond * 1.25 + 100);
        // Where the site never had to say no nothing waited; else every wait is its Retry-After.
        QCOMPARE(attempts > count, siteLimit < perSecond);
        QCOMPARE(waiting.count(), attempts - count);
        for (const QList<QVariant> &signal : waiting)
            QCOMPARE(signal.at(1).toLongLong(), 1000);
    }

    void retries_data()
    {
        QTest::addColumn<QStringList>("answers"); // in turn, the last one for ever; "hold" or "closed"
        QTest::addColumn<int>("attempts");
        QTest::addColumn<int>("status");
        QTest::addColumn<FetchError>("error");
        QTest::addColumn<QList<QPoint>>("waits"); // each announced wait, between x and y ms
        const QList<QPoint> backOff { { 50, 62 }, { 100, 125 }, { 200, 250 }, { 400, 400 } };
        const auto row = [](const char *name, const QStringList &answers, int attempts, int status,
                             const QList<QPoint> &waits, FetchError error = FetchError::None) {
            QTest::newRow(name) << answers << attempts << status << error << waits;
        };
        row("429 with Retry-After: 1, then the page", { u"429 1"_s, u"200"_s }, 2, 200, { { 1000, 1000 } });
        row("503 with a date, then the page", { u"503 date"_s, u"200"_s }, 2, 200, { { 500, 2000 } });
        row("429 for ever: every attempt in all", { u"429 0"_s }, 5, 429, QList<QPoint>(4, { 0, 0 }));
        row("503 for ever without Retry-After: growing pauses", { u"503"_s }, 5, 503, backOff);
        row("500 then the page", { u"500"_s, u"200"_s }, 2, 200, backOff.mid(0, 1));
        row("502 for ever: two retries", { u"502"_s }, 3, 502, backOff.mid(0, 2));
        row("404 is final at once", { u"404"_s }, 1, 404, {});
        row("time-out: two retries", { u"hold"_s }, 3, 0, backOff.mid(0, 2), FetchError::Timeout);
        row("connection refused: two retries", { u"closed"_s }, 3, 0, backOff.mid(0, 2), FetchError::ConnectionFailed);
    }

    void retries()
    {
        QFETCH(QStringList, answers);
        QFETCH(int, attempts);
        QFETCH(int, status);
        QFETCH(FetchError, error);
        QFETCH(QList<QPoint>, waits);
        QSignalSpy waiting(m_polite.get(), &PoliteFetcher::waiting);
        const bool closed = answers.front() == "closed"_L1;
        if (answers.front() == "hold"_L1) {
            site().hold("/a.com");
        } else if (!closed) {
            const QDateTime inTwoSeconds = QDateTime::currentDateTimeUtc().addSecs(2);
            std::lock_guard<std::mutex> lock(m_mutex);
            m_answers = answers.replaceInStrings(
                u"date"_s, QLocale::c().toString(inTwoSeconds, u"ddd, dd MMM yyyy HH:mm:ss 'GMT'"_s));
        }
        ask("/a.com", nullptr, closed ? FakeSite::closedPortUrl() : site().url(), 300);
        QTRY_COMPARE_WITH_TIMEOUT(int(m_done.size()), 1, 20000);
        const Done &done = m_done.front();
        QCOMPARE(done.attempts, attempts);
        QCOMPARE(done.result.httpStatus, status);
        QCOMPARE(done.result.error, error);
        QCOMPARE(waiting.count(), waits.size());
        const std::vector<Clock::time_point> arrivals = arrivalTimes();
        QCOMPARE(int(arrivals.size()), closed ? 0 : attempts);
        for (int i = 0; i < waits.size(); ++i) {
            QCOMPARE(waiting.at(i).at(0).toString(), u"127.0.0.1"_s);
            const qint64 ms = waiting.at(i).at(1).toLongLong();
            QVERIFY2(ms >= waits.at(i).x() && ms <= waits.at(i).y(), qPrintable(QString::number(ms)));
            if (size_t(i + 1) < arrivals.size()) // nothing goes to the host while it waits
                QVERIFY(msBetween(arrivals[i], arrivals[i + 1]) >= ms);
        }
    }

    void pauseAndResume()
    {
        ask("/1.com");
        m_polite->pause();
        ask("/2.com");
        ask("/3.com");
        QCOMPARE(m_polite->queued(), 2);
        QTRY_COMPARE(int(m_done.size()), 1); // what was under way finishes
        QVERIFY(!QTest::qWaitFor([&] { return site().requestCount("/2.com") > 0; }, 300));
        m_polite->resume();
        QTRY_COMPARE(int(m_done.size()), 3);
        QCOMPARE(m_polite->queued(), 0);
    }

    void cancelAll()
    {
        site().hold("/1.com");
        ask("/1.com");
        ask("/2.com");
        QTRY_COMPARE(site().requestCount("/1.com"), 1);
        m_polite->cancelAll();
        QCOMPARE(m_polite->queued(), 0);
        site().release("/1.com");
        ask("/3.com");
        QTRY_COMPARE(int(m_done.size()), 1);
        ask("/4.com"); // by now the abandoned answer would have come
        QTRY_COMPARE(int(m_done.size()), 2);
        QCOMPARE(m_done.front().target, "/3.com");
        QCOMPARE(site().requestCount("/2.com"), 0);
    }

    void ownerGoneFreesItsPlace()
    {
        site().hold("/1.com");
        auto *owner = new QObject(this);
        ask("/1.com", owner);
        ask("/2.com");
        QTRY_COMPARE(site().requestCount("/1.com"), 1);
        QVERIFY(!QTest::qWaitFor([&] { return site().requestCount("/2.com") > 0; }, 200));
        delete owner;
        QTRY_COMPARE(site().requestCount("/2.com"), 1);
        QTRY_COMPARE(int(m_done.size()), 1);
        QCOMPARE(m_done.front().target, "/2.com");
    }

private:
    void ask(const std::string &target, QObject *owner = nullptr, std::string base = {}, int timeoutMs = 5000)
    {
        const QUrl url(QString::fromStdString((base.empty() ? site().url() : base) + target));
        m_polite->get({ url, false, timeoutMs }, owner ? owner : this, [this, target](const FetchResult &r, int n) {
            m_done.push_back({ target, r, n });
        });
    }

    std::vector<Clock::time_point> arrivalTimes()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_arrivals;
    }

    std::unique_ptr<PoliteFetcher> m_polite;
    std::vector<Done> m_done;
    std::mutex m_mutex; // guards what the site's threads write
    std::vector<Clock::time_point> m_arrivals;
    QStringList m_answers;
};

QTEST_GUILESS_MAIN(TestPoliteFetcher)
#include "tst_politefetcher.moc"
