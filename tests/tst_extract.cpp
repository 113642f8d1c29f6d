// Results-page extraction: the pure reader, and jl / jx on the window against a marketplace on
// 127.0.0.1.
#include "app/domainlist.h"
#include "app/form1.h"
#include "collect/resultspage.h"
#include "tools/loopbackserver.h"

#include <httplib.h>

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString CrLf = u"\r\n"_s;

// One row of the marketplace's table, written exactly as the marketplace writes it unless told.
QString row(const QString &name, const QString &tr = u"<tr>"_s, const QString &lineBreak = u"\r\n"_s,
    const QString &indent = u"    "_s)
{
    return tr + lineBreak + indent + u"<td><a href=\"/backorder/"_s + name + u"\" target=\"_blank\">"_s + name
        + u"</a></td>"_s + CrLf + u"    <td>2024-05-01</td>"_s + CrLf + u"</tr>"_s + CrLf;
}

QString rows(const QStringList &names)
{
    QString text;
    for (const QString &name : names)
        text += row(name);
    return text;
}

const QString Head = u"<html><head><title>删除域名</title></head><body>"_s + CrLf + u"<a href=\"/booking\">预订</a>"_s
    + CrLf + u"<table>"_s + CrLf;
const QString Pagination = u"</table>"_s + CrLf + u"<div class=\"pagination\"><a href=\"/search?p=2\">2</a></div>"_s;
const QString Tail = CrLf + u"</body></html>"_s;

QString page(const QString &tableRows)
{
    return Head + tableRows + Pagination + Tail;
}

QStringList numberedNames(int count, const QString &tld = u"com"_s)
{
    QStringList names;
    for (int i = 1; i <= count; ++i)
        names.append(u"name%1.%2"_s.arg(i).arg(tld));
    return names;
}

// An address on 127.0.0.1 where nothing listens.
QString closedPortUrl()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost))
        return QString();
    return u"http://127.0.0.1:%1"_s.arg(probe.serverPort());
}

std::string utf8(const QString &text)
{
    return text.toStdString();
}

} // namespace

class TestExtract : public QObject
{
    Q_OBJECT

private slots:
    void readResultsPage_data();
    void readResultsPage();
    void tableRegionEndsAtPaginationMarker();
    void jxAppendsOneBlockAndClearsEverySlot();
    void jxMovesSelection_data();
    void jxMovesSelection();
    void jlFetchesPageNo_data();
    void jlFetchesPageNo();
    void jlFailsWithoutResults_data();
    void jlFailsWithoutResults();
};

void TestExtract::readResultsPage_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("hasResultsMarker");
    QTest::addColumn<QStringList>("names");

    const QStringList sixty = numberedNames(60);
    QTest::newRow("60 rows: rows 1 to 50 in page order") << page(rows(sixty)) << true << sixty.mid(0, 50);
    QTest::newRow("exactly 50 rows") << page(rows(numberedNames(50))) << true << numberedNames(50);
    QTest::newRow("12 rows") << page(rows(numberedNames(12, u"net"_s))) << true << numberedNames(12, u"net"_s);
    QTest::newRow("no rows") << page(QString()) << true << QStringList();
    QTest::newRow("no results marker") << (u"<html>"_s + rows({ u"a.com"_s }) + Pagination) << false << QStringList();
    QTest::newRow("empty page") << QString() << false << QStringList();
    QTest::newRow("results marker in capitals only")
        << (u"<a href=\"/BOOKING\">"_s + rows({ u"a.com"_s }) + Pagination) << false << QStringList();
    QTest::newRow("booking twice: only rows between the two") << (Head + rows({ u"a.com"_s, u"b.com"_s }) + Pagination
        + u"<a href=\"/booking\">"_s + rows({ u"c.com"_s }) + Pagination)
                                                              << true << QStringList { u"a.com"_s, u"b.com"_s };
    QTest::newRow("booking twice: pagination only after the second")
        << (Head + rows({ u"a.com"_s, u"b.com"_s }) + u"booking"_s + rows({ u"c.com"_s }) + Pagination) << true
        << QStringList();
    QTest::newRow("booking at the very end")
        << (rows({ u"a.com"_s }) + Pagination + u"booking"_s) << true << QStringList();
    QTest::newRow("no pagination marker, rows listed")
        << (Head + rows({ u"a.com"_s, u"b.com"_s }) + u"</table>"_s + Tail) << true << QStringList();
    QTest::newRow("pagination marker with other quoting")
        << (Head + rows({ u"a.com"_s }) + u"<div class='pagination'>"_s) << true << QStringList();
    QTest::newRow("row tag in capitals is not a row")
        << page(row(u"a.com"_s) + row(u"b.com"_s, u"<TR>"_s) + row(u"c.com"_s)) << true
        << QStringList { u"a.com"_s, u"c.com"_s };
    QTest::newRow("row with a line feed alone is not a row")
        << page(row(u"a.com"_s) + row(u"b.com"_s, u"<tr>"_s, u"\n"_s) + row(u"c.com"_s)) << true
        << QStringList { u"a.com"_s, u"c.com"_s };
    QTest::newRow("row with a tab for indentation is not a row")
        << page(row(u"a.com"_s, u"<tr>"_s, CrLf, u"\t"_s) + row(u"b.com"_s)) << true << QStringList { u"b.com"_s };
    QTest::newRow("row with two blanks of indentation is not a row")
        << page(row(u"a.com"_s) + row(u"b.com"_s, u"<tr>"_s, CrLf, u"  "_s)) << true << QStringList { u"a.com"_s };
    QTest::newRow("slash after the name stays") << page(row(u"example.com/"_s) + row(u"plain.cn"_s)) << true
                                                << QStringList { u"example.com/"_s, u"plain.cn"_s };
    QTest::newRow("duplicates are kept") << page(rows({ u"dup.com"_s, u"other.com"_s, u"dup.com"_s })) << true
                                         << QStringList { u"dup.com"_s, u"other.com"_s, u"dup.com"_s };
    QTest::newRow("empty name is kept") << page(rows({ u"a.com"_s, QString(), u"b.com"_s })) << true
                                        << QStringList { u"a.com"_s, QString(), u"b.com"_s };
    QTest::newRow("row without a double quote gives the empty name")
        << page(row(u"a.com"_s) + u"<tr>\r\n    <td><a href=\"/backorder/broken</a></td></tr>"_s) << true
        << QStringList { u"a.com"_s, QString() };
    QTest::newRow("Chinese names") << page(rows({ u"中国.中国"_s, u"例子.cn"_s })) << true
                                   << QStringList { u"中国.中国"_s, u"例子.cn"_s };
}

void TestExtract::readResultsPage()
{
    QFETCH(QString, text);
    QFETCH(bool, hasResultsMarker);
    QFETCH(QStringList, names);

    const ResultsPage page = ::readResultsPage(text);
    QCOMPARE(page.hasResultsMarker, hasResultsMarker);
    QCOMPARE(page.names, names);
    QCOMPARE(extractDomainNames(page.tableRegion), names);
    if (!hasResultsMarker) {
        QVERIFY(page.resultsPiece.isEmpty());
        QVERIFY(page.tableRegion.isEmpty());
    }
}

void TestExtract::tableRegionEndsAtPaginationMarker()
{
    const QString text
        = u"xx booking head"_s + rows({ u"a.com"_s }) + u"<div class=\"pagination\">2</div> booking rest"_s;
    const ResultsPage page = ::readResultsPage(text);
    QVERIFY(page.hasResultsMarker);
    QCOMPARE(page.resultsPiece, u" head"_s + rows({ u"a.com"_s }) + u"<div class=\"pagination\">2</div> "_s);
    QCOMPARE(page.tableRegion, u" head"_s + rows({ u"a.com"_s }) + u"<"_s);
}

void TestExtract::jxAppendsOneBlockAndClearsEverySlot()
{
    Form1 form;
    form.List1->AddItems({ u"old.com"_s });
    for (int i = 0; i < PagePartsCount; ++i)
        form.PageParts[i] = u"slot %1"_s.arg(i);
    const QStringList names = { u"a.com"_s, QString(), u"a.com"_s, u"b.org/"_s };
    form.PageParts[2] = ::readResultsPage(page(rows(names))).tableRegion;

    QSignalSpy inserted(form.List1->model(), &QAbstractItemModel::rowsInserted);
    form.jx();

    QCOMPARE(form.List1->entries(), QStringList { u"old.com"_s } + names);
    QCOMPARE(inserted.count(), 1);
    for (int i = 0; i < PagePartsCount; ++i)
        QVERIFY2(form.PageParts[i].isEmpty(), qPrintable(u"slot %1 not cleared"_s.arg(i)));
}

void TestExtract::jxMovesSelection_data()
{
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("selected");
    QTest::addColumn<int>("names");
    QTest::addColumn<int>("expected");

    QTest::newRow("empty list, none selected, three names: third entry") << 0 << -1 << 3 << 2;
    QTest::newRow("second of five selected, three names: fifth entry") << 5 << 1 << 3 << 4;
    QTest::newRow("five entries, none selected, three names: third entry") << 5 << -1 << 3 << 2;
    QTest::newRow("last of five selected, fifty names: last entry") << 5 << 4 << 50 << 54;
    QTest::newRow("no rows: selection stays") << 5 << 2 << 0 << 2;
    QTest::newRow("no rows, none selected: none") << 5 << -1 << 0 << -1;
}

void TestExtract::jxMovesSelection()
{
    QFETCH(int, entries);
    QFETCH(int, selected);
    QFETCH(int, names);
    QFETCH(int, expected);

    Form1 form;
    form.List1->AddItems(numberedNames(entries, u"org"_s));
    form.List1->setListIndex(selected);
    QCOMPARE(form.List1->ListIndex(), selected);

    // Where selecting the next entry after every appended name leaves it.
    int oneByOne = selected;
    for (int i = 0; i < names; ++i)
        oneByOne = oneByOne < 0 ? 0 : oneByOne + 1;
    QCOMPARE(oneByOne, expected);

    form.PageParts[2] = ::readResultsPage(page(rows(numberedNames(names)))).tableRegion;
    form.jx();
    QCOMPARE(form.List1->ListCount(), entries + names);
    QCOMPARE(form.List1->ListIndex(), expected);
    QCOMPARE(form.List1->selectionModel()->selectedIndexes().size(), expected < 0 ? 0 : 1);
}

void TestExtract::jlFetchesPageNo_data()
{
    QTest::addColumn<int>("pageNo");
    QTest::addColumn<QString>("target");

    QTest::newRow("page 7") << 7 << u"/search?p=7"_s;
    QTest::newRow("page 1") << 1 << u"/search?p=1"_s;
    QTest::newRow("page 32767") << 32767 << u"/search?p=32767"_s;
}

void TestExtract::jlFetchesPageNo()
{
    QFETCH(int, pageNo);
    QFETCH(QString, target);

    const QStringList names = numberedNames(12, u"cn"_s);
    LoopbackServer server;
    server.get("/search", [&](const httplib::Request &, httplib::Response &response) {
        response.set_content(utf8(page(rows(names))), "text/html; charset=utf-8");
    });
    QVERIFY(server.start() > 0);

    AppConfig config;
    config.marketUrl = QString::fromStdString(server.baseUrl());
    Form1 form(config);
    form.List1->AddItems({ u"kept.com"_s });
    form.PageParts[20] = u"detail slot"_s;
    form.PageNo = qint16(pageNo);

    QVERIFY(form.jl());

    const std::vector<LoopbackServer::LoggedRequest> requests = server.requests();
    QCOMPARE(requests.size(), std::size_t(1));
    QCOMPARE(QString::fromStdString(requests[0].target), target);
    QVERIFY(requests[0].hasIfModifiedSince);
    QCOMPARE(form.PageNo, qint16(pageNo));
    QCOMPARE(form.List1->entries(), QStringList { u"kept.com"_s } + names);
    QCOMPARE(form.List1->ListIndex(), 11);
    for (int i = 0; i < PagePartsCount; ++i)
        QVERIFY2(form.PageParts[i].isEmpty(), qPrintable(u"slot %1 not cleared"_s.arg(i)));
}

void TestExtract::jlFailsWithoutResults_data()
{
    QTest::addColumn<bool>("reachable");
    QTest::addColumn<QString>("body");

    QTest::newRow("page without the results marker") << true << (u"<html>"_s + rows({ u"a.com"_s }) + Pagination);
    QTest::newRow("empty page") << true << QString();
    QTest::newRow("server unreachable") << false << QString();
}

void TestExtract::jlFailsWithoutResults()
{
    QFETCH(bool, reachable);
    QFETCH(QString, body);

    LoopbackServer server;
    server.get("/search", [&](const httplib::Request &, httplib::Response &response) {
        response.set_content(utf8(body), "text/html; charset=utf-8");
    });
    QVERIFY(server.start() > 0);
    AppConfig config;
    config.marketUrl = reachable ? QString::fromStdString(server.baseUrl()) : closedPortUrl();

    Form1 form(config);
    form.fetchLimits.transferTimeoutMs = 5000;
    form.List1->AddItems({ u"kept.com"_s });
    form.PageNo = 3;
    form.PageParts[0] = u"old page"_s;
    form.PageParts[1] = u"old piece"_s;
    form.PageParts[2] = u"old region"_s;
    form.PageParts[3] = u"old name"_s;
    form.PageParts[10] = u"detail slot"_s;

    QVERIFY(!form.jl());

    QCOMPARE(form.List1->entries(), QStringList { u"kept.com"_s });
    QCOMPARE(form.PageParts[0], body);
    QCOMPARE(form.PageParts[1], u"old piece"_s);
    QCOMPARE(form.PageParts[2], u"old region"_s);
    QCOMPARE(form.PageParts[3], u"old name"_s);
    QCOMPARE(form.PageParts[10], u"detail slot"_s);
}

QTEST_MAIN(TestExtract)
#include "tst_extract.moc"
