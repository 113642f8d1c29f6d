// Pages written to break the readers: names with quotes, blanks, dot segments, control characters,
// NUL bytes and right-to-left marks, names of 64 KiB, 100,000 rows in one table, backorder and ICP
// pages with their markers repeated thousands of times or cut short. What is read from them reaches
// a server only percent-encoded and inside its folder, and the export writes it whole.
#include "actions/domainexport.h"
#include "app/textops.h"
#include "app/urls.h"
#include "collect/resultspage.h"
#include "detail/backorderpage.h"
#include "detail/icppage.h"
#include "fetch/pagefetcher.h"
#include "tools/loopbackserver.h"
#include "tools/samplemarket.h"

#include <httplib.h>

#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mman.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString CrLf = u"\r\n"_s;

// One row of the marketplace's table, as the marketplace writes it.
QString row(const QString &name)
{
    return u"<tr>\r\n    <td><a href=\"/backorder/"_s + name + u"\" target=\"_blank\">"_s + name + u"</a></td>"_s + CrLf
        + u"    <td>2024-05-01</td>"_s + CrLf + u"</tr>"_s + CrLf;
}

QString rows(const QStringList &names)
{
    QString text;
    for (const QString &name : names)
        text += row(name);
    return text;
}

const QString TableHead = u"<html><body>\r\n<div id=\"booking-list\">\r\n<table>\r\n"_s;
const QString TableEnd
    = u"</table>\r\n<div class=\"pagination\"><a href=\"/search?p=2\">2</a></div>\r\n</body></html>"_s;

QString resultsPage(const QStringList &names)
{
    return TableHead + rows(names) + TableEnd;
}

QStringList numberedNames(int count)
{
    QStringList names;
    names.reserve(count);
    for (int i = 1; i <= count; ++i)
        names.append(u"name%1.com"_s.arg(i));
    return names;
}

QByteArray gbk(const QString &text)
{
    QStringEncoder encoder("GB18030");
    return encoder.encode(text);
}

QString fromGbk(const QByteArray &bytes)
{
    QStringDecoder decoder("GB18030");
    return decoder.decode(bytes);
}

QString withNul(const QString &before, const QString &after)
{
    return before + QChar(u'\0') + after;
}

struct HostileName
{
    const char *tag;
    QString name;
};

// Names as a results page may carry them between the row marker and the closing quote.
QList<HostileName> hostileNames()
{
    return {
        { "single quotes", u"it's'.com"_s },
        { "blanks inside and around", u"  a b  .com "_s },
        { "parent segments", u"../../../etc/passwd"_s },
        { "parent segment in the middle", u"a.com/../../x"_s },
        { "current segment", u"./a.com"_s },
        { "dot segment at the end", u"a.com/.."_s },
        { "three dots are no segment", u".../a.com"_s },
        { "question mark", u"a.com?page=2&x=1"_s },
        { "hash", u"a.com#top"_s },
        { "percent and encoded-looking text", u"100%.com%2F..%2F%00"_s },
        { "backslashes", u"..\\..\\a.com"_s },
        { "control characters", u"a\u0001\u001f\u007f\tb\r\n.com"_s },
        { "NUL bytes", withNul(u"a"_s, withNul(u".com"_s, QString())) },
        { "right-to-left marks", u"\u202Emoc.\u200Fevil\u202C.com\u200E"_s },
        { "markup", u"<script>alert(1)</script>.com"_s },
        { "shell characters", u"a.com;rm -rf ~|`id`$(id)&"_s },
        { "replacement character", u"\uFFFD.com"_s },
        { "characters outside the BMP", u"😀𠀀.com"_s },
        { "64 KiB name", QString(64 * 1024, u'a') + u".com"_s },
        { "64 KiB Chinese name", QString(32 * 1024, u'中') + u".cn"_s },
    };
}

// Slash-separated parts of an encoded URL path: none may be "." or "..", which the network layer
// or a server would resolve.
bool hasDotSegment(const QByteArray &encodedPath)
{
    for (const QByteArray &segment : encodedPath.split('/')) {
        if (segment == "." || segment == "..")
            return true;
    }
    return false;
}

struct BackorderValues
{
    QString type, time, deadline, whois;
    bool closed = false;
    QStringList cells;
};

BackorderValues valuesOf(const BackorderPage &page)
{
    return { page.deletionType, page.deletionTime, page.deadline, page.whois, page.bookingClosed,
        { page.platform, page.price, page.rmb, page.deposit } };
}

QString backorderHtml(const QString &info, const QString &priceRow, const QString &whois)
{
    return u"<html><body>\r\n<div class=\"info\">\r\n"_s + info
        + u"</div>\r\n<div class=\"price\">\r\n<table>\r\n"
          "<tr><th>预定平台</th><th>预定价格</th><th>折合人民币</th><th>保证金</th></tr>\r\n<tr>"_s
        + priceRow + u"<h2>whois信息</h2>\r\n<pre>"_s + whois + u"</pre>\r\n</body></html>\r\n"_s;
}

const QString TypeLabel = u"删除类型：</label>"_s;
const QString Info
    = u"<p><label>删除类型：</label>过期删除</p>\r\n<p><label>删除时间：</label>2024-06-18 09:30:00</p>\r\n"
      "<p><label>预订截止时间：</label>2024-06-18 07:00:00</p>\r\n"_s;
const QString PriceRow
    = u"<td>国际通道</td><td>US$69.00</td><td>496.80</td><td>100</td><td><a href=\"/order\">预订</a></td></tr>\r\n"
      "</table>\r\n</div>\r\n"_s;
const QString Whois = u"Domain Name: A.COM\nDomain Status: pendingDelete"_s;
const QStringList Cells { u"国际通道"_s, u"US$69.00"_s, u"496.80"_s, u"100"_s };
const QStringList NoCells { QString(), QString(), QString(), QString() };

const QString LicenceMarker = u"<tr><td>网站备案/许可证号</td><td>"_s;

QString icpHtml(const QString &body)
{
    return u"<html><body>\r\n<table class=\"icp-info\">\r\n"_s + body + u"</table>\r\n</body></html>\r\n"_s;
}

// Every prefix of a page, as text and, for a GBK page, as the bytes cut anywhere (also inside a
// character) and decoded the way a fetch decodes them.
QStringList prefixesOf(const QString &page)
{
    QStringList prefixes;
    for (qsizetype n = 0; n <= page.size(); ++n)
        prefixes.append(page.left(n));
    const QByteArray bytes = gbk(page);
    for (qsizetype n = 0; n <= bytes.size(); ++n)
        prefixes.append(fromGbk(bytes.left(n)));
    return prefixes;
}

} // namespace

Q_DECLARE_METATYPE(IcpFiling)

class TestHostilePages : public QObject
{
    Q_OBJECT

private slots:
    void hostileNamesInResultsPage_data();
    void hostileNamesInResultsPage();
    void quotesEndTheName_data();
    void quotesEndTheName();
    void hostileNameUrls_data();
    void hostileNameUrls();
    void serverReceivesTheName_data();
    void serverReceivesTheName();
    void dotSegmentNamesGetNoUrl_data();
    void dotSegmentNamesGetNoUrl();
    void exportKeepsHostileNames();

    void hundredThousandRowsGiveFifty();
    void rowsPastTheLimitAreNeverRead();

    void repeatedBackorderMarkers_data();
    void repeatedBackorderMarkers();
    void repeatedIcpMarkers_data();
    void repeatedIcpMarkers();
    void cutOffResultsPage();
    void cutOffBackorderPage_data();
    void cutOffBackorderPage();
    void cutOffIcpPage_data();
    void cutOffIcpPage();
};

void TestHostilePages::hostileNamesInResultsPage_data()
{
    QTest::addColumn<QString>("name");
    for (const HostileName &hostile : hostileNames())
        QTest::newRow(hostile.tag) << hostile.name;
}

// Each name comes out exactly as the page holds it, from the text and from the page's GBK bytes.
void TestHostilePages::hostileNamesInResultsPage()
{
    QFETCH(QString, name);

    const QStringList names { u"first.com"_s, name, u"last.com"_s };
    const QString page = resultsPage(names);
    QCOMPARE(readResultsPage(page).names, names);
    QCOMPARE(readResultsPage(fromGbk(gbk(page))).names, names);
}

void TestHostilePages::quotesEndTheName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("extracted");

    QTest::newRow("quote in the middle") << u"a\"b.com"_s << u"a"_s;
    QTest::newRow("quote first") << u"\"a.com"_s << QString();
    QTest::newRow("attribute injection") << u"x.com\" onclick=\"alert(1)"_s << u"x.com"_s;
    QTest::newRow("quote after a NUL") << withNul(u"a"_s, u"\"b"_s) << withNul(u"a"_s, QString());
}

void TestHostilePages::quotesEndTheName()
{
    QFETCH(QString, name);
    QFETCH(QString, extracted);

    const QStringList names = readResultsPage(resultsPage({ u"first.com"_s, name, u"last.com"_s })).names;
    QCOMPARE(names, QStringList({ u"first.com"_s, extracted, u"last.com"_s }));
    for (const QString &read : names)
        QVERIFY(!read.contains(u'"'));
}

void TestHostilePages::hostileNameUrls_data()
{
    hostileNamesInResultsPage_data();
}

// The URL reads back as the name below its folder, carries nothing in a query or a fragment, has
// no segment that would be resolved away, and holds only printable ASCII.
void TestHostilePages::hostileNameUrls()
{
    QFETCH(QString, name);

    const QString market = u"http://www.market.example"_s;
    const QString icp = u"http://icp.lookup.example/lookup"_s;
    const QList<std::pair<QUrl, QString>> built {
        { Urls::backorderPage(market, name), u"/backorder/"_s },
        { Urls::icpPage(icp, name), u"/lookup/"_s },
    };
    for (const auto &[url, folder] : built) {
        QVERIFY(url.isValid());
        QVERIFY(!url.hasQuery());
        QVERIFY(!url.hasFragment());
        QCOMPARE(url.path(QUrl::FullyDecoded), folder + name);
        QCOMPARE(url.adjusted(QUrl::NormalizePathSegments), url);
        const QByteArray path = url.path(QUrl::FullyEncoded).toLatin1();
        QVERIFY(path.startsWith(folder.toLatin1()));
        QVERIFY2(!hasDotSegment(path), path.left(200).constData());
        const QByteArray encoded = url.toEncoded();
        QVERIFY(std::all_of(encoded.begin(), encoded.end(), [](char c) { return c > ' ' && c < 0x7f; }));
    }
}

void TestHostilePages::serverReceivesTheName_data()
{
    QTest::addColumn<QString>("name");
    for (const HostileName &hostile : hostileNames()) {
        // A request line of several hundred KiB is refused by every server, this one included.
        if (hostile.name.size() < 1000)
            QTest::newRow(hostile.tag) << hostile.name;
    }
}

// What arrives is checked on the raw request line the server logs, not on what Qt was given: the
// network layer resolves dot segments before it sends.
void TestHostilePages::serverReceivesTheName()
{
    QFETCH(QString, name);

    LoopbackServer server;
    server.get(R"([\s\S]*)",
        [](const httplib::Request &, httplib::Response &response) { response.set_content("ok", "text/plain"); });
    QVERIFY(server.start() > 0);
    const QString base = QString::fromStdString(server.baseUrl());

    const QList<std::pair<QUrl, std::string>> requests {
        { Urls::backorderPage(base, name), "/backorder/" },
        { Urls::icpPage(base + u"/icp"_s, name), "/icp/" },
    };
    for (const auto &[url, folder] : requests) {
        server.clearLog();
        FetchRequest request;
        request.url = url;
        request.limits.transferTimeoutMs = 10 * 1000;
        const FetchResult result = fetchBlocking(request);
        QCOMPARE(result.error, FetchError::None);

        const std::vector<LoopbackServer::LoggedRequest> log = server.requests();
        QCOMPARE(log.size(), std::size_t(1));
        const QByteArray target = QByteArray::fromStdString(log[0].target);
        QVERIFY2(target.startsWith(QByteArray::fromStdString(folder)), target.constData());
        QVERIFY2(!hasDotSegment(target), target.constData());
        QVERIFY2(!target.contains('?') && !target.contains('#'), target.constData());
        // The server's own decoding gives the name back, byte for byte.
        QCOMPARE(QByteArray::fromStdString(log[0].path), QByteArray::fromStdString(folder) + name.toUtf8());
    }
}

void TestHostilePages::dotSegmentNamesGetNoUrl_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("..") << u".."_s;
    QTest::newRow(".") << u"."_s;
}

// A name that is a dot segment by itself cannot be sent below the folder: no URL, no request.
void TestHostilePages::dotSegmentNamesGetNoUrl()
{
    QFETCH(QString, name);

    LoopbackServer server;
    server.get(R"([\s\S]*)",
        [](const httplib::Request &, httplib::Response &response) { response.set_content("ok", "text/plain"); });
    QVERIFY(server.start() > 0);
    const QString base = QString::fromStdString(server.baseUrl());

    for (const QUrl &url : { Urls::backorderPage(base, name), Urls::icpPage(base, name) }) {
        QVERIFY(!url.isValid());
        FetchRequest request;
        request.url = url;
        QVERIFY(!fetchBlocking(request).hasResponse());
    }
    QVERIFY(server.requests().empty());
}

// NUL, control characters and the rest are written as they are: the file decodes back to exactly
// the names, each followed by CR LF.
void TestHostilePages::exportKeepsHostileNames()
{
    QStringList names;
    QString expected;
    for (const HostileName &hostile : hostileNames()) {
        names.append(hostile.name);
        expected += hostile.name + CrLf;
    }
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"list.txt"_s);

    const ExportResult result = writeDomainList(names, path);
    QVERIFY2(result.saved, qPrintable(result.errorText));

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes, encodeDomainList(names).value_or(QByteArray()));
    QVERIFY(bytes.contains('\0'));
    QStringDecoder decoder("GB18030");
    const QString decoded = decoder.decode(bytes);
    QVERIFY(!decoder.hasError());
    QCOMPARE(decoded, expected);
}

void TestHostilePages::hundredThousandRowsGiveFifty()
{
    const QStringList names = numberedNames(100000);
    const QString page = resultsPage(names);

    QElapsedTimer timer;
    timer.start();
    const ResultsPage read = readResultsPage(page);
    const qint64 elapsedMs = timer.elapsed();

    QCOMPARE(read.names, names.mid(0, ResultsMarkers::RowLimit));
    // Reading is a few scans of the page; a reader that works per row, or per row and page, takes
    // seconds to minutes here.
    QVERIFY2(elapsedMs < 2000, qPrintable(u"%1 ms"_s.arg(elapsedMs)));
}

// The table region of a page with 100,000 rows, of which only the first 52 lie in readable memory:
// the reader has to stop at the 51st row marker, whatever follows it, or the test crashes.
void TestHostilePages::rowsPastTheLimitAreNeverRead()
{
    const QString readable = TableHead + rows(numberedNames(52));
    const qsizetype rowChars = row(u"name99999.com"_s).size();

    const auto pageSize = qsizetype(sysconf(_SC_PAGESIZE));
    const auto roundUp = [pageSize](qsizetype bytes) { return (bytes + pageSize - 1) / pageSize * pageSize; };
    const qsizetype readableBytes = roundUp(readable.size() * qsizetype(sizeof(QChar)));
    const qsizetype unreadableBytes = roundUp((100000 - 52) * rowChars * qsizetype(sizeof(QChar)));
    void *memory = mmap(nullptr, std::size_t(readableBytes + unreadableBytes), PROT_READ | PROT_WRITE,
        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    QVERIFY(memory != MAP_FAILED);
    const auto unmap = qScopeGuard([&] { munmap(memory, std::size_t(readableBytes + unreadableBytes)); });
    char *const unreadable = static_cast<char *>(memory) + readableBytes;
    QCOMPARE(mprotect(unreadable, std::size_t(unreadableBytes), PROT_NONE), 0);

    // The readable rows end right where the unreadable memory starts.
    QChar *const start = reinterpret_cast<QChar *>(unreadable) - readable.size();
    std::copy(readable.cbegin(), readable.cend(), start);
    const QString region = QString::fromRawData(start, readable.size() + unreadableBytes / qsizetype(sizeof(QChar)));

    QCOMPARE(extractDomainNames(region), numberedNames(ResultsMarkers::RowLimit));
}

void TestHostilePages::repeatedBackorderMarkers_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("whois");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<QStringList>("cells");

    const QString plain = backorderHtml(Info, PriceRow, Whois);
    QTest::newRow("plain page") << plain << u"过期删除"_s << Whois << false << Cells;
    QTest::newRow("whole page 2,000 times: the first copy counts")
        << plain.repeated(2000) << u"过期删除"_s << Whois << false << Cells;
    QTest::newRow("deletion-type marker 5,000 times in a row: empty type")
        << backorderHtml(QString(Info).replace(TypeLabel, TypeLabel.repeated(5000)), PriceRow, Whois) << QString()
        << Whois << false << Cells;
    QTest::newRow("deletion-type marker and value 5,000 times: the first value")
        << backorderHtml((TypeLabel + u"第一</p>"_s).repeated(5000) + Info, PriceRow, Whois) << u"第一"_s << Whois
        << false << Cells;
    QTest::newRow("end marker 5,000 times") << backorderHtml(
        QString(Info).replace(u"过期删除</p>"_s, u"过期删除"_s + u"</p>"_s.repeated(5000)), PriceRow, Whois)
                                            << u"过期删除"_s << Whois << false << Cells;
    QTest::newRow("'<' 100,000 times in the whois: all of them go")
        << backorderHtml(Info, PriceRow, u"a"_s + u"<"_s.repeated(100000) + u"b"_s) << u"过期删除"_s << u"ab"_s << false
        << Cells;
    QTest::newRow("'<pre>' 5,000 times: empty whois")
        << backorderHtml(Info, PriceRow, u"<pre>"_s.repeated(5000) + Whois) << u"过期删除"_s << QString() << false
        << Cells;
    QTest::newRow("cell marker 10,000 times: empty cells after the platform")
        << backorderHtml(Info, u"<td>国际通道</td>"_s + u"<td>"_s.repeated(10000) + u"</div>\r\n"_s, Whois)
        << u"过期删除"_s << Whois << false << QStringList { u"国际通道"_s, QString(), QString(), QString() };
    QTest::newRow("deposit header 5,000 times: no </div> between the first two, empty cells")
        << backorderHtml(Info, u"<th>保证金</th>"_s.repeated(5000) + PriceRow, Whois) << u"过期删除"_s << Whois << false
        << NoCells;
    QTest::newRow("closed notice 5,000 times")
        << backorderHtml(Info + u"该域名的预订时间已过"_s.repeated(5000), PriceRow, Whois) << u"过期删除"_s << Whois
        << true << NoCells;
}

void TestHostilePages::repeatedBackorderMarkers()
{
    QFETCH(QString, page);
    QFETCH(QString, type);
    QFETCH(QString, whois);
    QFETCH(bool, closed);
    QFETCH(QStringList, cells);

    for (const QString &text : { page, fromGbk(gbk(page)) }) {
        const BackorderValues values = valuesOf(readBackorderPage(text));
        QCOMPARE(values.type, type);
        QCOMPARE(values.time, u"2024-06-18 09:30:00"_s);
        QCOMPARE(values.whois, whois);
        QCOMPARE(values.closed, closed);
        QCOMPARE(values.cells, cells);
    }
}

void TestHostilePages::repeatedIcpMarkers_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<IcpFiling>("filing");
    QTest::addColumn<QString>("licence");

    const QString licenceRow = LicenceMarker + u"京ICP备1号</td></tr>\r\n"_s;
    QTest::newRow("whole page 2,000 times")
        << icpHtml(licenceRow).repeated(2000) << IcpFiling::Filed << u"京ICP备1号"_s;
    QTest::newRow("licence row 5,000 times with other numbers after the first")
        << icpHtml(licenceRow + (LicenceMarker + u"京ICP备2号</td></tr>"_s).repeated(5000)) << IcpFiling::Filed
        << u"京ICP备1号"_s;
    QTest::newRow("licence marker 5,000 times in a row: no whole cell, unknown")
        << icpHtml(LicenceMarker.repeated(5000) + u"京ICP备1号</td></tr>"_s) << IcpFiling::Unknown << QString();
    QTest::newRow("cell end 5,000 times")
        << icpHtml(LicenceMarker + u"京ICP备1号"_s + u"</td>"_s.repeated(5000)) << IcpFiling::Filed << u"京ICP备1号"_s;
    QTest::newRow("'<' 100,000 times around the number")
        << icpHtml(LicenceMarker + u"<"_s.repeated(50000) + u"京ICP备1号"_s + u"<"_s.repeated(50000) + u"</td>"_s)
        << IcpFiling::Filed << u"京ICP备1号"_s;
    QTest::newRow("not-filed text 5,000 times after a licence row")
        << icpHtml(licenceRow + u"未备案"_s.repeated(5000)) << IcpFiling::NotFiled << QString();
}

void TestHostilePages::repeatedIcpMarkers()
{
    QFETCH(QString, page);
    QFETCH(IcpFiling, filing);
    QFETCH(QString, licence);

    for (const QString &text : { page, fromGbk(gbk(page)) }) {
        const IcpPage read = readIcpPage(text);
        QCOMPARE(read.filing, filing);
        QCOMPARE(read.licence, licence);
    }
}

// A results page cut anywhere lists either no names or all of them: never a part of a name.
void TestHostilePages::cutOffResultsPage()
{
    const std::vector<std::string> sample = SampleMarket::namesForPage(1);
    QStringList names;
    for (std::size_t i = 0; i < 3; ++i)
        names.append(QString::fromStdString(sample[i]));
    const QString page = QString::fromStdString(
        SampleMarket::resultsPage(std::vector<std::string>(sample.begin(), sample.begin() + 3)));
    QCOMPARE(readResultsPage(page).names, names);

    bool wasWhole = false;
    for (const QString &prefix : prefixesOf(page)) {
        if (prefix.isEmpty())
            wasWhole = false; // the byte prefixes start over
        const QStringList read = readResultsPage(prefix).names;
        QVERIFY2(read.isEmpty() || read == names, qPrintable(read.join(u'|')));
        QVERIFY(!wasWhole || read == names);
        wasWhole = !read.isEmpty();
    }
    QVERIFY(wasWhole);
}

void TestHostilePages::cutOffBackorderPage_data()
{
    QTest::addColumn<bool>("closed");
    QTest::newRow("open for booking") << false;
    QTest::newRow("booking closed") << true;
}

// A backorder page cut anywhere gives each value whole or empty, and once whole it stays whole as
// more of the page arrives.
void TestHostilePages::cutOffBackorderPage()
{
    QFETCH(bool, closed);

    SampleMarket::BackorderInfo info = SampleMarket::backorderInfoFor("xinhua88.com.cn");
    info.bookingClosed = closed;
    const QString page = QString::fromStdString(SampleMarket::backorderPage(info));
    const BackorderValues whole = valuesOf(readBackorderPage(page));
    QVERIFY(!whole.type.isEmpty() && !whole.time.isEmpty() && !whole.deadline.isEmpty() && !whole.whois.isEmpty());
    QCOMPARE(whole.closed, closed);
    QCOMPARE(whole.cells.contains(QString()), closed);

    const QStringList prefixes = prefixesOf(page);
    BackorderValues previous;
    previous.cells = NoCells;
    for (const QString &prefix : prefixes) {
        if (prefix.isEmpty())
            previous = { QString(), QString(), QString(), QString(), false, NoCells };
        const BackorderValues read = valuesOf(readBackorderPage(prefix));
        const QList<std::tuple<QString, QString, QString>> fields {
            { read.type, whole.type, previous.type },
            { read.time, whole.time, previous.time },
            { read.deadline, whole.deadline, previous.deadline },
            { read.whois, whole.whois, previous.whois },
        };
        for (const auto &[value, wholeValue, before] : fields) {
            QVERIFY2(value.isEmpty() || value == wholeValue, qPrintable(value));
            QVERIFY(before.isEmpty() || value == wholeValue);
        }
        for (int i = 0; i < 4; ++i) {
            QVERIFY2(read.cells[i].isEmpty() || read.cells[i] == whole.cells[i], qPrintable(read.cells[i]));
            QVERIFY(previous.cells[i].isEmpty() || read.cells[i] == whole.cells[i]);
        }
        QVERIFY(!read.closed || closed);
        previous = read;
    }
    QCOMPARE(valuesOf(readBackorderPage(prefixes.last())).cells, whole.cells);
}

void TestHostilePages::cutOffIcpPage_data()
{
    QTest::addColumn<QString>("licence");
    QTest::newRow("filed") << u"京ICP备12345678号-1"_s;
    QTest::newRow("not filed") << QString();
}

// An ICP page cut anywhere says nothing (unknown) until the answer has arrived whole: a licence cut
// short is neither a shorter licence nor a "not filed".
void TestHostilePages::cutOffIcpPage()
{
    QFETCH(QString, licence);

    const QString page = QString::fromStdString(SampleMarket::icpPage(licence.toStdString()));
    const IcpFiling answer = licence.isEmpty() ? IcpFiling::NotFiled : IcpFiling::Filed;
    QCOMPARE(readIcpPage(page).filing, answer);

    IcpFiling previous = IcpFiling::Unknown;
    for (const QString &prefix : prefixesOf(page)) {
        if (prefix.isEmpty())
            previous = IcpFiling::Unknown;
        const IcpPage read = readIcpPage(prefix);
        QVERIFY2(read.filing == IcpFiling::Unknown || read.filing == answer, qPrintable(prefix.right(40)));
        QCOMPARE(read.licence, read.filing == IcpFiling::Filed ? licence : QString());
        QVERIFY(previous == IcpFiling::Unknown || read.filing == answer);
        previous = read.filing;
    }
}

QTEST_MAIN(TestHostilePages)
#include "tst_hostilepages.moc"
