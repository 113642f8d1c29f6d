// An alert's webhook as the fake site receives it: the four bodies byte for byte (and so the alert's texts),
// and what the sender tries again and reports when the webhook is slow, broken or no web address at all.
#include "core/watch/alerttext.h"
#include "core/watch/webhooksender.h"
#include "tests/sitetest.h"

#include <QRegularExpression>
#include <QTest>

Q_DECLARE_METATYPE(WebhookFormat)

namespace {

const std::string Hook = "/hook?access_token=abc";
const QStringList TwoNames = { QStringLiteral("abc.com 纯字母 三字母"), QStringLiteral("12.net") };
const QString TwoNamesText = QStringLiteral("关注「双拼」：2 个新域名\\nabc.com  纯字母 三字母\\n12.net");

// Each name "domain tag tag ...".
WatchAlert alertOf(const QString &watch, const QStringList &names, WebhookFormat format = WebhookFormat::Generic)
{
    WatchAlert alert { watch, QUrl(), format,
        QDateTime(QDate(2026, 12, 9), QTime(11, 20, 0, 750), Qt::OffsetFromUTC, 8 * 3600), 5, {} };
    for (const QString &line : names) {
        QStringList words = line.split(u' ');
        alert.names.append({ words.takeFirst(), words });
    }
    return alert;
}

FakeSite::Answer status(int code, const std::string &location = std::string())
{
    FakeSite::Reply reply { code, "", "text/plain", {} };
    if (!location.empty())
        reply.headers.emplace_back("Location", location);
    return reply;
}

} // namespace

class TestAlerts : public SiteTest
{
    Q_OBJECT

private slots:
    void init() { startSite(); }
    void cleanup() { endSite(); }

    void webhookBodies_data()
    {
        QTest::addColumn<WebhookFormat>("format");
        QTest::addColumn<QString>("watch");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("body"); // empty: its names counted
        const QString chat = QStringLiteral("{\"msgtype\":\"text\",\"text\":{\"content\":\"%1\"}}").arg(TwoNamesText);
        QTest::newRow("generic")
            << WebhookFormat::Generic << QStringLiteral("双拼") << TwoNames
            << QStringLiteral("{\"watch\":\"双拼\",\"run\":{\"started\":\"2026-12-09T03:20:00Z\",\"pages\":5},"
                              "\"names\":[{\"domain\":\"abc.com\",\"tags\":[\"纯字母\",\"三字母\"]},"
                              "{\"domain\":\"12.net\",\"tags\":[]}]}");
        QTest::newRow("generic, escaped")
            << WebhookFormat::Generic << QStringLiteral("\"好\"\\\t\x01\u2028") << QStringList()
            << QStringLiteral("{\"watch\":\"\\\"好\\\"\\\\\\t\\u0001\\u2028\",\"run\":{\"started\":"
                              "\"2026-12-09T03:20:00Z\",\"pages\":5},\"names\":[]}");
        QTest::newRow("generic, every name")
            << WebhookFormat::Generic << QStringLiteral("w") << numberedNames(QStringLiteral("a"), 25) << QString();
        QTest::newRow("dingtalk") << WebhookFormat::DingTalk << QStringLiteral("双拼") << TwoNames << chat;
        QTest::newRow("dingtalk, eleven names: ten and all counted")
            << WebhookFormat::DingTalk << QStringLiteral("w") << numberedNames(QStringLiteral("a"), 11)
            << QStringLiteral(
                   "{\"msgtype\":\"text\",\"text\":{\"content\":\"关注「w」：11 个新域名\\na0.com\\na1.com\\na2.com\\n"
                   "a3.com\\na4.com\\na5.com\\na6.com\\na7.com\\na8.com\\na9.com\\n……等 11 个\"}}");
        QTest::newRow("wecom") << WebhookFormat::WeCom << QStringLiteral("双拼") << TwoNames << chat;
        QTest::newRow("feishu")
            << WebhookFormat::Feishu << QStringLiteral("双拼") << TwoNames
            << QStringLiteral("{\"msg_type\":\"text\",\"content\":{\"text\":\"%1\"}}").arg(TwoNamesText);
    }

    void webhookBodies()
    {
        QFETCH(WebhookFormat, format);
        QFETCH(QString, watch);
        QFETCH(QStringList, names);
        QFETCH(QString, body);
        WatchAlert alert = alertOf(watch, names, format);
        alert.webhook = at(Hook);
        const WebhookOutcome outcome = deliver(alert);
        QVERIFY2(outcome.sent && outcome.attempts == 1 && outcome.watch == watch, qPrintable(outcome.reason));
        QCOMPARE(site().requests().at(0).method, std::string("POST"));
        const auto posts = site().posts();
        QCOMPARE(posts.size(), std::size_t(1));
        QCOMPARE(posts[0].contentType, std::string("application/json"));
        const QByteArray sent = QByteArray::fromStdString(posts[0].body);
        if (!body.isEmpty())
            QCOMPARE(sent, body.toUtf8());
        if (format == WebhookFormat::Generic)
            QCOMPARE(sent.count("\"domain\":"), names.size());
    }

    void attempts_data()
    {
        QTest::addColumn<QList<FakeSite::Answer>>("first"); // answered in turn, before the answer
        QTest::addColumn<FakeSite::Answer>("answer");
        QTest::addColumn<QString>("address"); // empty: the site's hook
        QTest::addColumn<int>("attempts");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("reason"); // a regular expression; empty: sent
        using List = QList<FakeSite::Answer>;
        const FakeSite::Answer error(Fault::ServerError), silence(Fault::HeadersNeverCome), ok;
        const QString late = QStringLiteral("the webhook did not answer within 300 ms");
        const QString notWeb = QStringLiteral("the webhook's address is no http or https address");

        QTest::newRow("204 at once") << List() << status(204) << QString() << 1 << 204 << QString();
        QTest::newRow("500 twice, then 200") << List { error, error } << ok << QString() << 3 << 200 << QString();
        QTest::newRow("500 always") << List() << error << QString() << 3 << 500
                                    << QStringLiteral("the webhook answered 500 three times");
        QTest::newRow("time-out, then 200") << List { silence } << ok << QString() << 2 << 200 << QString();
        QTest::newRow("time-out always") << List() << silence << QString() << 3 << 0
                                         << QString(late + QStringLiteral(" three times"));
        QTest::newRow("time-out, then 500") << List { silence } << error << QString() << 3 << 500
                                            << QString(late + QStringLiteral(", then the webhook answered 500 twice"));
        QTest::newRow("a 404 after a 500 is final")
            << List { error } << status(404) << QString() << 2 << 404
            << QStringLiteral("the webhook answered 500, then the webhook answered 404");
        QTest::newRow("a redirect is final")
            << List() << status(302, "/") << QString() << 1 << 302 << QStringLiteral("the webhook answered 302");
        QTest::newRow("a reset connection is final")
            << List() << FakeSite::Answer(Fault::ResetMidBody) << QString() << 1 << 0
            << QStringLiteral("(the webhook's answer broke off|could not reach the webhook): .+");
        QTest::newRow("a refused connection is final")
            << List() << ok << QString::fromStdString(FakeSite::closedPortUrl() + Hook) << 1 << 0
            << QStringLiteral("could not reach the webhook: .+");
        QTest::newRow("an ftp address: no request")
            << List() << ok << QStringLiteral("ftp://127.0.0.1/hook") << 0 << 0 << notWeb;
        QTest::newRow("no host: no request") << List() << ok << QStringLiteral("http:///hook") << 0 << 0
                                             << QStringLiteral("the webhook's address has no host");
    }

    void attempts()
    {
        QFETCH(QList<FakeSite::Answer>, first);
        QFETCH(FakeSite::Answer, answer);
        QFETCH(QString, address);
        QFETCH(int, attempts);
        QFETCH(QString, reason);
        site().setAnswer(Hook, answer);
        site().setNextAnswers(Hook, { first.begin(), first.end() });
        WatchAlert alert = alertOf(QStringLiteral("双拼"), TwoNames);
        alert.webhook = address.isEmpty() ? at(Hook) : QUrl(address);
        const WebhookOutcome outcome = deliver(alert);
        QCOMPARE(outcome.sent, reason.isEmpty());
        QCOMPARE(outcome.attempts, attempts);
        QTEST(outcome.httpStatus, "status");
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(reason)).match(outcome.reason).hasMatch(),
            qPrintable(outcome.reason));
        QVERIFY(!outcome.reason.contains(QLatin1String("access_token"))); // the address's secret
        QTRY_COMPARE(int(site().posts().size()), address.isEmpty() ? attempts : 0);
        for (const FakeSite::Post &post : site().posts())
            QCOMPARE(QByteArray::fromStdString(post.body), webhookBody(alert));
    }

    // A robot that answers 200 and takes nothing says why in its JSON: a failure, not tried again.
    void robotAnswers_data()
    {
        QTest::addColumn<WebhookFormat>("format");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("reason"); // empty: sent
        const auto row = [](const char *name, WebhookFormat format, const char *answer, const char *reason) {
            QTest::newRow(name) << format << QByteArray(answer) << QString::fromUtf8(reason);
        };
        row("dingtalk took it", WebhookFormat::DingTalk, R"({"errcode":0,"errmsg":"ok"})", "");
        row("dingtalk, a keyword missing", WebhookFormat::DingTalk,
            R"({"errcode":310000,"errmsg":"keywords not in content"})",
            "the robot refused the message: 310000 keywords not in content");
        row("wecom, a wrong key", WebhookFormat::WeCom, R"({"errcode":93000,"errmsg":"invalid webhook url"})",
            "the robot refused the message: 93000 invalid webhook url");
        row("feishu took it", WebhookFormat::Feishu, R"({"code":0,"msg":"success"})", "");
        row("feishu, a bad signature", WebhookFormat::Feishu, R"({"code":19021,"msg":"sign match fail"})",
            "the robot refused the message: 19021 sign match fail");
        row("an answer that is no JSON", WebhookFormat::DingTalk, "ok", "");
        row("generic: the answer is not read", WebhookFormat::Generic, R"({"errcode":1})", "");
    }

    void robotAnswers()
    {
        QFETCH(WebhookFormat, format);
        QFETCH(QByteArray, answer);
        QFETCH(QString, reason);
        site().setAnswer(Hook, FakeSite::Reply { 200, answer.toStdString(), "application/json", {} });
        WatchAlert alert = alertOf(QStringLiteral("双拼"), TwoNames, format);
        alert.webhook = at(Hook);
        const WebhookOutcome outcome = deliver(alert);
        QCOMPARE(outcome.sent, reason.isEmpty());
        QCOMPARE(outcome.reason, reason);
        QCOMPARE(outcome.attempts, 1);
    }

private:
    // The one outcome of the alert; a second one would come in the round of events after it.
    WebhookOutcome deliver(const WatchAlert &alert)
    {
        WebhookSender sender(fetcher());
        sender.setTimeout(300);
        sender.setRetryPause(10);
        QList<WebhookOutcome> outcomes;
        connect(&sender, &WebhookSender::finished, this, [&](const WebhookOutcome &told) { outcomes.append(told); });
        sender.send(alert);
        const bool told = QTest::qWaitFor([&] { return !outcomes.isEmpty(); }, 10000);
        QCoreApplication::processEvents();
        if (told && outcomes.size() == 1)
            return outcomes[0];
        WebhookOutcome wrong;
        wrong.reason = QStringLiteral("told %1 times").arg(outcomes.size());
        return wrong;
    }
};

QTEST_GUILESS_MAIN(TestAlerts)
#include "tst_alerts.moc"
