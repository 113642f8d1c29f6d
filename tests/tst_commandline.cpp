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
    // Nothing given: the compiled-in addresses, all on hosts of the reserved .example domain.
    void defaults()
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

    void optionOverrides_data()
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

    void optionOverrides()
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

    void refused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("mentioned");
        const auto row = [](const char *name, const QStringList &arguments, const QStringList &mentioned) {
            QTest::newRow(name) << arguments << mentioned;
        };
        // A refused address is named with its option and what it should be, so that a user can correct it.
        const auto badUrl = [&row](const char *name, const char *option, const QString &value) {
            const QString dashed = u"--"_s + QLatin1String(option);
            row(name, { dashed, value }, { dashed, u'"' + value + u'"', u"http"_s });
        };
        badUrl("ftp scheme", "market-url", u"ftp://market.test"_s);
        badUrl("file scheme", "market-url", u"file:///tmp/page.html"_s);
        badUrl("mailto", "market-url", u"mailto:a@market.test"_s);
        badUrl("relative path", "market-url", u"search/page"_s);
        badUrl("absolute path", "market-url", u"/search"_s);
        badUrl("host without scheme", "market-url", u"www.market.test"_s);
        badUrl("host and port without scheme", "market-url", u"127.0.0.1:8080"_s);
        badUrl("scheme without host", "market-url", u"http://"_s);
        badUrl("scheme and path only", "market-url", u"http:/search"_s);
        badUrl("blank inside the host", "market-url", u"http://market .test"_s);
        badUrl("garbage", "market-url", u"::%%garbage%%::"_s);
        badUrl("empty", "market-url", QString());
        for (const UrlOption &option : UrlOptions)
            badUrl(qPrintable(u"--%1 relative"_s.arg(QLatin1String(option.name))), option.name, u"relative"_s);
        // Paths are appended to these three: a query or fragment would swallow them.
        badUrl("market base with a query", "market-url", u"http://market.test/?lang=cn"_s);
        badUrl("icp base with a fragment", "icp-url", u"http://icp.test/#top"_s);
        badUrl("update base with an empty query", "update-url", u"http://u.test/?"_s);
        row("option without its value", { u"--market-url"_s }, { u"market-url"_s });
        row("unknown option", { u"--pages"_s, u"3"_s }, { u"pages"_s });
        row("stray argument", { u"http://127.0.0.1:8080"_s }, { u"http://127.0.0.1:8080"_s });
    }

    void refused()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, mentioned);
        const CommandLineOutcome outcome = parse(arguments);
        QCOMPARE(outcome.action, CommandLineOutcome::Action::Refuse);
        for (const QString &text : mentioned)
            QVERIFY2(outcome.message.contains(text), qPrintable(text + u'\n' + outcome.message));
    }

    void help_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::newRow("--help") << u"--help"_s;
        QTest::newRow("-h") << u"-h"_s;
    }

    // Help wins over a bad value elsewhere on the line: the user is asking how to write it.
    void help()
    {
        QFETCH(QString, argument);
        const CommandLineOutcome outcome = parse({ argument, u"--market-url"_s, u"nonsense"_s });
        QCOMPARE(outcome.action, CommandLineOutcome::Action::ShowHelp);
        for (const UrlOption &option : UrlOptions)
            QVERIFY2(outcome.message.contains(u"--"_s + QLatin1String(option.name)), option.name);
        QVERIFY2(outcome.message.contains(u"/version/main.txt"_s), qPrintable(outcome.message));
    }

    void programExitCodes_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output"); // all of stdout for 0, on stderr otherwise
        QTest::newRow("--version") << QStringList { u"--version"_s } << 0 << u"vexlon-collector 1.4\n"_s;
        QTest::newRow("relative market URL") << QStringList { u"--market-url"_s, u"market.test"_s } << 2
                                             << u"vexlon-collector: --market-url: \"market.test\""_s;
        QTest::newRow("empty data folder")
            << QStringList { u"--data-dir"_s, QString() } << 2 << u"vexlon-collector: --data-dir: the value is empty"_s;
        QTest::newRow("empty data folder, the table window") << QStringList { u"table"_s,
            u"--data-dir="_s } << 2 << u"vexlon-collector table: --data-dir: the value is empty"_s;
    }

    // Text asked for goes to stdout; a refusal goes to stderr alone (Qt may add its own notes there).
    void programExitCodes()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        const QString program = QCoreApplication::applicationDirPath() + u"/vexlon-collector"_s;
        QVERIFY2(QFileInfo(program).isExecutable(), qPrintable(program));
        QProcess process;
        process.start(program, arguments + QStringList { u"--no-history"_s }); // never the user's history
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), exitCode);
        const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(process.readAllStandardError());
        QVERIFY2(exitCode == 0 ? out == output : err.contains(output) && out.isEmpty(), qPrintable(out + err));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
