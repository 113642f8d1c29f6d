// The text operations every page reader is built from, and the URLs built from page text.
#include "core/text/textops.h"
#include "core/text/urls.h"
#include "tests/sitetest.h"

#include <QTest>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

enum class Op { TextUpTo, TrimBlanks, ValueBefore, OneLine };

QString apply(Op op, const QString &text, const QString &marker)
{
    switch (op) {
    case Op::TextUpTo:
        return TextOps::textUpTo(text, marker);
    case Op::TrimBlanks:
        return TextOps::trimBlanks(text);
    case Op::ValueBefore:
        return TextOps::valueBefore(text, marker);
    case Op::OneLine:
        return TextOps::oneLine(text);
    }
    return QString();
}

// Slash-separated parts of an encoded path: none may be "." or "..", which would be resolved away.
bool hasDotSegment(const QByteArray &encodedPath)
{
    const QList<QByteArray> segments = encodedPath.split('/');
    return segments.contains(".") || segments.contains("..");
}

} // namespace

Q_DECLARE_METATYPE(Op)

class TstTextOps : public QObject
{
    Q_OBJECT
private slots:
    void pieces_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("marker");
        QTest::addColumn<int>("k");
        QTest::addColumn<std::optional<QString>>("piece");

        const QString label = u"删除类型：</label>"_s;
        const QString once = u"<p><label>删除类型：</label>过期删除</p>"_s;
        const QString twice = u"a删除类型：</label>first</p>删除类型：</label>second</p>"_s;
        const std::optional<QString> none;
        QTest::newRow("marker once: piece 0 is the text before it")
            << once << label << 0 << std::optional(u"<p><label>"_s);
        QTest::newRow("marker twice: piece 1 stops at the second")
            << twice << label << 1 << std::optional(u"first</p>"_s);
        QTest::newRow("marker twice: piece 2 runs to the end") << twice << label << 2 << std::optional(u"second</p>"_s);
        QTest::newRow("marker twice: no piece 3") << twice << label << 3 << none;
        QTest::newRow("marker missing: piece 0 is the whole text")
            << u"<p>x</p>"_s << label << 0 << std::optional(u"<p>x</p>"_s);
        QTest::newRow("empty text: no piece 0") << QString() << label << 0 << none;
        QTest::newRow("marker at the end: piece 1 is empty")
            << u"abc<td>"_s << u"<td>"_s << 1 << std::optional(QString());
        QTest::newRow("adjacent markers: empty pieces")
            << u"<td><td><td>x"_s << u"<td>"_s << 3 << std::optional(u"x"_s);
        QTest::newRow("matching is case-sensitive") << u"<TD>x<td>y"_s << u"<td>"_s << 1 << std::optional(u"y"_s);
        QTest::newRow("occurrences do not overlap") << u"aaab"_s << u"aa"_s << 1 << std::optional(u"ab"_s);
        QTest::newRow("negative piece number") << u"a<td>b"_s << u"<td>"_s << -1 << none;
    }

    // The piece as a view is the same text; the first k pieces at once are the pieces one by one.
    void pieces()
    {
        QFETCH(QString, text);
        QFETCH(QString, marker);
        QFETCH(int, k);
        QFETCH(std::optional<QString>, piece);

        QCOMPARE(TextOps::pieceAt(text, marker, k), piece);
        const std::optional<QStringView> view = TextOps::pieceView(text, marker, k);
        QCOMPARE(view.has_value(), piece.has_value());
        if (view)
            QCOMPARE(view->toString(), *piece);
        QStringList leading;
        for (int i = 1; i <= k && TextOps::pieceAt(text, marker, i); ++i)
            leading.append(*TextOps::pieceAt(text, marker, i));
        QStringList leadingViews;
        for (const QStringView piece : TextOps::leadingPieces(text, marker, k))
            leadingViews.append(piece.toString());
        QCOMPARE(leadingViews, leading);
    }

    void values_data()
    {
        QTest::addColumn<Op>("op");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("marker");
        QTest::addColumn<QString>("expected");

        const auto row
            = [](Op op, const char *name, const QString &text, const QString &marker, const QString &expected) {
                  const char *const ops[] = { "textUpTo", "trimBlanks", "valueBefore", "oneLine" };
                  QTest::addRow("%s: %s", ops[int(op)], name) << op << text << marker << expected;
              };
        const QString div = u"</div>"_s;
        row(Op::TextUpTo, "keeps the marker's first character", u"<td>99</td></div>rest"_s, div, u"<td>99</td><"_s);
        row(Op::TextUpTo, "marker missing gives the empty text", u"<td>99</td>"_s, div, QString());
        row(Op::TextUpTo, "nothing is trimmed", u"  a \n</div>"_s, div, u"  a \n<"_s);

        row(Op::TrimBlanks, "inner spaces stay", u" US$ 9.90 "_s, {}, u"US$ 9.90"_s);
        row(Op::TrimBlanks, "no-break and ideographic spaces stay", u"\u00a0x\u3000"_s, {}, u"\u00a0x\u3000"_s);

        const QString p = u"</p>"_s;
        row(Op::ValueBefore, "every '<' goes, only blanks are trimmed", u" <b>过期</b>\t </p>"_s, p, u"b>过期/b>\t"_s);

        row(Op::OneLine, "breaks at both ends leave nothing", u"\r\n\t2024-06-18 09:30 \r\n"_s, {},
            u"2024-06-18 09:30"_s);
        row(Op::OneLine, "blanks and tabs around a break go with it", u"a \t\r\n\t b"_s, {}, u"a b"_s);
        row(Op::OneLine, "carriage return alone", u"a\rb"_s, {}, u"a b"_s);
        row(Op::OneLine, "each break between words gives one space", u"a\nb\r\nc"_s, {}, u"a b c"_s);
        row(Op::OneLine, "breaks and blanks in a row give one space", u"a\r\n\r\n  \nb"_s, {}, u"a b"_s);
        row(Op::OneLine, "blanks away from breaks stay", u" a  b\nc\td "_s, {}, u" a  b c\td "_s);
        row(Op::OneLine, "no break: a kept trailing blank stays", u"国际通道 "_s, {}, u"国际通道 "_s);
        row(Op::OneLine, "only breaks and blanks", u" \r\n\t "_s, {}, QString());
        for (Op op : { Op::TextUpTo, Op::TrimBlanks, Op::ValueBefore, Op::OneLine })
            row(op, "empty text", QString(), p, QString());
    }

    void values()
    {
        QFETCH(Op, op);
        QFETCH(QString, text);
        QFETCH(QString, marker);
        QFETCH(QString, expected);
        QCOMPARE(apply(op, text, marker), expected);
        if (op == Op::TextUpTo)
            QCOMPARE(TextOps::viewUpTo(text, marker).toString(), expected);
    }

    // Values are bounded by cutting them, never inside a surrogate pair.
    void atMost_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("maxChars");
        QTest::addColumn<QString>("expected");

        QTest::newRow("shorter: unchanged") << u"国际通道"_s << 5 << u"国际通道"_s;
        QTest::newRow("exactly as long: unchanged") << u"国际通道"_s << 4 << u"国际通道"_s;
        QTest::newRow("longer: the first characters") << u"国际通道"_s << 2 << u"国际"_s;
        QTest::newRow("a pair at the cut is left out whole") << u"a😀b"_s << 2 << u"a"_s;
        QTest::newRow("a pair before the cut stays") << u"a😀b"_s << 3 << u"a😀"_s;
        QTest::newRow("nothing allowed") << u"a"_s << 0 << QString();
    }

    void atMost()
    {
        QFETCH(QString, text);
        QFETCH(int, maxChars);
        QFETCH(QString, expected);
        QCOMPARE(TextOps::atMost(text, maxChars), expected);
    }

    // A name below its folder: what a path cannot carry is percent-encoded, nothing reaches the query or a
    // fragment, no segment is left that a client or server would resolve, and the decoded path is the name.
    void nameInUrl_data()
    {
        QTest::addColumn<QString>("domain");
        QTest::addColumn<QString>("tail"); // "-": no URL can be built

        QTest::newRow("plain name") << u"xinhua88.com.cn"_s << u"xinhua88.com.cn"_s;
        QTest::newRow("case, hyphen, underscore, tilde kept") << u"MiXed-b_c~d.Com"_s << u"MiXed-b_c~d.Com"_s;
        QTest::newRow("blanks and quotes") << u" a\"b'c.com "_s << u"%20a%22b%27c.com%20"_s;
        QTest::newRow("query, fragment, percent, plus, ampersand")
            << u"a.com?x=1#top%+&"_s << u"a.com%3Fx%3D1%23top%25%2B%26"_s;
        QTest::newRow("encoded-looking text stays text") << u"a%20b%2F..%2F%00"_s << u"a%2520b%252F..%252F%2500"_s;
        QTest::newRow("markup, shell characters, backslash")
            << u"<b>x;rm -rf ~|`id`</b>\\a.com"_s << u"%3Cb%3Ex%3Brm%20-rf%20~%7C%60id%60%3C/b%3E%5Ca.com"_s;
        QTest::newRow("NUL, control characters, line breaks")
            << withNul(u"a"_s, u"b\u0001\u001f\u007f\t\r\n.com"_s) << u"a%00b%01%1F%7F%09%0D%0A.com"_s;
        QTest::newRow("right-to-left marks") << u"\u202Emoc.\u200Fevil.com"_s << u"%E2%80%AEmoc.%E2%80%8Fevil.com"_s;
        QTest::newRow("characters outside the BMP") << u"😀.com"_s << u"%F0%9F%98%80.com"_s;
        QTest::newRow("Chinese with slashes")
            << u"域名/测试.中国/"_s << u"%E5%9F%9F%E5%90%8D/%E6%B5%8B%E8%AF%95.%E4%B8%AD%E5%9B%BD/"_s;
        QTest::newRow("64 KiB Chinese name") << QString(32 * 1024, u'中') << u"%E4%B8%AD"_s.repeated(32 * 1024);
        QTest::newRow("empty name") << QString() << QString();
        // The network layer resolves "." and ".." segments, "%2E" included: the slashes are encoded instead.
        QTest::newRow("parent segment in the middle") << u"a.com/../../x"_s << u"a.com%2F..%2F..%2Fx"_s;
        QTest::newRow("current segment") << u"./a.com"_s << u".%2Fa.com"_s;
        QTest::newRow("dot segment at the end") << u"a.com/.."_s << u"a.com%2F.."_s;
        QTest::newRow("dots that make no segment") << u".../a..b/..c"_s << u".../a..b/..c"_s;
        QTest::newRow("the name '..'") << u".."_s << u"-"_s;
        QTest::newRow("the name '.'") << u"."_s << u"-"_s;
    }

    void nameInUrl()
    {
        QFETCH(QString, domain);
        QFETCH(QString, tail);

        const QString market = u"http://www.market.example"_s;
        const QString icp = u"http://icp.lookup.example/icp"_s;
        const QList<std::pair<QUrl, QString>> built {
            { Urls::backorderPage(market, domain), market + u"/backorder/"_s },
            { Urls::icpPage(icp, domain), icp + u"/"_s },
        };
        for (const auto &[url, folder] : built) {
            if (tail == u"-") {
                QVERIFY(!url.isValid());
                continue;
            }
            QVERIFY(url.isValid());
            const QByteArray encoded = url.toEncoded();
            QCOMPARE(QString::fromLatin1(encoded), folder + tail);
            QVERIFY(!url.hasQuery() && !url.hasFragment());
            QCOMPARE(url.path(QUrl::FullyDecoded), QUrl(folder).path() + domain);
            QCOMPARE(url.adjusted(QUrl::NormalizePathSegments), url);
            QVERIFY2(!hasDotSegment(url.path(QUrl::FullyEncoded).toLatin1()), encoded.left(200).constData());
            QVERIFY(std::all_of(encoded.begin(), encoded.end(), [](char c) { return c > ' ' && c < 0x7f; }));
        }
    }

    void baseUrls_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("expected"); // what follows the base in every URL

        QTest::newRow("host only") << u"http://www.market.example"_s << u"http://www.market.example"_s;
        QTest::newRow("host, port and a slash") << u"http://127.0.0.1:8080/"_s << u"http://127.0.0.1:8080"_s;
        QTest::newRow("https with a path and a slash") << u"https://market.test/cn/"_s << u"https://market.test/cn"_s;
    }

    void baseUrls()
    {
        QFETCH(QString, base);
        QFETCH(QString, expected);

        const auto encoded = [](const QUrl &url) { return QString::fromLatin1(url.toEncoded()); };
        QCOMPARE(encoded(Urls::resultsPage(base, u"7"_s)), expected + u"/search?p=7"_s);
        QCOMPARE(encoded(Urls::backorderPage(base, u"a.com"_s)), expected + u"/backorder/a.com"_s);
        QCOMPARE(encoded(Urls::icpPage(base, u"a.com"_s)), expected + u"/a.com"_s);
        QCOMPARE(encoded(Urls::versionFile(base)), expected + u"/version/main.txt"_s);
    }

    // The page-count text goes into the results page's query as typed, encoded.
    void queryValueEncoding_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("digits") << u"7"_s << QByteArray("7");
        QTest::newRow("sign, point and exponent") << u"-2.5e1"_s << QByteArray("-2.5e1");
        QTest::newRow("blank") << u" 1 "_s << QByteArray("%201%20");
        QTest::newRow("characters that split or end a query")
            << u"1&p=2/b?c#x+1%"_s << QByteArray("1%26p%3D2%2Fb%3Fc%23x%2B1%25");
        QTest::newRow("line break") << u"1\r\n"_s << QByteArray("1%0D%0A");
        QTest::newRow("Chinese") << u"第七"_s << QByteArray("%E7%AC%AC%E4%B8%83");
    }

    void queryValueEncoding()
    {
        QFETCH(QString, value);
        QFETCH(QByteArray, expected);

        QCOMPARE(Urls::encodeQueryValue(value), expected);
        const QUrl url = Urls::resultsPage(u"http://www.market.example"_s, value);
        QCOMPARE(url.toEncoded(), "http://www.market.example/search?p=" + expected);
        QCOMPARE(url.query(QUrl::FullyDecoded), u"p="_s + value);
        QVERIFY(!url.hasFragment());
    }
};

QTEST_GUILESS_MAIN(TstTextOps)
#include "tst_textops.moc"
