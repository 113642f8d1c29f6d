// The detail query: reading the backorder and ICP pages, and both entry points end to end
// against a marketplace and an ICP lookup site on 127.0.0.1.
#include "app/domainlist.h"
#include "app/form1.h"
#include "detail/backorderpage.h"
#include "detail/icppage.h"
#include "fetch/internettransfer.h"
#include "tools/loopbackserver.h"
#include "tools/samplemarket.h"
#include "tests/testsupport.h"

#include <httplib.h>

#include <QAction>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStringEncoder>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

using namespace Qt::Literals::StringLiterals;

namespace {

enum class Entry { Menu, DoubleClick };

std::string encoded(const QString &text, const char *charset)
{
    QStringEncoder encoder(charset);
    const QByteArray bytes = encoder.encode(text);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

struct Reply
{
    int status = 200;
    std::string body;
    std::string contentType;
};

// Plays the marketplace ("/backorder/<domain>") and the ICP lookup site ("/<domain>"). The ICP
// answer for one domain can be held back until the test lets it go.
class Sites
{
public:
    Sites()
    {
        m_server.get("/backorder/(.+)", [this](const httplib::Request &request, httplib::Response &response) {
            answer(m_backorder, request.matches[1].str(), response);
        });
        m_server.get("/([^/]+)", [this](const httplib::Request &request, httplib::Response &response) {
            const std::string domain = request.matches[1].str();
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                if (domain == m_heldDomain) {
                    m_heldArrived = true;
                    m_releasedChanged.wait_for(lock, std::chrono::seconds(30), [this] { return m_released; });
                }
            }
            answer(m_icp, domain, response);
        });
        m_server.start();
    }
    ~Sites()
    {
        release();
        m_server.stop();
    }

    QString url() const { return QString::fromStdString(m_server.baseUrl()); }
    std::vector<LoopbackServer::LoggedRequest> requests() const { return m_server.requests(); }
    std::vector<std::string> targets() const { return m_server.requestedTargets(); }

    // Backorder pages are GBK, as the marketplace serves them.
    void setBackorder(const std::string &domain, const QString &page, int status = 200)
    {
        set(m_backorder, domain, { status, encoded(page, "GB18030"), "text/html; charset=gbk" });
    }
    void setIcp(const std::string &domain, const QString &page, int status = 200, const char *charset = "gbk")
    {
        set(m_icp, domain,
            { status, encoded(page, qstrcmp(charset, "gbk") == 0 ? "GB18030" : charset),
                std::string("text/html; charset=") + charset });
    }

    void hold(const std::string &domain)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_heldDomain = domain;
        m_released = false;
    }
    void release()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_released = true;
        }
        m_releasedChanged.notify_all();
    }
    bool heldArrived() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_heldArrived;
    }

private:
    void set(std::map<std::string, Reply> &replies, const std::string &domain, const Reply &reply)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        replies[domain] = reply;
    }
    void answer(const std::map<std::string, Reply> &replies, const std::string &domain, httplib::Response &response)
    {
        Reply reply { 404, std::string(), "text/html" };
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            const auto found = replies.find(domain);
            if (found != replies.end())
                reply = found->second;
        }
        response.status = reply.status;
        response.set_content(reply.body, reply.contentType.c_str());
    }

    LoopbackServer m_server;
    mutable std::mutex m_mutex;
    std::condition_variable m_releasedChanged;
    std::map<std::string, Reply> m_backorder;
    std::map<std::string, Reply> m_icp;
    std::string m_heldDomain;
    bool m_released = false;
    bool m_heldArrived = false;
};

// An address on 127.0.0.1 where nothing listens any more.
QString unreachableUrl()
{
    QTcpServer closed;
    if (!closed.listen(QHostAddress::LocalHost))
        return QString();
    const quint16 port = closed.serverPort();
    closed.close();
    return u"http://127.0.0.1:"_s + QString::number(port);
}

std::unique_ptr<Form1> makeForm(const QString &marketUrl, const QString &icpUrl)
{
    AppConfig config;
    config.marketUrl = marketUrl;
    config.icpUrl = icpUrl;
    auto form = std::make_unique<Form1>(config);
    form->fetchLimits.transferTimeoutMs = 10 * 1000;
    form->Inet1->RequestTimeout = 10;
    return form;
}

void select(Form1 &form, const QStringList &domains, int index)
{
    form.List1->AddItems(domains);
    form.List1->setListIndex(index);
}

void runQuery(Form1 &form, Entry entry)
{
    if (entry == Entry::Menu)
        form.cx->trigger();
    else
        form.List1_DblClick();
}

// The price row's cells. The marketplace ends the row with a booking-button cell, so the
// deposit cell stops at the next "<td>"; without it the last cell runs on to the "<" of "</div>".
QString cellsRow(const QStringList &cells, bool bookingButton = true)
{
    QString row;
    for (const QString &cell : cells)
        row += u"<td>"_s + cell + u"</td>"_s;
    if (bookingButton)
        row += u"<td><a class=\"btn\" href=\"/book\">预订</a></td>"_s;
    return row + u"</div>\r\n</tr>\r\n</table>\r\n"_s;
}

struct Backorder
{
    QString type = u"过期删除"_s;
    QString time = u"2024-06-18 09:30:00"_s;
    QString deadline = u"2024-06-18 07:00:00"_s;
    QString whois = u"Domain Name: A.COM\nRegistrar: Example Registrar Co., Ltd.\nDomain Status: pendingDelete"_s;
    QString row = cellsRow({ u"国际通道"_s, u"US$69.00"_s, u"496.80"_s, u"100"_s });
    bool closed = false;
};

QString backorderHtml(const Backorder &b)
{
    QString page = u"<!DOCTYPE html>\r\n<html lang=\"zh-CN\">\r\n<head>\r\n"
                   "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">\r\n"
                   "<title>域名预订 - 示例域名市场</title>\r\n</head>\r\n<body>\r\n<div class=\"info\">\r\n"_s;
    page += u"<p><label>删除类型：</label>"_s + b.type + u"</p>\r\n"_s;
    page += u"<p><label>删除时间：</label>"_s + b.time + u"</p>\r\n"_s;
    page += u"<p><label>预订截止时间：</label>"_s + b.deadline + u"</p>\r\n</div>\r\n"_s;
    if (b.closed)
        page += u"<div class=\"notice\">该域名的预订时间已过，请选择其他域名。</div>\r\n"_s;
    page += u"<div class=\"price\">\r\n<table cellspacing=\"0\">\r\n"
            "<tr><th>预定平台</th><th>预定价格</th><th>折合人民币</th><th>保证金</th></tr>\r\n<tr>"_s;
    page += b.row;
    page += u"<h2>whois信息</h2>\r\n<pre>"_s + b.whois + u"</pre>\r\n</body>\r\n</html>\r\n"_s;
    return page;
}

Backorder secondDomain()
{
    Backorder b;
    b.type = u"赎回期删除"_s;
    b.time = u"2024-06-19 10:40:00"_s;
    b.deadline = u"2024-06-19 08:00:00"_s;
    b.whois = u"Domain Name: B.COM\nRegistrar: Other Registrar Ltd.\nDomain Status: redemptionPeriod"_s;
    b.row = cellsRow({ u"国内通道"_s, u"US$12.50"_s, u"90.00"_s, u"20"_s });
    return b;
}

QString icpFiledHtml(const QString &licence)
{
    return u"<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<title>ICP备案查询</title>\r\n</head>\r\n<body>\r\n"
           "<table class=\"icp-info\">\r\n<tr><td>主办单位性质</td><td>企业</td></tr>\r\n"
           "<tr><td>网站备案/许可证号</td><td>"_s
        + licence
        + u"</td></tr>\r\n<tr><td>审核通过时间</td><td>2021-03-15</td></tr>\r\n</table>\r\n</body>\r\n</html>\r\n"_s;
}

const QString IcpNotFiledHtml
    = u"<html><body><p class=\"empty\">没有查询到备案信息：该域名未备案，或备案信息尚未更新。</p>"
      "</body></html>"_s;
const QString Licence = u"京ICP备12345678号-1"_s;

// What the controls of the domain info and whois areas show.
struct Shown
{
    QString label1, label2, label13, text2, label8, label9, label10, label11;
};

Shown shownBy(const Form1 &form)
{
    return { form.Label1->text(), form.Label2->text(), form.Label13->text(), form.Text2->toPlainText(),
        form.Label8->text(), form.Label9->text(), form.Label10->text(), form.Label11->text() };
}

Shown shownFor(const Backorder &b, const QStringList &cells)
{
    return { u"删除类型："_s + b.type, u"删除时间："_s + b.time, u"预定截止："_s + b.deadline, b.whois, cells.value(0),
        cells.value(1), cells.value(2), cells.value(3) };
}

const Shown InitialCaptions { u"删除类型：未查询"_s, u"删除时间：未查询"_s, u"预定截止：未查询"_s, QString(),
    u"未查询"_s, u"未查询"_s, u"未查询"_s, u"未查询"_s };

// a.com shows page a and is filed; b.com shows page b and is not.
void serveTwoDomains(Sites &sites, const Backorder &a, const Backorder &b)
{
    sites.setBackorder("a.com", backorderHtml(a));
    sites.setBackorder("b.com", backorderHtml(b));
    sites.setIcp("a.com", icpFiledHtml(Licence));
    sites.setIcp("b.com", IcpNotFiledHtml);
}

} // namespace

Q_DECLARE_METATYPE(Entry)
Q_DECLARE_METATYPE(IcpFiling)

#define COMPARE_SHOWN(actual, expected)                                                                                \
    do {                                                                                                               \
        const Shown a_ = (actual);                                                                                     \
        const Shown e_ = (expected);                                                                                   \
        QCOMPARE(a_.label1, e_.label1);                                                                                \
        QCOMPARE(a_.label2, e_.label2);                                                                                \
        QCOMPARE(a_.label13, e_.label13);                                                                              \
        QCOMPARE(a_.text2, e_.text2);                                                                                  \
        QCOMPARE(a_.label8, e_.label8);                                                                                \
        QCOMPARE(a_.label9, e_.label9);                                                                                \
        QCOMPARE(a_.label10, e_.label10);                                                                              \
        QCOMPARE(a_.label11, e_.label11);                                                                              \
    } while (false)

class TstDetail : public QObject
{
    Q_OBJECT
private slots:
    void readBackorderPage_data();
    void readBackorderPage();
    void readIcpPage_data();
    void readIcpPage();

    void emptySelection_data();
    void emptySelection();
    void fullQuery_data();
    void fullQuery();
    void pageShown_data();
    void pageShown();
    void failedBackorderPage_data();
    void failedBackorderPage();
    void icpLookup_data();
    void icpLookup();
    void twoQueriesInARow_data();
    void twoQueriesInARow();
    void newerQueryDuringIcpWait_data();
    void newerQueryDuringIcpWait();
    void domainIsPercentEncoded_data();
    void domainIsPercentEncoded();
    void realDoubleClickOnSampleMarket();
    void closingDuringIcpWait();
};

void TstDetail::readBackorderPage_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("deadline");
    QTest::addColumn<QString>("whois");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<QStringList>("cells");

    const Backorder full;
    const QStringList fullCells { u"国际通道"_s, u"US$69.00"_s, u"496.80"_s, u"100"_s };
    const QStringList noCells { QString(), QString(), QString(), QString() };

    QTest::newRow("every marker once") << backorderHtml(full) << full.type << full.time << full.deadline << full.whois
                                       << false << fullCells;
    {
        Backorder b;
        b.type = u"过期删除</p><p><label>删除类型：</label>赎回期删除"_s;
        QTest::newRow("deletion-type marker twice: first value")
            << backorderHtml(b) << u"过期删除"_s << full.time << full.deadline << full.whois << false << fullCells;
    }
    {
        Backorder b;
        b.type = u"过期删除<br>删除类型：</label>赎回期删除"_s;
        QTest::newRow("marker twice, end marker only after the second: empty")
            << backorderHtml(b) << QString() << full.time << full.deadline << full.whois << false << fullCells;
    }
    {
        QString page = backorderHtml(full);
        page.replace(u"2024-06-18 07:00:00</p>"_s, u"2024-06-18 07:00:00</span>"_s);
        // Every later "</p>" is gone too, so the deadline has no end marker at all.
        QVERIFY(!page.mid(page.indexOf(u"预订截止时间"_s)).contains(u"</p>"_s));
        QTest::newRow("deadline end marker missing: only the deadline empties")
            << page << full.type << full.time << QString() << full.whois << false << fullCells;
    }
    {
        QString page = backorderHtml(full);
        page.remove(u"<label>删除时间：</label>"_s);
        QTest::newRow("deletion-time marker missing: only the time empties")
            << page << full.type << QString() << full.deadline << full.whois << false << fullCells;
    }
    {
        Backorder b;
        b.type = u"<b>过期删除</b>"_s;
        QTest::newRow("inner bold tag keeps b>")
            << backorderHtml(b) << u"b>过期删除/b>"_s << full.time << full.deadline << full.whois << false << fullCells;
    }
    {
        Backorder b;
        b.time = u"  \r\n\t2024-06-18 09:30:00 \r\n  "_s;
        QTest::newRow("spaces trimmed, tabs and line breaks kept")
            << backorderHtml(b) << full.type << u"\r\n\t2024-06-18 09:30:00 \r\n"_s << full.deadline << full.whois
            << false << fullCells;
    }
    {
        Backorder b;
        b.row = cellsRow({ u" 国际通道 "_s, u" 国际通道 "_s, u" 496.80 "_s, u" 100 "_s });
        QTest::newRow("blank before </td>: kept in cell 1, trimmed in cell 2")
            << backorderHtml(b) << full.type << full.time << full.deadline << full.whois << false
            << QStringList { u"国际通道 "_s, u"国际通道"_s, u"496.80"_s, u"100"_s };
    }
    {
        Backorder b;
        b.row = cellsRow({ u" x "_s, u" y "_s }, false);
        QTest::newRow("two-cell row: cells 3 and 4 empty, cell 2 runs to the '<' of </div>")
            << backorderHtml(b) << full.type << full.time << full.deadline << full.whois << false
            << QStringList { u"x "_s, u"y <"_s, QString(), QString() };
    }
    {
        Backorder b;
        b.row = cellsRow({ u"国际通道"_s, u"US$69.00"_s, u"496.80"_s, u"100"_s }, false);
        QTest::newRow("four cells and no more: the deposit keeps the '<' of </div>")
            << backorderHtml(b) << full.type << full.time << full.deadline << full.whois << false
            << QStringList { u"国际通道"_s, u"US$69.00"_s, u"496.80"_s, u"100<"_s };
    }
    {
        Backorder b;
        b.row = u"<td>国际通道</td><td>US$69.00</td><td>496.80</td><td>100</td></tr>\r\n</table></div>\r\n"_s;
        QTest::newRow("last cell keeps the closing tags before </div>")
            << backorderHtml(b) << full.type << full.time << full.deadline << full.whois << false
            << QStringList { u"国际通道"_s, u"US$69.00"_s, u"496.80"_s, u"100</tr>\r\n</table><"_s };
    }
    {
        Backorder b;
        b.closed = true;
        QTest::newRow("booking closed with the table also present")
            << backorderHtml(b) << full.type << full.time << full.deadline << full.whois << true << noCells;
    }
    {
        QString page = backorderHtml(full);
        page.replace(u"<th>保证金</th>"_s, u"<th>押金</th>"_s);
        QTest::newRow("no deposit header: four empty cells")
            << page << full.type << full.time << full.deadline << full.whois << false << noCells;
    }
    {
        Backorder b;
        b.row = u"<td>国际通道</td><td>US$69.00</td><td>496.80</td><td>100</td></tr></table>\r\n"_s;
        QTest::newRow("no </div> after the deposit header: four empty cells")
            << backorderHtml(b) << full.type << full.time << full.deadline << full.whois << false << noCells;
    }
    {
        QString page = backorderHtml(full);
        page.remove(u"</pre>"_s);
        QTest::newRow("whois end marker missing: empty whois")
            << page << full.type << full.time << full.deadline << QString() << false << fullCells;
    }
    QTest::newRow("empty page") << QString() << QString() << QString() << QString() << QString() << false << noCells;
}

void TstDetail::readBackorderPage()
{
    QFETCH(QString, page);
    QFETCH(QString, type);
    QFETCH(QString, time);
    QFETCH(QString, deadline);
    QFETCH(QString, whois);
    QFETCH(bool, closed);
    QFETCH(QStringList, cells);

    const BackorderPage values = ::readBackorderPage(page);
    QCOMPARE(values.deletionType, type);
    QCOMPARE(values.deletionTime, time);
    QCOMPARE(values.deadline, deadline);
    QCOMPARE(values.whois, whois);
    QCOMPARE(values.bookingClosed, closed);
    QCOMPARE(values.platform, cells.at(0));
    QCOMPARE(values.price, cells.at(1));
    QCOMPARE(values.rmb, cells.at(2));
    QCOMPARE(values.deposit, cells.at(3));
}

void TstDetail::readIcpPage_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<IcpFiling>("filing");
    QTest::addColumn<QString>("licence");

    const QString marker = u"<tr><td>网站备案/许可证号</td><td>"_s;
    QTest::newRow("licence row") << icpFiledHtml(Licence) << IcpFiling::Filed << Licence;
    QTest::newRow("not-filed text") << IcpNotFiledHtml << IcpFiling::NotFiled << QString();
    QTest::newRow("not-filed text together with a licence number")
        << icpFiledHtml(Licence) + u"<p>该域名未备案</p>"_s << IcpFiling::NotFiled << QString();
    QTest::newRow("marker with an empty value cell") << icpFiledHtml(QString()) << IcpFiling::NotFiled << QString();
    QTest::newRow("marker with blanks only in the value cell")
        << icpFiledHtml(u"   "_s) << IcpFiling::NotFiled << QString();
    QTest::newRow("marker without a closing </td>: page cut short, unknown")
        << marker + Licence << IcpFiling::Unknown << QString();
    QTest::newRow("number with an inner tag, blanks and line breaks") << icpFiledHtml(
        u" \r\n<span>京ICP备1号</span>\r\n "_s) << IcpFiling::Filed << u"\r\nspan>京ICP备1号/span>\r\n"_s;
    QTest::newRow("rate-limit page")
        << u"<html><body><h1>429 Too Many Requests</h1>查询过于频繁，请稍后再试</body></html>"_s << IcpFiling::Unknown
        << QString();
    QTest::newRow("captcha page") << u"<html><body>请输入验证码：<img src=\"/captcha.png\"></body></html>"_s
                                  << IcpFiling::Unknown << QString();
    QTest::newRow("licence cells split by a line break: marker not found")
        << u"<tr><td>网站备案/许可证号</td>\r\n<td>京ICP备1号</td></tr>"_s << IcpFiling::Unknown << QString();
    QTest::newRow("empty page") << QString() << IcpFiling::Unknown << QString();
}

void TstDetail::readIcpPage()
{
    QFETCH(QString, page);
    QFETCH(IcpFiling, filing);
    QFETCH(QString, licence);

    const IcpPage values = ::readIcpPage(page);
    QCOMPARE(values.filing, filing);
    QCOMPARE(values.licence, licence);
}

void TstDetail::emptySelection_data()
{
    QTest::addColumn<Entry>("entry");
    QTest::addColumn<QStringList>("domains");

    QTest::newRow("menu, empty list") << Entry::Menu << QStringList();
    QTest::newRow("menu, nothing selected") << Entry::Menu << QStringList { u"a.com"_s, u"b.com"_s };
    QTest::newRow("double-click, empty list") << Entry::DoubleClick << QStringList();
    QTest::newRow("double-click, nothing selected") << Entry::DoubleClick << QStringList { u"a.com"_s, u"b.com"_s };
}

void TstDetail::emptySelection()
{
    QFETCH(Entry, entry);
    QFETCH(QStringList, domains);

    Sites sites;
    sites.setBackorder("a.com", backorderHtml(Backorder()));
    sites.setIcp("a.com", icpFiledHtml(Licence));
    auto form = makeForm(sites.url(), sites.url());
    select(*form, domains, -1);
    form->PageParts[0] = u"collection page"_s;
    form->PageParts[4] = u"earlier page"_s;

    runQuery(*form, entry);

    QCOMPARE(form->statusText(), u"请先进行获取 .."_s);
    COMPARE_SHOWN(shownBy(*form), InitialCaptions);
    QCOMPARE(form->Label12->text(), u"是否备案：未查询"_s);
    QCOMPARE(form->PageParts[0], u"collection page"_s);
    QCOMPARE(form->PageParts[4], u"earlier page"_s);
    QVERIFY(sites.requests().empty());
}

void TstDetail::fullQuery_data()
{
    QTest::addColumn<Entry>("entry");
    QTest::addColumn<QString>("filedText");

    QTest::newRow("menu") << Entry::Menu << u"是否备案：已备案 京ICP备12345678号-1"_s;
    QTest::newRow("double-click") << Entry::DoubleClick << u"是否备案：京ICP备12345678号-1"_s;
}

void TstDetail::fullQuery()
{
    QFETCH(Entry, entry);
    QFETCH(QString, filedText);

    Sites sites;
    const Backorder page;
    sites.setBackorder("a.com", backorderHtml(page));
    sites.setIcp("a.com", icpFiledHtml(Licence));
    auto form = makeForm(sites.url(), sites.url());
    select(*form, { u"z.com"_s, u"a.com"_s }, 1);
    form->PageParts[0] = u"collection page"_s;
    form->PageParts[35] = u"spare"_s;

    runQuery(*form, entry);

    QCOMPARE(form->statusText(), u"查询完毕 .."_s);
    COMPARE_SHOWN(shownBy(*form), shownFor(page, { u"国际通道"_s, u"US$69.00"_s, u"496.80"_s, u"100"_s }));
    QCOMPARE(form->Label12->text(), filedText);
    // The key-and-value labels take the width of their new text.
    for (QLabel *label : { form->Label1, form->Label2, form->Label13, form->Label12 })
        QCOMPARE(label->width(), label->sizeHint().width());

    // The query starts from cleared slots and fills its own.
    QCOMPARE(form->PageParts[0], QString());
    QCOMPARE(form->PageParts[35], QString());
    QCOMPARE(form->PageParts[4], backorderHtml(page));
    QCOMPARE(form->PageParts[6], page.type);
    QCOMPARE(form->PageParts[8], page.time);
    QCOMPARE(form->PageParts[11], page.deadline);
    QCOMPARE(form->PageParts[14], page.whois);
    QVERIFY(form->PageParts[17].startsWith(u"</tr>"_s));
    QVERIFY(form->PageParts[17].endsWith(u"</td><"_s));
    QCOMPARE(form->PageParts[18], u"国际通道"_s);
    QCOMPARE(form->PageParts[19], u"US$69.00</td>"_s);
    QCOMPARE(form->PageParts[21], u"US$69.00"_s);
    QCOMPARE(form->PageParts[24], u"496.80"_s);
    QCOMPARE(form->PageParts[27], u"100"_s);
    QCOMPARE(form->PageParts[28], icpFiledHtml(Licence));
    QCOMPARE(form->PageParts[31], Licence);

    // The backorder page is asked without a cache bypass, the ICP page with it.
    const std::vector<LoopbackServer::LoggedRequest> requests = sites.requests();
    QCOMPARE(requests.size(), std::size_t(2));
    QCOMPARE(QString::fromStdString(requests[0].target), u"/backorder/a.com"_s);
    QVERIFY(!requests[0].hasIfModifiedSince);
    QCOMPARE(QString::fromStdString(requests[1].target), u"/a.com"_s);
    QVERIFY(requests[1].hasIfModifiedSince);
    QCOMPARE(QString::fromStdString(requests[1].ifModifiedSince), u"0"_s);
}

void TstDetail::pageShown_data()
{
    QTest::addColumn<Entry>("entry");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QString>("status");

    const Backorder full;
    const auto rows = [&](const char *name, const QString &page, const Shown &s,
                          const QString &status = u"查询完毕 .."_s) {
        const QStringList shown { s.label1, s.label2, s.label13, s.text2, s.label8, s.label9, s.label10, s.label11 };
        QTest::addRow("menu, %s", name) << Entry::Menu << page << shown << status;
        QTest::addRow("double-click, %s", name) << Entry::DoubleClick << page << shown << status;
    };
    rows("full page", backorderHtml(full), shownFor(full, { u"国际通道"_s, u"US$69.00"_s, u"496.80"_s, u"100"_s }));
    {
        Backorder b;
        b.closed = true;
        const QString closed = u"预定时间已过"_s;
        rows(
            "booking closed with the table present", backorderHtml(b), shownFor(b, { closed, closed, closed, closed }));
    }
    {
        Backorder b;
        b.row = cellsRow({ u" 国际通道 "_s, u" US$69.00 "_s, u" 496.80 "_s, u" 100 "_s });
        rows("blanks before </td>: kept in cell 1 only", backorderHtml(b),
            shownFor(b, { u"国际通道 "_s, u"US$69.00"_s, u"496.80"_s, u"100"_s }));
    }
    {
        Backorder b;
        b.row = cellsRow({ u" 国际通道 "_s, u" US$69.00 "_s }, false);
        rows("two-cell row", backorderHtml(b), shownFor(b, { u"国际通道 "_s, u"US$69.00 <"_s, QString(), QString() }));
    }
    {
        Backorder b;
        b.type = u" <b>过期删除</b> "_s;
        rows("inner tag in a value", backorderHtml(b),
            { u"删除类型：b>过期删除/b>"_s, u"删除时间："_s + full.time, u"预定截止："_s + full.deadline, full.whois,
                u"国际通道"_s, u"US$69.00"_s, u"496.80"_s, u"100"_s });
    }
    // Not the domain's page (maintenance, login, captcha): its bare captions are no answer.
    rows("page without any marker, a failed query", u"<html><body>系统维护中</body></html>"_s,
        { u"删除类型："_s, u"删除时间："_s, u"预定截止："_s, QString(), QString(), QString(), QString(), QString() },
        u"查询失败,请稍后再试 .."_s);
}

void TstDetail::pageShown()
{
    QFETCH(Entry, entry);
    QFETCH(QString, page);
    QFETCH(QStringList, shown);
    QFETCH(QString, status);

    Sites sites;
    sites.setBackorder("a.com", page);
    sites.setIcp("a.com", IcpNotFiledHtml);
    auto form = makeForm(sites.url(), sites.url());
    select(*form, { u"a.com"_s }, 0);

    runQuery(*form, entry);

    COMPARE_SHOWN(
        shownBy(*form), (Shown { shown[0], shown[1], shown[2], shown[3], shown[4], shown[5], shown[6], shown[7] }));
    QCOMPARE(form->Label12->text(), u"是否备案：未备案"_s);
    QCOMPARE(form->statusText(), status);
}

void TstDetail::failedBackorderPage_data()
{
    QTest::addColumn<Entry>("entry");
    QTest::addColumn<bool>("marketReachable"); // else the page is served blank
    QTest::addColumn<bool>("controlsKept");
    QTest::addColumn<QString>("status");

    const QString failed = u"查询失败,请稍后再试 .."_s;
    QTest::newRow("menu, marketplace unreachable: bare prefixes") << Entry::Menu << false << false << failed;
    QTest::newRow("menu, blank page: bare prefixes") << Entry::Menu << true << false << failed;
    QTest::newRow("double-click, marketplace unreachable: controls kept")
        << Entry::DoubleClick << false << true << failed;
    QTest::newRow("double-click, blank page: controls kept") << Entry::DoubleClick << true << true << failed;
}

void TstDetail::failedBackorderPage()
{
    QFETCH(Entry, entry);
    QFETCH(bool, marketReachable);
    QFETCH(bool, controlsKept);
    QFETCH(QString, status);

    Sites sites;
    sites.setBackorder("a.com", QString());
    sites.setIcp("a.com", IcpNotFiledHtml);
    auto form = makeForm(marketReachable ? sites.url() : unreachableUrl(), sites.url());
    select(*form, { u"a.com"_s }, 0);
    const QString earlierWhois = u"Domain Name: EARLIER.COM"_s;
    form->Text2->setPlainText(earlierWhois);

    runQuery(*form, entry);

    Shown expected = InitialCaptions;
    expected.text2 = earlierWhois;
    if (!controlsKept)
        expected = { u"删除类型："_s, u"删除时间："_s, u"预定截止："_s, QString(), QString(), QString(), QString(),
            QString() };
    COMPARE_SHOWN(shownBy(*form), expected);
    // The ICP lookup runs all the same.
    QCOMPARE(form->Label12->text(), u"是否备案：未备案"_s);
    QCOMPARE(sites.targets().back(), std::string("/a.com"));
    QCOMPARE(form->statusText(), status);
    QCOMPARE(form->PageParts[4], QString());
}

void TstDetail::icpLookup_data()
{
    QTest::addColumn<Entry>("entry");
    QTest::addColumn<QString>("page");
    QTest::addColumn<int>("status"); // 0: the lookup site cannot be reached
    QTest::addColumn<QString>("charset");
    QTest::addColumn<QString>("label12");

    const QString notFiled = u"是否备案：未备案"_s;
    const QString failed = u"是否备案：查询失败"_s;
    const QString rateLimit = u"<html><head><title>429</title></head><body>查询过于频繁，请稍后再试</body></html>"_s;
    const struct
    {
        const char *name;
        QString page;
        int status;
        const char *charset;
        QString menuText;
        QString doubleClickText;
    } cases[] = {
        { "filed", icpFiledHtml(Licence), 200, "gbk", u"是否备案：已备案 "_s + Licence, u"是否备案："_s + Licence },
        { "filed, page in UTF-8", icpFiledHtml(Licence), 200, "utf-8", u"是否备案：已备案 "_s + Licence,
            u"是否备案："_s + Licence },
        { "not filed", IcpNotFiledHtml, 200, "gbk", notFiled, notFiled },
        { "not-filed text together with a number", icpFiledHtml(Licence) + u"<p>该域名未备案</p>"_s, 200, "gbk",
            notFiled, notFiled },
        { "empty value cell", icpFiledHtml(QString()), 200, "gbk", notFiled, notFiled },
        { "lookup site unreachable", QString(), 0, "gbk", failed, failed },
        { "rate-limit page (429)", rateLimit, 429, "gbk", failed, failed },
        { "error page (500)", u"<html><body>服务器错误</body></html>"_s, 500, "gbk", failed, failed },
        { "captcha page (200)", u"<html><body>请输入验证码</body></html>"_s, 200, "gbk", failed, failed },
        { "blank page", QString(), 200, "gbk", failed, failed },
    };
    for (const auto &c : cases) {
        QTest::addRow("menu, %s", c.name)
            << Entry::Menu << c.page << c.status << QString::fromLatin1(c.charset) << c.menuText;
        QTest::addRow("double-click, %s", c.name)
            << Entry::DoubleClick << c.page << c.status << QString::fromLatin1(c.charset) << c.doubleClickText;
    }
}

void TstDetail::icpLookup()
{
    QFETCH(Entry, entry);
    QFETCH(QString, page);
    QFETCH(int, status);
    QFETCH(QString, charset);
    QFETCH(QString, label12);

    Sites sites;
    sites.setBackorder("a.com", backorderHtml(Backorder()));
    const QByteArray charsetName = charset.toLatin1();
    if (status != 0)
        sites.setIcp("a.com", page, status, charsetName.constData());
    auto form = makeForm(sites.url(), status != 0 ? sites.url() : unreachableUrl());
    select(*form, { u"a.com"_s }, 0);

    runQuery(*form, entry);

    QCOMPARE(form->Label12->text(), label12);
    QCOMPARE(form->Label12->width(), form->Label12->sizeHint().width());
    // The lookup's outcome does not touch the closing message.
    QCOMPARE(form->statusText(), u"查询完毕 .."_s);
    QCOMPARE(form->Label1->text(), u"删除类型：过期删除"_s);
}

void TstDetail::twoQueriesInARow_data()
{
    QTest::addColumn<Entry>("first");
    QTest::addColumn<Entry>("second");

    QTest::newRow("menu, then menu") << Entry::Menu << Entry::Menu;
    QTest::newRow("double-click, then double-click") << Entry::DoubleClick << Entry::DoubleClick;
    QTest::newRow("menu, then double-click") << Entry::Menu << Entry::DoubleClick;
}

void TstDetail::twoQueriesInARow()
{
    QFETCH(Entry, first);
    QFETCH(Entry, second);

    Sites sites;
    const Backorder a;
    const Backorder b = secondDomain();
    serveTwoDomains(sites, a, b);
    auto form = makeForm(sites.url(), sites.url());
    select(*form, { u"a.com"_s, u"b.com"_s }, 0);

    runQuery(*form, first);
    COMPARE_SHOWN(shownBy(*form), shownFor(a, { u"国际通道"_s, u"US$69.00"_s, u"496.80"_s, u"100"_s }));
    QVERIFY(form->Label12->text().endsWith(Licence));

    form->List1->setListIndex(1);
    runQuery(*form, second);
    COMPARE_SHOWN(shownBy(*form), shownFor(b, { u"国内通道"_s, u"US$12.50"_s, u"90.00"_s, u"20"_s }));
    QCOMPARE(form->Label12->text(), u"是否备案：未备案"_s);
    QCOMPARE(form->statusText(), u"查询完毕 .."_s);
    QCOMPARE(form->PageParts[4], backorderHtml(b));
    QCOMPARE(form->PageParts[28], IcpNotFiledHtml);
    QCOMPARE(form->PageParts[31], QString());
}

void TstDetail::newerQueryDuringIcpWait_data()
{
    QTest::addColumn<Entry>("outer");
    QTest::addColumn<Entry>("inner");

    QTest::newRow("menu query overtaken by a double-click") << Entry::Menu << Entry::DoubleClick;
    QTest::newRow("double-click overtaken by a menu query") << Entry::DoubleClick << Entry::Menu;
}

void TstDetail::newerQueryDuringIcpWait()
{
    QFETCH(Entry, outer);
    QFETCH(Entry, inner);

    Sites sites;
    const Backorder a;
    const Backorder b = secondDomain();
    serveTwoDomains(sites, a, b);
    // a.com's ICP answer comes only once the query for b.com has finished.
    sites.hold("a.com");
    auto form = makeForm(sites.url(), sites.url());
    select(*form, { u"a.com"_s, u"b.com"_s }, 0);

    bool innerRan = false;
    QString statusAfterInner;
    // Both backorder fetches block the window, so the first moment this timer can fire is
    // a.com's ICP wait.
    QTimer::singleShot(0, form.get(), [&] {
        form->List1->setListIndex(1);
        runQuery(*form, inner);
        innerRan = true;
        statusAfterInner = form->statusText();
        sites.release();
    });
    runQuery(*form, outer);

    QVERIFY(innerRan);
    QVERIFY(sites.heldArrived());
    QCOMPARE(statusAfterInner, u"查询完毕 .."_s);
    COMPARE_SHOWN(shownBy(*form), shownFor(b, { u"国内通道"_s, u"US$12.50"_s, u"90.00"_s, u"20"_s }));
    QCOMPARE(form->Label12->text(), u"是否备案：未备案"_s);
    QCOMPARE(form->statusText(), u"查询完毕 .."_s);
    QCOMPARE(form->PageParts[4], backorderHtml(b));
    QCOMPARE(form->PageParts[28], IcpNotFiledHtml);
    QCOMPARE(form->PageParts[31], QString());
    const std::vector<std::string> targets = sites.targets();
    QCOMPARE(std::count(targets.begin(), targets.end(), std::string("/a.com")), std::ptrdiff_t(1));
}

void TstDetail::domainIsPercentEncoded_data()
{
    QTest::addColumn<Entry>("entry");
    QTest::newRow("menu") << Entry::Menu;
    QTest::newRow("double-click") << Entry::DoubleClick;
}

void TstDetail::domainIsPercentEncoded()
{
    QFETCH(Entry, entry);

    Sites sites;
    auto form = makeForm(sites.url(), sites.url());
    select(*form, { u"x y?z#%.com"_s }, 0);

    runQuery(*form, entry);

    const std::vector<std::string> targets = sites.targets();
    QCOMPARE(targets.size(), std::size_t(2));
    QCOMPARE(targets[0], std::string("/backorder/x%20y%3Fz%23%25.com"));
    QCOMPARE(targets[1], std::string("/x%20y%3Fz%23%25.com"));
}

// A real double-click on a collected entry, against the sample marketplace.
void TstDetail::realDoubleClickOnSampleMarket()
{
    LoopbackServer market;
    SampleMarket::install(market, SampleMarket::Options());
    QVERIFY(market.start() > 0);

    // An entry that is still bookable and whose website is filed, so that every control shows a value.
    std::string domain;
    for (const std::string &name : SampleMarket::namesForPage(1)) {
        if (!SampleMarket::backorderInfoFor(name).bookingClosed && !SampleMarket::icpLicenceFor(name).empty()) {
            domain = name;
            break;
        }
    }
    QVERIFY(!domain.empty());
    const SampleMarket::BackorderInfo info = SampleMarket::backorderInfoFor(domain);
    const QString url = QString::fromStdString(market.baseUrl());

    auto form = makeForm(url, url);
    form->List1->AddItems({ u"first.example"_s, QString::fromStdString(domain), u"last.example"_s });
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));

    const QRect entry = form->List1->visualRect(form->List1->model()->index(1, 0));
    QVERIFY(entry.isValid());
    QTest::mouseDClick(form->List1->viewport(), Qt::LeftButton, Qt::NoModifier, entry.center());

    QCOMPARE(form->List1->ListIndex(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(form->statusText(), u"查询完毕 .."_s, 15000);
    const QString mismatch = backorderShownMismatch(*form, info);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    const auto q = [](const std::string &text) { return QString::fromStdString(text); };
    // What follows the deposit depends on the markup after the row (see pageShown).
    QVERIFY2(form->Label11->text().startsWith(q(info.deposit)), qPrintable(form->Label11->text()));
    QCOMPARE(form->Label12->text(), u"是否备案："_s + q(SampleMarket::icpLicenceFor(domain)));
}

// Closing the window during the ICP wait: the query stops writing.
void TstDetail::closingDuringIcpWait()
{
    Sites sites;
    sites.setBackorder("a.com", backorderHtml(Backorder()));
    sites.setIcp("a.com", icpFiledHtml(Licence));
    sites.hold("a.com");
    auto form = makeForm(sites.url(), sites.url());
    select(*form, { u"a.com"_s }, 0);

    bool closed = false;
    QTimer::singleShot(0, form.get(), [&] {
        form->close();
        closed = true;
    });
    runQuery(*form, Entry::DoubleClick);
    sites.release();

    QVERIFY(closed);
    QVERIFY(form->isExiting());
    QCOMPARE(form->Label1->text(), u"删除类型：过期删除"_s); // written before the wait
    QCOMPARE(form->Label12->text(), u"是否备案：未查询"_s);
    QCOMPARE(form->PageParts[28], QString());
    QCOMPARE(form->statusText(), u"正在进行查询 .."_s);
}

QTEST_MAIN(TstDetail)
#include "tst_detail.moc"
