// The history file: what it keeps and gives back, files of older versions, and the files, places and
// locks that keep it from being used, none of which may cost a byte of the file.
#include "core/store/historystore.h"
#include "tests/sitetest.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString Market = u"http://market.test"_s;

QDateTime at(int day, int minute = 0)
{
    return QDateTime(QDate(2024, 3, day), QTime(8, 0), Qt::UTC).addSecs(minute * 60);
}

// The history's first layout: the domain's text in each sighting, no table of names.
const QStringList FirstLayout = { u"PRAGMA application_id = %1"_s.arg(0x56584C4E), u"PRAGMA user_version = 1"_s,
    u"CREATE TABLE runs (id INTEGER PRIMARY KEY, market_url TEXT NOT NULL, started INTEGER NOT NULL, ended INTEGER,"
    " first_page INTEGER NOT NULL, last_page INTEGER NOT NULL, pages_failed INTEGER NOT NULL DEFAULT 0,"
    " stopped INTEGER NOT NULL DEFAULT 0)"_s,
    u"CREATE INDEX runs_started ON runs (started)"_s,
    u"CREATE TABLE sightings (id INTEGER PRIMARY KEY, run INTEGER NOT NULL REFERENCES runs (id),"
    " domain TEXT NOT NULL, page INTEGER NOT NULL, position INTEGER NOT NULL, seen INTEGER NOT NULL)"_s,
    u"CREATE INDEX sightings_run ON sightings (run, page, position)"_s,
    u"CREATE INDEX sightings_domain ON sightings (domain, seen)"_s,
    u"CREATE TABLE lookups (id INTEGER PRIMARY KEY, domain TEXT NOT NULL, time INTEGER,"
    " backorder_read INTEGER NOT NULL, backorder_failure TEXT NOT NULL, backorder_page INTEGER NOT NULL,"
    " deletion_type TEXT NOT NULL, deletion_time TEXT NOT NULL, deadline TEXT NOT NULL, whois TEXT NOT NULL,"
    " whois_cut INTEGER NOT NULL, booking_closed INTEGER NOT NULL, platform TEXT NOT NULL, price TEXT NOT NULL,"
    " rmb TEXT NOT NULL, deposit TEXT NOT NULL, icp_state TEXT NOT NULL, licence TEXT NOT NULL,"
    " icp_failure TEXT NOT NULL)"_s,
    u"CREATE INDEX lookups_domain ON lookups (domain, time)"_s };

// The fourth layout: the current one without the whois facts of a lookup.
const QStringList FourthLayout = { u"PRAGMA application_id = %1"_s.arg(0x56584C4E), u"PRAGMA user_version = 4"_s,
    u"CREATE TABLE runs (id INTEGER PRIMARY KEY, market_url TEXT NOT NULL, started INTEGER NOT NULL, ended INTEGER,"
    " first_page INTEGER NOT NULL, last_page INTEGER NOT NULL, pages_failed INTEGER NOT NULL DEFAULT 0,"
    " stopped INTEGER NOT NULL DEFAULT 0)"_s,
    u"CREATE INDEX runs_started ON runs (started)"_s,
    u"CREATE TABLE domains (id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE, first_seen INTEGER NOT NULL)"_s,
    u"CREATE INDEX domains_first_seen ON domains (first_seen)"_s,
    u"CREATE TABLE sightings (id INTEGER PRIMARY KEY, run INTEGER NOT NULL REFERENCES runs (id),"
    " domain INTEGER NOT NULL REFERENCES domains (id), page INTEGER NOT NULL, position INTEGER NOT NULL,"
    " seen INTEGER NOT NULL)"_s,
    u"CREATE INDEX sightings_run ON sightings (run, page, position)"_s,
    u"CREATE INDEX sightings_domain ON sightings (domain, seen)"_s,
    u"CREATE INDEX sightings_seen ON sightings (seen)"_s,
    u"CREATE TABLE lookups (id INTEGER PRIMARY KEY, domain TEXT NOT NULL, time INTEGER,"
    " backorder_failure TEXT NOT NULL, backorder_page INTEGER NOT NULL,"
    " deletion_type TEXT NOT NULL, deletion_time TEXT NOT NULL, deadline TEXT NOT NULL, whois TEXT NOT NULL,"
    " whois_cut INTEGER NOT NULL, booking_closed INTEGER NOT NULL, platform TEXT NOT NULL, price TEXT NOT NULL,"
    " rmb TEXT NOT NULL, deposit TEXT NOT NULL, icp_state TEXT NOT NULL, licence TEXT NOT NULL,"
    " icp_failure TEXT NOT NULL)"_s,
    u"CREATE INDEX lookups_domain ON lookups (domain, time)"_s,
    u"CREATE TABLE staged_pages (id INTEGER PRIMARY KEY, run INTEGER NOT NULL REFERENCES runs (id),"
    " page INTEGER NOT NULL, names TEXT NOT NULL, seen INTEGER NOT NULL)"_s };

// The whois facts of a record: "created|expires|updated|registrar|statuses|name servers".
QString describe(const WhoisFacts &facts)
{
    return QStringList { facts.created.toString(Qt::ISODate), facts.expires.toString(Qt::ISODate),
        facts.updated.toString(Qt::ISODate), facts.registrar, facts.statuses.join(u' '), facts.nameServers.join(u' ') }
        .join(u'|');
}

QString openError(HistoryStore &store, const QString &path)
{
    QString error;
    store.open(path, &error);
    return error;
}

// A history with one finished run of 50 names a page.
bool makeStore(const QString &path, int pages = 3)
{
    HistoryStore store;
    const std::optional<qint64> run
        = openError(store, path).isEmpty() ? store.beginRun(Market, 1, pages, at(1)) : std::nullopt;
    for (int page = 1; run && page <= pages; ++page)
        store.recordPage(*run, page, numberedNames(u"n"_s, 50, page * 50), at(1, page));
    return run && store.endRun(*run, 0, false, at(1, pages + 1));
}

QString describe(const HistoryStore::RunSummary &run)
{
    return QStringList { QString::number(run.id), run.marketUrl, run.started.toString(Qt::ISODate),
        run.ended.toString(Qt::ISODate), QString::number(run.firstPage), QString::number(run.lastPage),
        QString::number(run.pagesFailed), run.stopped ? u"stopped"_s : QString() }
        .join(u' ');
}

// "b.com 1.8:00/2.8:00": the name, first and last seen (day of the month, time).
QStringList describe(const QList<HistoryStore::SeenName> &seen)
{
    QStringList lines;
    for (const HistoryStore::SeenName &name : seen)
        lines << name.domain + u' ' + name.firstSeen.toString(u"d.H:mm"_s) + u'/' + name.lastSeen.toString(u"d.H:mm"_s);
    return lines;
}

QString describe(const std::optional<LookupRecord> &record)
{
    if (!record)
        return u"none"_s;
    const BackorderPage &v = record->values;
    return QStringList { record->domain, record->time.toString(Qt::ISODateWithMs), record->backorderFailure,
        QString::number(v.isBackorderPage),
        v.deletionType, v.deletionTime, v.deadline, v.whois, QString::number(v.whoisCut),
        QString::number(v.bookingClosed), v.platform, v.price, v.rmb, v.deposit, QString::number(int(record->filing)),
        record->licence, record->icpFailure }
        .join(u" | ");
}

// kind: "filed", "not filed", "closed" (booking closed, not filed), "icp failed" or "page not read".
LookupRecord lookupOf(const QString &domain, int minute, const QString &kind)
{
    LookupRecord record;
    record.domain = domain;
    record.time = at(2, minute);
    const bool read = kind != u"page not read";
    record.backorderFailure = read ? QString() : u"连接超时"_s;
    if (read) {
        record.values = { true, u"即将删除"_s, u"2024-03-0%1"_s.arg(minute % 10), u"2024-03-09 12:00"_s,
            u"Domain Name: %1\nRegistrar: 某某网络\n"_s.arg(domain), minute == 2, kind == u"closed", u"A平台"_s,
            QString::number(60 + minute), u"￥68"_s, u"10"_s };
    }
    record.filing = kind == u"filed" ? IcpFiling::Filed
        : kind == u"icp failed"      ? IcpFiling::Unknown
                                     : IcpFiling::NotFiled;
    record.licence = record.filing == IcpFiling::Filed ? u"京ICP备%1号-1"_s.arg(minute) : QString();
    record.icpFailure = record.filing == IcpFiling::Unknown ? u"HTTP 429"_s : QString();
    return record;
}

} // namespace

class TestHistoryStore : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir.emplace();
        QVERIFY(m_dir->isValid());
        m_path = m_dir->filePath(u"h.sqlite"_s);
    }

    void filePath()
    {
        QCOMPARE(HistoryStore::filePath(u"/data/x"_s), u"/data/x/history.sqlite"_s);
        QCoreApplication::setApplicationName(u"vexlon-collector"_s);
        QCOMPARE(HistoryStore::filePath(),
            QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + u"/history.sqlite"_s);
    }

    // A second store sees every page while the first is still writing, also one only staged, as by a program
    // killed before filing it; whatever a page's names hold comes back as it was.
    void runsAndPages()
    {
        const QString odd = u"\"q\\u0041\t\x01\x7f\U0001D7D8\".com"_s;
        const QString path = m_dir->filePath(u"not yet/there/history.sqlite"_s);
        HistoryStore store;
        QCOMPARE(openError(store, path), QString());
        const std::optional<qint64> first = store.beginRun(Market, 1, 3, at(1));
        QVERIFY(first);
        QVERIFY(store.recordPage(*first, 1, { u"a.com"_s, u"b.cn"_s }, at(1, 1)));
        QVERIFY(store.recordPage(*first, 3, { u"中文.中国"_s }, at(1, 3)));
        QVERIFY(store.recordPage(*first, 2, { u"b.cn"_s, u"c.net"_s }, at(1, 2)));
        QVERIFY(store.endRun(*first, 1, true, at(1, 4)));
        const std::optional<qint64> second = store.beginRun(Market + u"/x"_s, 5, 9, at(2));
        QVERIFY(second);
        QVERIFY(store.recordPage(*second, 5, { u"d.com"_s }, at(2, 1)));
        QVERIFY(store.stagePages({ { *second, 6, { u"e.com"_s, u"a.com"_s, odd }, at(2, 2) } }));
        QVERIFY(!store.endRun(*second + 1, 0, false));
        HistoryStore other;
        QCOMPARE(openError(other, path), QString());
        QCOMPARE(
            other.namesOfRun(*first), (QStringList { u"a.com"_s, u"b.cn"_s, u"b.cn"_s, u"c.net"_s, u"中文.中国"_s }));
        QCOMPARE(other.namesOfRun(*second), (QStringList { u"d.com"_s, u"e.com"_s, u"a.com"_s, odd }));
        QStringList newSinceSecondRun;
        for (const HistoryStore::SeenName &seen : other.namesSeenSince(at(2), true))
            newSinceSecondRun << seen.domain;
        QCOMPARE(newSinceSecondRun, (QStringList { u"d.com"_s, u"e.com"_s, odd }));
        const QList<HistoryStore::RunSummary> runs = other.runsBetween({}, {});
        QCOMPARE(runs.size(), 2);
        QCOMPARE(describe(runs[0]), describe({ *first, Market, at(1), at(1, 4), 1, 3, 1, true }));
        QCOMPARE(describe(runs[1]), describe({ *second, Market + u"/x"_s, at(2), {}, 5, 9, 0, false }));
        QCOMPARE(other.runsBetween(at(1, 1), at(2)).size(), 1);
        QCOMPARE(SqlConnection(path).run({ u"PRAGMA journal_mode"_s }), u"wal"_s);
    }

    void namesSeenSince_data()
    {
        QTest::addColumn<QDateTime>("since");
        QTest::addColumn<bool>("newOnly");
        QTest::addColumn<QStringList>("seen");
        const QString a = u"a.com 1.8:00/1.8:00"_s, b = u"b.com 1.8:00/2.8:00"_s, c = u"c.com 1.8:01/1.8:01"_s,
                      d = u"d.com 2.8:00/3.8:00"_s, e = u"e.com 3.8:00/3.8:00"_s;
        QTest::newRow("everything, first seen first") << at(1) << false << QStringList { a, b, c, d, e };
        QTest::newRow("seen since the second day") << at(2) << false << QStringList { b, d, e };
        QTest::newRow("new since the second day") << at(2) << true << QStringList { d, e };
        QTest::newRow("new since just after a sighting") << at(2, 1) << true << QStringList { e };
        QTest::newRow("seen since after the last sighting") << at(3, 1) << false << QStringList();
    }

    void namesSeenSince()
    {
        QFETCH(QDateTime, since);
        QFETCH(bool, newOnly);
        QFETCH(QStringList, seen);
        HistoryStore store;
        QCOMPARE(openError(store, m_path), QString());
        const QList<QList<QStringList>> days = { { { u"a.com"_s, u"b.com"_s }, { u"c.com"_s } },
            { { u"b.com"_s, u"d.com"_s } }, { { u"d.com"_s, u"e.com"_s } } };
        // The third day before the second: first and last seen are the earliest and latest sightings.
        for (const int day : { 1, 3, 2 }) {
            const std::optional<qint64> run = store.beginRun(Market, 1, 2, at(day));
            for (int page = 1; run && page <= days[day - 1].size(); ++page)
                QVERIFY(store.recordPage(*run, page, days[day - 1][page - 1], at(day, page - 1)));
        }
        QVERIFY(store.recordLookup(lookupOf(u"looked-up.com"_s, 0, u"filed"_s)));
        QCOMPARE(describe(store.namesSeenSince(since, newOnly)), seen);
    }

    void latestAnsweredLookup_data()
    {
        QTest::addColumn<QStringList>("lookups"); // as recorded, each "kind@minute"
        QTest::addColumn<int>("answer"); // the record given back, -1 for none
        QTest::newRow("booking closed") << QStringList { u"closed@1"_s } << 0;
        // Also what a filed answer with its licence and a not filed one keep.
        QTest::newRow("a failed ICP answer is none") << QStringList { u"filed@1"_s, u"icp failed@2"_s } << 0;
        QTest::newRow("an unread page is none") << QStringList { u"not filed@1"_s, u"page not read@2"_s } << 0;
        QTest::newRow("only failures") << QStringList { u"icp failed@1"_s, u"page not read@2"_s } << -1;
        QTest::newRow("newest by time, not by writing") << QStringList { u"filed@5"_s, u"not filed@3"_s } << 0;
    }

    void latestAnsweredLookup()
    {
        QFETCH(QStringList, lookups);
        QFETCH(int, answer);
        HistoryStore store;
        QCOMPARE(openError(store, m_path), QString());
        QList<LookupRecord> records;
        for (const QString &lookup : lookups) {
            records << lookupOf(u"域名.com"_s, lookup.section(u'@', 1).toInt(), lookup.section(u'@', 0, 0));
            QVERIFY(store.recordLookup(records.last()));
        }
        QVERIFY(store.recordLookup(lookupOf(u"other.com"_s, 9, u"filed"_s)));
        QCOMPARE(describe(store.latestAnsweredLookup(u"域名.com"_s)),
            describe(answer < 0 ? std::nullopt : std::optional(records[answer])));
    }

    // A file of the first layout is brought up to date with every run, sighting and lookup, and goes on being used.
    void migratesFirstLayout()
    {
        const auto ms = [](const QDateTime &time) { return QString::number(time.toMSecsSinceEpoch()); };
        const LookupRecord looked = lookupOf(u"a.com"_s, 4, u"filed"_s);
        const BackorderPage &v = looked.values;
        const QStringList rows = {
            u"INSERT INTO runs VALUES (7, 'http://m', %1, %2, 1, 2, 1, 0), (8, 'http://m', %3, NULL, 1, 9, 0, 1)"_s.arg(
                ms(at(1)), ms(at(1, 5)), ms(at(2))),
            u"INSERT INTO sightings (run, domain, page, position, seen) VALUES (7, 'b.com', 2, 1, %2),"
            " (7, 'a.com', 1, 1, %1), (7, 'c.com', 1, 2, %1), (8, 'c.com', 1, 1, %3), (8, 'd.com', 1, 2, %3),"
            " (8, 'B.Com', 1, 3, %3)"_s.arg(
                ms(at(1)), ms(at(1, 1)), ms(at(2))),
            u"INSERT INTO lookups VALUES (1, 'A.com', %1, 1, '', 1, '%2', '%3', '%4', '%5', 0, 0, '%6', '%7', '%8',"
            " '%9', 'filed', '京ICP备4号-1', '')"_s.arg(ms(looked.time), v.deletionType, v.deletionTime, v.deadline,
                v.whois, v.platform, v.price, v.rmb, v.deposit),
        };
        QCOMPARE(SqlConnection(m_path).run(FirstLayout + rows), QString());
        HistoryStore store;
        QCOMPARE(openError(store, m_path), QString());
        QCOMPARE(store.namesOfRun(7), (QStringList { u"a.com"_s, u"c.com"_s, u"b.com"_s }));
        // A name in two cases is one name, as everywhere else.
        QCOMPARE(store.namesOfRun(8), (QStringList { u"c.com"_s, u"d.com"_s, u"b.com"_s }));
        QCOMPARE(describe(store.namesSeenSince({}, false)),
            (QStringList { u"a.com 1.8:00/1.8:00"_s, u"c.com 1.8:00/2.8:00"_s, u"b.com 1.8:01/2.8:00"_s,
                u"d.com 2.8:00/2.8:00"_s }));
        const QList<HistoryStore::RunSummary> runs = store.runsBetween({}, {});
        QCOMPARE(runs.size(), 2);
        QCOMPARE(describe(runs[0]), describe({ 7, u"http://m"_s, at(1), at(1, 5), 1, 2, 1, false }));
        QCOMPARE(describe(runs[1]), describe({ 8, u"http://m"_s, at(2), {}, 1, 9, 0, true }));
        QCOMPARE(describe(store.latestAnsweredLookup(u"a.com"_s)), describe(looked));
        QVERIFY(store.recordPage(8, 2, { u"a.com"_s }, at(3)));
        QCOMPARE(describe(store.namesSeenSince(at(3), false)), QStringList { u"a.com 1.8:00/3.8:00"_s });
        QCOMPARE(SqlConnection(m_path).run({ u"PRAGMA user_version"_s }), QString::number(HistoryStore::SchemaVersion));
    }

    // The lookups of a fourth-layout file get the facts of the whois they kept, on the first open.
    void migratesFourthLayout_data()
    {
        QTest::addColumn<QString>("whois");
        QTest::addColumn<QString>("facts");
        QTest::newRow("a registry's answer")
            << u"Domain Name: A.COM\nUpdated Date: 2024-04-28T07:18:52Z\nCreation Date: 2003-05-27T15:32:10Z\n"
               "Registry Expiry Date: 2025-05-27T15:32:10Z\nRegistrar: Example Registrar, Inc.\n"
               "Domain Status: clientHold https://icann.org/epp#clientHold\n"
               "Domain Status: pendingDelete https://icann.org/epp#pendingDelete\nName Server: NS1.A.NET\n"_s
            << u"2003-05-27T15:32:10Z|2025-05-27T15:32:10Z|2024-04-28T07:18:52Z|Example Registrar, Inc.|"
               "clientHold pendingDelete|ns1.a.net"_s;
        QTest::newRow("a .cn answer")
            << u"Domain Name: a.cn\nDomain Status: ok\nSponsoring Registrar: 某某网络\n"
               "Registration Time: 2003-03-17 12:20:05\nExpiration Time: 2025-03-17 12:48:36\n"_s
            << u"2003-03-17T04:20:05Z|2025-03-17T04:48:36Z||某某网络|ok|"_s;
        QTest::newRow("no facts in it") << u"查询过于频繁"_s << u"|||||"_s;
        QTest::newRow("no whois") << QString() << u"|||||"_s;
    }

    void migratesFourthLayout()
    {
        QFETCH(QString, whois);
        QFETCH(QString, facts);
        const QString time = QString::number(at(2).toMSecsSinceEpoch());
        QCOMPARE(SqlConnection(m_path).run(FourthLayout
                     + QStringList { u"INSERT INTO lookups VALUES (1, 'a.com', %1, '', 1, '即将删除', '', '', '%2', 0,"
                                     " 0, '', '', '', '', 'not filed', '', '')"_s.arg(time, whois) }),
            QString());
        {
            HistoryStore store;
            QCOMPARE(openError(store, m_path), QString());
            const std::optional<LookupRecord> migrated = store.latestAnsweredLookup(u"a.com"_s);
            QVERIFY(migrated);
            QCOMPARE(migrated->values.whois, whois);
            QCOMPARE(describe(migrated->whois), facts);
            // It goes on being used, the new lookup with its facts.
            LookupRecord later = *migrated;
            later.time = at(3);
            later.whois.registrar = u"Later Registrar"_s;
            QVERIFY(store.recordLookup(later));
            QCOMPARE(store.latestAnsweredLookup(u"a.com"_s)->whois.registrar, u"Later Registrar"_s);
        }
        QCOMPARE(SqlConnection(m_path).run({ u"PRAGMA user_version"_s }), QString::number(HistoryStore::SchemaVersion));
        // Opened again, nothing is read twice.
        HistoryStore again;
        QCOMPARE(openError(again, m_path), QString());
        QCOMPARE(SqlConnection(m_path).run({ u"SELECT count(*) FROM lookups"_s }), u"2"_s);
    }

    // A fifth-layout file keeps its runs and gets the watches: a watch made after the upgrade matches what the
    // next run sees first, not what the old runs saw.
    void migratesFifthLayout()
    {
        QVERIFY(makeStore(m_path, 1));
        QCOMPARE(SqlConnection(m_path).run({ u"DROP TABLE watch_matches"_s, u"DROP TABLE watches"_s,
                     u"PRAGMA user_version = 5"_s }),
            QString());
        HistoryStore store;
        QCOMPARE(openError(store, m_path), QString());
        QCOMPARE(SqlConnection(m_path).run({ u"PRAGMA user_version"_s }), QString::number(HistoryStore::SchemaVersion));
        Watch watch;
        watch.name = u"n"_s;
        watch.filter.names.startsWith = u"n"_s;
        QCOMPARE(store.addWatch(watch), WatchChange::Done);
        const std::optional<qint64> run = store.beginRun(Market, 1, 1, at(2));
        QVERIFY(run && store.recordPage(*run, 1, numberedNames(u"n"_s, 3, 48), at(2, 1)));
        QCOMPARE(store.alertsOfRun(*run).size(), 1);
        QCOMPARE(store.alertsOfRun(*run).constFirst().names.size(), 2); // n50 was seen by the old run
        QCOMPARE(store.namesOfRun(1).size(), 50);
    }

    // What must not or cannot be used is refused with its reason, again and again; file and folder stay as they were.
    // What DNS said of labels under other suffixes: the newest answer per label and suffix, those at or after a
    // time; a history of this version made before the table gets it when it is opened.
    void keepsWhatDnsSaid()
    {
        {
            HistoryStore store;
            QVERIFY(store.open(m_path));
        }
        QCOMPARE(SqlConnection(m_path).run({ u"DROP TABLE elsewhere"_s }), QString());
        HistoryStore store;
        QVERIFY(store.open(m_path));
        const QDateTime early = QDateTime::fromString(u"2026-03-01T10:00:00Z"_s, Qt::ISODate);
        const QDateTime late = early.addSecs(3600);
        QVERIFY(store.recordElsewhere({ { u"ABC"_s, u"net"_s, DnsPresence::Taken, late },
            { u"abc"_s, u"cn"_s, DnsPresence::NotInDns, early }, { u"xyz"_s, u"net"_s, DnsPresence::Taken, late } }));
        // An older answer coming late does not replace a newer one; a newer one does.
        QVERIFY(store.recordElsewhere({ { u"abc"_s, u"net"_s, DnsPresence::NotInDns, early },
            { u"abc"_s, u"cn"_s, DnsPresence::Taken, late } }));
        const auto described = [](const QList<ElsewhereState> &states) {
            QStringList lines;
            for (const ElsewhereState &state : states)
                lines << state.label + u'.' + state.suffix + u' ' + presenceText(state.presence) + u' '
                        + state.time.toUTC().toString(Qt::ISODate);
            lines.sort();
            return lines;
        };
        QCOMPARE(described(store.elsewhereOf(u"abc"_s, early)),
            QStringList({ u"abc.cn taken 2026-03-01T11:00:00Z"_s, u"abc.net taken 2026-03-01T11:00:00Z"_s }));
        QCOMPARE(described(store.elsewhereOf(u"Abc"_s, late.addSecs(1))), QStringList());
        QCOMPARE(described(store.elsewhereOf(u"nothing"_s, early)), QStringList());
        QCOMPARE(SqlConnection(m_path).run({ u"PRAGMA user_version"_s }), QString::number(HistoryStore::SchemaVersion));
    }

    void refuses_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        const QString damaged = u"damaged or no database"_s, foreign = u"another program's database"_s;
        QTest::newRow("random bytes") << u"random"_s << damaged;
        QTest::newRow("a history cut short") << u"cut"_s << damaged;
        QTest::newRow("a history cut inside its header") << u"header"_s << damaged;
        QTest::newRow("another program's database") << u"foreign"_s << foreign;
        QTest::newRow("another program's, with an id of its own") << u"foreign id"_s << foreign;
        QTest::newRow("a history of a newer version") << u"newer"_s << u"newer vexlon-collector"_s;
        QTest::newRow("a folder has the file's name") << u"folder"_s << u"folder"_s;
        QTest::newRow("a regular file in the folder's path") << u"file in path"_s << u"folder cannot be created"_s;
        QTest::newRow("an unchangeable history") << u"unchangeable file"_s << u"cannot be written"_s;
        QTest::newRow("an unchangeable folder") << u"unchangeable folder"_s << u"cannot be opened"_s;
    }

    void refuses()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QString path = m_path, unchangeable;
        if (kind == u"random") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QRandomGenerator random(12);
            for (int i = 0; i < 4096; ++i)
                file.write(QByteArray::number(random.generate(), 36));
        } else if (kind == u"cut" || kind == u"header") {
            QVERIFY(makeStore(path, 20));
            QVERIFY(QFile::resize(path, kind == u"cut" ? QFileInfo(path).size() / 2 : 60));
        } else if (kind == u"newer") {
            QVERIFY(makeStore(path));
            QCOMPARE(SqlConnection(path).run({ u"PRAGMA user_version = %1"_s.arg(HistoryStore::SchemaVersion + 1) }),
                QString());
        } else if (kind.startsWith(u"foreign")) {
            QCOMPARE(SqlConnection(path).run(
                         { kind == u"foreign" ? u"PRAGMA user_version = 2"_s : u"PRAGMA application_id = 7"_s,
                             u"CREATE TABLE runs (note TEXT)"_s, u"INSERT INTO runs VALUES ('mine')"_s }),
                QString());
        } else if (kind == u"folder") {
            QVERIFY(QDir().mkpath(path));
        } else if (kind == u"file in path") {
            QVERIFY(QFile(m_dir->filePath(u"plain"_s)).open(QIODevice::WriteOnly));
            path = m_dir->filePath(u"plain/sub/h.sqlite"_s);
        } else {
            QVERIFY(makeStore(path));
            unchangeable = kind == u"unchangeable file" ? path : m_dir->path();
            if (QProcess::execute(u"chattr"_s, { u"+i"_s, unchangeable }) != 0)
                QSKIP("chattr +i is not available here");
        }
        const auto changeable = qScopeGuard([&] {
            if (!unchangeable.isEmpty())
                QProcess::execute(u"chattr"_s, { u"-i"_s, unchangeable });
        });
        // SQLite's -wal and -shm files aside, nothing comes or goes.
        const auto entries = [&] {
            QStringList entries = QDir(QFileInfo(path).path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
            entries.removeIf([](const QString &name) { return name.endsWith(u"-wal") || name.endsWith(u"-shm"); });
            return entries;
        };
        const QStringList entriesBefore = entries();
        const QByteArray bytes = readFile(path);
        const QDateTime modified = QFileInfo(path).lastModified();
        for (int attempt = 0; attempt < 2; ++attempt) {
            HistoryStore store;
            const QString refusal = openError(store, path);
            QVERIFY2(refusal.startsWith(path + u": "_s) && refusal.contains(reason), qPrintable(refusal));
            QVERIFY(!store.isOpen());
            QVERIFY(!store.beginRun(Market, 1, 1));
            QVERIFY(!store.lastError().isEmpty());
        }
        QCOMPARE(readFile(path), bytes);
        QCOMPARE(QFileInfo(path).lastModified(), modified);
        QCOMPARE(entries(), entriesBefore);
    }

    // Another writer holds the lock past the busy time-out: the page fails whole in about that time, then goes in.
    void lockedByAnotherWriter()
    {
        HistoryStore store;
        QCOMPARE(openError(store, m_path), QString());
        store.setBusyTimeout(300);
        const std::optional<qint64> run = store.beginRun(Market, 1, 1);
        QVERIFY(run);
        auto writer = std::make_unique<SqlConnection>(m_path);
        QCOMPARE(writer->run({ u"BEGIN EXCLUSIVE"_s }), QString());
        QElapsedTimer waited;
        waited.start();
        QVERIFY(!store.recordPage(*run, 1, numberedNames(u"n"_s, 50)));
        QVERIFY2(waited.elapsed() >= 250 && waited.elapsed() < 3000, qPrintable(QString::number(waited.elapsed())));
        QVERIFY2(store.lastError().contains(u"locked"_s), qPrintable(store.lastError()));
        HistoryStore second;
        second.setBusyTimeout(100);
        QVERIFY2(openError(second, m_path).contains(u"locked"_s), qPrintable(openError(second, m_path)));
        QCOMPARE(store.namesOfRun(*run), QStringList());
        writer.reset();
        QVERIFY(store.recordPage(*run, 1, numberedNames(u"n"_s, 50)));
        QCOMPARE(store.namesOfRun(*run), numberedNames(u"n"_s, 50));
        QCOMPARE(openError(second, m_path), QString());
    }

    // A month of 1,100 names a day, each listed two days running: the last day's new names in far less than 200 ms.
    void newNamesOfADayQuickly()
    {
        constexpr int Days = 30, PerDay = 1100, NewPerDay = 550;
        HistoryStore store;
        QCOMPARE(openError(store, m_path), QString());
        for (int day = 1; day <= Days; ++day) {
            const std::optional<qint64> run = store.beginRun(Market, 1, PerDay / 50, at(day));
            for (int page = 0; run && page < PerDay / 50; ++page)
                QVERIFY(store.recordPage(
                    *run, page + 1, numberedNames(u"n"_s, 50, (day - 1) * NewPerDay + page * 50), at(day, page)));
        }
        HistoryStore reader;
        QCOMPARE(openError(reader, m_path), QString());
        QElapsedTimer timer;
        timer.start();
        const QList<HistoryStore::SeenName> fresh = reader.namesSeenSince(at(Days), true);
        const qint64 elapsed = timer.elapsed();
        qInfo("new names of the last day of %d sightings: %lld ms", Days * PerDay, elapsed);
        QVERIFY2(elapsed < 200, qPrintable(QString::number(elapsed)));
        QCOMPARE(fresh.size(), NewPerDay);
        QCOMPARE(fresh.first().domain, u"n%1.com"_s.arg(Days * NewPerDay));
        QCOMPARE(fresh.last().domain, u"n%1.com"_s.arg((Days - 1) * NewPerDay + PerDay - 1));
        QCOMPARE(reader.namesSeenSince(at(Days), false).size(), PerDay);
    }

private:
    std::optional<QTemporaryDir> m_dir; // one for each test row
    QString m_path;
};

QTEST_GUILESS_MAIN(TestHistoryStore)
#include "tst_historystore.moc"
