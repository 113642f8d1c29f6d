// A watch's alert as its texts and as its webhook receives it: the summary and body a notification
// shows, the four webhook bodies byte for byte as the fake site gets them, and what the sender tries
// again and reports when the webhook is slow, broken or no web address at all.
#include "core/watch/alerttext.h"
#include "core/watch/webhooksender.h"
#include "tests/sitetest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

#include <optional>

Q_DECLARE_METATYPE(WebhookFormat)

namespace {

const std::string HookTarget = "/hook?access_token=abc";
constexpr int ShortTimeoutMs = 300;

// "abc.com 纯字母 三字母": a name and its tags.
QList<MatchedName> namesFrom(const QStringList &lines)
{
    QList<MatchedName> names;
    for (const QString &line : lines) {
        QStringList words = line.split(u' ', Qt::SkipEmptyParts);
        names.append({ words.takeFirst(), words });
    }
    return names;
}

WatchAlert alertOf(const QString &watch, const QStringList &names, WebhookFormat format = WebhookFormat::Generic)
{
    WatchAlert alert;
    alert.watch = watch;
    alert.format = format;
    alert.runStarted = QDateTime(QDate(2026, 12, 9), QTime(3, 20, 0, 750), Qt::UTC);
    alert.pages = 5;
    alert.names = namesFrom(names);
    return alert;
}

const QStringList TwoNames = { QStringLiteral("abc.com 纯字母 三字母"), QStringLiteral("12.net") };

} // namespace

class TestAlerts : public SiteTest
{
    Q_OBJECT

private slots:
    void init() { startSite(); }

    void cleanup() { endSite(); }

    void texts_data()
    {
        QTest::addColumn<QString>("watch");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("body");

        QTest::newRow("a name with tags and one without")
            << QStringLiteral("三字母") << TwoNames << QStringLiteral("关注「三字母」：2 个新域名")
            << QStringLiteral("abc.com  纯字母 三字母\n12.net");
        QTest::newRow("ten names, all listed")
            << QStringLiteral("短") << numberedNames(QStringLiteral("a"), 10)
            << QStringLiteral("关注「短」：10 个新域名")
            << QStringLiteral("a0.com\na1.com\na2.com\na3.com\na4.com\na5.com\na6.com\na7.com\na8.com\na9.com");
        QTest::newRow("eleven names: ten and a count of all")
            << QStringLiteral("w") << numberedNames(QStringLiteral("a"), 11) << QStringLiteral("关注「w」：11 个新域名")
            << QStringLiteral("a0.com\na1.com\na2.com\na3.com\na4.com\na5.com\na6.com\na7.com\na8.com\na9.com\n"
                              "……等 11 个");
        QStringList many = numberedNames(QStringLiteral("b"), 250);
        many[0] += QStringLiteral(" 数字");
        QTest::newRow("250 names") << QStringLiteral("数字 .com") << many
                                   << QStringLiteral("关注「数字 .com」：250 个新域名")
                                   << QStringLiteral("b0.com  数字\nb1.com\nb2.com\nb3.com\nb4.com\nb5.com\nb6.com\n"
                                                     "b7.com\nb8.com\nb9.com\n……等 250 个");
        QTest::newRow("no names") << QStringLiteral("空") << QStringList() << QStringLiteral("关注「空」：0 个新域名")
                                  << QString();
    }

    void texts()
    {
        QFETCH(QString, watch);
        QFETCH(QStringList, names);
        QFETCH(QString, summary);
        QFETCH(QString, body);
        const WatchAlert alert = alertOf(watch, names);
        QCOMPARE(alertSummary(alert), summary);
        QCOMPARE(alertBody(alert), body);
    }

    // Through the sender to the site, as a chat robot receives it.
    void webhookBodies_data()
    {
        QTest::addColumn<WebhookFormat>("format");
        QTest::addColumn<QString>("watch");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QByteArray>("body");

        QTest::newRow("generic") << WebhookFormat::Generic << QStringLiteral("双拼") << TwoNames
                                 << QByteArray("{\"watch\":\"双拼\",\"run\":{\"started\":\"2026-12-09T03:20:00Z\","
                                               "\"pages\":5},\"names\":[{\"domain\":\"abc.com\",\"tags\":[\"纯字母\","
                                               "\"三字母\"]},{\"domain\":\"12.net\",\"tags\":[]}]}");
        QTest::newRow("generic: every name, not ten")
            << WebhookFormat::Generic << QStringLiteral("w") << numberedNames(QStringLiteral("a"), 12)
            << QByteArray("{\"watch\":\"w\",\"run\":{\"started\":\"2026-12-09T03:20:00Z\",\"pages\":5},\"names\":["
                          "{\"domain\":\"a0.com\",\"tags\":[]},{\"domain\":\"a1.com\",\"tags\":[]},"
                          "{\"domain\":\"a2.com\",\"tags\":[]},{\"domain\":\"a3.com\",\"tags\":[]},"
                          "{\"domain\":\"a4.com\",\"tags\":[]},{\"domain\":\"a5.com\",\"tags\":[]},"
                          "{\"domain\":\"a6.com\",\"tags\":[]},{\"domain\":\"a7.com\",\"tags\":[]},"
                          "{\"domain\":\"a8.com\",\"tags\":[]},{\"domain\":\"a9.com\",\"tags\":[]},"
                          "{\"domain\":\"a10.com\",\"tags\":[]},{\"domain\":\"a11.com\",\"tags\":[]}]}");
        QTest::newRow("generic: a name that JSON escapes")
            << WebhookFormat::Generic << QStringLiteral("say \"好\"\\\t\x01\u2028") << QStringList()
            << QByteArray("{\"watch\":\"say \\\"好\\\"\\\\\\t\\u0001\\u2028\",\"run\":{\"started\":\"2026-12-09T03:20:00Z\","
                          "\"pages\":5},\"names\":[]}");
        QTest::newRow("dingtalk") << WebhookFormat::DingTalk << QStringLiteral("双拼") << TwoNames
                                  << QByteArray(
                                         "{\"msgtype\":\"text\",\"text\":{\"content\":\"关注「双拼」：2 个新域名\\n"
                                         "abc.com  纯字母 三字母\\n12.net\"}}");
        QTest::newRow("wecom") << WebhookFormat::WeCom << QStringLiteral("双拼") << TwoNames
                               << QByteArray("{\"msgtype\":\"text\",\"text\":{\"content\":\"关注「双拼」：2 个新域名\\n"
                                             "abc.com  纯字母 三字母\\n12.net\"}}");
        QTest::newRow("feishu") << WebhookFormat::Feishu << QStringLiteral("双拼") << TwoNames
                                << QByteArray(
                                       "{\"msg_type\":\"text\",\"content\":{\"text\":\"关注「双拼」：2 个新域名\\n"
                                       "abc.com  纯字母 三字母\\n12.net\"}}");
        QTest::newRow("feishu: eleven names")
            << WebhookFormat::Feishu << QStringLiteral("w") << numberedNames(QStringLiteral("a"), 11)
            << QByteArray("{\"msg_type\":\"text\",\"content\":{\"text\":\"关注「w」：11 个新域名\\na0.com\\na1.com\\n"
                          "a2.com\\na3.com\\na4.com\\na5.com\\na6.com\\na7.com\\na8.com\\na9.com\\n……等 11 个\"}}");
    }

    void webhookBodies()
    {
        QFETCH(WebhookFormat, format);
        QFETCH(QString, watch);
        QFETCH(QStringList, names);
        QFETCH(QByteArray, body);
        WatchAlert alert = alertOf(watch, names, format);
        alert.webhook = at(HookTarget);

        const std::optional<WebhookOutcome> outcome = deliver(alert);
        QVERIFY(outcome);
        QVERIFY2(outcome->sent, qPrintable(outcome->reason));
        QCOMPARE(outcome->watch, watch);
        QCOMPARE(outcome->attempts, 1);
        QCOMPARE(outcome->httpStatus, 200);

        const auto requests = site().requests();
        QCOMPARE(requests.size(), std::size_t(1));
        QCOMPARE(requests[0].method, std::string("POST"));
        const auto posts = site().posts();
        QCOMPARE(posts.size(), std::size_t(1));
        QCOMPARE(posts[0].target, HookTarget);
        QCOMPARE(posts[0].contentType, std::string("application/json"));
        QCOMPARE(QByteArray::fromStdString(posts[0].body), body);

        // Valid JSON that says what the texts say.
        QJsonParseError error;
        const QJsonObject sent = QJsonDocument::fromJson(body, &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        if (format == WebhookFormat::Generic) {
            QCOMPARE(sent.value(QLatin1String("watch")).toString(), watch);
            QCOMPARE(sent.value(QLatin1String("names")).toArray().size(), names.size());
        } else {
            const QString text = format == WebhookFormat::Feishu
                ? sent.value(QLatin1String("content")).toObject().value(QLatin1String("text")).toString()
                : sent.value(QLatin1String("text")).toObject().value(QLatin1String("content")).toString();
            QCOMPARE(text, alertSummary(alert) + u'\n' + alertBody(alert));
        }
    }

    void attempts_data()
    {
        QTest::addColumn<QList<FakeSite::Answer>>("firstAnswers");
        QTest::addColumn<FakeSite::Answer>("answer"); // after the first ones
        QTest::addColumn<bool>("sent");
        QTest::addColumn<int>("attempts");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("reason"); // a regular expression: some reasons carry Qt's words

        using Answers = QList<FakeSite::Answer>;
        const FakeSite::Answer serverError(Fault::ServerError);
        const FakeSite::Answer timeout(Fault::HeadersNeverCome);
        const FakeSite::Answer ok;
        const QString noAnswer = QStringLiteral("the webhook did not answer within 300 ms");

        QTest::newRow("200 at once") << Answers() << ok << true << 1 << 200 << QString();
        QTest::newRow("204 at once") << Answers() << FakeSite::Answer(FakeSite::Reply { 204, "", "text/plain", {} })
                                     << true << 1 << 204 << QString();
        QTest::newRow("500 once, then 200") << Answers { serverError } << ok << true << 2 << 200 << QString();
        QTest::newRow("500 twice, then 200")
            << Answers { serverError, serverError } << ok << true << 3 << 200 << QString();
        QTest::newRow("500 every time") << Answers() << serverError << false << 3 << 500
                                        << QStringLiteral("the webhook answered 500 three times");
        QTest::newRow("503, 502, then 500")
            << Answers { FakeSite::Reply { 503, "", "text/plain", {} }, FakeSite::Reply { 502, "", "text/plain", {} } }
            << serverError << false << 3 << 500
            << QStringLiteral("the webhook answered 503, then the webhook answered 502, then the webhook answered 500");
        QTest::newRow("a time-out, then 200") << Answers { timeout } << ok << true << 2 << 200 << QString();
        QTest::newRow("a time-out every time")
            << Answers() << timeout << false << 3 << 0 << QString(noAnswer + QStringLiteral(" three times"));
        QTest::newRow("a time-out, then 500 twice")
            << Answers { timeout } << serverError << false << 3 << 500
            << QString(noAnswer + QStringLiteral(", then the webhook answered 500 twice"));
        QTest::newRow("500, then 404: final")
            << Answers { serverError } << FakeSite::Answer(FakeSite::Reply { 404, "", "text/plain", {} }) << false << 2
            << 404 << QStringLiteral("the webhook answered 500, then the webhook answered 404");
        QTest::newRow("404 is final") << Answers()
                                      << FakeSite::Answer(FakeSite::Reply { 404, "no such robot", "text/plain", {} })
                                      << false << 1 << 404 << QStringLiteral("the webhook answered 404");
        QTest::newRow("429 is final") << Answers() << FakeSite::Answer(Fault::TooManyRequests) << false << 1 << 429
                                      << QStringLiteral("the webhook answered 429");
        // Followed, it would be a GET of another page, without the body.
        QTest::newRow("a redirect is final")
            << Answers() << FakeSite::Answer(FakeSite::Reply { 302, "", "text/plain", { { "Location", "/" } } })
            << false << 1 << 302 << QStringLiteral("the webhook answered 302");
        QTest::newRow("a connection reset is final")
            << Answers() << FakeSite::Answer(Fault::ResetMidBody) << false << 1 << 0
            << QStringLiteral("(the webhook's answer broke off|could not reach the webhook): .+");
        QTest::newRow("a refused connection is final")
            << Answers() << FakeSite::Answer(Fault::ConnectionRefused) << false << 1 << 0
            << QStringLiteral("could not reach the webhook: .+");
    }

    void attempts()
    {
        QFETCH(QList<FakeSite::Answer>, firstAnswers);
        QFETCH(FakeSite::Answer, answer);
        QFETCH(bool, sent);
        QFETCH(int, attempts);
        QFETCH(int, status);
        QFETCH(QString, reason);
        const bool refused = answer.fault == Fault::ConnectionRefused;
        site().setAnswer(HookTarget, answer);
        site().setNextAnswers(HookTarget, { firstAnswers.begin(), firstAnswers.end() });
        WatchAlert alert = alertOf(QStringLiteral("双拼"), TwoNames);
        alert.webhook = refused ? QUrl(QString::fromStdString(FakeSite::closedPortUrl() + HookTarget)) : at(HookTarget);

        const std::optional<WebhookOutcome> outcome = deliver(alert);
        QVERIFY(outcome);
        QCOMPARE(outcome->sent, sent);
        QCOMPARE(outcome->attempts, attempts);
        QCOMPARE(outcome->httpStatus, status);
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(reason)).match(outcome->reason).hasMatch(),
            qPrintable(outcome->reason));
        // Every attempt is the same POST; the address's token is in no reason.
        const auto posts = site().posts();
        QCOMPARE(int(posts.size()), refused ? 0 : attempts);
        for (const FakeSite::Post &post : posts) {
            QCOMPARE(post.target, HookTarget);
            QCOMPARE(QByteArray::fromStdString(post.body), webhookBody(alert));
        }
        QVERIFY(!outcome->reason.contains(QLatin1String("abc")));
    }

    void notWebAddresses_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("reason");
        const QString notWeb = QStringLiteral("the webhook's address is no http or https address");
        QTest::newRow("ftp") << QStringLiteral("ftp://127.0.0.1/hook") << notWeb;
        QTest::newRow("file") << QStringLiteral("file:///tmp/hook") << notWeb;
        QTest::newRow("no scheme") << QStringLiteral("127.0.0.1/hook") << notWeb;
        QTest::newRow("http without a host")
            << QStringLiteral("http:///hook") << QStringLiteral("the webhook's address has no host");
        QTest::newRow("none") << QString() << QStringLiteral("the watch has no webhook");
    }

    void notWebAddresses()
    {
        QFETCH(QString, address);
        QFETCH(QString, reason);
        WatchAlert alert = alertOf(QStringLiteral("双拼"), TwoNames);
        alert.webhook = QUrl(address);
        const std::optional<WebhookOutcome> outcome = deliver(alert);
        QVERIFY(outcome);
        QVERIFY(!outcome->sent);
        QCOMPARE(outcome->attempts, 0);
        QCOMPARE(outcome->reason, reason);
        QVERIFY(settle());
        QCOMPARE(site().requests().size(), std::size_t(1)); // the settling request alone
        QVERIFY(site().posts().empty());
    }

    // Several alerts at once, each told once by its own name.
    void severalAtOnce()
    {
        site().setNextAnswers(HookTarget, { Fault::ServerError });
        WebhookSender sender(fetcher());
        sender.setTimeout(ShortTimeoutMs);
        sender.setRetryPause(10);
        QStringList told;
        connect(&sender, &WebhookSender::finished, this, [&told](const WebhookOutcome &outcome) {
            QVERIFY(outcome.sent);
            told.append(outcome.watch);
        });
        const QStringList watches = { QStringLiteral("甲"), QStringLiteral("乙"), QStringLiteral("丙") };
        for (const QString &watch : watches) {
            WatchAlert alert = alertOf(watch, TwoNames);
            alert.webhook = at(HookTarget);
            sender.send(alert);
        }
        QTRY_COMPARE_WITH_TIMEOUT(told.size(), 3, 10000);
        told.sort();
        QStringList expected = watches;
        expected.sort();
        QCOMPARE(told, expected);
        QCOMPARE(site().posts().size(), std::size_t(4)); // one of them was answered 500 first
    }

private:
    std::optional<WebhookOutcome> deliver(const WatchAlert &alert)
    {
        WebhookSender sender(fetcher());
        sender.setTimeout(ShortTimeoutMs);
        sender.setRetryPause(10);
        std::optional<WebhookOutcome> outcome;
        int outcomes = 0;
        connect(&sender, &WebhookSender::finished, this, [&](const WebhookOutcome &told) {
            outcome = told;
            ++outcomes;
        });
        sender.send(alert);
        if (!QTest::qWaitFor([&] { return outcome.has_value(); }, 10000))
            return std::nullopt;
        // Anything told twice would be queued by now behind one more round of events.
        QCoreApplication::processEvents();
        if (outcomes != 1)
            return std::nullopt;
        return outcome;
    }
};

QTEST_GUILESS_MAIN(TestAlerts)
#include "tst_alerts.moc"
