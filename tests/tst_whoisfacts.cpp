// Reading the facts of a whois text: the answers of registries and registrars in the forms they come
// in, and the traps they hold (a referral in front, a registrar's answer behind, keys in any case,
// values on the next line, dates that cannot be right).
#include "core/lookup/whoisfacts.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

// A registry's answer for a gTLD, as its whois server writes it.
const QString GtldAnswer = uR"(   Domain Name: VEXLONSAMPLE.COM
   Registry Domain ID: 2138514_DOMAIN_COM-VRSN
   Registrar WHOIS Server: whois.example-registrar.com
   Registrar URL: http://www.example-registrar.com
   Updated Date: 2024-04-28T07:18:52Z
   Creation Date: 2003-05-27T15:32:10Z
   Registry Expiry Date: 2025-05-27T15:32:10Z
   Registrar: Example Registrar, Inc.
   Registrar IANA ID: 1234
   Registrar Abuse Contact Email: abuse@example-registrar.com
   Registrar Abuse Contact Phone: +1.5555551234
   Domain Status: clientHold https://icann.org/epp#clientHold
   Domain Status: pendingDelete https://icann.org/epp#pendingDelete
   Domain Status: redemptionPeriod https://icann.org/epp#redemptionPeriod
   Name Server: NS1.EXAMPLE-DNS.NET
   Name Server: NS2.EXAMPLE-DNS.NET
   DNSSEC: unsigned
   URL of the ICANN Whois Inaccuracy Complaint Form: https://www.icann.org/wicf/
>>> Last update of whois database: 2024-06-05T13:20:00Z <<<

NOTICE: The expiration date displayed in this record is the date the
registrar's sponsorship of the domain name registration in the registry is
currently set to expire. This date does not necessarily reflect the expiration
date of the domain name registrant's agreement with the sponsoring registrar.
)"_s;

// The registrar's answer that some clients print after the registry's: other dates, another name.
const QString RegistrarAnswer = uR"(
# whois.example-registrar.com

Domain Name: vexlonsample.com
Registry Domain ID: 2138514_DOMAIN_COM-VRSN
Updated Date: 2024-05-01T00:00:00Z
Creation Date: 2003-05-28T00:00:00Z
Registrar Registration Expiration Date: 2026-05-27T00:00:00Z
Registrar: EXAMPLE REGISTRAR INC (RESELLER)
Domain Status: clientTransferProhibited https://icann.org/epp#clientTransferProhibited
Name Server: ns9.reseller-dns.com
)"_s;

// IANA's referral in front of the registry's answer, as a client that follows it prints both.
const QString IanaReferral = uR"(% IANA WHOIS server
% for more information on IANA, visit http://www.iana.org
% This query returned 1 object

refer:        whois.verisign-grs.com

domain:       COM

organisation: VeriSign Global Registry Services
address:      12061 Bluemont Way
address:      Reston VA 20190
address:      United States of America (the)

nserver:      A.GTLD-SERVERS.NET 192.5.6.30 2001:503:a83e:0:0:0:2:30
nserver:      B.GTLD-SERVERS.NET 192.33.14.30 2001:503:231d:0:0:0:2:30
ds-rdata:     19718 13 2 8acbb0cd28f41250a80a491389424d341522d946b0da0c0291f2d3d771d7805a

whois:        whois.verisign-grs.com

status:       ACTIVE
remarks:      Registration information: http://www.verisigninc.com

created:      1985-01-01
changed:      2023-12-07
source:       IANA

)"_s;

const QString CnAnswer = uR"(Domain Name: vexlonsample.cn
ROID: 20030312s10001s00012345-cn
Domain Status: clientDeleteProhibited
Domain Status: clientTransferProhibited
Registrant: 北京示例科技有限公司
Registrant Contact Email: admin@vexlonsample.cn
Sponsoring Registrar: 示例网络科技股份有限公司
Name Server: dns1.example-dns.cn
Name Server: dns2.example-dns.cn
Registration Time: 2003-03-17 12:20:05
Expiration Time: 2025-03-17 12:48:36
DNSSEC: unsigned
)"_s;

const QString ChineseRegistrar = uR"(域名：vexlonsample.com.cn
注册商：示例网络科技股份有限公司
注册时间：2012-08-09 09:15:00
到期时间：2026-08-09 09:15:00
域名状态：clientDeleteProhibited(注册商设置禁止删除)
域名状态：clientUpdateProhibited(注册商设置禁止更新)
域名服务器：NS1.EXAMPLE-DNS.CN
)"_s;

// Nominet's layout: sections whose values stand on the lines below their keys.
const QString NextLineAnswer = uR"(
    Domain name:
        vexlonsample.co.uk

    Registrar:
        Example Registrar Ltd [Tag = EXAMPLE]
        URL: https://www.example-registrar.co.uk

    Relevant dates:
        Registered on: 14-Apr-1996
        Expiry date:  14-Apr-2025
        Last updated:  12-Mar-2024

    Registration status:
        Registered until expiry date.

    Name servers:
        ns1.example-dns.co.uk     192.0.2.1
        ns2.example-dns.co.uk

    WHOIS lookup made at 13:20:00 05-Jun-2024
)"_s;

} // namespace

class TestWhoisFacts : public QObject
{
    Q_OBJECT
private slots:
    void readsFacts_data();
    void readsFacts();
    void datesInEachForm_data();
    void datesInEachForm();
    void wholeYears_data();
    void wholeYears();
};

void TestWhoisFacts::readsFacts_data()
{
    QTest::addColumn<QString>("whois");
    QTest::addColumn<QString>("created"); // ISO 8601 in UTC; empty for unknown
    QTest::addColumn<QString>("expires");
    QTest::addColumn<QString>("updated");
    QTest::addColumn<QString>("registrar");
    QTest::addColumn<QStringList>("statuses");
    QTest::addColumn<QStringList>("nameServers");

    const QStringList gtldStatuses { u"clientHold"_s, u"pendingDelete"_s, u"redemptionPeriod"_s };
    const QStringList gtldServers { u"ns1.example-dns.net"_s, u"ns2.example-dns.net"_s };
    QTest::newRow("gTLD registry answer")
        << GtldAnswer << u"2003-05-27T15:32:10Z"_s << u"2025-05-27T15:32:10Z"_s << u"2024-04-28T07:18:52Z"_s
        << u"Example Registrar, Inc."_s << gtldStatuses << gtldServers;
    QTest::newRow("IANA referral first: its created is the TLD's")
        << IanaReferral + u"# whois.verisign-grs.com\n\n"_s + GtldAnswer << u"2003-05-27T15:32:10Z"_s
        << u"2025-05-27T15:32:10Z"_s << u"2024-04-28T07:18:52Z"_s << u"Example Registrar, Inc."_s << gtldStatuses
        << gtldServers;
    QTest::newRow("IANA referral straight before the answer")
        << IanaReferral + GtldAnswer << u"2003-05-27T15:32:10Z"_s << u"2025-05-27T15:32:10Z"_s
        << u"2024-04-28T07:18:52Z"_s << u"Example Registrar, Inc."_s << gtldStatuses << gtldServers;
    QTest::newRow("IANA referral alone") << IanaReferral << QString() << QString() << QString() << QString()
                                         << QStringList() << QStringList();
    QTest::newRow("referral cut short, then the answer")
        << u"refer: whois.verisign-grs.com\n\ndomain: COM\ncreated: 1985-01-01\n\nDomain Name: A.COM\n"
           "Creation Date: 2010-01-02T03:04:05Z\n"_s
        << u"2010-01-02T03:04:05Z"_s << QString() << QString() << QString() << QStringList() << QStringList();
    QTest::newRow("registrar's answer after the registry's: the registry's wins")
        << GtldAnswer + RegistrarAnswer << u"2003-05-27T15:32:10Z"_s << u"2025-05-27T15:32:10Z"_s
        << u"2024-04-28T07:18:52Z"_s << u"Example Registrar, Inc."_s << gtldStatuses << gtldServers;
    QTest::newRow(".cn answer, Beijing time")
        << CnAnswer << u"2003-03-17T04:20:05Z"_s << u"2025-03-17T04:48:36Z"_s << QString()
        << u"示例网络科技股份有限公司"_s << QStringList { u"clientDeleteProhibited"_s, u"clientTransferProhibited"_s }
        << QStringList { u"dns1.example-dns.cn"_s, u"dns2.example-dns.cn"_s };
    QTest::newRow("Chinese registrar's keys")
        << ChineseRegistrar << u"2012-08-09T01:15:00Z"_s << u"2026-08-09T01:15:00Z"_s << QString()
        << u"示例网络科技股份有限公司"_s << QStringList { u"clientDeleteProhibited"_s, u"clientUpdateProhibited"_s }
        << QStringList { u"ns1.example-dns.cn"_s };
    QTest::newRow("过期时间 for the expiry")
        << u"域名：a.cn\r\n过期时间：2027-01-31 23:30:00\r\n"_s << QString() << u"2027-01-31T15:30:00Z"_s << QString()
        << QString() << QStringList() << QStringList();
    QTest::newRow("values on the next line")
        << NextLineAnswer << u"1996-04-14T00:00:00Z"_s << u"2025-04-14T00:00:00Z"_s << u"2024-03-12T00:00:00Z"_s
        << u"Example Registrar Ltd [Tag = EXAMPLE]"_s << QStringList()
        << QStringList { u"ns1.example-dns.co.uk"_s, u"ns2.example-dns.co.uk"_s };
    QTest::newRow("keys in upper and mixed case")
        << u"DOMAIN NAME: A.COM\nCREATION DATE: 2001-02-03T04:05:06Z\nregistry EXPIRY date: 2030-02-03T04:05:06Z\n"
           "REGISTRAR: SHOUTING REGISTRAR LLC\nDOMAIN STATUS: OK https://icann.org/epp#ok\nname SERVER: NS.A.COM.\n"_s
        << u"2001-02-03T04:05:06Z"_s << u"2030-02-03T04:05:06Z"_s << QString() << u"SHOUTING REGISTRAR LLC"_s
        << QStringList { u"OK"_s } << QStringList { u"ns.a.com"_s };
    QTest::newRow("the same status twice is one") << u"Domain Status: clientHold https://icann.org/epp#clientHold\n"
                                                     "Domain Status: clientHold https://icann.org/epp#clientHold\n"
                                                     "Domain Status: serverHold https://icann.org/epp#serverHold\n"_s
                                                  << QString() << QString() << QString() << QString()
                                                  << QStringList { u"clientHold"_s, u"serverHold"_s } << QStringList();
    QTest::newRow("other registries: created, paid-till")
        << u"% Registry whois\n\ndomain:        VEXLONSAMPLE.RU\nnserver:       ns1.example-dns.ru.\n"
           "state:         REGISTERED, DELEGATED\nregistrar:     EXAMPLE-RU\ncreated:       2004-10-12T20:00:00Z\n"
           "paid-till:     2024-10-31T21:00:00Z\nsource:        TCI\n"_s
        << u"2004-10-12T20:00:00Z"_s << u"2024-10-31T21:00:00Z"_s << QString() << u"EXAMPLE-RU"_s << QStringList()
        << QStringList { u"ns1.example-dns.ru"_s };
    QTest::newRow("Created On and Expires On")
        << u"Domain Name:vexlonsample.org\nCreated On:27-May-2003 15:32:10 UTC\nExpires On:27-May-2025 15:32:10 UTC\n"
           "Last Updated On:01-Feb-2024 08:00:00 UTC\nSponsoring Registrar:Example Registrar (R123-LROR)\n"_s
        << u"2003-05-27T15:32:10Z"_s << u"2025-05-27T15:32:10Z"_s << u"2024-02-01T08:00:00Z"_s
        << u"Example Registrar (R123-LROR)"_s << QStringList() << QStringList();
    QTest::newRow("no date at all")
        << u"Domain Name: A.COM\nRegistrar: Quiet Registrar\nDomain Status: ok\nName Server: NS1.A.COM\n"_s << QString()
        << QString() << QString() << u"Quiet Registrar"_s << QStringList { u"ok"_s } << QStringList { u"ns1.a.com"_s };
    QTest::newRow("dates that cannot be right are unknown")
        << u"Domain Name: A.COM\nCreation Date: 1970-01-01T00:00:00Z\nRegistry Expiry Date: 9999-12-31T23:59:59Z\n"
           "Updated Date: 2023-02-30T00:00:00Z\n"_s
        << QString() << QString() << QString() << QString() << QStringList() << QStringList();
    QTest::newRow("an unreadable date leaves the next one of its kind")
        << u"Domain Name: A.COM\nCreation Date: unknown\nCreated: 2011-11-11\n"_s << u"2011-11-11T00:00:00Z"_s
        << QString() << QString() << QString() << QStringList() << QStringList();
    QTest::newRow("not whois at all") << u"<html><body>查询失败，请稍后再试</body></html>"_s << QString() << QString()
                                      << QString() << QString() << QStringList() << QStringList();
    QTest::newRow("empty") << QString() << QString() << QString() << QString() << QString() << QStringList()
                           << QStringList();
}

void TestWhoisFacts::readsFacts()
{
    QFETCH(QString, whois);
    const WhoisFacts facts = readWhoisFacts(whois);
    QTEST(facts.created.toString(Qt::ISODate), "created");
    QTEST(facts.expires.toString(Qt::ISODate), "expires");
    QTEST(facts.updated.toString(Qt::ISODate), "updated");
    QTEST(facts.registrar, "registrar");
    QTEST(facts.statuses, "statuses");
    QTEST(facts.nameServers, "nameServers");
}

void TestWhoisFacts::datesInEachForm_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("created");

    QTest::newRow("ISO 8601 with Z") << u"Creation Date: 2003-05-27T15:32:10Z"_s << u"2003-05-27T15:32:10Z"_s;
    QTest::newRow("ISO 8601 with a fraction")
        << u"Creation Date: 2003-05-27T15:32:10.0Z"_s << u"2003-05-27T15:32:10Z"_s;
    QTest::newRow("ISO 8601 with an offset")
        << u"Creation Date: 2003-05-27T15:32:10+08:00"_s << u"2003-05-27T07:32:10Z"_s;
    QTest::newRow("ISO 8601 with a negative offset")
        << u"Creation Date: 2003-05-27T20:32:10-0700"_s << u"2003-05-28T03:32:10Z"_s;
    QTest::newRow("date and time without a zone: UTC")
        << u"Creation Date: 2003-05-27 15:32:10"_s << u"2003-05-27T15:32:10Z"_s;
    QTest::newRow("date and time after a .cn key: Beijing time")
        << u"Registration Time: 2003-05-27 15:32:10"_s << u"2003-05-27T07:32:10Z"_s;
    QTest::newRow("Beijing time across midnight") << u"注册时间：2003-03-17 02:20:05"_s << u"2003-03-16T18:20:05Z"_s;
    QTest::newRow("a Chinese key's date that says UTC")
        << u"注册时间：2003-03-17 02:20:05 UTC"_s << u"2003-03-17T02:20:05Z"_s;
    QTest::newRow("YYYY.MM.DD") << u"created: 2003.05.27"_s << u"2003-05-27T00:00:00Z"_s;
    QTest::newRow("YYYY.MM.DD with a time") << u"created: 2003.05.27 13:00:00"_s << u"2003-05-27T13:00:00Z"_s;
    QTest::newRow("YYYY/MM/DD") << u"Created On: 2003/05/27"_s << u"2003-05-27T00:00:00Z"_s;
    QTest::newRow("DD-Mon-YYYY") << u"Registered on: 27-May-2003"_s << u"2003-05-27T00:00:00Z"_s;
    QTest::newRow("DD-Mon-YYYY in lower case") << u"Registered on: 27-may-2003"_s << u"2003-05-27T00:00:00Z"_s;
    QTest::newRow("year month day in Chinese") << u"注册日期：2003年5月27日"_s << u"2003-05-26T16:00:00Z"_s;
    QTest::newRow("separators that disagree") << u"Creation Date: 2003-05/27"_s << QString();
    QTest::newRow("no such month") << u"Registered on: 27-Foo-2003"_s << QString();
    QTest::newRow("no such hour") << u"Creation Date: 2003-05-27T25:00:00Z"_s << QString();
    QTest::newRow("first year taken") << u"Creation Date: 1985-01-01T00:00:00Z"_s << u"1985-01-01T00:00:00Z"_s;
    QTest::newRow("before 1985") << u"Creation Date: 1984-12-31T23:59:59Z"_s << QString();
    QTest::newRow("an offset that moves it before 1985") << u"Registration Time: 1985-01-01 07:00:00"_s << QString();
    QTest::newRow("after 2100") << u"Creation Date: 2101-01-01T00:00:00Z"_s << QString();
    QTest::newRow("digits alone") << u"Creation Date: 20030527"_s << QString();
    QTest::newRow("a date with more digits after it") << u"Creation Date: 2003-05-271"_s << QString();
}

void TestWhoisFacts::datesInEachForm()
{
    QFETCH(QString, line);
    QTEST(readWhoisFacts(line).created.toString(Qt::ISODate), "created");
}

void TestWhoisFacts::wholeYears_data()
{
    QTest::addColumn<QString>("created");
    QTest::addColumn<QString>("now");
    QTest::addColumn<int>("years"); // -1 for unknown

    QTest::newRow("twelve years to the day") << u"2012-06-05T00:00:00Z"_s << u"2024-06-05T00:00:00Z"_s << 12;
    QTest::newRow("a day short of twelve") << u"2012-06-06T00:00:00Z"_s << u"2024-06-05T23:00:00Z"_s << 11;
    QTest::newRow("less than a year") << u"2024-01-01T00:00:00Z"_s << u"2024-06-05T00:00:00Z"_s << 0;
    QTest::newRow("registered on 29 February") << u"2000-02-29T00:00:00Z"_s << u"2001-02-28T00:00:00Z"_s << 0;
    QTest::newRow("created after now") << u"2025-01-01T00:00:00Z"_s << u"2024-06-05T00:00:00Z"_s << -1;
    QTest::newRow("created unknown") << QString() << u"2024-06-05T00:00:00Z"_s << -1;
}

void TestWhoisFacts::wholeYears()
{
    QFETCH(QString, created);
    QFETCH(QString, now);
    QFETCH(int, years);
    const std::optional<int> read
        = wholeYearsSince(QDateTime::fromString(created, Qt::ISODate), QDateTime::fromString(now, Qt::ISODate));
    QCOMPARE(read.value_or(-1), years);
}

QTEST_GUILESS_MAIN(TestWhoisFacts)
#include "tst_whoisfacts.moc"
