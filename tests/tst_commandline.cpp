// The command line: the addresses it overrides, help and version, what it refuses, and the exit
// codes of the program itself.
#include "app/commandline.h"
#include "core/text/urls.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

struct UrlOption
{
    const char *name;
    QString AppConfig::*field;
};
const UrlOption UrlOptions[] = {
    { "market-url", &AppConfig::marketUrl },
    { "icp-url", &AppConfig::icpUrl },
    { "update-url", &AppConfig::updateUrl },
    { "home-url", &AppConfig::homeUrl },
    { "forum-url", &AppConfig::forumUrl },
};

CommandLineOutcome parse(const QStringList &options)
{
    return parseCommandLine(QStringList { u"vexlon-collector"_s } + options);
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void defaults();
    void optionOverrides_data();
    void optionOverrides();
    void badUrlRefused_data();
    void badUrlRefused();
    void malformedCommandLineRefused_data();
    void malformedCommandLineRefused();
    void help_data();
    void help();
    void version();
    void programExitCodes_data();
    void programExitCodes();
};

void TestCommandLine::initTestCase()
{
    // As the program names itself before it reads its command line.
    QCoreApplication::setApplicationName(u"vexlon-collector"_s);
    QCoreApplication::setApplicationVersion(u"1.4"_s);
}

// Nothing given: the compiled-in addresses, all on hosts of the reserved .example domain, so that a
// build never talks to a real third-party host by accident.
void TestCommandLine::defaults()
{
    const CommandLineOutcome outcome = parse({});
    QCOMPARE(outcome.action, CommandLineOutcome::Action::Run);
    const AppConfig defaults;
    for (const UrlOption &option : UrlOptions) {
        const QString value = outcome.config.*option.field;
        QCOMPARE(value, defaults.*option.field);
        QVERIFY2(Urls::isWebUrl(value), qPrintable(value));
        QVERIFY2(QUrl(value).host().endsWith(u".example"_s), qPrintable(value));
    }
    QCOMPARE(QLatin1String(ProgramVersion), "V1.4"_L1);
}

void TestCommandLine::optionOverrides_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("values"); // in the order of UrlOptions
    const AppConfig defaults;
    const auto with = [&](const char *name, const QString &value) {
        QStringList values;
        for (const UrlOption &option : UrlOptions)
            values << (qstrcmp(option.name, name) == 0 ? value : defaults.*option.field);
        return values;
    };
    const QString local = u"http://127.0.0.1:8080"_s;
    QStringList all;
    QStringList allValues;
    for (const UrlOption &option : UrlOptions) {
        const QString name = u"--"_s + QLatin1String(option.name);
        QTest::addRow("%s URL", option.name) << QStringList { name, local } << with(option.name, local);
        QTest::addRow("%s=URL", option.name) << QStringList { name + u'=' + local } << with(option.name, local);
        allValues << u"http://127.0.0.1:%1"_s.arg(allValues.size() + 1);
        all << name << allValues.constLast();
    }
    QTest::newRow("all together") << all << allValues;
    const QString https = u"https://market.test/base/"_s;
    QTest::newRow("https with a path") << QStringList { u"--market-url"_s, https } << with("market-url", https);
    // The two pages handed to the browser are no base URLs: a query and a fragment are theirs.
    const QString forum = u"http://bbs.test/forum.php?mod=forumdisplay&fid=2#new"_s;
    QTest::newRow("forum page with query and fragment")
        << QStringList { u"--forum-url"_s, forum } << with("forum-url", forum);
    QTest::newRow("last one wins") << QStringList { u"--icp-url"_s, u"http://a.test"_s, u"--icp-url"_s,
        u"http://b.test"_s } << with("icp-url", u"http://b.test"_s);
}

void TestCommandLine::optionOverrides()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, values);
    const CommandLineOutcome outcome = parse(arguments);
    QCOMPARE(outcome.action, CommandLineOutcome::Action::Run);
    QStringList read;
    for (const UrlOption &option : UrlOptions)
        read << outcome.config.*option.field;
    QCOMPARE(read, values);
}

void TestCommandLine::badUrlRefused_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("value");
    const QString market = u"market-url"_s;
    QTest::newRow("ftp scheme") << market << u"ftp://market.test"_s;
    QTest::newRow("file scheme") << market << u"file:///tmp/page.html"_s;
    QTest::newRow("mailto") << market << u"mailto:a@market.test"_s;
    QTest::newRow("relative path") << market << u"search/page"_s;
    QTest::newRow("absolute path") << market << u"/search"_s;
    QTest::newRow("host without scheme") << market << u"www.market.test"_s;
    QTest::newRow("host and port without scheme") << market << u"127.0.0.1:8080"_s;
    QTest::newRow("scheme without host") << market << u"http://"_s;
    QTest::newRow("scheme and path only") << market << u"http:/search"_s;
    QTest::newRow("blank inside the host") << market << u"http://market .test"_s;
    QTest::newRow("garbage") << market << u"::%%garbage%%::"_s;
    QTest::newRow("empty") << market << QString();
    for (const UrlOption &option : UrlOptions)
        QTest::addRow("--%s relative", option.name) << QString::fromLatin1(option.name) << u"relative"_s;
    // Paths are appended to these three: a query or fragment would swallow them.
    QTest::newRow("market base with a query") << market << u"http://market.test/?lang=cn"_s;
    QTest::newRow("icp base with a fragment") << u"icp-url"_s << u"http://icp.test/#top"_s;
    QTest::newRow("update base with an empty query") << u"update-url"_s << u"http://u.test/?"_s;
}

void TestCommandLine::badUrlRefused()
{
    QFETCH(QString, option);
    QFETCH(QString, value);
    const CommandLineOutcome outcome = parse({ u"--"_s + option, value });
    QCOMPARE(outcome.action, CommandLineOutcome::Action::Refuse);
    // The message names the option and the value, so that a user can correct them.
    QVERIFY2(outcome.message.contains(u"--"_s + option), qPrintable(outcome.message));
    QVERIFY2(outcome.message.contains(u'"' + value + u'"'), qPrintable(outcome.message));
    QVERIFY2(outcome.message.contains(u"http"_s), qPrintable(outcome.message));
}

void TestCommandLine::malformedCommandLineRefused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("mentioned");
    QTest::newRow("option without its value") << QStringList { u"--market-url"_s } << u"market-url"_s;
    QTest::newRow("unknown option") << QStringList { u"--pages"_s, u"3"_s } << u"pages"_s;
    QTest::newRow("stray argument") << QStringList { u"http://127.0.0.1:8080"_s } << u"http://127.0.0.1:8080"_s;
}

void TestCommandLine::malformedCommandLineRefused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, mentioned);
    const CommandLineOutcome outcome = parse(arguments);
    QCOMPARE(outcome.action, CommandLineOutcome::Action::Refuse);
    QVERIFY2(outcome.message.contains(mentioned), qPrintable(outcome.message));
}

void TestCommandLine::help_data()
{
    QTest::addColumn<QString>("argument");
    QTest::newRow("--help") << u"--help"_s;
    QTest::newRow("-h") << u"-h"_s;
}

void TestCommandLine::help()
{
    QFETCH(QString, argument);
    // Help wins over a bad value elsewhere on the line: the user is asking how to write it.
    const CommandLineOutcome outcome = parse({ argument, u"--market-url"_s, u"nonsense"_s });
    QCOMPARE(outcome.action, CommandLineOutcome::Action::ShowHelp);
    for (const UrlOption &option : UrlOptions)
        QVERIFY2(outcome.message.contains(u"--"_s + QLatin1String(option.name)), option.name);
    QVERIFY2(outcome.message.contains(u"/version/main.txt"_s), qPrintable(outcome.message));
}

void TestCommandLine::version()
{
    const CommandLineOutcome outcome = parse({ u"--version"_s });
    QCOMPARE(outcome.action, CommandLineOutcome::Action::ShowVersion);
    QCOMPARE(outcome.message, u"vexlon-collector 1.4"_s);
}

void TestCommandLine::programExitCodes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output"); // on stdout for 0, on stderr otherwise
    QTest::newRow("--help") << QStringList { u"--help"_s } << 0 << u"--forum-url"_s;
    QTest::newRow("--version") << QStringList { u"--version"_s } << 0 << u"vexlon-collector 1.4\n"_s;
    QTest::newRow("relative market URL") << QStringList { u"--market-url"_s, u"market.test"_s } << 2
                                         << u"vexlon-collector: --market-url: \"market.test\""_s;
    QTest::newRow("base URL with a query")
        << QStringList { u"--update-url"_s, u"http://u.test/?v=1"_s } << 2 << u"--update-url"_s;
    QTest::newRow("unknown option") << QStringList { u"--nope"_s } << 2 << u"nope"_s;
}

void TestCommandLine::programExitCodes()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    const QString program = QCoreApplication::applicationDirPath() + u"/vexlon-collector"_s;
    QVERIFY2(QFileInfo(program).isExecutable(), qPrintable(program));

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    process.setProcessEnvironment(environment);
    process.start(program, arguments + QStringList { u"--no-history"_s }); // never the user's history
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(process.readAllStandardError());
    // Text asked for goes to stdout; a refusal goes to stderr alone (Qt may add its own notes there).
    QVERIFY2((exitCode == 0 ? out : err).contains(output), qPrintable(out + err));
    if (exitCode != 0)
        QVERIFY2(out.isEmpty(), qPrintable(out));
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
