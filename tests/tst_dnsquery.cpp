// The DNS client against the fake DNS server: what each kind of answer means for a name, retries after
// a time-out, the rate and in-flight bounds as the server sees them, and a server override that is
// not an address.
#include "core/dns/nameserverquery.h"
#include "tools/fakedns.h"

#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <memory>

using namespace Qt::StringLiterals;
using Mode = FakeDnsServer::Mode;
using Clock = std::chrono::steady_clock;

Q_DECLARE_METATYPE(DnsPresence)
Q_DECLARE_METATYPE(FakeDnsServer::Mode)

namespace {

qint64 msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

// The most queries that arrived within any one second.
int mostInOneSecond(const std::vector<FakeDnsServer::Query> &queries)
{
    int most = 0;
    for (std::size_t first = 0; first < queries.size(); ++first) {
        int count = 0;
        for (std::size_t i = first; i < queries.size() && msBetween(queries[first].arrival, queries[i].arrival) < 1000; ++i)
            ++count;
        most = std::max(most, count);
    }
    return most;
}

} // namespace

class TestDnsQuery : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FakeDnsServer> m_server;

    DnsSettings quickSettings() const
    {
        DnsSettings settings;
        settings.server = QString::fromStdString(m_server->address());
        settings.timeoutMs = 150;
        settings.queriesPerSecond = 1000;
        settings.inFlight = 4;
        return settings;
    }

    // Asks the names and waits for all answers; name -> presence.
    QHash<QString, DnsPresence> askAll(NameServerQuery &query, const QStringList &names)
    {
        QHash<QString, DnsPresence> answers;
        connect(&query, &NameServerQuery::answered, this,
            [&answers](const QString &name, DnsPresence presence) { answers.insert(name, presence); });
        QSignalSpy finished(&query, &NameServerQuery::finished);
        for (const QString &name : names)
            query.ask(name);
        if (!finished.wait(30000))
            qWarning("no finished() within 30 s");
        return answers;
    }

private slots:
    void init()
    {
        m_server = std::make_unique<FakeDnsServer>();
        QVERIFY(m_server->start());
    }

    void cleanup() { m_server.reset(); }

    void outcome_data()
    {
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<DnsPresence>("expected");
        QTest::addColumn<int>("queriesAtServer");

        QTest::newRow("name servers in the answer: taken") << Mode::NameServers << DnsPresence::Taken << 1;
        QTest::newRow("a referral: taken") << Mode::Referral << DnsPresence::Taken << 1;
        QTest::newRow("NXDOMAIN: not in DNS") << Mode::NxDomain << DnsPresence::NotInDns << 1;
        QTest::newRow("SERVFAIL: unknown, not asked again") << Mode::ServFail << DnsPresence::Unknown << 1;
        QTest::newRow("REFUSED: unknown, not asked again") << Mode::Refused << DnsPresence::Unknown << 1;
        QTest::newRow("silence: unknown after two retries") << Mode::Silence << DnsPresence::Unknown << 3;
        QTest::newRow("truncated: asked again over TCP") << Mode::Truncated << DnsPresence::Taken << 2;
        QTest::newRow("garbage after the question: unknown") << Mode::Garbage << DnsPresence::Unknown << 1;
        QTest::newRow("a wrong query id is ignored for the right one")
            << Mode::WrongIdThenRight << DnsPresence::Taken << 1;
        QTest::newRow("only a wrong query id: a time-out, unknown") << Mode::WrongIdOnly << DnsPresence::Unknown << 3;
    }

    void outcome()
    {
        QFETCH(Mode, mode);
        QFETCH(DnsPresence, expected);
        QFETCH(int, queriesAtServer);

        // Besides the name under test, one of each other outcome in the same batch: answers are not mixed up.
        m_server->setMode("abc.com", mode);
        m_server->setMode("other.net", Mode::NameServers);
        m_server->setMode("free.org", Mode::NxDomain);
        NameServerQuery query(quickSettings());
        QVERIFY(query.isReady());
        const QHash<QString, DnsPresence> answers = askAll(query, { u"abc.com"_s, u"other.net"_s, u"free.org"_s });

        QCOMPARE(answers.size(), 3);
        QCOMPARE(answers.value(u"abc.com"_s), expected);
        QCOMPARE(answers.value(u"other.net"_s), DnsPresence::Taken);
        QCOMPARE(answers.value(u"free.org"_s), DnsPresence::NotInDns);
        QCOMPARE(m_server->queryCount("abc.com"), queriesAtServer);
        QCOMPARE(query.pendingCount(), 0);
    }

    void rateAtTheServer_data()
    {
        QTest::addColumn<int>("perSecond");
        QTest::addColumn<int>("inFlight");
        QTest::addColumn<int>("names");

        QTest::newRow("the defaults: 20 a second, 4 at once") << 20 << 4 << 50;
        QTest::newRow("30 a second, 1 at once") << 30 << 1 << 70;
    }

    void rateAtTheServer()
    {
        QFETCH(int, perSecond);
        QFETCH(int, inFlight);
        QFETCH(int, names);

        DnsSettings settings = quickSettings();
        settings.queriesPerSecond = perSecond;
        settings.inFlight = inFlight;
        NameServerQuery query(settings);
        QStringList asked;
        for (int i = 0; i < names; ++i)
            asked << u"name%1.com"_s.arg(i);
        const Clock::time_point start = Clock::now();
        QCOMPARE(askAll(query, asked).size(), names);
        const qint64 elapsed = msBetween(start, Clock::now());

        const std::vector<FakeDnsServer::Query> queries = m_server->queries();
        QCOMPARE(int(queries.size()), names);
        QVERIFY2(mostInOneSecond(queries) <= perSecond, qPrintable(u"%1 in one second"_s.arg(mostInOneSecond(queries))));
        // Not much slower than the bound either: the window's queries go out as soon as it moves on.
        const qint64 bound = qint64(names - perSecond) * 1000 / perSecond;
        QVERIFY2(elapsed >= bound && elapsed < bound * 13 / 10 + 500, qPrintable(u"%1 ms, bound %2"_s.arg(elapsed).arg(bound)));
    }

    void inFlightBound()
    {
        // Unanswered queries stay in flight until they time out: the server sees them in groups.
        m_server->setDefaultMode(Mode::Silence);
        DnsSettings settings = quickSettings();
        settings.inFlight = 2;
        settings.retries = 0;
        settings.timeoutMs = 300;
        NameServerQuery query(settings);
        const QHash<QString, DnsPresence> answers
            = askAll(query, { u"a.com"_s, u"b.com"_s, u"c.com"_s, u"d.com"_s, u"e.com"_s, u"f.com"_s });
        QCOMPARE(answers.size(), 6);
        QVERIFY(std::all_of(answers.cbegin(), answers.cend(), [](DnsPresence p) { return p == DnsPresence::Unknown; }));
        const std::vector<FakeDnsServer::Query> queries = m_server->queries();
        QCOMPARE(int(queries.size()), 6);
        for (std::size_t i = 2; i < queries.size(); ++i)
            QVERIFY2(msBetween(queries[i - 2].arrival, queries[i].arrival) >= 250,
                qPrintable(u"query %1 came %2 ms after query %3"_s.arg(i).arg(msBetween(queries[i - 2].arrival, queries[i].arrival)).arg(i - 2)));
    }

    void serverThatIsNoAddress_data()
    {
        QTest::addColumn<QString>("server");
        QTest::newRow("a host name") << u"dns.example:53"_s;
        QTest::newRow("a port out of range") << u"127.0.0.1:70000"_s;
        QTest::newRow("a port that is no number") << u"127.0.0.1:fifty"_s;
    }

    void serverThatIsNoAddress()
    {
        QFETCH(QString, server);
        DnsSettings settings = quickSettings();
        settings.server = server;
        NameServerQuery query(settings);
        QString error;
        QVERIFY(!query.isReady(&error));
        QVERIFY(!error.isEmpty());
        // Nothing is asked anywhere, and nothing is taken for not in DNS.
        const QHash<QString, DnsPresence> answers = askAll(query, { u"abc.com"_s });
        QCOMPARE(answers.value(u"abc.com"_s, DnsPresence::Taken), DnsPresence::Unknown);
        QCOMPARE(int(m_server->queries().size()), 0);
    }

    void goesWithQueriesInFlight()
    {
        m_server->setDefaultMode(Mode::Silence);
        auto query = std::make_unique<NameServerQuery>(quickSettings());
        QSignalSpy answered(query.get(), &NameServerQuery::answered);
        query->ask(u"abc.com"_s);
        query->ask(u"def.com"_s);
        QTRY_COMPARE(int(m_server->queries().size()), 2);
        query.reset(); // no answer, no crash
        QCOMPARE(answered.count(), 0);
    }

    void malformedMessages_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<DnsPresence>("expected");

        // id 1, a response, NOERROR, one question "a.com" NS, one answer.
        const QByteArray head = QByteArray::fromHex("000181800001000100000000016103636f6d0000020001");
        const QByteArray record = QByteArray::fromHex("c00c00020001000000100004") + "\x02ns\0"_ba;
        QTest::newRow("a whole answer") << head + record << DnsPresence::Taken;
        QTest::newRow("cut in the record's data") << head + record.left(record.size() - 2) << DnsPresence::Unknown;
        QTest::newRow("cut in the record's header") << head + record.left(6) << DnsPresence::Unknown;
        QTest::newRow("cut in the question") << head.left(16) << DnsPresence::Unknown;
        QTest::newRow("shorter than a header") << head.left(11) << DnsPresence::Unknown;
        QByteArray query = head + record;
        query[2] = char(0x01);
        QTest::newRow("a query, not a response") << query << DnsPresence::Unknown;
        QByteArray nxdomain = head;
        nxdomain[3] = char(0x83);
        nxdomain[7] = 0;
        QTest::newRow("NXDOMAIN") << nxdomain << DnsPresence::NotInDns;
        QByteArray loop = QByteArray::fromHex("000181800001000000000000") + QByteArray(200, '\x01');
        QTest::newRow("labels without end") << loop << DnsPresence::Unknown;
    }

    void malformedMessages()
    {
        QFETCH(QByteArray, message);
        QFETCH(DnsPresence, expected);
        QCOMPARE(presenceFromAnswer(reinterpret_cast<const unsigned char *>(message.constData()), int(message.size())),
            expected);
    }
};

QTEST_GUILESS_MAIN(TestDnsQuery)
#include "tst_dnsquery.moc"
