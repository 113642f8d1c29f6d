// The page fetcher against the fake site: headers sent, what a result keeps of an answer, the
// charsets, the size cap, the time limit, cancelling and abandoning, and every hostile server.
#include "core/net/pagefetcher.h"
#include "tests/sitetest.h"
#include "tools/samplemarket.h"

#include <QElapsedTimer>
#include <QStringEncoder>
#include <QTest>

#include <map>
#include <optional>

using namespace std::chrono_literals;

Q_DECLARE_METATYPE(FetchError)

namespace {

// Characters outside Latin-1 that GBK and GB18030 encode alike.
const QString ChinesePage = QStringLiteral("<html><body><p><label>删除类型：</label>过期删除</p>"
                                           "<td>网站备案/许可证号</td><td>京ICP备12345678号-1</td>"
                                           "价格：￥86.40【预订】</body></html>");

FakeSite::Reply reply(const QByteArray &body, const QByteArray &contentType)
{
    return { 200, body.toStdString(), contentType.toStdString(), {} };
}

struct Fetched
{
    std::optional<FetchResult> result;
    int calls = 0;
    qint64 elapsedMs = 0;
};

} // namespace

class TestPageFetcher : public SiteTest
{
    Q_OBJECT

private slots:
    void init() { startSite(); }

    void cleanup() { endSite(); }

    // One GET a request and no retry; no cache header unless asked for (tst_collectionrun checks it is sent
    // on every request of a connection, tst_domainlookup that only the ICP page asks for it).
    void plainRequests()
    {
        for (int i = 0; i < 3; ++i) {
            const Fetched fetched = fetch({ at("/") });
            QVERIFY(fetched.result && fetched.result->isPage());
        }
        const auto log = site().requests();
        QCOMPARE(log.size(), std::size_t(3));
        for (const auto &request : log) {
            QCOMPARE(request.method, std::string("GET"));
            QVERIFY(!request.hasIfModifiedSince);
        }
    }

    void notAWebAddress_data()
    {
        QTest::addColumn<QUrl>("url");
        QTest::newRow("file URL") << QUrl(QStringLiteral("file:///etc/hostname"));
        QTest::newRow("ftp URL") << QUrl(QStringLiteral("ftp://127.0.0.1/x"));
        QTest::newRow("empty URL") << QUrl();
    }

    void notAWebAddress()
    {
        QFETCH(QUrl, url);
        const Fetched fetched = fetch({ url });
        QVERIFY(fetched.result);
        QCOMPARE(fetched.result->error, FetchError::InvalidUrl);
        QVERIFY(!fetched.result->hasResponse());
        QCOMPARE(decodeDeclaredCharset(*fetched.result), QString());
    }

    // The declared charset is honoured (decodeGbk, which reads GBK whatever is declared, reads the pages of
    // tst_domainlookup, also those declared UTF-8).
    void decoding_data()
    {
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("expected");
        const QByteArray gbkPage = QByteArray::fromStdString(SampleMarket::toGbk(ChinesePage.toStdString()));
        const QByteArray utf8Page = ChinesePage.toUtf8();
        const auto declared = [&](const char *name, const char *type, const QByteArray &body, const QString &text) {
            QTest::newRow(name) << QByteArray(type) << body << text;
        };
        declared("gbk page declared gbk", "text/html; charset=gbk", gbkPage, ChinesePage);
        declared("gbk page declared GBK", "text/html; charset=GBK", gbkPage, ChinesePage);
        declared("gbk page declared \"gbk\"", "text/html; charset=\"gbk\"", gbkPage, ChinesePage);
        declared("gbk page declared gb18030", "text/html;charset=gb18030", gbkPage, ChinesePage);
        declared("utf-8 page declared utf-8", "text/html; charset=utf-8", utf8Page, ChinesePage);
        declared("utf-8 page, no charset", "text/html", utf8Page, ChinesePage);
        declared("utf-8 page, unknown charset", "text/html; charset=x-nonsense", utf8Page, ChinesePage);
        // Without a declaration a GBK page is read as UTF-8, broken characters and all.
        declared("gbk page, no charset", "text/html", gbkPage, QString::fromUtf8(gbkPage));
        QStringEncoder big5("Big5");
        if (big5.isValid()) {
            const QString traditional = QStringLiteral("刪除類型：過期刪除");
            declared("big5 page declared big5", "text/html; charset=big5", big5.encode(traditional), traditional);
        }
    }

    void decoding()
    {
        QFETCH(QByteArray, contentType);
        QFETCH(QByteArray, body);
        QFETCH(QString, expected);
        site().setReply("/page", reply(body, contentType));

        const Fetched fetched = fetch({ at("/page") });
        QVERIFY(fetched.result && fetched.result->isPage());
        QCOMPARE(fetched.result->contentType, contentType);
        QCOMPARE(decodeDeclaredCharset(*fetched.result), expected);
    }

    // A body over the cap fails as soon as it is seen to be too big, long before the time-out.
    void sizeCap_data()
    {
        QTest::addColumn<QString>("delivery");
        QTest::addColumn<bool>("fits");
        QTest::newRow("body exactly at the cap") << QStringLiteral("at cap") << true;
        QTest::newRow("announced length one byte over the cap") << QStringLiteral("over by one") << false;
        QTest::newRow("announced length over the cap, body dripping") << QStringLiteral("drips") << false;
        QTest::newRow("chunked body without end") << QStringLiteral("endless") << false;
        QTest::newRow("small compressed body that unpacks over the cap") << QStringLiteral("compressed") << false;
    }

    void sizeCap()
    {
        QFETCH(QString, delivery);
        QFETCH(bool, fits);
        constexpr qint64 cap = 4096;
        std::string target = "/big";
        if (delivery == QLatin1String("drips") || delivery == QLatin1String("endless")) {
            target = "/search?p=1"; // a results page, far over the cap
            site().setFault(target, delivery == QLatin1String("drips") ? Fault::BodyDrips : Fault::BodyNeverEnds);
        } else if (delivery == QLatin1String("compressed")) {
            site().setCompression(true);
            site().setReply(target, reply(QByteArray(64 * cap, 'a'), "text/plain"));
        } else {
            const qint64 bytes = delivery == QLatin1String("at cap") ? cap : cap + 1;
            site().setReply(target, reply(QByteArray(bytes, 'a'), "application/octet-stream"));
        }

        const Fetched fetched = fetch({ at(target), false, DefaultRequestTimeoutMs, cap });
        QVERIFY(fetched.result);
        if (fits) {
            QVERIFY(fetched.result->isPage());
            QCOMPARE(fetched.result->body, QByteArray(cap, 'a'));
        } else {
            QCOMPARE(fetched.result->error, FetchError::TooLarge);
            QVERIFY(fetched.result->body.isEmpty());
            QVERIFY2(fetched.elapsedMs < 5000, QByteArray::number(fetched.elapsedMs));
        }
    }

    // Cancelled, the request says so (not a time-out); abandoned by whoever asked, it never reports.
    void cancelOrAbandon_data()
    {
        QTest::addColumn<QString>("how");
        for (const char *how : { "cancelled", "owner deleted", "pending request deleted" })
            QTest::newRow(how) << QString::fromLatin1(how);
    }

    void cancelOrAbandon()
    {
        QFETCH(QString, how);
        site().hold("/held");
        auto owner = std::make_unique<QObject>();
        Fetched fetched;
        PendingFetch *pending = fetcher().get({ at("/held") }, owner.get(), [&](const FetchResult &result) {
            fetched.result = result;
            ++fetched.calls;
        });
        QTRY_VERIFY(site().waitUntilRequested("/held", 0ms));
        if (how == QLatin1String("cancelled"))
            pending->cancel();
        else if (how == QLatin1String("owner deleted"))
            owner.reset();
        else
            delete pending;
        site().release("/held");
        QVERIFY(settle());
        if (how == QLatin1String("cancelled")) {
            QCOMPARE(fetched.calls, 1);
            QCOMPARE(fetched.result->error, FetchError::Cancelled);
        } else {
            QCOMPARE(fetched.calls, 0);
        }
    }

    // Every hostile server ends in a failure or an error status within the time limit; only a whole 200
    // answer (whatever is wrong inside it) counts as a page, for the readers to judge.
    void hostileServers_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<FetchError>("error");
        QTest::addColumn<int>("status"); // of a response
        const std::map<Fault, FetchError> failures = { { Fault::ConnectionRefused, FetchError::ConnectionFailed },
            { Fault::ResetMidBody, FetchError::Incomplete }, { Fault::HeadersNeverCome, FetchError::Timeout },
            { Fault::BodyNeverEnds, FetchError::Timeout }, { Fault::BodyDrips, FetchError::Timeout },
            { Fault::HugeBody, FetchError::TooLarge }, { Fault::RedirectLoop, FetchError::Other },
            { Fault::GzipBomb, FetchError::Incomplete } }; // could not be unpacked within the limits
        const std::map<Fault, int> statuses = { { Fault::TooManyRequests, 429 }, { Fault::ServerError, 500 } };
        for (const Fault fault : allFaults()) {
            const auto failure = failures.find(fault);
            const auto status = statuses.find(fault);
            QTest::newRow(describeFault(fault))
                << fault << (failure == failures.end() ? FetchError::None : failure->second)
                << (status == statuses.end() ? 200 : status->second);
        }
    }

    void hostileServers()
    {
        QFETCH(Fault, fault);
        QFETCH(FetchError, error);
        QFETCH(int, status);
        constexpr int timeoutMs = 1000;
        site().setFault("/search?p=1", fault);
        const std::string base = fault == Fault::ConnectionRefused ? FakeSite::closedPortUrl() : site().url();

        const Fetched fetched = fetch({ QUrl(QString::fromStdString(base + "/search?p=1")), true, timeoutMs });
        QVERIFY(fetched.result);
        // The limit is on the whole request: a little progress now and then does not extend it.
        const qint64 least = error == FetchError::Timeout ? timeoutMs * 9 / 10 : 0;
        QVERIFY2(
            fetched.elapsedMs >= least && fetched.elapsedMs < timeoutMs + 2000, QByteArray::number(fetched.elapsedMs));
        // A loaded machine may not take in 16 MiB within the limit: then the time-out ends it.
        if (fault != Fault::HugeBody || fetched.result->error != FetchError::Timeout)
            QCOMPARE(fetched.result->error, error);
        if (error == FetchError::None) {
            // An error page is a response: its body comes along, but it is not the page asked for.
            QCOMPARE(fetched.result->httpStatus, status);
            QCOMPARE(fetched.result->isPage(), status == 200);
            QVERIFY(decodeDeclaredCharset(*fetched.result).contains(u"</html>"));
            QCOMPARE(fetched.result->retryAfter, QByteArray(status == 429 ? "3600" : ""));
        } else {
            QVERIFY(fetched.result->body.isEmpty());
        }
    }

private:
    // Runs the request to its end and tells how long it took.
    Fetched fetch(const PageRequest &request)
    {
        QObject owner;
        Fetched fetched;
        QElapsedTimer clock;
        clock.start();
        fetcher().get(request, &owner, [&](const FetchResult &result) {
            fetched.result = result;
            fetched.elapsedMs = clock.elapsed();
            ++fetched.calls;
        });
        [[maybe_unused]] const bool ended = QTest::qWaitFor([&] { return fetched.result.has_value(); }, 20000);
        return fetched;
    }
};

QTEST_GUILESS_MAIN(TestPageFetcher)
#include "tst_pagefetcher.moc"
