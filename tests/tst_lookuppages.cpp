// Reading a domain's backorder page and its ICP lookup page, also when the page repeats its
// markers thousands of times or is cut off anywhere.
#include "core/lookup/backorderpage.h"
#include "core/lookup/icppage.h"
#include "tests/sitetest.h"
#include "tools/samplemarket.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(IcpFiling)

namespace {

// The price row's cells, ended by the marketplace's booking-button cell unless told.
QString cellsRow(const QStringList &cells, bool bookingButton = true)
{
    QString row;
    for (const QString &cell : cells)
        row += u"<td>"_s + cell + u"</td>"_s;
    if (bookingButton)
        row += u"<td><a class=\"btn\" href=\"/book\">预订</a></td>"_s;
    return row + u"</div>\r\n</tr>\r\n</table>\r\n"_s;
}

const QString TypeLabel = u"删除类型：</label>"_s;
const QString ClosedNotice = u"<div class=\"notice\">该域名的预订时间已过，请选择其他域名。</div>\r\n"_s;
const QStringList FullCells { u"国际通道"_s, u"US$69.00"_s, u"496.80"_s, u"100"_s };
const QStringList NoCells { QString(), QString(), QString(), QString() };

struct Backorder
{
    QString type = u"过期删除"_s;
    QString time = u"2024-06-18 09:30:00"_s;
    QString deadline = u"2024-06-18 07:00:00"_s;
    QString whois = u"Domain Name: A.COM\nRegistrar: Example Registrar Co., Ltd.\nDomain Status: pendingDelete"_s;
    QString notice;
    QString row = cellsRow(FullCells);
};

QString backorderHtml(const Backorder &b)
{
    return u"<!DOCTYPE html>\r\n<html lang=\"zh-CN\">\r\n<head>\r\n<title>域名预订 - 示例域名市场</title>\r\n"
           "</head>\r\n<body>\r\n<div class=\"info\">\r\n<p><label>删除类型：</label>"_s
        + b.type + u"</p>\r\n<p><label>删除时间：</label>"_s + b.time + u"</p>\r\n<p><label>预订截止时间：</label>"_s
        + b.deadline + u"</p>\r\n</div>\r\n"_s + b.notice
        + u"<div class=\"price\">\r\n<table cellspacing=\"0\">\r\n"
          "<tr><th>预定平台</th><th>预定价格</th><th>折合人民币</th><th>保证金</th></tr>\r\n<tr>"_s
        + b.row + u"<h2>whois信息</h2>\r\n<pre>"_s + b.whois + u"</pre>\r\n</body>\r\n</html>\r\n"_s;
}

// The full page with one of its texts written as given.
QString backorderWith(QString Backorder::*field, const QString &text)
{
    Backorder b;
    b.*field = text;
    return backorderHtml(b);
}

enum Value { Type, Time, Deadline, Whois };

// The values of the full page (type, time, deadline, whois, then the four cells), with some changed.
QStringList expect(std::initializer_list<std::pair<Value, QString>> changes, const QStringList &cells = FullCells)
{
    const Backorder full;
    QStringList values { full.type, full.time, full.deadline, full.whois };
    for (const auto &[value, text] : changes)
        values[value] = text;
    return values + cells;
}

QStringList valuesOf(const BackorderPage &page)
{
    return { page.deletionType, page.deletionTime, page.deadline, page.whois, page.platform, page.price, page.rmb,
        page.deposit };
}

const QString LicenceMarker = u"<tr><td>网站备案/许可证号</td><td>"_s;
const QString Licence = u"京ICP备12345678号-1"_s;
const QString IcpNotFiledHtml
    = u"<html><body><p class=\"empty\">没有查询到备案信息：该域名未备案，或备案信息尚未更新。</p></body></html>"_s;

QString icpHtml(const QString &rows)
{
    return u"<html>\r\n<head>\r\n<title>ICP备案查询</title>\r\n</head>\r\n<body>\r\n<table class=\"icp-info\">\r\n"
           "<tr><td>主办单位性质</td><td>企业</td></tr>\r\n"_s
        + rows + u"<tr><td>审核通过时间</td><td>2021-03-15</td></tr>\r\n</table>\r\n</body>\r\n</html>\r\n"_s;
}

QString icpFiledHtml(const QString &licence)
{
    return icpHtml(LicenceMarker + licence + u"</td></tr>\r\n"_s);
}

} // namespace

class TstLookupPages : public QObject
{
    Q_OBJECT
private slots:
    void readBackorderPage_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<bool>("closed");
        QTest::addColumn<bool>("isBackorderPage");

        const auto add
            = [](const char *name, const QString &page, const QStringList &values, bool closed = false,
                  bool isBackorderPage = true) { QTest::newRow(name) << page << values << closed << isBackorderPage; };
        const auto type = [](const QString &text) { return backorderWith(&Backorder::type, text); };
        const auto whois = [](const QString &text) { return backorderWith(&Backorder::whois, text); };
        const auto priceRow = [](const QString &text) { return backorderWith(&Backorder::row, text); };
        add("every marker once", backorderHtml({}), expect({}));
        add("whole page 2,000 times: the first copy counts", backorderHtml({}).repeated(2000), expect({}));

        // Each value is read on its own: what breaks one leaves the others alone.
        add("marker twice, end marker only after the second: empty",
            type(u"过期删除<br>删除类型：</label>赎回期删除"_s), expect({ { Type, QString() } }));
        add("deletion-type marker 5,000 times in a row: empty", type(TypeLabel.repeated(4999) + u"过期删除"_s),
            expect({ { Type, QString() } }));
        add("deletion-type marker and value 5,000 times: the first value",
            type((u"第一</p>"_s + TypeLabel).repeated(4999) + u"过期删除"_s), expect({ { Type, u"第一"_s } }));
        add("end marker 5,000 times", type(u"过期删除"_s + u"</p>"_s.repeated(4999)), expect({}));
        const auto edited = [](const QString &from, const QString &to) { return backorderHtml({}).replace(from, to); };
        // Every later "</p>" goes too: the deadline has no end marker at all.
        add("deadline end marker missing: only the deadline empties", edited(u"07:00:00</p>"_s, u"07:00:00</span>"_s),
            expect({ { Deadline, QString() } }));
        add("deletion-time marker missing: only the time empties", edited(u"<label>删除时间：</label>"_s, {}),
            expect({ { Time, QString() } }));
        add("no deposit header: only the cells empty", edited(u"<th>保证金</th>"_s, u"<th>押金</th>"_s),
            expect({}, NoCells));
        add("inner tags leave b>", type(u" <b>过期删除</b> "_s), expect({ { Type, u"b>过期删除/b>"_s } }));
        add("spaces trimmed, tabs and line breaks kept", type(u"  \r\n\t过期删除 \r\n  "_s),
            expect({ { Type, u"\r\n\t过期删除 \r\n"_s } }));
        add("'<' 100,000 times in the whois: all of them go", whois(u"a"_s + u"<"_s.repeated(100000) + u"b"_s),
            expect({ { Whois, u"ab"_s } }));

        // The price row: each cell is its own text up to its "</td>".
        add("blank before </td>: kept in cell 1, trimmed in cells 2 to 4",
            priceRow(cellsRow({ u" 国际通道 "_s, u" US$69.00 "_s, u" 496.80 "_s, u" 100 "_s })),
            expect({}, { u"国际通道 "_s, u"US$69.00"_s, u"496.80"_s, u"100"_s }));
        add("deposit cell before the row's and table's closing tags",
            priceRow(u"<td>国际通道</td><td>US$69.00</td><td>496.80</td><td>100 </td></tr></table></div>\r\n"_s),
            expect({}));
        add("two-cell row: cells 3 and 4 empty", priceRow(cellsRow({ u" x "_s, u" y "_s }, false)),
            expect({}, { u"x "_s, u"y"_s, QString(), QString() }));
        add("cell marker 10,000 times: empty cells after the platform",
            priceRow(u"<td>国际通道</td>"_s + u"<td>"_s.repeated(10000) + u"</div>\r\n"_s),
            expect({}, { u"国际通道"_s, QString(), QString(), QString() }));
        add("no </div> after the deposit header: empty cells",
            priceRow(u"<td>国际通道</td><td>US$69.00</td><td>496.80</td><td>100</td></tr></table>\r\n"_s),
            expect({}, NoCells));
        add("deposit header 5,000 times: empty cells",
            priceRow(u"<th>保证金</th>"_s.repeated(4999) + cellsRow(FullCells)), expect({}, NoCells));
        add("booking closed with the table present: no cells", backorderWith(&Backorder::notice, ClosedNotice),
            expect({}, NoCells), true);

        // A page with none of the markers is some other page; one marker makes it the domain's page.
        const QStringList none = NoCells + NoCells;
        add("empty page", QString(), none, false, false);
        add("login page", u"<html><body><form action=\"/login\">登录</form></body></html>"_s, none, false, false);
        add("deletion time alone", u"<p><label>删除时间：</label>2024-06-18</p>"_s,
            QStringList { QString(), u"2024-06-18"_s } + none.mid(2));
        add("whois alone", u"<pre>Domain Name: A.COM</pre>"_s,
            none.mid(0, 3) + QStringList { u"Domain Name: A.COM"_s } + NoCells);
        add("closed notice alone", u"<p>该域名的预订时间已过</p>"_s, none, true);
    }

    void readBackorderPage()
    {
        QFETCH(QString, page);
        QFETCH(QStringList, values);
        QFETCH(bool, closed);
        QFETCH(bool, isBackorderPage);

        for (const QString &text : { page, viaGbk(page) }) {
            const BackorderPage read = ::readBackorderPage(text);
            QCOMPARE(valuesOf(read), values);
            QCOMPARE(read.bookingClosed, closed);
            QCOMPARE(read.isBackorderPage, isBackorderPage);
        }
    }

    // No page can hand on a value of megabytes: each is cut at its bound.
    void valuesAreBounded()
    {
        const qsizetype maxValue = BackorderPage::MaxValueChars;
        const qsizetype maxWhois = BackorderPage::MaxWhoisChars;
        Backorder b;
        b.type = QString(maxValue + 1, u'x');
        b.deadline = QString(maxValue - 1, u'x') + u"😀"_s;
        b.whois = QString(maxWhois + 1, u'w');
        b.row = cellsRow({ u"国际通道"_s, u"US$69.00"_s, u"496.80"_s, QString(maxValue + 1, u'9') });
        BackorderPage read = ::readBackorderPage(backorderHtml(b));
        QCOMPARE(read.deletionType, QString(maxValue, u'x'));
        QCOMPARE(read.deadline, QString(maxValue - 1, u'x'));
        QCOMPARE(read.whois, QString(maxWhois, u'w'));
        QVERIFY(read.whoisCut);
        QCOMPARE(read.deposit, QString(maxValue, u'9'));
        QCOMPARE(read.deletionTime, Backorder().time);

        b.whois = QString(maxWhois, u'w');
        read = ::readBackorderPage(backorderHtml(b));
        QCOMPARE(read.whois, b.whois);
        QVERIFY(!read.whoisCut);
    }

    void readIcpPage_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<IcpFiling>("filing");
        QTest::addColumn<QString>("licence");

        const QString licenceRow = LicenceMarker + u"京ICP备1号</td></tr>\r\n"_s;
        QTest::newRow("licence row") << icpFiledHtml(Licence) << IcpFiling::Filed << Licence;
        QTest::newRow("not-filed text") << IcpNotFiledHtml << IcpFiling::NotFiled << QString();
        QTest::newRow("not-filed text wins over a licence number")
            << icpFiledHtml(Licence) + u"<p>该域名未备案</p>"_s << IcpFiling::NotFiled << QString();
        QTest::newRow("empty value cell") << icpFiledHtml(QString()) << IcpFiling::NotFiled << QString();
        QTest::newRow("blanks only in the value cell") << icpFiledHtml(u"   "_s) << IcpFiling::NotFiled << QString();
        QTest::newRow("marker without </td>: cut short, unknown")
            << LicenceMarker + Licence << IcpFiling::Unknown << QString();
        QTest::newRow("inner tag, blanks trimmed, line breaks kept")
            << icpFiledHtml(u" \r\n<span>京ICP备1号</span>\r\n "_s) << IcpFiling::Filed
            << u"\r\nspan>京ICP备1号/span>\r\n"_s;
        QTest::newRow("rate-limit page") << u"<html><body><h1>429 Too Many Requests</h1>查询过于频繁</body></html>"_s
                                         << IcpFiling::Unknown << QString();
        QTest::newRow("licence cells split by a line break: marker not found")
            << u"<tr><td>网站备案/许可证号</td>\r\n<td>京ICP备1号</td></tr>"_s << IcpFiling::Unknown << QString();
        QTest::newRow("empty page") << QString() << IcpFiling::Unknown << QString();
        QTest::newRow("licence row 5,000 times with other numbers after the first")
            << icpHtml(licenceRow + (LicenceMarker + u"京ICP备2号</td></tr>"_s).repeated(5000)) << IcpFiling::Filed
            << u"京ICP备1号"_s;
        QTest::newRow("licence marker 5,000 times in a row: unknown")
            << icpHtml(LicenceMarker.repeated(5000) + u"京ICP备1号</td></tr>"_s) << IcpFiling::Unknown << QString();
        QTest::newRow("cell end 5,000 times") << icpHtml(LicenceMarker + u"京ICP备1号"_s + u"</td>"_s.repeated(5000))
                                              << IcpFiling::Filed << u"京ICP备1号"_s;
        QTest::newRow("licence longer than the bound: cut")
            << icpFiledHtml(QString(IcpPage::MaxLicenceChars + 1, u'1')) << IcpFiling::Filed
            << QString(IcpPage::MaxLicenceChars, u'1');
        QTest::newRow("not-filed text 5,000 times after a licence row")
            << icpHtml(licenceRow + u"未备案"_s.repeated(5000)) << IcpFiling::NotFiled << QString();
    }

    void readIcpPage()
    {
        QFETCH(QString, page);
        QFETCH(IcpFiling, filing);
        QFETCH(QString, licence);

        for (const QString &text : { page, viaGbk(page) }) {
            const IcpPage read = ::readIcpPage(text);
            QCOMPARE(read.filing, filing);
            QCOMPARE(read.licence, licence);
        }
    }

    // A backorder page cut anywhere gives each value whole or empty, and once whole it stays whole as
    // more of the page arrives.
    void cutOffBackorderPage()
    {
        for (const bool closed : { false, true }) {
            SampleMarket::BackorderInfo info = SampleMarket::backorderInfoFor("xinhua88.com.cn");
            info.bookingClosed = closed;
            const QString page = QString::fromStdString(SampleMarket::backorderPage(info));
            const QStringList whole = valuesOf(::readBackorderPage(page));
            QCOMPARE(whole.count(QString()), closed ? 4 : 0);

            QStringList previous = NoCells + NoCells;
            for (const QString &prefix : prefixesOf(page, "GB18030")) {
                if (prefix.isEmpty())
                    previous = NoCells + NoCells; // the byte prefixes start over
                const BackorderPage read = ::readBackorderPage(prefix);
                const QStringList values = valuesOf(read);
                for (int i = 0; i < values.size(); ++i) {
                    QVERIFY2(values[i].isEmpty() || values[i] == whole[i], qPrintable(values[i]));
                    QVERIFY(previous[i].isEmpty() || values[i] == whole[i]);
                }
                QVERIFY(!read.bookingClosed || closed);
                previous = values;
            }
            QCOMPARE(previous, whole);
        }
    }

    // An ICP page cut anywhere says nothing until its answer has come whole: a licence cut short is
    // neither a shorter licence nor "not filed".
    void cutOffIcpPage()
    {
        for (const QString &licence : { Licence, QString() }) {
            const QString page = QString::fromStdString(SampleMarket::icpPage(licence.toStdString()));
            const IcpFiling answer = licence.isEmpty() ? IcpFiling::NotFiled : IcpFiling::Filed;
            QCOMPARE(::readIcpPage(page).filing, answer);

            IcpFiling previous = IcpFiling::Unknown;
            for (const QString &prefix : prefixesOf(page, "GB18030")) {
                if (prefix.isEmpty())
                    previous = IcpFiling::Unknown;
                const IcpPage read = ::readIcpPage(prefix);
                QVERIFY2(read.filing == IcpFiling::Unknown || read.filing == answer, qPrintable(prefix.right(40)));
                QCOMPARE(read.licence, read.filing == IcpFiling::Filed ? licence : QString());
                QVERIFY(previous == IcpFiling::Unknown || read.filing == answer);
                previous = read.filing;
            }
            QCOMPARE(previous, answer);
        }
    }
};

QTEST_GUILESS_MAIN(TstLookupPages)
#include "tst_lookuppages.moc"
