// The command line (configuration overrides, help, version, refusals) and the URLs the program
// builds from configuration and page text.
#include "app/commandline.h"
#include "app/config.h"
#include "app/urls.h"
#include "fetch/pagefetcher.h"
#include "tools/loopbackserver.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <httplib.h>

namespace {

QStringList commandLine(const QStringList &options)
{
    return QStringList { QStringLiteral("vexlon-collector") } + options;
}

QString encoded(const QUrl &url)
{
    return QString::fromLatin1(url.toEncoded());
}

const char *const UrlOptions[] = { "market-url", "icp-url", "update-url", "home-url", "forum-url" };

QString configValue(const AppConfig &config, const QString &option)
{
    if (option == QLatin1String("market-url"))
        return config.marketUrl;
    if (option == QLatin1String("icp-url"))
        return config.icpUrl;
    if (option == QLatin1String("update-url"))
        return config.updateUrl;
    if (option == QLatin1String("home-url"))
        return config.homeUrl;
    if (option == QLatin1String("forum-url"))
        return config.forumUrl;
    return QString();
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void defaults();
    void defaultsStayOnExampleHosts();
    void optionOverrides_data();
    void optionOverrides();
    void allOptionsTogether();
    void badUrlRefused_data();
    void badUrlRefused();
    void malformedCommandLineRefused_data();
    void malformedCommandLineRefused();
    void help_data();
    void help();
    void version();
    void programExitCodes_data();
    void programExitCodes();

    void resultsPageUrl_data();
    void resultsPageUrl();
    void backorderPageUrl_data();
    void backorderPageUrl();
    void icpPageUrl_data();
    void icpPageUrl();
    void versionFileUrl_data();
    void versionFileUrl();
    void queryValueEncoding_data();
    void queryValueEncoding();
    void serverSeesEncodedName();
};

void TestCommandLine::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("vexlon-collector"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.4"));
}

void TestCommandLine::defaults()
{
    const CommandLineOutcome outcome = parseCommandLine(commandLine({}));
    QCOMPARE(outcome.action, CommandLineOutcome::Action::Run);
    const AppConfig defaults;
    for (const char *option : UrlOptions)
        QCOMPARE(configValue(outcome.config, QLatin1String(option)), configValue(defaults, QLatin1String(option)));
}

void TestCommandLine::defaultsStayOnExampleHosts()
{
    const AppConfig defaults;
    for (const char *option : UrlOptions) {
        const QString value = configValue(defaults, QLatin1String(option));
        QVERIFY2(Urls::isWebUrl(value), qPrintable(value));
        const QString host = QUrl(value).host();
        QVERIFY2(host.endsWith(QLatin1String(".example")), qPrintable(value));
    }
    QCOMPARE(QString::fromLatin1(ProgramVersion), QStringLiteral("V1.4"));
}

void TestCommandLine::optionOverrides_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("value");
    const QString local = QStringLiteral("http://127.0.0.1:8080");
    for (const char *name : UrlOptions) {
        const QString option = QLatin1String(name);
        QTest::addRow("--%s URL", name) << QStringList { QLatin1String("--") + option, local } << option << local;
        QTest::addRow("--%s=URL", name) << QStringList { QLatin1String("--") + option + u'=' + local } << option
                                        << local;
    }
    const QString https = QStringLiteral("https://market.test/base/");
    QTest::newRow("https with a path") << QStringList { QStringLiteral("--market-url"), https }
                                       << QStringLiteral("market-url") << https;
    const QString forum = QStringLiteral("http://bbs.test/forum.php?mod=forumdisplay&fid=2#new");
    QTest::newRow("forum page with query and fragment")
        << QStringList { QStringLiteral("--forum-url"), forum } << QStringLiteral("forum-url") << forum;
    QTest::newRow("last one wins") << QStringList { QStringLiteral("--icp-url"), QStringLiteral("http://a.test"),
        QStringLiteral("--icp-url"), QStringLiteral("http://b.test") }
                                   << QStringLiteral("icp-url") << QStringLiteral("http://b.test");
}

void TestCommandLine::optionOverrides()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, option);
    QFETCH(QString, value);
    const CommandLineOutcome outcome = parseCommandLine(commandLine(arguments));
    QCOMPARE(outcome.action, CommandLineOutcome::Action::Run);
    const AppConfig defaults;
    for (const char *name : UrlOptions) {
        const QString other = QLatin1String(name);
        QCOMPARE(configValue(outcome.config, other), other == option ? value : configValue(defaults, other));
    }
}

void TestCommandLine::allOptionsTogether()
{
    const CommandLineOutcome outcome = parseCommandLine(commandLine({
        QStringLiteral("--market-url"),
        QStringLiteral("http://127.0.0.1:1"),
        QStringLiteral("--icp-url"),
        QStringLiteral("http://127.0.0.1:2"),
        QStringLiteral("--update-url"),
        QStringLiteral("http://127.0.0.1:3"),
        QStringLiteral("--home-url"),
        QStringLiteral("http://127.0.0.1:4"),
        QStringLiteral("--forum-url"),
        QStringLiteral("http://127.0.0.1:5"),
    }));
    QCOMPARE(outcome.action, CommandLineOutcome::Action::Run);
    QCOMPARE(outcome.config.marketUrl, QStringLiteral("http://127.0.0.1:1"));
    QCOMPARE(outcome.config.icpUrl, QStringLiteral("http://127.0.0.1:2"));
    QCOMPARE(outcome.config.updateUrl, QStringLiteral("http://127.0.0.1:3"));
    QCOMPARE(outcome.config.homeUrl, QStringLiteral("http://127.0.0.1:4"));
    QCOMPARE(outcome.config.forumUrl, QStringLiteral("http://127.0.0.1:5"));
}

void TestCommandLine::badUrlRefused_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("value");
    const QString market = QStringLiteral("market-url");
    QTest::newRow("ftp scheme") << market << QStringLiteral("ftp://market.test");
    QTest::newRow("file scheme") << market << QStringLiteral("file:///tmp/page.html");
    QTest::newRow("mailto") << market << QStringLiteral("mailto:a@market.test");
    QTest::newRow("relative path") << market << QStringLiteral("search/page");
    QTest::newRow("absolute path") << market << QStringLiteral("/search");
    QTest::newRow("host without scheme") << market << QStringLiteral("www.market.test");
    QTest::newRow("host and port without scheme") << market << QStringLiteral("127.0.0.1:8080");
    QTest::newRow("scheme without host") << market << QStringLiteral("http://");
    QTest::newRow("scheme and path only") << market << QStringLiteral("http:/search");
    QTest::newRow("blank inside the host") << market << QStringLiteral("http://market .test");
    QTest::newRow("garbage") << market << QStringLiteral("::%%garbage%%::");
    QTest::newRow("empty") << market << QString();
    for (const char *name : UrlOptions)
        QTest::addRow("--%s relative", name) << QString::fromLatin1(name) << QStringLiteral("relative");
    // Paths are appended to these three: a query or fragment would swallow them.
    QTest::newRow("market base with a query") << market << QStringLiteral("http://market.test/?lang=cn");
    QTest::newRow("icp base with a fragment") << QStringLiteral("icp-url") << QStringLiteral("http://icp.test/#top");
    QTest::newRow("update base with an empty query")
        << QStringLiteral("update-url") << QStringLiteral("http://u.test/?");
}

void TestCommandLine::badUrlRefused()
{
    QFETCH(QString, option);
    QFETCH(QString, value);
    const CommandLineOutcome outcome = parseCommandLine(commandLine({ QLatin1String("--") + option, value }));
    QCOMPARE(outcome.action, CommandLineOutcome::Action::Refuse);
    // The message names what was wrong, so a user can correct it.
    QVERIFY2(outcome.message.contains(QLatin1String("--") + option), qPrintable(outcome.message));
    QVERIFY2(outcome.message.contains(u'"' + value + u'"'), qPrintable(outcome.message));
    QVERIFY2(outcome.message.contains(QLatin1String("http")), qPrintable(outcome.message));
}

void TestCommandLine::malformedCommandLineRefused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("mentioned");
    QTest::newRow("option without its value")
        << QStringList { QStringLiteral("--market-url") } << QStringLiteral("market-url");
    QTest::newRow("unknown option") << QStringList { QStringLiteral("--pages"), QStringLiteral("3") }
                                    << QStringLiteral("pages");
    QTest::newRow("stray argument") << QStringList { QStringLiteral("http://127.0.0.1:8080") }
                                    << QStringLiteral("http://127.0.0.1:8080");
}

void TestCommandLine::malformedCommandLineRefused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, mentioned);
    const CommandLineOutcome outcome = parseCommandLine(commandLine(arguments));
    QCOMPARE(outcome.action, CommandLineOutcome::Action::Refuse);
    QVERIFY2(outcome.message.contains(mentioned), qPrintable(outcome.message));
}

void TestCommandLine::help_data()
{
    QTest::addColumn<QString>("argument");
    QTest::newRow("--help") << QStringLiteral("--help");
    QTest::newRow("-h") << QStringLiteral("-h");
}

void TestCommandLine::help()
{
    QFETCH(QString, argument);
    // Help wins over a bad value elsewhere on the line: the user is asking how to write it.
    const CommandLineOutcome outcome
        = parseCommandLine(commandLine({ argument, QStringLiteral("--market-url"), QStringLiteral("nonsense") }));
    QCOMPARE(outcome.action, CommandLineOutcome::Action::ShowHelp);
    for (const char *name : UrlOptions)
        QVERIFY2(outcome.message.contains(QLatin1String("--") + QLatin1String(name)), name);
    QVERIFY(outcome.message.contains(QStringLiteral("/version/main.txt")));
}

void TestCommandLine::version()
{
    const CommandLineOutcome outcome = parseCommandLine(commandLine({ QStringLiteral("--version") }));
    QCOMPARE(outcome.action, CommandLineOutcome::Action::ShowVersion);
    QVERIFY2(outcome.message.contains(QStringLiteral("1.4")), qPrintable(outcome.message));
}

void TestCommandLine::programExitCodes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stdoutHolds");
    QTest::addColumn<QString>("stderrHolds");
    QTest::newRow("--help") << QStringList { QStringLiteral("--help") } << 0 << QStringLiteral("--market-url")
                            << QString();
    QTest::newRow("--version") << QStringList { QStringLiteral("--version") } << 0 << QStringLiteral("1.4")
                               << QString();
    QTest::newRow("relative market URL") << QStringList { QStringLiteral("--market-url"),
        QStringLiteral("market.test") } << 2
                                         << QString() << QStringLiteral("--market-url");
    QTest::newRow("unknown option") << QStringList { QStringLiteral("--nope") } << 2 << QString()
                                    << QStringLiteral("nope");
}

void TestCommandLine::programExitCodes()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, stdoutHolds);
    QFETCH(QString, stderrHolds);
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/vexlon-collector");
    QVERIFY2(QFileInfo(program).isExecutable(), qPrintable(program));

    QProcess process;
    process.start(program, arguments);
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(process.readAllStandardError());
    if (!stdoutHolds.isEmpty())
        QVERIFY2(out.contains(stdoutHolds), qPrintable(out));
    if (!stderrHolds.isEmpty())
        QVERIFY2(err.contains(stderrHolds), qPrintable(err));
}

void TestCommandLine::resultsPageUrl_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("pageNumber");
    QTest::addColumn<QString>("expected");
    QTest::newRow("page 7") << QStringLiteral("http://www.market.example") << QStringLiteral("7")
                            << QStringLiteral("http://www.market.example/search?p=7");
    QTest::newRow("page 1, base with a slash") << QStringLiteral("http://127.0.0.1:8080/") << QStringLiteral("1")
                                               << QStringLiteral("http://127.0.0.1:8080/search?p=1");
    QTest::newRow("page 32767") << QStringLiteral("http://www.market.example") << QStringLiteral("32767")
                                << QStringLiteral("http://www.market.example/search?p=32767");
    QTest::newRow("negative page") << QStringLiteral("http://www.market.example") << QStringLiteral("-32768")
                                   << QStringLiteral("http://www.market.example/search?p=-32768");
    QTest::newRow("base with a path") << QStringLiteral("https://market.test/cn/") << QStringLiteral("2")
                                      << QStringLiteral("https://market.test/cn/search?p=2");
}

void TestCommandLine::resultsPageUrl()
{
    QFETCH(QString, base);
    QFETCH(QString, pageNumber);
    QFETCH(QString, expected);
    const QUrl url = Urls::resultsPage(base, pageNumber);
    QVERIFY(url.isValid());
    QCOMPARE(encoded(url), expected);
}

void TestCommandLine::backorderPageUrl_data()
{
    QTest::addColumn<QString>("domain");
    QTest::addColumn<QString>("expectedPath");
    QTest::newRow("plain name") << QStringLiteral("xinhua88.com.cn") << QStringLiteral("/backorder/xinhua88.com.cn");
    QTest::newRow("hyphen, underscore, tilde")
        << QStringLiteral("a-b_c~d.cc") << QStringLiteral("/backorder/a-b_c~d.cc");
    QTest::newRow("slash stays") << QStringLiteral("abc.com/") << QStringLiteral("/backorder/abc.com/");
    QTest::newRow("slash inside stays") << QStringLiteral("a/b.com") << QStringLiteral("/backorder/a/b.com");
    QTest::newRow("blank") << QStringLiteral("a b.com") << QStringLiteral("/backorder/a%20b.com");
    QTest::newRow("leading and trailing blanks")
        << QStringLiteral(" a.com ") << QStringLiteral("/backorder/%20a.com%20");
    QTest::newRow("double quote") << QStringLiteral("a\"b.com") << QStringLiteral("/backorder/a%22b.com");
    QTest::newRow("single quote") << QStringLiteral("a'b.com") << QStringLiteral("/backorder/a%27b.com");
    QTest::newRow("question mark") << QStringLiteral("a.com?x=1") << QStringLiteral("/backorder/a.com%3Fx%3D1");
    QTest::newRow("hash") << QStringLiteral("a.com#top") << QStringLiteral("/backorder/a.com%23top");
    QTest::newRow("percent") << QStringLiteral("100%.com") << QStringLiteral("/backorder/100%25.com");
    QTest::newRow("already encoded stays text")
        << QStringLiteral("a%20b.com") << QStringLiteral("/backorder/a%2520b.com");
    QTest::newRow("plus and ampersand") << QStringLiteral("a+b&c.com") << QStringLiteral("/backorder/a%2Bb%26c.com");
    QTest::newRow("angle brackets") << QStringLiteral("<b>a.com</b>")
                                    << QStringLiteral("/backorder/%3Cb%3Ea.com%3C/b%3E");
    QTest::newRow("backslash") << QStringLiteral("a\\b.com") << QStringLiteral("/backorder/a%5Cb.com");
    QTest::newRow("line break") << QStringLiteral("a.com\r\nX: y") << QStringLiteral("/backorder/a.com%0D%0AX%3A%20y");
    QTest::newRow("tab") << QStringLiteral("a\tb.com") << QStringLiteral("/backorder/a%09b.com");
    QTest::newRow("chinese") << QStringLiteral("中文.cn") << QStringLiteral("/backorder/%E4%B8%AD%E6%96%87.cn");
    QTest::newRow("chinese with slash") << QStringLiteral("域名/测试.com")
                                        << QStringLiteral("/backorder/%E5%9F%9F%E5%90%8D/%E6%B5%8B%E8%AF%95.com");
    QTest::newRow("empty name") << QString() << QStringLiteral("/backorder/");
    // The network layer resolves "." and ".." segments, "%2E" included: the slashes go instead.
    QTest::newRow("parent segments: slashes encoded")
        << QStringLiteral("../../x.com") << QStringLiteral("/backorder/..%2F..%2Fx.com");
    QTest::newRow("current segment: slashes encoded")
        << QStringLiteral("a/./b.com") << QStringLiteral("/backorder/a%2F.%2Fb.com");
    QTest::newRow("dot segment at the end: slashes encoded")
        << QStringLiteral("a.com/..") << QStringLiteral("/backorder/a.com%2F..");
    QTest::newRow("three dots are no segment") << QStringLiteral(".../x") << QStringLiteral("/backorder/.../x");
    QTest::newRow("dots inside a segment") << QStringLiteral("a..b/..c") << QStringLiteral("/backorder/a..b/..c");
}

void TestCommandLine::backorderPageUrl()
{
    QFETCH(QString, domain);
    QFETCH(QString, expectedPath);
    const QUrl url = Urls::backorderPage(QStringLiteral("http://www.market.example"), domain);
    QVERIFY(url.isValid());
    QCOMPARE(encoded(url), QStringLiteral("http://www.market.example") + expectedPath);
    // Nothing of the name leaks into a query or a fragment, and the path reads back as the name.
    QVERIFY(!url.hasQuery());
    QVERIFY(!url.hasFragment());
    QCOMPARE(url.path(QUrl::FullyDecoded), QStringLiteral("/backorder/") + domain);
}

void TestCommandLine::icpPageUrl_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("domain");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain name") << QStringLiteral("http://icp.lookup.example") << QStringLiteral("xinhua.cn")
                                << QStringLiteral("http://icp.lookup.example/xinhua.cn");
    QTest::newRow("base with a slash") << QStringLiteral("http://127.0.0.1:9/") << QStringLiteral("xinhua.cn")
                                       << QStringLiteral("http://127.0.0.1:9/xinhua.cn");
    QTest::newRow("chinese") << QStringLiteral("http://icp.lookup.example") << QStringLiteral("中文.中国")
                             << QStringLiteral("http://icp.lookup.example/%E4%B8%AD%E6%96%87.%E4%B8%AD%E5%9B%BD");
    QTest::newRow("query and fragment characters")
        << QStringLiteral("http://icp.lookup.example") << QStringLiteral("a?b#c")
        << QStringLiteral("http://icp.lookup.example/a%3Fb%23c");
    QTest::newRow("slash stays") << QStringLiteral("http://icp.lookup.example") << QStringLiteral("a/b")
                                 << QStringLiteral("http://icp.lookup.example/a/b");
    QTest::newRow("parent segment: slashes encoded")
        << QStringLiteral("http://icp.lookup.example/icp") << QStringLiteral("../a.com")
        << QStringLiteral("http://icp.lookup.example/icp/..%2Fa.com");
    QTest::newRow("the name '..': no address")
        << QStringLiteral("http://icp.lookup.example") << QStringLiteral("..") << QString();
}

void TestCommandLine::icpPageUrl()
{
    QFETCH(QString, base);
    QFETCH(QString, domain);
    QFETCH(QString, expected);
    QCOMPARE(encoded(Urls::icpPage(base, domain)), expected);
}

void TestCommandLine::versionFileUrl_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("expected");
    QTest::newRow("host only") << QStringLiteral("http://update.vexlon.example")
                               << QStringLiteral("http://update.vexlon.example/version/main.txt");
    QTest::newRow("host and port, slash")
        << QStringLiteral("http://127.0.0.1:8080/") << QStringLiteral("http://127.0.0.1:8080/version/main.txt");
    QTest::newRow("with a path") << QStringLiteral("https://update.test/qv")
                                 << QStringLiteral("https://update.test/qv/version/main.txt");
}

void TestCommandLine::versionFileUrl()
{
    QFETCH(QString, base);
    QFETCH(QString, expected);
    QCOMPARE(encoded(Urls::versionFile(base)), expected);
}

void TestCommandLine::queryValueEncoding_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("digits") << QStringLiteral("7") << QByteArray("7");
    QTest::newRow("minus") << QStringLiteral("-1") << QByteArray("-1");
    QTest::newRow("blank") << QStringLiteral("a b") << QByteArray("a%20b");
    QTest::newRow("separators") << QStringLiteral("1&p=2") << QByteArray("1%26p%3D2");
    QTest::newRow("slash and question mark") << QStringLiteral("a/b?c") << QByteArray("a%2Fb%3Fc");
    QTest::newRow("hash") << QStringLiteral("1#x") << QByteArray("1%23x");
    QTest::newRow("plus") << QStringLiteral("1+1") << QByteArray("1%2B1");
    QTest::newRow("percent") << QStringLiteral("50%") << QByteArray("50%25");
    QTest::newRow("chinese") << QStringLiteral("第七") << QByteArray("%E7%AC%AC%E4%B8%83");
}

void TestCommandLine::queryValueEncoding()
{
    QFETCH(QString, value);
    QFETCH(QByteArray, expected);
    QCOMPARE(Urls::encodeQueryValue(value), expected);
    const QUrl url = Urls::resultsPage(QStringLiteral("http://www.market.example"), value);
    QCOMPARE(url.toEncoded(), QByteArray("http://www.market.example/search?p=") + expected);
    QVERIFY(!url.hasFragment());
}

void TestCommandLine::serverSeesEncodedName()
{
    LoopbackServer server;
    server.get("/backorder/(.*)", [](const httplib::Request &request, httplib::Response &response) {
        response.set_content(request.matches[1].str(), "text/plain; charset=utf-8");
    });
    QVERIFY(server.start() > 0);

    const QString name = QStringLiteral("a b/\"c\"?d#e%f中.com");
    FetchRequest request;
    request.url = Urls::backorderPage(QString::fromStdString(server.baseUrl()), name);
    const FetchResult result = fetchBlocking(request);
    server.stop();

    QCOMPARE(result.error, FetchError::None);
    // Sent as built, decoded by the server back into the very name.
    QCOMPARE(
        server.requestedTargets(), std::vector<std::string> { "/backorder/a%20b/%22c%22%3Fd%23e%25f%E4%B8%AD.com" });
    QCOMPARE(QString::fromUtf8(result.body), name);
}

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
