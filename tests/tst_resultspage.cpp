// Reading a results page: the markers, the row limit, and names as hostile pages carry them.
#include "core/collect/resultspage.h"
#include "core/text/domainname.h"
#include "tests/sitetest.h"
#include "tools/samplemarket.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTest>

#include <sys/mman.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString CrLf = u"\r\n"_s;

// One row of the marketplace's table, written exactly as the marketplace writes it unless told.
QString row(const QString &name, const QString &lineBreak = u"\r\n"_s, const QString &indent = u"    "_s,
    const QString &tr = u"<tr>"_s)
{
    return tr + lineBreak + indent + u"<td><a href=\"/backorder/"_s + name + u"\" target=\"_blank\">"_s + name
        + u"</a></td>\r\n    <td>2024-05-01</td>\r\n</tr>\r\n"_s;
}

QString rows(const QStringList &names)
{
    QString text;
    for (const QString &name : names)
        text += row(name);
    return text;
}

const QString Head = u"<html><body>\r\n<a href=\"/booking\">预订</a>\r\n<table>\r\n"_s;
const QString Pagination = u"</table>\r\n<div class=\"pagination\"><a href=\"/search?p=2\">2</a></div>"_s;

QString page(const QString &tableRows)
{
    return Head + tableRows + Pagination + u"\r\n</body></html>"_s;
}

// Names as a results page may carry them between the row marker and the closing quote.
const std::pair<const char *, QString> HostileNames[] = {
    { "quotes and blanks", u"  it's' a b  .com "_s },
    { "path segments", u"../../etc/passwd/./a.com/.."_s },
    { "query, fragment, percent and encoded-looking text", u"a.com?page=2&x=1#top100%.com%2F..%2F%00"_s },
    { "backslashes and markup", u"..\\..\\<script>alert(1)</script>.com"_s },
    { "control characters and NUL bytes", withNul(u"a\u0001\u001f\u007f\tb\r\n"_s, withNul(u".com"_s, QString())) },
    { "right-to-left marks", u"\u202Emoc.\u200Fevil\u202C.com\u200E"_s },
    { "characters outside the BMP", u"😀𠀀.com"_s },
    { "64 KiB Chinese name", QString(32 * 1024, u'中') + u".cn"_s },
};

} // namespace

class TstResultsPage : public QObject
{
    Q_OBJECT
private slots:
    void readResultsPage_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("hasResultsMarker");
        QTest::addColumn<bool>("hasTable");
        QTest::addColumn<QStringList>("names");

        const auto unread = [](const char *name, const QString &text, bool hasResultsMarker) {
            QTest::newRow(name) << text << hasResultsMarker << false << QStringList();
        };
        const auto listed = [](const char *name, const QString &tableRows, const QStringList &names) {
            QTest::newRow(name) << page(tableRows) << true << true << names;
        };
        const QStringList sixty = numberedNames(u"name"_s, 60, 1);
        const QStringList ab { u"a.com"_s, u"b.com"_s };
        const QStringList ac { u"a.com"_s, u"c.com"_s };
        unread("empty page", QString(), false);
        unread("results marker in capitals only", u"<a href=\"/BOOKING\">"_s + rows(ab) + Pagination, false);
        unread("pagination marker with other quoting", Head + rows(ab) + u"<div class='pagination'>"_s, true);
        unread("results marker twice: pagination only after the second",
            Head + rows(ab) + u"booking"_s + rows({ u"c.com"_s }) + Pagination, true);
        unread("results marker at the very end", rows(ab) + Pagination + u"booking"_s, true);
        QTest::newRow("results marker twice: only rows between the two")
            << (page(rows(ab)) + u"booking"_s + rows({ u"c.com"_s }) + Pagination) << true << true << ab;
        listed("no rows", QString(), {});
        listed("60 rows: rows 1 to 50 in page order", rows(sixty), sixty.mid(0, 50));
        listed("exactly 50 rows", rows(numberedNames(u"name"_s, 50, 1)), numberedNames(u"name"_s, 50, 1));
        // Rows as the marketplace never writes them: the row tag in capitals, a line feed alone, a tab or two
        // blanks for the indent.
        listed("row marker written otherwise is no row",
            row(u"b"_s, CrLf, u"\t"_s) + row(u"a.com"_s) + row(u"b"_s, CrLf, u"    "_s, u"<TR>"_s)
                + row(u"b"_s, u"\n"_s) + row(u"c.com"_s) + row(u"b"_s, CrLf, u"  "_s),
            ac);
        listed("slash after the name stays", rows({ u"example.com/"_s }), { u"example.com/"_s });
        listed("duplicates and empty names are kept", rows({ u"a.com"_s, QString(), u"a.com"_s }),
            { u"a.com"_s, QString(), u"a.com"_s });
        listed("row without a double quote gives the empty name",
            row(u"a.com"_s) + u"<tr>\r\n    <td><a href=\"/backorder/broken</a></td></tr>"_s,
            { u"a.com"_s, QString() });
        listed("Chinese names", rows({ u"中国.中国"_s, u"例子.cn"_s }), { u"中国.中国"_s, u"例子.cn"_s });
        // A name ends at its first double quote.
        listed("quote first", row(u"\"a.com"_s), { QString() });
        listed("attribute injection", row(u"x.com\" onclick=\"alert(1)"_s), { u"x.com"_s });
        listed("quote after a NUL", row(withNul(u"a"_s, u"\"b"_s)), { u"a\uFFFD"_s });
        // Any other name comes out as the page holds it, but for the characters that hide or break lines
        // (tst_textops builds URLs from such names).
        for (const auto &[tag, name] : HostileNames)
            listed(tag, rows({ u"first.com"_s, name, u"last.com"_s }),
                { u"first.com"_s, visibleName(name), u"last.com"_s });
        listed("override, isolate, zero-width and Latin-1 control characters show",
            row(u"a\u202Eb\u2066\u200B\u200C\u200D\u2060\uFEFF\u0085.com"_s),
            { u"a\uFFFDb\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD.com"_s });
        listed(
            "line break in a name shows, the name stays one entry", row(u"a\r\nb.com"_s), { u"a\uFFFD\uFFFDb.com"_s });
    }

    void readResultsPage()
    {
        QFETCH(QString, text);
        QFETCH(bool, hasResultsMarker);
        QFETCH(bool, hasTable);
        QFETCH(QStringList, names);

        for (const QString &decoded : { text, viaGbk(text) }) {
            const ResultsPage read = ::readResultsPage(decoded);
            QCOMPARE(read.hasResultsMarker, hasResultsMarker);
            QCOMPARE(read.hasTable, hasTable);
            QCOMPARE(read.names, names);
        }
    }

    void hundredThousandRowsReadFast()
    {
        const QStringList names = numberedNames(u"name"_s, 100000, 1);
        const QString text = page(rows(names));

        QElapsedTimer timer;
        timer.start();
        const QStringList read = ::readResultsPage(text).names;
        const qint64 elapsedMs = timer.elapsed();

        QCOMPARE(read, names.mid(0, ResultsMarkers::RowLimit));
        // A few scans of the page take milliseconds; work per row and page takes seconds to minutes.
        QVERIFY2(elapsedMs < 2000, qPrintable(u"%1 ms"_s.arg(elapsedMs)));
    }

    // A table of 100,000 rows of which only the first 52 lie in readable memory: reading has to stop at
    // the 51st row marker, whatever follows it, or the test crashes.
    void rowsPastTheLimitAreNeverRead()
    {
        const QString readable = Head + rows(numberedNames(u"name"_s, 52, 1));
        const auto pageSize = qsizetype(sysconf(_SC_PAGESIZE));
        const auto roundUp = [pageSize](qsizetype bytes) { return (bytes + pageSize - 1) / pageSize * pageSize; };
        const qsizetype readableBytes = roundUp(readable.size() * qsizetype(sizeof(QChar)));
        const qsizetype unreadableBytes
            = roundUp((100000 - 52) * row(u"name99999.com"_s).size() * qsizetype(sizeof(QChar)));
        const auto total = std::size_t(readableBytes + unreadableBytes);
        void *memory = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        QVERIFY(memory != MAP_FAILED);
        const auto unmap = qScopeGuard([&] { munmap(memory, total); });
        char *const unreadable = static_cast<char *>(memory) + readableBytes;
        QCOMPARE(mprotect(unreadable, std::size_t(unreadableBytes), PROT_NONE), 0);

        QChar *const start = reinterpret_cast<QChar *>(unreadable) - readable.size();
        std::copy(readable.cbegin(), readable.cend(), start);
        const QString region
            = QString::fromRawData(start, readable.size() + unreadableBytes / qsizetype(sizeof(QChar)));

        QCOMPARE(extractDomainNames(region), numberedNames(u"name"_s, ResultsMarkers::RowLimit, 1));
    }

    // A page cut anywhere, also inside a character of its UTF-8 bytes, lists no names or all of them,
    // never a name cut short; once whole it stays whole as more arrives.
    void cutOffPage()
    {
        const QStringList names = sampleNames(1).mid(0, 3);
        const QString text = QString::fromStdString(
            SampleMarket::resultsPage({ names[0].toStdString(), names[1].toStdString(), names[2].toStdString() }));
        QCOMPARE(::readResultsPage(text).names, names);

        bool wasWhole = false;
        for (const QString &prefix : prefixesOf(text, "UTF-8")) {
            if (prefix.isEmpty())
                wasWhole = false; // the byte prefixes start over
            const QStringList read = ::readResultsPage(prefix).names;
            QVERIFY2(read.isEmpty() || read == names, qPrintable(read.join(u'|')));
            QVERIFY(!wasWhole || read == names);
            wasWhole = !read.isEmpty();
        }
        QVERIFY(wasWhole);
    }
};

QTEST_GUILESS_MAIN(TstResultsPage)
#include "tst_resultspage.moc"
