// The commands collect, lookup, history and appraise, run as the real program without a window or a display
// against the fake site: stdout's bytes, stderr's messages, exit codes and what the history keeps.
#include "core/export/listexport.h"
#include "core/appraise/appraisal.h"
#include "core/lookup/whoisfacts.h"
#include "core/store/historystore.h"
#include "tests/sitetest.h"
#include "tools/fakedns.h"
#include "tools/samplemarket.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool UnderAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool UnderAddressSanitizer = true;
#else
constexpr bool UnderAddressSanitizer = false;
#endif
#else
constexpr bool UnderAddressSanitizer = false;
#endif

struct Finished
{
    int exitCode = -1;
    QByteArray out;
    QString err;
};

QByteArray lines(const QStringList &names)
{
    return (names.join(u'\n') + u'\n').toUtf8();
}

// The name as a JSON string.
QByteArray jsonOf(const QString &name)
{
    QString quoted = name;
    quoted.replace(u'"', u"\\\""_s);
    return (u'"' + quoted + u'"').toUtf8();
}

QString tagsOf(const QString &domain, const QString &separator)
{
    return tagTexts(appraise(domain).tags).join(separator);
}

// A lookup row without its time, as the sample marketplace answers for the domain.
QStringList sampleRow(const QString &domain, const char *source)
{
    const SampleMarket::BackorderInfo info = SampleMarket::backorderInfoFor(domain.toStdString());
    QStringList row { domain };
    for (const std::string *value : { &info.deletionType, &info.deletionTime, &info.bookingDeadline })
        row << QString::fromStdString(*value);
    // Once booking has closed the price row is not read.
    for (const std::string *value : { &info.platform, &info.price, &info.rmb, &info.deposit })
        row << (info.bookingClosed ? QString() : QString::fromStdString(*value));
    const QString licence = licenceOf(domain);
    row << (licence.isEmpty() ? u"not filed"_s : u"filed"_s) << licence << QLatin1String(source) << QString();
    // The whois facts, after the columns scripts knew first.
    const SampleWhois whois = sampleWhoisOf(domain);
    const QDateTime created = QDateTime::fromString(whois.created, Qt::ISODate);
    return row << whois.created
               << QString::number(wholeYearsSince(created, QDateTime::currentDateTimeUtc()).value()) << whois.expires
               << whois.registrar << whois.statuses.join(u' ');
}

// The text rows of a lookup, each without its time, which must be an ISO date-time.
QList<QStringList> rowsOf(const QByteArray &out)
{
    QList<QStringList> rows;
    for (const QString &line : QString::fromUtf8(out).split(u'\n', Qt::SkipEmptyParts)) {
        QStringList row = line.split(u'\t');
        if (QDateTime::fromString(row.value(1), Qt::ISODate).isValid()) // else it compares unequal
            row.removeAt(1);
        rows << row;
    }
    return rows;
}

// What a watch of the filter matched of the names seen in this order, newest first.
QStringList matchesOf(const QStringList &names, const QString &filter)
{
    QStringList matched = names;
    matched.removeDuplicates();
    matched.removeIf([filter = filterFrom(filter)](const QString &name) { return !filter.matches(name); });
    std::reverse(matched.begin(), matched.end());
    return matched;
}

// A pseudo-terminal for the program's stdin or stderr: its master end, and the path of the other.
struct Terminal
{
    int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    QString path = master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0
        ? QString::fromLocal8Bit(::ptsname(master))
        : QString();
    ~Terminal() { ::close(master); }
};

} // namespace

class TestCommands : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_site = std::make_unique<FakeSite>();
        QVERIFY(m_site->start());
        m_site->setPageCount(200);
        QVERIFY(m_dir.isValid());
        QDir(dataDir()).removeRecursively();
    }

    void cleanup() { m_site.reset(); }

    void collectWrites_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<int>("failing"); // a page the site fails, told and counted
        QTest::newRow("pages 1 to N, a page failing") << u"--pages 3"_s << lines(sampleNames(1) + sampleNames(3)) << 2;
        QByteArray csv = "\xef\xbb\xbf"
                         "domain,page,position,tags\r\n";
        QByteArray json;
        for (int page = 2; page <= 3; ++page) {
            const QStringList names = sampleNames(page);
            for (int i = 0; i < names.size(); ++i) {
                const auto row = [&](const QString &format, const QString &separator) {
                    return format.arg(names[i]).arg(page).arg(i + 1).arg(tagsOf(names[i], separator)).toUtf8();
                };
                csv += row(u"%1,%2,%3,%4\r\n"_s, u" "_s);
                json += row(u"{\"domain\":\"%1\",\"page\":%2,\"position\":%3,\"tags\":[\"%4\"]}\n"_s, u"\",\""_s);
            }
        }
        QTest::newRow("csv, a range") << u"--pages 2-3 --format csv"_s << csv << 0;
        QTest::newRow("json, a range") << u"--pages 2-3 --format=json"_s << json << 0;
        QTest::newRow("the last possible page") << u"--pages 32767-32767"_s << QByteArray() << 0;
        QStringList dotCom = sampleNames(1, 3);
        dotCom.removeIf([](const QString &name) { return !name.endsWith(u".com"_s) || name.contains(u"ng"_s); });
        QTest::newRow("filtered") << u"--pages 3 --suffix .net,.com --suffix .cc --exclude ng --regex \\.COM$"_s
                                  << lines(dotCom) << 0;
        for (const auto &[filter, arguments] :
            { std::pair { u"tag=纯字母 nottag=双拼|AAB"_s, u"--tag 纯字母 --not-tag 双拼 --not-tag AAB"_s },
                std::pair { u"tag=杂米 pattern=?V??"_s, u"--tag 杂米 --pattern ?V??"_s } }) {
            QStringList tagged = sampleNames(1, 3);
            tagged.removeIf([filter = filterFrom(filter)](const QString &name) { return !filter.matches(name); });
            QVERIFY(!tagged.isEmpty());
            QTest::addRow("by %s", qPrintable(arguments)) << u"--pages 3 "_s + arguments << lines(tagged) << 0;
        }
    }

    // Names in page order alone on stdout; a summary on stderr without progress (no terminal); no display needed.
    void collectWrites()
    {
        QFETCH(QString, arguments);
        QFETCH(QByteArray, expected);
        QFETCH(int, failing);
        if (failing)
            m_site->setFault(pageTarget(failing), Fault::ServerError);
        const Finished run = program(u"collect "_s + arguments);
        QCOMPARE(run.exitCode, failing ? 1 : 0);
        QCOMPARE(run.out, expected);
        QVERIFY2(run.err.startsWith(failing ? u"page 2 failed: HTTP 500\n"_s : u"collect: "_s)
                && !run.err.contains(u'\r') && run.err.contains(u"1 page failed"_s) == bool(failing),
            qPrintable(run.err));
        QCOMPARE(program(u"collect --quiet "_s + arguments).err, QString());
    }

    // What a run saw is in the history; --new leaves out what an older run saw already.
    void historyOfRuns()
    {
        const QDateTime twoDaysAgo = QDateTime::currentDateTimeUtc().addDays(-2).addMSecs(-1234);
        {
            HistoryStore store;
            QVERIFY(store.open(HistoryStore::filePath(dataDir())));
            const std::optional<qint64> run = store.beginRun(QString::fromStdString(m_site->url()), 1, 1, twoDaysAgo);
            QVERIFY(run && store.recordPage(*run, 1, sampleNames(1), twoDaysAgo));
            QVERIFY(store.endRun(*run, 0, false, twoDaysAgo));
        }
        QCOMPARE(program(u"collect --pages 2 -q"_s).exitCode, 0);
        QStringList seen = sampleNames(1, 2);
        seen.removeDuplicates();
        QStringList newOnes = seen;
        newOnes.removeIf([](const QString &name) { return sampleNames(1).contains(name); });
        QVERIFY(!newOnes.isEmpty());
        QCOMPARE(program(u"history"_s).out, lines(seen));
        QCOMPARE(program(u"history --days 1 --new"_s).out, lines(newOnes));
        QCOMPARE(program(u"history --new --since "_s + QDate::currentDate().addDays(-3).toString(Qt::ISODate)).out,
            lines(seen));
        // Times to the second, in local time with its offset (TZ is UTC here).
        const QList<QByteArray> csv = program(u"history --days=3 --format=csv --max-length=100"_s).out.split('\n');
        QCOMPARE(csv.value(0),
            "\xef\xbb\xbf"
            "domain,first_seen,last_seen,tags\r");
        const QStringList first = QString::fromUtf8(csv.value(1).chopped(1)).split(u',');
        QCOMPARE(first.value(3), tagsOf(seen[0], u" "_s));
        QCOMPARE(first.mid(0, 2), QStringList({ seen[0], twoDaysAgo.toString(u"yyyy-MM-dd'T'HH:mm:ss'Z'"_s) }));
        QVERIFY(QDateTime::fromString(first.value(2), Qt::ISODate).secsTo(QDateTime::currentDateTimeUtc()) < 60);
    }

    // Rows in the order given; the history answers the second time, unless --refresh.
    void lookupRows()
    {
        const QStringList domains = sampleNames(1).mid(0, 4);
        const Finished given = program(u"lookup --rate=50 "_s + domains.join(u' '));
        QCOMPARE(given.exitCode, 0);
        QList<QStringList> expected;
        for (const QString &domain : domains)
            expected << sampleRow(domain, "site");
        QCOMPARE(rowsOf(given.out), expected);
        QVERIFY(given.out.contains("\tfiled\t") && given.out.contains("\tnot filed\t"));
        QCOMPARE(m_site->requests().size(), std::size_t(8));
        // A name the history does not know goes first: its row is still the first, though the others come at once.
        m_site->clearLog();
        const Finished cached
            = program(u"lookup"_s, "\xef\xbb\xbfhua.com\r\n" + domains.join(u"\r\n"_s).toUtf8() + "\n\n");
        QCOMPARE(cached.exitCode, 0);
        for (QStringList &row : expected)
            row[10] = u"history"_s;
        QCOMPARE(rowsOf(cached.out), QList<QStringList> { sampleRow(u"hua.com"_s, "site") } + expected);
        QCOMPARE(m_site->requestedTargets(), std::vector<std::string>({ "/backorder/hua.com", "/hua.com" }));
        QVERIFY2(cached.err.contains(u"4 from the history"_s), qPrintable(cached.err));
        m_site->clearLog();
        const Finished refreshed = program(u"lookup --refresh --rate=50 "_s + domains[1]);
        QCOMPARE(rowsOf(refreshed.out), QList<QStringList> { sampleRow(domains[1], "site") });
        QCOMPARE(m_site->requests().size(), std::size_t(2));
    }

    // The label under other suffixes, at the end of the row: taken, unknown (asked again next time) and not in
    // DNS (in neither column); the history answers what DNS said within --max-age.
    void lookupOtherSuffixes()
    {
        FakeDnsServer dns;
        QVERIFY(dns.start());
        dns.setDefaultMode(FakeDnsServer::Mode::NxDomain);
        dns.setMode("hua.net", FakeDnsServer::Mode::NameServers);
        dns.setMode("hua.org", FakeDnsServer::Mode::Referral);
        dns.setMode("hua.cn", FakeDnsServer::Mode::ServFail);
        const QString options = u"lookup --rate 50 --dns-server "_s + QString::fromStdString(dns.address())
            + u" --other-suffixes .com,NET,org,cn,com.cn hua.com"_s;
        const Finished text = program(options);
        QCOMPARE(text.exitCode, 0);
        QCOMPARE(rowsOf(text.out), QList<QStringList> { sampleRow(u"hua.com"_s, "site") << u"net org"_s << u"cn"_s });
        // Its own suffix is not asked.
        QCOMPARE(dns.queryCount("hua.com"), 0);
        QCOMPARE(int(dns.queries().size()), 4);

        dns.clearLog();
        const Finished json = program(options + u" --format json"_s);
        QVERIFY2(json.out.endsWith(",\"taken_elsewhere\":[\"net\",\"org\"],\"unknown_elsewhere\":[\"cn\"]}\n"),
            json.out);
        // Only the unknown one is asked again.
        QCOMPARE(dns.queryCount("hua.cn"), 1);
        QCOMPARE(int(dns.queries().size()), 1);

        dns.clearLog();
        dns.setMode("hua.cn", FakeDnsServer::Mode::NameServers);
        const Finished csv = program(options + u" --format csv --refresh"_s);
        QVERIFY2(csv.out.contains(",taken_elsewhere,unknown_elsewhere\r\n"), csv.out);
        QVERIFY2(csv.out.endsWith(",net org cn,\r\n"), csv.out);
        QCOMPARE(int(dns.queries().size()), 4);

        dns.clearLog();
        const Finished old = program(options + u" --max-age 0"_s);
        QCOMPARE(rowsOf(old.out).value(0).mid(sampleRow(u"hua.com"_s, "site").size()), QStringList({ u"net org cn"_s, u""_s }));
        QCOMPARE(int(dns.queries().size()), 4);
    }

    void lookupFormats_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<int>("lineEnds"); // a header's, a row's, and one quoted in CSV
        QTest::newRow("text") << u"text"_s << u"\t赎回期删除, \"特别\"\t2024-06-15  23:30 (北京)\t"_s.toUtf8() << 1;
        QTest::newRow("csv") << u"csv"_s << u",\"赎回期删除, \"\"特别\"\"\",\"2024-06-15\r\n23:30\t(北京)\","_s.toUtf8()
                             << 3;
        QTest::newRow("json")
            << u"json"_s
            << u"\"deletion_type\":\"赎回期删除, \\\"特别\\\"\",\"deletion_time\":\"2024-06-15\\r\\n23:30\\t(北京)\","_s
                   .toUtf8()
            << 1;
    }

    // Values with commas, quotes, tabs and line breaks: quoted, escaped, or made blanks, never a row more.
    void lookupFormats()
    {
        QFETCH(QString, format);
        QFETCH(QByteArray, expected);
        QFETCH(int, lineEnds);
        SampleMarket::BackorderInfo info = SampleMarket::backorderInfoFor("hua.com");
        info.deletionType = "赎回期删除, \"特别\"";
        info.deletionTime = "2024-06-15\r\n23:30\t(北京)";
        m_site->setReply("/backorder/hua.com", FakeSite::Reply::gbkHtml(SampleMarket::backorderPage(info)));
        const Finished run = program(u"lookup hua.com --no-history --rate 50 --format "_s + format);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.contains(expected), run.out);
        QCOMPARE(run.out.count('\n'), lineEnds);
        // The name's tags follow the failure in CSV and JSON, and are no part of the text rows.
        const QString tags = tagsOf(u"hua.com"_s, u" "_s);
        if (format == u"csv"_s)
            QVERIFY2(run.out.contains(",source,failure,tags,") && run.out.contains((u',' + tags + u',').toUtf8()), run.out);
        else if (format == u"json"_s)
            QVERIFY2(run.out.contains((u",\"tags\":[\""_s + tagsOf(u"hua.com"_s, u"\",\""_s) + u"\"],"_s).toUtf8()),
                run.out);
        else
            QVERIFY2(!run.out.contains(tags.toUtf8()), run.out);
    }

    // Facts the whois does not give are unknown: empty in text and CSV, null in JSON, never 0 or today.
    void lookupUnknownFacts_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("readable"); // the whois gives every fact
        QTest::addColumn<QString>("expected"); // the end of the row
        const SampleWhois sample = sampleWhoisOf(u"hua.com"_s);
        const QString age = QString::number(
            wholeYearsSince(QDateTime::fromString(sample.created, Qt::ISODate), QDateTime::currentDateTimeUtc()).value());
        QTest::newRow("text") << u"text"_s << false << u"\tsite\t\t\t\t\t\t\n"_s;
        // The name's tags come between the failure and the facts in CSV and JSON.
        const QString csvTags = tagsOf(u"hua.com"_s, u" "_s);
        const QString jsonTags = u"\"tags\":[\""_s + tagsOf(u"hua.com"_s, u"\",\""_s) + u"\"],"_s;
        QTest::newRow("csv") << u"csv"_s << false << u",site,,%1,,,,,\r\n"_s.arg(csvTags);
        QTest::newRow("json") << u"json"_s << false
                              << u"\"source\":\"site\",\"failure\":\"\","_s + jsonTags
                + u"\"created\":null,\"age_years\":null,\"expires\":null,\"registrar\":null,\"statuses\":null}\n"_s;
        QTest::newRow("json, read") << u"json"_s << true
                                    << u"\"created\":\"%1\",\"age_years\":%2,\"expires\":\"%3\",\"registrar\":\"%4\","
                                       "\"statuses\":[\"pendingDelete\",\"redemptionPeriod\"]}\n"_s.arg(
                                           sample.created, age, sample.expires, sample.registrar);
        QTest::newRow("csv, read") << u"csv"_s << true
                                   << u",site,,%5,%1,%2,%3,\"%4\",pendingDelete redemptionPeriod\r\n"_s.arg(
                                          sample.created, age, sample.expires, sample.registrar, csvTags);
    }

    void lookupUnknownFacts()
    {
        QFETCH(QString, format);
        QFETCH(bool, readable);
        QFETCH(QString, expected);
        if (!readable) {
            SampleMarket::BackorderInfo info = SampleMarket::backorderInfoFor("hua.com");
            info.whois = "Domain Name: HUA.COM\nRegistrar:\nCreation Date: 0000-00-00\n";
            m_site->setReply(backorderTarget(u"hua.com"_s), FakeSite::Reply::gbkHtml(SampleMarket::backorderPage(info)));
        }
        const Finished run = program(u"lookup hua.com --no-history --rate 50 --format "_s + format);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(QString::fromUtf8(run.out).endsWith(expected), run.out);
    }

    // --min-years and --max-years choose the rows written by the whois's creation date, looked up or from
    // the history; a name of unknown age passes neither.
    void lookupByAge_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<QString>("written"); // of names 0 (20 years old), 1 (5), 2 (unknown), 3 (under one)
        QTest::newRow("no bounds") << QString() << u"0123"_s;
        QTest::newRow("at least 10") << u"--min-years 10"_s << u"0"_s;
        QTest::newRow("at most 5") << u"--max-years 5"_s << u"13"_s;
        QTest::newRow("2 to 5") << u"--min-years=2 --max-years=5"_s << u"1"_s;
        QTest::newRow("at least 0: any known age") << u"--min-years 0"_s << u"013"_s;
        QTest::newRow("at most 0") << u"--max-years 0"_s << u"3"_s;
    }

    void lookupByAge()
    {
        QFETCH(QString, options);
        QFETCH(QString, written);
        const QStringList domains = sampleNames(1).mid(0, 4);
        const QDate today = QDate::currentDate();
        const QStringList created { today.addYears(-20).addDays(-10).toString(Qt::ISODate),
            today.addYears(-5).addDays(-10).toString(Qt::ISODate), u"unknown"_s,
            today.addMonths(-3).toString(Qt::ISODate) };
        for (int i = 0; i < 4; ++i) {
            SampleMarket::BackorderInfo info = SampleMarket::backorderInfoFor(domains[i].toStdString());
            info.whois = "Domain Name: X\nCreation Date: " + created[i].toStdString() + "\n";
            m_site->setReply(backorderTarget(domains[i]), FakeSite::Reply::gbkHtml(SampleMarket::backorderPage(info)));
        }
        for (const char *source : { "site", "history" }) {
            const Finished run = program(u"lookup --rate=50 "_s + domains.join(u' ') + (options.isEmpty() ? QString() : u' ' + options));
            QVERIFY2(run.exitCode == 0, qPrintable(run.err));
            QString names;
            for (const QStringList &row : rowsOf(run.out)) {
                names += QString::number(domains.indexOf(row.value(0)));
                QCOMPARE(row.value(10), QLatin1String(source));
            }
            QCOMPARE(names, written);
        }
        QCOMPARE(m_site->requests().size(), std::size_t(8));
    }

    // Each bad name told on stderr with its reason and left out; the rest is looked up.
    void badNamesSkipped()
    {
        const QList<std::pair<QString, QString>> bad { { u"ab c.com"_s, u"blank"_s },
            { u"ab\001c.com"_s, u"control character"_s }, { u"a/b.com"_s, u"\"/\""_s }, { u"a..com"_s, u"\"..\""_s },
            { QString(296, u'a') + u".com"_s, u"longer than 253"_s }, { u"-abc.com"_s, u"internationalized"_s } };
        QString input = u"hua.com\n"_s;
        for (const auto &[name, reason] : bad)
            input += name + u'\n';
        const Finished run = program(u"lookup --rate=50"_s, (input + u"xin.cn\n"_s).toUtf8());
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(
            rowsOf(run.out), QList<QStringList>({ sampleRow(u"hua.com"_s, "site"), sampleRow(u"xin.cn"_s, "site") }));
        QCOMPARE(run.err.count(u"skipped \""_s), bad.size());
        for (const auto &[name, reason] : bad)
            QVERIFY2(run.err.contains(reason), qPrintable(reason + u'\n' + run.err));
        QCOMPARE(m_site->requests().size(), std::size_t(4));
    }

    void lookupExitCodes_data()
    {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("requests");
        QTest::addColumn<QString>("summary");
        QTest::newRow("a filter leaves no names")
            << u"lookup --suffix .net hua.com xin.cn"_s << 0 << 0 << u"lookup: 0 of 0 domains\n"_s;
        QTest::newRow("a filter leaves none, a name skipped")
            << u"lookup --suffix .net hua.com a..com"_s << 1 << 0 << u"lookup: 0 of 0 domains · 1 skipped\n"_s;
        QTest::newRow("the fastest rate")
            << u"lookup --rate 1000 --no-history hua.com xin.cn"_s << 0 << 4 << u"lookup: 2 of 2 domains\n"_s;
        // Accepted: told as a name skipped, not as bad usage.
        QTest::newRow("the slowest rate")
            << u"lookup --rate 0.0000115741 a..com"_s << 1 << 0 << u"lookup: 0 of 0 domains · 1 skipped\n"_s;
    }

    void lookupExitCodes()
    {
        QFETCH(QString, commandLine);
        QFETCH(int, exitCode);
        QFETCH(int, requests);
        QFETCH(QString, summary);
        const Finished run = program(commandLine);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.endsWith(summary), qPrintable(run.err));
        QCOMPARE(int(m_site->requests().size()), requests);
    }

    void formulasInCsvAreText_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("csvField");
        QTest::newRow("=") << u"=1+1.com"_s << u"'=1+1.com"_s;
        QTest::newRow("+") << u"+1.com"_s << u"'+1.com"_s;
        QTest::newRow("-") << u"-1.com"_s << u"'-1.com"_s;
        QTest::newRow("@") << u"@sum(1+1).com"_s << u"'@sum(1+1).com"_s;
        QTest::newRow("a command") << u"=cmd|' /c calc'!a0.com"_s << u"'=cmd|' /c calc'!a0.com"_s;
        QTest::newRow("a comma too") << u"=a,b.com"_s << u"\"'=a,b.com\""_s;
        QTest::newRow("= inside") << u"a=b.com"_s << u"a=b.com"_s;
    }

    // A results page of names a spreadsheet would run: in CSV each begins with an apostrophe, in text and JSON not.
    void formulasInCsvAreText()
    {
        QFETCH(QString, name);
        QFETCH(QString, csvField);
        m_site->setReply(pageTarget(1), FakeSite::Reply::utf8Html(SampleMarket::resultsPage({ name.toStdString() })));
        const Finished collected = program(u"collect --pages 1 --format csv"_s);
        QCOMPARE(collected.exitCode, 0);
        QCOMPARE(collected.out,
            "\xef\xbb\xbf"
            "domain,page,position,tags\r\n"
                + (csvField + u",1,1,"_s + tagsOf(name, u" "_s) + u"\r\n"_s).toUtf8());
        const QByteArray history = program(u"history --format csv"_s).out;
        QVERIFY2(history.contains("\r\n" + (csvField + u",20"_s).toUtf8()), history);
        QCOMPARE(program(u"history"_s).out, lines({ name }));
        QVERIFY(program(u"history --format json"_s).out.startsWith("{\"domain\":" + jsonOf(name)));
    }

    void stdinReadLineByLine_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("inputFile");
        QTest::addColumn<QStringList>("domains");
        QTest::addColumn<QString>("told"); // on stderr
        const QByteArray gbkExport = encodeDomainList({ u"中文.com"_s, u"hua.com"_s });
        QTest::newRow("megabytes on one line, then a name")
            << QByteArray(4 << 20, 'a') + "\nhua.com\n"
            << QString() << QStringList { u"hua.com"_s } << u"skipped \"aaaaaaaa"_s;
        QTest::newRow("a line a character too long") << QByteArray(250, 'a') + ".com\nhua.com" << QString()
                                                     << QStringList { u"hua.com"_s } << u"longer than 253 characters"_s;
        QTest::newRow("the window's own export, GBK")
            << gbkExport << QString() << QStringList { u"中文.com"_s, u"hua.com"_s } << QString();
        QTest::newRow("UTF-8 and GBK lines mixed")
            << "xin.cn\r\n" + gbkExport + u"中国.cn"_s.toUtf8() << QString()
            << QStringList { u"xin.cn"_s, u"中文.com"_s, u"hua.com"_s, u"中国.cn"_s } << QString();
        QTest::newRow("/dev/zero") << QByteArray() << u"/dev/zero"_s << QStringList() << u"NUL byte on line 1"_s;
        QTest::newRow("a NUL after a name") << QByteArray("hua.com\nxin", 11) + '\0' + "x.com\ntian.net\n"
                                            << QString() << QStringList { u"hua.com"_s } << u"NUL byte on line 2"_s;
    }

    // Standard input is read a line at a time in bounded memory, each line as UTF-8 or else GBK; what is not a
    // name is told and skipped, whatever its size.
    void stdinReadLineByLine()
    {
        QFETCH(QByteArray, input);
        QFETCH(QString, inputFile);
        QFETCH(QStringList, domains);
        QFETCH(QString, told);
        const Finished run = program(u"lookup --rate 1000 --no-history"_s, input, inputFile, BoundedMemory);
        QCOMPARE(run.exitCode, told.isEmpty() ? 0 : 1);
        QStringList looked;
        for (const QStringList &row : rowsOf(run.out)) {
            looked << row.value(0);
            QCOMPARE(row, sampleRow(row.value(0), "site"));
        }
        QCOMPARE(looked, domains);
        QVERIFY2(told.isEmpty() ? !run.err.contains(u"skipped"_s) : run.err.contains(told), qPrintable(run.err));
    }

    void retryAfterBeyondMaxWait_data()
    {
        QTest::addColumn<QString>("retryAfter");
        QTest::addColumn<QString>("options");
        QTest::addColumn<QString>("failure"); // empty: waited, then the page
        // Not on a boundary of the text: the date has whole seconds, so the wait is a little under it.
        const QString inThirtyHours = QLocale::c().toString(
            QDateTime::currentDateTimeUtc().addSecs(30 * 3600), u"ddd, dd MMM yyyy HH:mm:ss 'GMT'"_s);
        QTest::newRow("27 hours") << u"97200"_s << QString() << u"the site asks to wait 27 h"_s;
        QTest::newRow("more seconds than a century")
            << u"99999999999"_s << QString() << u"the site asks to wait more than 30 years"_s;
        QTest::newRow("a date in 30 hours") << inThirtyHours << QString() << u"the site asks to wait 30 h"_s;
        QTest::newRow("121 s, over the default") << u"121"_s << QString() << u"the site asks to wait 121 s"_s;
        QTest::newRow("9 s over --max-wait 8s") << u"9"_s << u"--max-wait 8s"_s << u"the site asks to wait 9 s"_s;
        QTest::newRow("90 s over --max-wait 1m") << u"90"_s << u"--max-wait 1m"_s << u"the site asks to wait 90 s"_s;
        QTest::newRow("1 s within --max-wait 1") << u"1"_s << u"--max-wait 1"_s << QString();
    }

    // A site asking to wait longer than --max-wait fails that request at once, with the reason; the other domains
    // of the host go on. A shorter wait is waited.
    void retryAfterBeyondMaxWait()
    {
        QFETCH(QString, retryAfter);
        QFETCH(QString, options);
        QFETCH(QString, failure);
        const std::string limited = backorderTarget(u"hua.com"_s);
        FakeSite::Reply tooMany = FakeSite::Reply::utf8Html("<html>slow down</html>", 429);
        tooMany.headers.emplace_back("Retry-After", retryAfter.toStdString());
        m_site->setReply(limited, tooMany);
        // Only the first answer is 429: the observer runs before a request is answered.
        auto asked = std::make_shared<std::atomic<int>>(0);
        m_site->setRequestObserver([this, limited, asked](const LoopbackServer::LoggedRequest &request) {
            if (request.target == limited && ++*asked == 2)
                m_site->setFault(limited, Fault::None);
        });
        const Finished run = program(u"lookup --no-history --rate 50 hua.com xin.cn "_s + options);
        m_site->setRequestObserver({});
        QCOMPARE(run.exitCode, failure.isEmpty() ? 0 : 1);
        QList<QStringList> expected { sampleRow(u"hua.com"_s, "site"), sampleRow(u"xin.cn"_s, "site") };
        if (!failure.isEmpty()) {
            for (int column = 1; column <= 7; ++column)
                expected[0][column].clear();
            for (int column = 12; column < expected[0].size(); ++column)
                expected[0][column].clear();
            expected[0][11] = u"backorder page: "_s + failure;
        }
        QCOMPARE(rowsOf(run.out), expected);
        QCOMPARE(m_site->requestCount(limited), failure.isEmpty() ? 2 : 1);
    }

    void redirectToNoWebPageIsFinal_data()
    {
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("scheme");
        QTest::newRow("file") << u"file:///etc/passwd"_s << u"file"_s;
        QTest::newRow("ftp") << u"ftp://127.0.0.1/backorder/hua.com"_s << u"ftp"_s;
        QTest::newRow("data") << u"data:text/html,<p>hua.com</p>"_s << u"data"_s;
    }

    // Asked once, never again: the answer would lead there again.
    void redirectToNoWebPageIsFinal()
    {
        QFETCH(QString, location);
        QFETCH(QString, scheme);
        FakeSite::Reply redirect = FakeSite::Reply::utf8Html("<html>moved</html>", 302);
        redirect.headers.emplace_back("Location", location.toStdString());
        m_site->setReply(backorderTarget(u"hua.com"_s), redirect);
        const Finished run = program(u"lookup --no-history --rate 50 hua.com"_s);
        QCOMPARE(run.exitCode, 1);
        const QList<QStringList> rows = rowsOf(run.out);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].value(11), u"backorder page: a redirect to a %1: address, which is no web page"_s.arg(scheme));
        QCOMPARE(m_site->requestCount(backorderTarget(u"hua.com"_s)), 1);
    }

    // Two sites whose pages all redirect to a third: that one gets no more than --rate a second from both together.
    void redirectsCountAtTheHostReached()
    {
        std::mutex mutex;
        std::vector<QElapsedTimer> arrivals;
        FakeSite icpSite;
        FakeSite reached;
        QVERIFY(icpSite.start() && reached.start());
        reached.setRequestObserver([&](const LoopbackServer::LoggedRequest &) {
            std::lock_guard<std::mutex> lock(mutex);
            arrivals.emplace_back().start();
        });
        const QStringList domains = sampleNames(1).mid(0, 4);
        for (const QString &domain : domains) {
            for (auto [site, target] :
                { std::pair(m_site.get(), backorderTarget(domain)), std::pair(&icpSite, icpTarget(domain)) }) {
                FakeSite::Reply redirect = FakeSite::Reply::utf8Html("<html>moved</html>", 302);
                redirect.headers.emplace_back("Location", reached.url() + target);
                site->setReply(target, redirect);
            }
        }
        const Finished run = program(u"lookup --no-history --rate 2 --icp-url "_s
            + QString::fromStdString(icpSite.url()) + u' ' + domains.join(u' '));
        QCOMPARE(run.exitCode, 0);
        QList<QStringList> expected;
        for (const QString &domain : domains)
            expected << sampleRow(domain, "site");
        QCOMPARE(rowsOf(run.out), expected);
        std::lock_guard<std::mutex> lock(mutex);
        QCOMPARE(int(arrivals.size()), 2 * domains.size());
        // Started later, a timer has less elapsed: of any three in a row the first came a second before the last.
        for (size_t i = 0; i + 2 < arrivals.size(); ++i)
            QVERIFY2(arrivals[i].elapsed() - arrivals[i + 2].elapsed() >= 1000, qPrintable(QString::number(i)));
    }

    void appraiseWrites_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<QString>("summary");
        QTest::newRow("text, names given")
            << u"8888.com XN--FIQS8S.COM fangan.cn"_s << QByteArray()
            << u"8888.com\tNNNN\t纯数字 四数字 AAAA 无4 无04\t\nXN--FIQS8S.COM\tHH\t中文 两字\t\n"
               u"fangan.cn\tLLLLLL\t纯字母 六字母 双拼\tfang'an\n"_s.toUtf8()
            << u"appraise: 3 names"_s;
        QTest::newRow("csv from stdin")
            << u"--format csv"_s
            << QByteArray("\xef\xbb\xbf"
                          "51job.com\r\n\r\n  a-b.net \n")
            << u"\ufeffdomain,label,suffix,length,shape,tags,pinyin\r\n"
               u"51job.com,51job,.com,5,NNLLL,杂米 五杂,\r\na-b.net,a-b,.net,3,L-L,含横杠,\r\n"_s.toUtf8()
            << u"appraise: 2 names"_s;
        QTest::newRow("json, filtered")
            << u"--format json --tag 双拼 --not-tag 英文单词 --pattern CVVCVV taobao.com shanghai.cn zhongguo.cn"_s
            << QByteArray()
            << u"{\"domain\":\"taobao.com\",\"label\":\"taobao\",\"suffix\":\".com\",\"length\":6,"
               u"\"shape\":\"LLLLLL\",\"tags\":[\"纯字母\",\"六字母\",\"双拼\"],\"pinyin\":\"tao'bao\"}\n"_s.toUtf8()
            << u"appraise: 1 of 3 names through the filter"_s;
    }

    // Rows in the order given, nothing fetched and no history made.
    void appraiseWrites()
    {
        QFETCH(QString, arguments);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, expected);
        QFETCH(QString, summary);
        const Finished run = program(u"appraise "_s + arguments, input);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, expected);
        QCOMPARE(run.err, summary + u'\n');
        QVERIFY(m_site->requests().empty());
        QVERIFY(!QDir(dataDir()).exists());
    }

    void unusableHistory_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("commandLine");
        for (const char *kind : { "read-only", "corrupt", "newer" }) {
            for (const char *command : { "collect --pages 1", "lookup hua.com", "history" })
                QTest::addRow("%s, %s", kind, command) << QString::fromLatin1(kind) << QString::fromLatin1(command);
        }
    }

    // Exit code 3, nothing fetched, the file left as it was; --no-history runs all the same.
    void unusableHistory()
    {
        QFETCH(QString, kind);
        QFETCH(QString, commandLine);
        QString folder = dataDir();
        const QString file = HistoryStore::filePath(folder);
        QVERIFY(QDir().mkpath(folder));
        if (kind == u"newer"_s) {
            QVERIFY(HistoryStore().open(file));
            QCOMPARE(SqlConnection(file).run({ u"PRAGMA user_version = 99"_s }), QString());
        } else {
            QByteArray bytes;
            for (int i = 0; kind == u"corrupt"_s && i < 4096; ++i)
                bytes += char((i * 7919 + 13) % 251);
            QVERIFY(writeFile(file, bytes));
            if (kind == u"read-only"_s)
                folder = file + u"/below"_s; // its folder cannot be made
        }
        const QByteArray bytes = readFile(file);
        const Finished run = program(commandLine + u" --data-dir "_s + folder);
        QCOMPARE(run.exitCode, 3);
        QCOMPARE(run.out, QByteArray());
        QVERIFY2(run.err.contains(u"the history cannot be used"_s), qPrintable(run.err));
        QVERIFY(m_site->requests().empty());
        QCOMPARE(readFile(file), bytes);
        if (commandLine != u"history"_s) {
            const Finished without = program(commandLine + u" --no-history --data-dir "_s + folder);
            QCOMPARE(without.exitCode, 0);
            QVERIFY(!without.out.isEmpty());
        }
    }

    // Watches kept, listed and removed; every recorded run tests the names it saw first, so a name is a watch's
    // match once, however often runs see it again.
    void watchesMatchFirstSightings()
    {
        const QString hook = QString::fromStdString(m_site->url()) + u"/a?x=1"_s;
        QCOMPARE(program(u"watch add 双拼 --tag 双拼 --webhook-format feishu --webhook "_s + hook).exitCode, 0);
        QCOMPARE(program(u"watch add 短名 --max-length 3 --suffix .com -q"_s).exitCode, 0);
        const Finished taken = program(u"watch add 双拼 --tag 三声母"_s);
        QCOMPARE(taken.exitCode, 2);
        QVERIFY2(taken.err.contains(u"there is a watch named \"双拼\" already"_s), qPrintable(taken.err));

        QCOMPARE(program(u"collect --pages 1 -q"_s).exitCode, 0);
        const QStringList first = matchesOf(sampleNames(1), u"tag=双拼"_s);
        QVERIFY(!first.isEmpty());
        QCOMPARE(program(u"watch show 双拼"_s).out, lines(first));
        // Page 1 again, and page 2: only what page 2 brought first is new.
        QCOMPARE(program(u"collect --pages 2 -q"_s).exitCode, 0);
        QStringList second = sampleNames(2);
        second.removeIf([](const QString &name) { return sampleNames(1).contains(name); });
        const QStringList both = matchesOf(second, u"tag=双拼"_s) + first;
        QVERIFY(both.size() > first.size());
        QCOMPARE(program(u"watch show 双拼"_s).out, lines(both));
        // A feishu robot's text message after each run.
        QCOMPARE(m_site->posts().size(), std::size_t(2));
        const QJsonObject message = QJsonDocument::fromJson(QByteArray::fromStdString(m_site->posts().back().body)).object();
        QCOMPARE(message.value(u"msg_type"_s).toString(), u"text"_s);
        QVERIFY(message.value(u"content"_s).toObject().value(u"text"_s).toString().startsWith(
            u"关注「双拼」：%1 个新域名\n"_s.arg(both.size() - first.size())));
        QCOMPARE(program(u"watch show 双拼 --since "_s + QDate::currentDate().addDays(1).toString(Qt::ISODate)).out,
            QByteArray());

        const auto listed = [this] {
            QStringList rows;
            for (const QByteArray &line : program(u"watch list --format json"_s).out.split('\n')) {
                const QJsonObject row = QJsonDocument::fromJson(line).object();
                if (row.isEmpty())
                    continue;
                const bool created = QDateTime::fromString(row.value(u"created"_s).toString(), Qt::ISODate).isValid();
                rows << QStringList { row.value(u"name"_s).toString(),
                    row.value(u"filter"_s).toVariant().toStringList().join(u' '), row.value(u"webhook"_s).toString(),
                    row.value(u"webhook_format"_s).toString(), QString::number(row.value(u"matches_today"_s).toInt()),
                    created ? u"made"_s : u"no time"_s }
                            .join(u'|');
            }
            return rows;
        };
        const auto shortOnes = matchesOf(sampleNames(1, 2), u"max=3;suffix=.com"_s).size();
        QCOMPARE(listed(),
            QStringList({ u"双拼|--tag 双拼|%1|feishu|%2|made"_s.arg(hook).arg(both.size()),
                u"短名|--suffix .com --max-length 3|||%1|made"_s.arg(shortOnes) }));
        QCOMPARE(program(u"watch remove 短名"_s).exitCode, 0);
        const Finished gone = program(u"watch remove 短名"_s);
        QCOMPARE(gone.exitCode, 2);
        QVERIFY2(gone.err.contains(u"there is no watch named \"短名\""_s), qPrintable(gone.err));
        QCOMPARE(program(u"watch show 短名"_s).exitCode, 2);
        QCOMPARE(listed().size(), 1);
    }

    // After a run, each watch with new matches goes to its webhook once; a run killed half-way sends nothing, and
    // the next run sends only what it saw first. A webhook that keeps failing is told and makes the exit code 1;
    // without a session bus, --notify says once that the desktop cannot be told, and nothing else changes.
    void watchAlertsAfterTheRun_data()
    {
        QTest::addColumn<bool>("webhookFails");
        QTest::newRow("the webhook takes them") << false;
        QTest::newRow("the webhook answers 500") << true;
    }

    void watchAlertsAfterTheRun()
    {
        QFETCH(bool, webhookFails);
        const QString hook = QString::fromStdString(m_site->url()) + u"/hook"_s;
        QCOMPARE(program(u"watch add 字母 --kind letters --webhook "_s + hook).exitCode, 0);
        if (webhookFails)
            m_site->setFault("/hook", Fault::ServerError);
        m_site->hold(pageTarget(3));
        QProcess killed;
        start(killed, u"collect --pages 3"_s);
        QVERIFY(m_site->waitUntilRequested(pageTarget(3), 20s));
        // Killed once page 2 is in the history (staged, if not yet filed).
        QTRY_COMPARE_WITH_TIMEOUT(SqlConnection(HistoryStore::filePath(dataDir()))
                                      .column(u"SELECT (SELECT count(*) FROM staged_pages WHERE page = 2)"
                                              " + (SELECT count(DISTINCT run) FROM sightings WHERE page = 2)"_s),
            QStringList { u"1"_s }, 20000);
        ::kill(pid_t(killed.processId()), SIGKILL);
        QVERIFY(killed.waitForFinished(10000));
        m_site->release(pageTarget(3));
        QVERIFY(m_site->posts().empty());

        const Finished again = program(u"collect --pages 3 --notify"_s, {}, {}, false, { u"DBUS_SESSION_BUS_ADDRESS"_s });
        QCOMPARE(again.exitCode, webhookFails ? 1 : 0);
        QCOMPARE(again.err.count(u"the desktop's notifications cannot be shown"_s), 1);
        QCOMPARE(again.err.contains(u"the webhook of the watch \"字母\" failed: the webhook answered 500 three times"_s),
            webhookFails);
        const std::vector<FakeSite::Post> posts = m_site->posts();
        QCOMPARE(posts.size(), std::size_t(webhookFails ? 3 : 1));
        QCOMPARE(posts.back().contentType, "application/json");
        const QJsonObject body = QJsonDocument::fromJson(QByteArray::fromStdString(posts.back().body)).object();
        QCOMPARE(body.value(u"watch"_s).toString(), u"字母"_s);
        QCOMPARE(body.value(u"run"_s).toObject().value(u"pages"_s).toInt(), 3);
        QStringList sent;
        for (const QJsonValue &name : body.value(u"names"_s).toArray())
            sent << name.toObject().value(u"domain"_s).toString();
        // What page 3 brought first, and nothing the killed run saw.
        QStringList expected = sampleNames(3);
        expected.removeDuplicates();
        expected.removeIf([](const QString &name) {
            return sampleNames(1, 2).contains(name) || kindOf(splitDomain(name).label) != NameKind::LettersOnly;
        });
        QCOMPARE(program(u"watch show 字母"_s).out.count('\n'),
            qsizetype(matchesOf(sampleNames(1, 3), u"kind=letters"_s).size()));
        QVERIFY(!expected.isEmpty());
        QCOMPARE(sent, expected);
    }

    // Every answer 429: each lookup failed and counted after every attempt allowed, never faster than the rate.
    void everyRequestRateLimited()
    {
        const QStringList domains { u"hua.com"_s, u"xin.cn"_s, u"tian.net"_s };
        FakeSite::Reply tooMany = FakeSite::Reply::utf8Html("<html>slow down</html>", 429);
        tooMany.headers.emplace_back("Retry-After", "0");
        for (const QString &domain : domains) {
            m_site->setReply(backorderTarget(domain), tooMany);
            m_site->setReply(icpTarget(domain), tooMany);
        }
        QElapsedTimer clock;
        clock.start();
        const Finished run = program(u"lookup --rate=40 "_s + domains.join(u' '));
        const qint64 elapsedMs = clock.elapsed();
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(u"3 failed"_s), qPrintable(run.err));
        const QList<QStringList> rows = rowsOf(run.out);
        QCOMPARE(rows.size(), 3);
        for (const QStringList &row : rows)
            QCOMPARE(row.mid(8, 4),
                QStringList({ u"failed"_s, QString(), u"site"_s, u"backorder page: HTTP 429; ICP: HTTP 429"_s }));
        for (const QString &domain : domains) {
            QCOMPARE(m_site->requestCount(backorderTarget(domain)), 5);
            QCOMPARE(m_site->requestCount(icpTarget(domain)), 5);
        }
        QVERIFY2(elapsedMs >= 29 * 1000 / 40, qPrintable(QString::number(elapsedMs)));
    }

    // Ctrl-C: the pages finished so far are on stdout and in the history, the run marked stopped.
    void interruptedCollect()
    {
        m_site->setLatency(100ms);
        QProcess process;
        start(process, u"collect --pages 200"_s);
        QByteArray out;
        while (out.size() < 1000 && process.waitForReadyRead(10000))
            out += process.readAllStandardOutput();
        ::kill(pid_t(process.processId()), SIGINT);
        QVERIFY(process.waitForFinished(10000));
        out += process.readAllStandardOutput();
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 130);
        const int pages = int(out.count('\n')) / SampleMarket::RowsPerPage;
        QVERIFY(pages >= 2 && pages < 20);
        QCOMPARE(out, lines(sampleNames(1, pages)));
        HistoryStore store;
        QVERIFY(store.open(HistoryStore::filePath(dataDir())));
        const QList<HistoryStore::RunSummary> runs = store.runsBetween(QDateTime(), QDateTime());
        QCOMPARE(runs.size(), 1);
        QVERIFY(runs[0].stopped && runs[0].ended.isValid());
        QCOMPARE(store.namesOfRun(runs[0].id), sampleNames(1, pages));
    }

    // On a terminal the progress line is rewritten in place, and the summary takes its place.
    void progressOnTerminal()
    {
        Terminal terminal;
        QVERIFY(!terminal.path.isEmpty());
        QProcess process;
        process.setStandardErrorFile(terminal.path);
        start(process, u"collect --pages 3 --no-history"_s);
        QVERIFY(process.waitForFinished(20000));
        QByteArray err(4096, '\0');
        err.resize(std::max<ssize_t>(0, ::read(terminal.master, err.data(), size_t(err.size()))));
        QVERIFY2(
            err.contains("\r\x1b[Kpage 3/3 · 150 names · 0 failed\r\x1b[Kcollect: 3 of 3 pages, 150 names\r\n"), err);
    }

    void usage_data()
    {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("mentioned"); // on stdout for 0, on stderr for 2
        const auto row = [](const char *name, const char *commandLine, int exitCode, const char *mentioned) {
            QTest::newRow(name) << QString::fromUtf8(commandLine) << exitCode << QString::fromUtf8(mentioned);
        };
        row("collect --help", "collect --help", 0, "Usage: vexlon-collector collect [options]|--pages|--no-history");
        row("lookup --help", "lookup -h", 0, "Usage: vexlon-collector lookup|--max-age|--rate|--at-once|--refresh");
        row("history --help", "history --help", 0,
            "Usage: vexlon-collector history|--days|--since|--new|--suffix|--tag|--not-tag|--pattern|无04|V (a vowel)");
        row("the window's --help", "--help", 0, "collect --pages|lookup [DOMAIN...]|history [--days|appraise [DOMAIN");
        row("appraise --help", "appraise --help", 0,
            "Usage: vexlon-collector appraise [options] [DOMAIN...]|--tag|无04");
        row("appraise takes no site options", "appraise --market-url http://market.test a.com", 2, "market-url");
        row("appraise, no domains, stdin a terminal", "appraise", 2, "no domains");
        row("appraise, a bad pattern", "appraise --pattern NNX 88x.com", 2, "\"X\"");
        row("watch --help", "watch --help", 0, "watch add NAME|--webhook|--webhook-format|--min-years|--tag");
        row("watch, no action", "watch", 2, "add, list, remove or show");
        row("watch, unknown action", "watch edit x", 2, "\"edit\"");
        row("watch add, no name", "watch add", 2, "which watch");
        row("watch add, an empty name", "watch add '' --tag 双拼", 2, "must not be empty");
        row("watch add, a name of 65", qPrintable(u"watch add %1 --tag 双拼"_s.arg(QString(65, u'名'))), 2, "at most 64");
        row("watch add, no filter", "watch add all", 2, "would match every name");
        row("watch add, a webhook not http", "watch add w --tag 双拼 --webhook file:///etc/passwd", 2, "no http or https");
        row("watch add, a format without a webhook", "watch add w --tag 双拼 --webhook-format dingtalk", 2, "without --webhook");
        row("watch add, an unknown format", "watch add w --tag 双拼 --webhook http://h.test/ --webhook-format slack", 2,
            "\"slack\" is none of generic, dingtalk, feishu, wecom");
        row("watch list, a stray name", "watch list w", 2, "unexpected argument: w");
        row("watch show, --webhook", "watch show w --webhook http://h.test/", 2, "is for watch add");
        row("unknown option", "collect --pages 1 --nope", 2, "nope");
        row("no pages", "collect", 2, "--pages");
        row("pages backwards", "collect --pages 5-2", 2, "5-2");
        row("page 0", "collect --pages 0", 2, "\"0\"");
        row("page past the last", "collect --pages 40000", 2, "40000");
        row("stray argument", "collect --pages 1 more", 2, "more");
        row("unknown format", "collect --pages 1 --format xml", 2, "xml");
        row("invalid regex", "history --regex a(b", 2, "--regex");
        row("unknown kind", "history --kind vowels", 2, "vowels");
        row("unknown tag", "history --tag 七声母", 2, "\"七声母\" is no tag|纯数字 纯字母|双拼|AABB");
        row("unknown excluded tag", "collect --pages 1 --not-tag ABC", 2, "--not-tag: \"ABC\"");
        row("bad pattern character", "history --pattern CVX", 2, "\"X\"|C (a consonant), V (a vowel)");
        row("zero length", "history --min-length 0", 2, "--min-length");
        row("lengths crossed", "history --min-length 5 --max-length 3", 2, "--max-length");
        row("days and since", "history --days 1 --since 2024-01-01", 2, "--since");
        row("since no date", "history --since yesterday", 2, "yesterday");
        row("days past a century", "history --days 36601", 2, "\"36601\" is no number of days from 1 to 36600");
        row("history keeps no history", "history --no-history", 2, "no-history");
        row("age in weeks", "lookup --max-age 5w a.com", 2, "5w");
        row("rate 0", "lookup --rate 0 a.com", 2, "--rate");
        row("none at once", "lookup --at-once 0 a.com", 2, "--at-once");
        row("no domains, stdin a terminal", "lookup", 2, "no domains");
        row("relative market URL", "lookup --market-url market.test a.com", 2, "market.test");
        row("empty data folder", "lookup --data-dir '' a.com", 2, "--data-dir: the value is empty");
        row("empty market URL", "collect --pages 1 --market-url ''", 2, "--market-url");
        row("empty suffix", "history --suffix=", 2, "--suffix: the value is empty");
        row("empty exclude among others", "history --exclude a --exclude ''", 2, "--exclude: the value is empty");
        row("empty format", "collect --pages 1 --format=", 2, "--format");
        const char *rateBounds = "from one request a day (0.0000115741) to 1000 requests a second";
        row("rate below one a day", "lookup --rate 0.00001 a.com", 2, rateBounds);
        row("rate above one a millisecond", "lookup --rate 1001 a.com", 2, rateBounds);
        row("rate of 1e9", "lookup --rate 1e9 a.com", 2, rateBounds);
        row("rate not a number", "lookup --rate nan a.com", 2, rateBounds);
        row("max wait in weeks", "lookup --max-wait 2w a.com", 2, "--max-wait: \"2w\"");
        row("negative years", "lookup --min-years -1 a.com", 2, "--min-years: \"-1\" is no number of years");
        row("years not a number", "lookup --max-years old a.com", 2, "--max-years: \"old\"");
        row("years the wrong way round", "lookup --min-years 5 --max-years 2 a.com", 2,
            "--min-years 5 is more than --max-years 2");
        row("lookup --help tells the other suffixes", "lookup --help", 0,
            "--other-suffixes|--dns-server|--dns-rate|taken_elsewhere|not in DNS");
        row("a suffix with a blank", "lookup --other-suffixes com,c\xc2\xa0n a.com", 2, "--other-suffixes");
        row("an empty suffix", "lookup --other-suffixes com,,net a.com", 2, "--other-suffixes");
        row("a DNS server by name", "lookup --dns-server dns.example:53 a.com", 2, "--dns-server: \"dns.example:53\"");
        row("a DNS port out of range", "lookup --dns-server 127.0.0.1:65536 a.com", 2, "--dns-server");
        row("no DNS queries a second", "lookup --dns-rate 0 a.com", 2, "--dns-rate");
        row("DNS queries half a second", "lookup --dns-rate 2.5 a.com", 2, "--dns-rate");
    }

    // Help on stdout; a refusal on stderr before anything is fetched or stored.
    void usage()
    {
        QFETCH(QString, commandLine);
        QFETCH(int, exitCode);
        QFETCH(QString, mentioned);
        Terminal terminal;
        const Finished run = program(commandLine, {}, terminal.path);
        QCOMPARE(run.exitCode, exitCode);
        const QString out = QString::fromUtf8(run.out);
        for (const QString &text : mentioned.split(u'|'))
            QVERIFY2((exitCode == 0 ? out : run.err).contains(text), qPrintable(text + u'\n' + out + run.err));
        // Only appraise takes neither the sites nor the history.
        QVERIFY2(exitCode == 0 ? out.contains(u"--data-dir"_s) != commandLine.startsWith(u"appraise"_s)
                               : out.isEmpty() && run.err.contains(u"--help"_s),
            qPrintable(out + run.err));
        QVERIFY(m_site->requests().empty());
        QVERIFY(!QDir(dataDir()).exists());
        QVERIFY(!QDir(m_dir.filePath(u"user-data"_s)).exists());
    }

private:
    QString dataDir() const { return m_dir.filePath(u"data"_s); }

    // The command line's words ('' for an empty one) after the program's sites and history folder, which it may
    // override. No display
    // (not even for the window's help), a locale that is not UTF-8, and times in UTC.
    void start(QProcess &process, const QString &commandLine, const QStringList &unset = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString &name : QStringList { u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s } + unset)
            environment.remove(name);
        environment.insert(u"LC_ALL"_s, u"C"_s);
        environment.insert(u"TZ"_s, u"UTC"_s);
        // Where the user's own history would go: never the real one.
        environment.insert(u"XDG_DATA_HOME"_s, m_dir.filePath(u"user-data"_s));
        process.setProcessEnvironment(environment);
        const QString url = QString::fromStdString(m_site->url());
        QStringList words = commandLine.split(u' ');
        for (QString &word : words) {
            if (word == u"''"_s)
                word.clear();
        }
        const qsizetype command = words.constFirst().startsWith(u'-') ? 0 : 1;
        const QStringList shared = words.constFirst() == u"appraise"_s
            ? QStringList()
            : QStringList { u"--market-url"_s, url, u"--icp-url"_s, url, u"--data-dir"_s, dataDir() };
        process.start(QCoreApplication::applicationDirPath() + u"/vexlon-collector"_s,
            words.mid(0, command) + shared + words.mid(command));
    }

    static constexpr bool BoundedMemory = true;

    // stdin: the input, or the file at stdinPath (a terminal) when one is given. With bounded memory the program
    // may take 1 GiB of address space (not under AddressSanitizer, which reserves terabytes).
    Finished program(const QString &commandLine, const QByteArray &input = {}, const QString &stdinPath = {},
        bool boundedMemory = false, const QStringList &unset = {})
    {
        QProcess process;
        if (!stdinPath.isEmpty())
            process.setStandardInputFile(stdinPath);
        if (boundedMemory && !UnderAddressSanitizer) {
            process.setChildProcessModifier([] {
                const rlimit limit { 1ULL << 30, 1ULL << 30 };
                ::setrlimit(RLIMIT_AS, &limit);
            });
        }
        start(process, commandLine, unset);
        if (stdinPath.isEmpty())
            process.write(input);
        process.closeWriteChannel();
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return {};
        return { process.exitCode(), process.readAllStandardOutput(),
            QString::fromUtf8(process.readAllStandardError()) };
    }

    std::unique_ptr<FakeSite> m_site;
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestCommands)
#include "tst_commands.moc"
