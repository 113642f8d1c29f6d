// The domain table without widgets: each cell before, after and without a lookup, sorting numbers and dates,
// the name filter and the 备案 state combined, the shown and all counts, and the name files it reads.
#include "core/table/domaintablemodel.h"
#include "core/table/domaintableproxy.h"
#include "tests/sitetest.h"

#include <QColor>
#include <QFont>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

using Model = DomainTableModel;

// 10:00 in Beijing (UTC+8), where the marketplace's deadlines are.
const QDateTime BeijingTen(QDate(2024, 6, 5), QTime(2, 0), Qt::UTC);

// "key=value;key=value"; a key alone has an empty value.
QHash<QString, QString> options(const QString &text)
{
    QHash<QString, QString> values;
    for (const QString &option : text.split(u';', Qt::SkipEmptyParts))
        values.insert(option.section(u'=', 0, 0), option.section(u'=', 1));
    return values;
}

// A lookup, by default one that read both pages. Keys: type, time, deadline, platform, price, rmb, deposit,
// licence ("?": filing unknown; none: not filed), closed, failed (no backorder page), and the whois facts
// created, expires (ISO 8601), registrar, statuses (blank-separated).
// When a domain registered the given years and ten days ago was created, in ISO 8601.
QString yearsAgo(int years)
{
    return QDateTime::currentDateTimeUtc().addYears(-years).addDays(-10).toString(Qt::ISODate);
}

LookupRecord answer(const QString &domain, const QString &description = QString())
{
    const QHash<QString, QString> o = options(description);
    LookupRecord record;
    record.domain = domain;
    record.time = QDateTime(QDate(2024, 6, 5), QTime(8, 0), Qt::UTC);
    record.values.isBackorderPage = !o.contains(u"failed"_s);
    BackorderPage &v = record.values;
    v.deletionType = o.value(u"type"_s, u"过期删除"_s);
    v.platform = o.value(u"platform"_s, u"国际通道"_s);
    v.deletionTime = o.value(u"time"_s);
    v.deadline = o.value(u"deadline"_s);
    v.price = o.value(u"price"_s);
    v.rmb = o.value(u"rmb"_s);
    v.deposit = o.value(u"deposit"_s);
    v.bookingClosed = o.contains(u"closed"_s);
    record.whois.created = QDateTime::fromString(o.value(u"created"_s), Qt::ISODate);
    record.whois.expires = QDateTime::fromString(o.value(u"expires"_s), Qt::ISODate);
    record.whois.registrar = o.value(u"registrar"_s);
    record.whois.statuses = o.value(u"statuses"_s).split(u' ', Qt::SkipEmptyParts);
    record.licence = o.value(u"licence"_s);
    record.filing = record.licence.isEmpty() ? IcpFiling::NotFiled
        : record.licence == u'?'             ? IcpFiling::Unknown
                                             : IcpFiling::Filed;
    return record;
}

// "suffix=.com|net;min=2;filing=filed;minyears=3": the name filter (filterFrom), the 备案 state and the
// ages a row describes.
TableFilter filtersFrom(const QString &description)
{
    const QStringList filings { QString(), u"filed"_s, u"notfiled"_s, u"failed"_s, u"none"_s };
    const QHash<QString, QString> o = options(description);
    const auto bound = [&o](const QString &key) {
        return o.contains(key) ? std::optional<int>(o.value(key).toInt()) : std::nullopt;
    };
    return { filterFrom(description), FilingFilter(filings.indexOf(o.value(u"filing"_s))),
        YearsRange { bound(u"minyears"_s), bound(u"maxyears"_s) } };
}

const QStringList FilterNames { u"abc.com"_s, u"12345.com"_s, u"ab-12.net"_s, u"Shop88.COM.CN"_s, u"中文网.cn"_s,
    u"xn--fiq228c.com"_s, u"a1.cn"_s, u"zz.org"_s };

// FilterNames with lookups: 0 not filed, registered 20 years ago, 1 filed, 3 years ago, 2 filing unknown, of
// unknown age, 3 no backorder page, the rest none.
void fillFilterNames(Model &model)
{
    model.setDomains(FilterNames);
    model.setLookup(answer(FilterNames[0], u"created="_s + yearsAgo(20)));
    model.setLookup(answer(FilterNames[1], u"licence=粤ICP备1号;created="_s + yearsAgo(3)));
    model.setLookup(answer(FilterNames[2], u"licence=?"_s));
    model.setLookup(answer(FilterNames[3], u"failed"_s));
}

QString shownRows(const DomainTableProxy &proxy, const QStringList &names)
{
    QString rows;
    // The table shows every name in lower case.
    for (const QString &domain : proxy.shownDomains())
        rows += QString::number(QString(names.join(u'\n')).toLower().split(u'\n').indexOf(domain));
    return rows;
}

} // namespace

class TestDomainTableModel : public QObject
{
    Q_OBJECT
private slots:
    void cells_data()
    {
        QTest::addColumn<QString>("lookup");
        QTest::addColumn<QString>("cells"); // 删除类型 to 是否备案
        const auto row = [](const char *name, const char *lookup, const char *cells) {
            QTest::newRow(name) << QString::fromUtf8(lookup) << QString::fromUtf8(cells);
        };
        row("answered, not filed", "time=2024-06-05 13:20:00;price=US$33.96",
            "过期删除|2024-06-05 13:20:00|||国际通道|US$33.96|||未备案");
        row("filed, licence on one line", "licence=京ICP备\r\n12345号",
            "过期删除||||国际通道||||已备案 京ICP备 12345号");
        // 剩余 is worked out from the deadline: empty where there is none.
        row("backorder page failed", "failed", "查询失败|查询失败|查询失败||查询失败|查询失败|查询失败|查询失败|未备案");
        row("filing unknown", "licence=?", "过期删除||||国际通道||||查询失败");
        row("booking closed", "closed;price=9",
            "过期删除|||已截止|预定时间已过|预定时间已过|预定时间已过|预定时间已过|未备案");
    }

    void cells()
    {
        QFETCH(QString, lookup);
        QFETCH(QString, cells);
        Model model;
        const QDateTime seen(QDate(2024, 6, 4), QTime(23, 30), Qt::UTC);
        const auto local = [](const QDateTime &time) { return time.toLocalTime().toString(u"yyyy-MM-dd HH:mm"); };
        model.setDomains({ u"a.com"_s, u"b.中国"_s, u"a.com"_s }, { { u"a.com"_s, seen } });
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.rowTexts(0).mid(0, DomainTableModel::columnTitles().indexOf(u"删除类型"_s)),
            (QStringList { u"a.com"_s, u".com"_s, u"1"_s, u"纯字母"_s, u"纯字母 一字母 单拼"_s, u"a"_s, local(seen) }));
        // Not looked up yet: empty, never "查询失败".
        QCOMPARE(model.rowTexts(0).mid(DomainTableModel::columnTitles().indexOf(u"删除类型"_s)).join(QString()), QString());
        QCOMPARE(model.text(1, Model::FirstSeenColumn), QString());
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        const LookupRecord record = answer(u"a.com"_s, lookup);
        QVERIFY(model.setLookup(record));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.at(0).at(0).toModelIndex().row(), 0);
        QCOMPARE(model.rowTexts(0).mid(DomainTableModel::columnTitles().indexOf(u"删除类型"_s), 9).join(u'|'), cells);
        QCOMPARE(model.text(0, DomainTableModel::lookedUpColumn()), local(record.time));
        QCOMPARE(model.rowTexts(1).mid(DomainTableModel::columnTitles().indexOf(u"删除类型"_s)).join(QString()), QString());
        QVERIFY(!model.setLookup(answer(u"elsewhere.com"_s)));
    }

    // The whois facts: a day, whole years, text; "未知" for what the whois did not give, "查询失败" without a page.
    void whoisCells_data()
    {
        QTest::addColumn<QString>("lookup");
        QTest::addColumn<QString>("cells"); // 注册时间 to 状态
        const QDateTime created = QDateTime::fromString(yearsAgo(12), Qt::ISODate);
        const QString day = created.toLocalTime().toString(u"yyyy-MM-dd"_s);
        QTest::newRow("every fact") << u"created=%1;expires=2030-01-02T12:00:00Z;registrar=某某网络;"
                                       "statuses=clientHold pendingDelete"_s.arg(yearsAgo(12))
                                    << day + u"|12年|"_s
                + QDateTime(QDate(2030, 1, 2), QTime(12, 0), Qt::UTC).toLocalTime().toString(u"yyyy-MM-dd"_s)
                + u"|某某网络|clientHold pendingDelete"_s;
        const QString thisYear = QDateTime::fromString(yearsAgo(0), Qt::ISODate).toLocalTime().toString(u"yyyy-MM-dd"_s);
        QTest::newRow("registered this year") << u"created=%1"_s.arg(yearsAgo(0)) << thisYear + u"|0年|未知|未知|未知"_s;
        QTest::newRow("nothing read") << QString() << u"未知|未知|未知|未知|未知"_s;
        QTest::newRow("backorder page failed") << u"failed"_s << u"查询失败|查询失败|查询失败|查询失败|查询失败"_s;
    }

    void whoisCells()
    {
        QFETCH(QString, lookup);
        Model model;
        model.setDomains({ u"a.com"_s });
        QCOMPARE(model.rowTexts(0).mid(DomainTableModel::columnTitles().indexOf(u"注册时间"_s), 5).join(QString()),
            QString());
        QVERIFY(model.setLookup(answer(u"a.com"_s, lookup)));
        QTEST(model.rowTexts(0).mid(DomainTableModel::columnTitles().indexOf(u"注册时间"_s), 5).join(u'|'), "cells");
        QCOMPARE(DomainTableModel::columnTitles().mid(DomainTableModel::columnTitles().indexOf(u"是否备案"_s)),
            (QStringList { u"是否备案"_s, u"注册时间"_s, u"年龄"_s, u"到期时间"_s, u"注册商"_s, u"状态"_s, u"其他后缀"_s,
                u"查询时间"_s }));
    }

    void sortsNumbersAndDates_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("values"); // "key=value" of rows 0..3; "failed" a failed lookup, "" none
        QTest::addColumn<QString>("ascending"); // rows; empty and failed last in both orders
        QTest::addColumn<QString>("descending");
        const auto row = [](const char *name, int column, const char *values, const char *up, const char *down) {
            QTest::newRow(name) << column << QString::fromUtf8(values) << QString::fromLatin1(up)
                                << QString::fromLatin1(down);
        };
        row("price with currency marks", DomainTableModel::columnTitles().indexOf(u"预定价格"_s), "price=US$120.00|price=¥ 88|price=US$33.96|failed", "2103",
            "0123");
        row("rmb with separators", DomainTableModel::columnTitles().indexOf(u"折合人民币"_s), "rmb=1,244.51|rmb=244.51|rmb=99|", "2103", "0123");
        row("deposit, not looked up last", DomainTableModel::columnTitles().indexOf(u"保证金"_s), "|deposit=100|deposit=20|deposit=0", "3210", "1230");
        row("deletion time", DomainTableModel::columnTitles().indexOf(u"删除时间"_s),
            "time=2024-06-10 09:00:00|time=2024-6-5 13:20|time=2024年06月05日|failed", "2103", "0123");
        row("deadline to the second", DomainTableModel::columnTitles().indexOf(u"预定截止"_s),
            "deadline=2024-06-05 10:00:01|deadline=2024-06-05 10:00:00|deadline=x|deadline=2023-12-31", "3102", "0132");
        // By seconds left, whatever the clock says now: these deadlines have passed; a closed booking is at 0.
        row("time left, passed first", Model::timeLeftColumn(),
            "deadline=2024-06-05 10:00:01|deadline=2024-06-05 10:00:00|deadline=x|closed", "1032", "3012");
        row("platform as text", DomainTableModel::columnTitles().indexOf(u"预定平台"_s), "platform=国内通道|platform=Vexlon直连|failed|platform=合作平台",
            "1302", "0312");
        row("filing, unknown with the empty", DomainTableModel::columnTitles().indexOf(u"是否备案"_s), "licence=浙ICP备2号|licence=?||type=过期删除",
            "0312", "3012");
        row("length", Model::LengthColumn, "|||", "0123", "3210");
        const QByteArray ages = (u"created="_s + yearsAgo(20) + u"|created="_s + yearsAgo(3) + u"|failed|"_s).toUtf8();
        row("age, unknown and failed last", DomainTableModel::columnTitles().indexOf(u"年龄"_s), ages.constData(),
            "1023", "0123");
        const QByteArray since = (u"created=2010-01-01T00:00:00Z|created=2009-12-31T23:00:00Z|type=x|created="_s
            + yearsAgo(1)).toUtf8();
        row("registered, to the hour", DomainTableModel::columnTitles().indexOf(u"注册时间"_s), since.constData(),
            "1032", "3012");
        row("registrar as text", DomainTableModel::columnTitles().indexOf(u"注册商"_s),
            "registrar=b|registrar=a||registrar=c", "1032", "3012");
    }

    void sortsNumbersAndDates()
    {
        QFETCH(int, column);
        QFETCH(QString, values);
        QFETCH(QString, ascending);
        QFETCH(QString, descending);
        // Labels of 1 to 4 characters, so that "length" sorts too.
        const QStringList names { u"a.com"_s, u"bb.com"_s, u"ccc.com"_s, u"dddd.com"_s };
        Model model;
        DomainTableProxy proxy(&model);
        model.setDomains(names);
        const QStringList lookups = values.split(u'|');
        for (qsizetype i = 0; i < lookups.size(); ++i) {
            if (!lookups[i].isEmpty())
                model.setLookup(answer(names[i], lookups[i]));
        }
        proxy.sort(column, Qt::AscendingOrder);
        QCOMPARE(shownRows(proxy, names), ascending);
        proxy.sort(column, Qt::DescendingOrder);
        QCOMPARE(shownRows(proxy, names), descending);
        // -1 gives back the order of the list.
        proxy.sort(-1);
        QCOMPARE(shownRows(proxy, names), u"0123"_s);
    }

    // 剩余 as of 2024-06-05 10:00:00 in Beijing: its text, its mark under an hour, its sort key in seconds, and the
    // same text in the rows the table exports.
    void timeLeft_data()
    {
        QTest::addColumn<QString>("lookup"); // "-": not looked up
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("marked");
        QTest::addColumn<QVariant>("seconds");
        const auto row = [](const char *name, const char *lookup, const char *text, bool marked, QVariant seconds) {
            QTest::newRow(name) << QString::fromUtf8(lookup) << QString::fromUtf8(text) << marked << seconds;
        };
        row("hours and minutes", "deadline=2024-06-05 12:13:30", "2小时13分", false, 7980.0 + 30);
        row("under an hour, marked", "deadline=2024-06-05 10:59:59", "59分", true, 3599.0);
        row("an hour, not marked", "deadline=2024-06-05 11:00:00", "1小时0分", false, 3600.0);
        row("under a minute", "deadline=2024-06-05 10:00:30", "不足1分", true, 30.0);
        row("days and hours", "deadline=2024-06-08 14:59:00", "3天4小时", false, 3 * 86400.0 + 4 * 3600 + 59 * 60);
        row("the deadline now", "deadline=2024-06-05 10:00:00", "已截止", false, 0.0);
        row("passed", "deadline=2024-06-05 09:59:00", "已截止", false, -60.0);
        row("a date alone is its midnight", "deadline=2024-06-06", "14小时0分", false, 14 * 3600.0);
        row("the Chinese form", "deadline=2024年6月5日 12时00分", "2小时0分", false, 7200.0);
        row("booking closed before the deadline", "closed;deadline=2024-06-05 12:00:00", "已截止", false, 0.0);
        row("booking closed, no deadline", "closed", "已截止", false, 0.0);
        row("no date in the deadline", "deadline=明天", "", false, QVariant());
        row("no such day", "deadline=2024-02-30 10:00", "", false, QVariant());
        row("backorder page failed", "failed;deadline=2024-06-05 12:00:00", "", false, QVariant());
        row("not looked up", "-", "", false, QVariant());
    }

    void timeLeft()
    {
        QFETCH(QString, lookup);
        QFETCH(QString, text);
        QFETCH(bool, marked);
        QFETCH(QVariant, seconds);
        Model model;
        DomainTableProxy proxy(&model);
        model.setClock([] { return BeijingTen; });
        model.setDomains({ u"a.com"_s });
        if (lookup != u"-"_s)
            QVERIFY(model.setLookup(answer(u"a.com"_s, lookup)));
        const int column = Model::timeLeftColumn();
        QCOMPARE(Model::columnTitles().indexOf(u"剩余"_s), column);
        QCOMPARE(Model::columnTitles().at(column - 1), u"预定截止"_s);
        const QModelIndex cell = model.index(0, column);
        QCOMPARE(model.data(cell).toString(), text);
        QCOMPARE(proxy.shownRows().at(0).at(column), text);
        QCOMPARE(model.data(cell, Model::SortRole), seconds);
        QCOMPARE(model.data(cell, Qt::ForegroundRole).value<QColor>(), marked ? QColor(Qt::red) : QColor());
        QCOMPARE(model.data(cell, Qt::FontRole).value<QFont>().bold(), marked);
    }

    // The column follows the clock: the whole column, and it alone, is told to have changed.
    void timeLeftFollowsTheClock()
    {
        Model model;
        QDateTime now = BeijingTen;
        model.setClock([&now] { return now; });
        model.setDomains({ u"a.com"_s, u"b.com"_s, u"c.com"_s });
        QVERIFY(model.setLookup(answer(u"b.com"_s, u"deadline=2024-06-05 11:00:00"_s)));
        const QModelIndex cell = model.index(1, Model::timeLeftColumn());
        QCOMPARE(model.data(cell).toString(), u"1小时0分"_s);
        QVERIFY(!model.data(cell, Qt::ForegroundRole).isValid());
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.setTimeLeftInterval(20);
        now = now.addSecs(30 * 60 + 1);
        QVERIFY(changed.wait());
        QCOMPARE(changed.at(0).at(0).toModelIndex(), model.index(0, Model::timeLeftColumn()));
        QCOMPARE(changed.at(0).at(1).toModelIndex(), model.index(2, Model::timeLeftColumn()));
        QCOMPARE(model.data(cell).toString(), u"29分"_s);
        QCOMPARE(model.data(cell, Qt::ForegroundRole).value<QColor>(), QColor(Qt::red));
        now = now.addSecs(30 * 60);
        QVERIFY(changed.wait());
        QCOMPARE(model.data(cell).toString(), u"已截止"_s);
        QVERIFY(!model.data(cell, Qt::ForegroundRole).isValid());
    }

    void sortsByAppraisal_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("ascending");
        QTest::addColumn<QString>("descending");
        // 纯数字 before 纯字母, then the shorter length tag first; no pinyin last in either order.
        QTest::newRow("tags") << int(Model::TagsColumn) << u"1302"_s << u"2031"_s;
        QTest::newRow("pinyin") << int(Model::PinyinColumn) << u"0213"_s << u"2013"_s;
    }

    void sortsByAppraisal()
    {
        QFETCH(int, column);
        QFETCH(QString, ascending);
        QFETCH(QString, descending);
        const QStringList names { u"taobao.com"_s, u"8888.com"_s, u"zhongguo.cn"_s, u"bjdx.com"_s };
        Model model;
        DomainTableProxy proxy(&model);
        model.setDomains(names);
        QCOMPARE(model.text(2, Model::TagsColumn), u"纯字母 八字母 双拼"_s);
        QCOMPARE(model.text(2, Model::PinyinColumn), u"zhong'guo"_s);
        proxy.sort(column, Qt::AscendingOrder);
        QCOMPARE(shownRows(proxy, names), ascending);
        proxy.sort(column, Qt::DescendingOrder);
        QCOMPARE(shownRows(proxy, names), descending);
    }

    void filtersCombined_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("shown"); // FilterNames rows
        const auto row = [](const char *name, const char *description, const char *shown) {
            QTest::newRow(name) << QString::fromUtf8(description) << QString::fromLatin1(shown);
        };
        // The name filter itself is the command line's (tst_domainfilter); these rows check that the
        // table gives it the names it worked out, ACE and case included.
        row("no filter", "", "01234567");
        row("suffix set, any case", "suffix=COM|.cn", "01456");
        row("kind and suffix", "kind=alnum;suffix=.cn", "6");
        row("chinese, ACE decoded", "kind=chinese", "45");
        row("contains, starts and ends", "contains=B;start=a;end=12", "2");
        row("regular expression, any case", "regex=(?i)^[A-Z]+\\d*\\.", "0367");
        row("tag", "tag=杂米", "36");
        row("tag and pattern", "tag=纯字母;pattern=LLL", "0");
        row("excluded tag and suffix", "nottag=纯字母;suffix=.com", "15");
        row("filed", "filing=filed", "1");
        row("not filed and short", "filing=notfiled;max=3", "0");
        row("filing failed", "filing=failed", "2");
        row("not looked up and .cn", "filing=none;suffix=.cn", "46");
        row("at least 10 years old", "minyears=10", "0");
        row("at most 5 years old", "maxyears=5", "1");
        row("any known age", "minyears=0", "01");
        row("an age no row has", "minyears=4;maxyears=19", "");
        row("age and filing", "minyears=0;filing=notfiled", "0");
    }

    void filtersCombined()
    {
        QFETCH(QString, description);
        QFETCH(QString, shown);
        Model model;
        DomainTableProxy proxy(&model);
        fillFilterNames(model);
        QSignalSpy counts(&proxy, &DomainTableProxy::countsChanged);
        proxy.setFilter(filtersFrom(description));
        QCOMPARE(shownRows(proxy, FilterNames), shown);
        QCOMPARE(counts.last(), (QVariantList { int(shown.size()), 8 }));
        // The same filter over the rows sorted.
        proxy.sort(Model::LengthColumn, Qt::DescendingOrder);
        QCOMPARE(proxy.shownCount(), shown.size());
    }

    void answerRefilters()
    {
        Model model;
        DomainTableProxy proxy(&model);
        fillFilterNames(model);
        TableFilter notLookedUp;
        notLookedUp.filing = FilingFilter::NotLookedUp;
        proxy.setFilter(notLookedUp);
        QCOMPARE(shownRows(proxy, FilterNames), u"4567"_s);
        QSignalSpy counts(&proxy, &DomainTableProxy::countsChanged);
        model.setLookup(answer(u"zz.org"_s));
        QCOMPARE(shownRows(proxy, FilterNames), u"456"_s);
        QCOMPARE(counts.last(), (QVariantList { 3, 8 }));
        // A new list is filtered anew.
        model.setDomains({ u"zz.org"_s });
        QCOMPARE(proxy.shownCount(), 1);
    }

    void namesFromText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("names");
        const QStringList chinese { u"中文网.cn"_s, u"abc.com"_s };
        QTest::newRow("UTF-8 with BOM and CR LF")
            << QByteArray("\xEF\xBB\xBF") + u"中文网.cn\r\nabc.com\r\n"_s.toUtf8() << chinese;
        QTest::newRow("GBK") << QByteArray(QStringEncoder("GB18030").encode(u"中文网.cn\nabc.com"_s)) << chinese;
        QTest::newRow("blanks and empty lines")
            << QByteArray(" \t abc.com  \n\n  \r\n12.cn") << QStringList { u"abc.com"_s, u"12.cn"_s };
        QTest::newRow("control characters made visible")
            << QByteArray("a\x1b[2Jb.com\n") << QStringList { u"a\uFFFD[2Jb.com"_s };
        // Names longer than lookup takes are skipped, however long the line; the file is read 64 KiB at a time.
        const QByteArray longest = QByteArray(249, 'b') + ".com";
        QTest::newRow("253 characters kept, 254 skipped")
            << QByteArray("a.com\n" + longest + "\nb" + longest + "\nc.cn")
            << QStringList { u"a.com"_s, QString::fromLatin1(longest), u"c.cn"_s };
        QTest::newRow("a line of megabytes skipped")
            << QByteArray("a.com\n") + QByteArray(3 << 20, 'x') + "\nc.cn" << QStringList { u"a.com"_s, u"c.cn"_s };
        QTest::newRow("UTF-8 character across two pieces")
            << QByteArray(65534, 'x') + "\n" + u"中文网.cn"_s.toUtf8() << QStringList { u"中文网.cn"_s };
        // "一统" in GBK is valid UTF-8 as well: the whole file decides.
        const auto gbk = [](const QString &text) { return QByteArray(QStringEncoder("GB18030").encode(text)); };
        const QStringList gbkAsUtf8 { u"一统.cn"_s, u"中文.cn"_s };
        QTest::newRow("GBK known at the second name") << gbk(u"一统.cn\n中文.cn"_s) << gbkAsUtf8;
        QTest::newRow("GBK known in the second piece")
            << gbk(u"一统.cn\n"_s) + QByteArray(70000, 'x') + "\n" + gbk(u"中文.cn"_s) << gbkAsUtf8;
    }

    void namesFromText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, names);
        QCOMPARE(::namesFromText(bytes), names);
    }
};

QTEST_GUILESS_MAIN(TestDomainTableModel)
#include "tst_domaintablemodel.moc"
