// The page fetch of the window: GetBody (waits while window events run), HtmlStr and Inet1
// (block the window's thread), against a real server on 127.0.0.1.
#include "app/form1.h"
#include "fetch/internettransfer.h"
#include "tools/loopbackserver.h"
#include "tools/samplemarket.h"
#include "tests/testsupport.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QStringEncoder>
#include <QTest>
#include <QTimer>

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace {

enum class Transport { GetBody, HtmlStr, Inet1 };

const char *nameOf(Transport transport)
{
    switch (transport) {
    case Transport::GetBody:
        return "GetBody";
    case Transport::HtmlStr:
        return "HtmlStr";
    case Transport::Inet1:
        return "Inet1";
    }
    return "?";
}

std::string gbk(const QString &text)
{
    return SampleMarket::toGbk(text.toStdString());
}

std::string utf8(const QString &text)
{
    return text.toStdString();
}

// Text that GB18030 and GBK encode alike, with characters outside Latin-1 and ASCII mixed in.
QString chinesePage()
{
    return QStringLiteral("<html><body><p><label>删除类型：</label>过期删除</p>"
                          "<td>网站备案/许可证号</td><td>京ICP备12345678号-1</td>"
                          "价格：￥86.40【预订】</body></html>");
}

// Keeps counting while window events run.
class Ticker
{
public:
    explicit Ticker(int intervalMs)
    {
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { ++m_ticks; });
        m_timer.start(intervalMs);
    }
    int ticks() const { return m_ticks; }

private:
    QTimer m_timer;
    int m_ticks = 0;
};

constexpr qint64 BoundMs = 5000; // far below the time-outs that would otherwise end the waits

QByteArray describe(const std::optional<QString> &result)
{
    if (!result)
        return QByteArrayLiteral("no value");
    return "\"" + result->left(80).toUtf8() + "\" (" + QByteArray::number(result->size()) + " characters)";
}

} // namespace

Q_DECLARE_METATYPE(Transport)

namespace QTest {
template <> char *toString(const std::optional<QString> &result)
{
    return qstrdup(describe(result).constData());
}
} // namespace QTest

class TestFetch : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void ifModifiedSinceOnGetBodyOnly_data();
    void ifModifiedSinceOnGetBodyOnly();
    void errorStatusReturnsBody_data();
    void errorStatusReturnsBody();
    void unreachableGetBodyKeepsWindowAlive();
    void unreachableIsFailure_data();
    void unreachableIsFailure();
    void nonWebUrlGivesNothing();
    void gbkPageWhateverDeclared_data();
    void gbkPageWhateverDeclared();
    void getBodyHonoursDeclaredCharset_data();
    void getBodyHonoursDeclaredCharset();
    void codingIsNotUsed_data();
    void codingIsNotUsed();
    void sizeCap_data();
    void sizeCap();
    void timeout_data();
    void timeout();
    void cutOffBodyIsFailure_data();
    void cutOffBodyIsFailure();
    void clickHandledDuringGetBodyWait();
    void nestedGetBodyFinishesFirst();
    void blockingFetchRunsNoWindowEvent_data();
    void blockingFetchRunsNoWindowEvent();

private:
    void startServer();
    QUrl url(const std::string &path) const;
    std::optional<QString> fetch(Transport transport, const QUrl &url);
    // The failure value of each transport: GetBody the empty text, HtmlStr the empty text for a
    // request that did not complete, Inet1 no value.
    static bool isFailure(Transport transport, const std::optional<QString> &result);

    std::unique_ptr<LoopbackServer> m_server;
    std::shared_ptr<Gate> m_gate;
    std::unique_ptr<Form1> m_form;
};

void TestFetch::init()
{
    m_gate = std::make_shared<Gate>();
    m_server = std::make_unique<LoopbackServer>();
    m_form = std::make_unique<Form1>();
}

void TestFetch::cleanup()
{
    m_gate->open();
    m_server->stop();
    m_server.reset();
    m_form.reset();
}

void TestFetch::startServer()
{
    QVERIFY(m_server->start() > 0);
}

QUrl TestFetch::url(const std::string &path) const
{
    return QUrl(QString::fromStdString(m_server->baseUrl() + path));
}

std::optional<QString> TestFetch::fetch(Transport transport, const QUrl &url)
{
    switch (transport) {
    case Transport::GetBody:
        return m_form->GetBody(url, QStringLiteral("gbk"));
    case Transport::HtmlStr:
        return m_form->HtmlStr(url);
    case Transport::Inet1:
        return m_form->Inet1->OpenURL(url);
    }
    return std::nullopt;
}

bool TestFetch::isFailure(Transport transport, const std::optional<QString> &result)
{
    switch (transport) {
    case Transport::GetBody:
    case Transport::HtmlStr:
        return result.has_value() && result->isEmpty();
    case Transport::Inet1:
        return !result.has_value();
    }
    return false;
}

void TestFetch::ifModifiedSinceOnGetBodyOnly_data()
{
    QTest::addColumn<Transport>("transport");
    QTest::addColumn<bool>("expectHeader");
    QTest::newRow("GetBody sends it") << Transport::GetBody << true;
    QTest::newRow("HtmlStr does not") << Transport::HtmlStr << false;
    QTest::newRow("Inet1 does not") << Transport::Inet1 << false;
}

void TestFetch::ifModifiedSinceOnGetBodyOnly()
{
    QFETCH(Transport, transport);
    QFETCH(bool, expectHeader);
    m_server->get("/page",
        [](const httplib::Request &, httplib::Response &response) { response.set_content("ok", "text/plain"); });
    startServer();

    // Every request, not only the first one on a connection.
    for (int i = 0; i < 3; ++i)
        QCOMPARE(fetch(transport, url("/page")), std::optional<QString>(QStringLiteral("ok")));

    const std::vector<LoopbackServer::LoggedRequest> log = m_server->requests();
    QCOMPARE(log.size(), std::size_t(3)); // one request per call, no retry
    for (const LoopbackServer::LoggedRequest &request : log) {
        QCOMPARE(request.method, std::string("GET"));
        QCOMPARE(request.hasIfModifiedSince, expectHeader);
        if (expectHeader)
            QCOMPARE(request.ifModifiedSince, std::string("0"));
    }
}

void TestFetch::errorStatusReturnsBody_data()
{
    QTest::addColumn<Transport>("transport");
    QTest::addColumn<int>("status");
    for (const Transport transport : { Transport::GetBody, Transport::HtmlStr }) {
        for (const int status : { 404, 500, 503 }) {
            QTest::addRow("%s, status %d", nameOf(transport), status) << transport << status;
        }
    }
}

void TestFetch::errorStatusReturnsBody()
{
    QFETCH(Transport, transport);
    QFETCH(int, status);
    const QString page = QStringLiteral("<html><body>错误 %1：页面不存在或服务器出错</body></html>").arg(status);
    m_server->get("/broken", [status, body = gbk(page)](const httplib::Request &, httplib::Response &response) {
        response.status = status;
        response.set_content(body, "text/html; charset=gbk");
    });
    startServer();

    QCOMPARE(fetch(transport, url("/broken")), std::optional<QString>(page));
}

void TestFetch::unreachableGetBodyKeepsWindowAlive()
{
    int deadPort = 0;
    {
        LoopbackServer closed;
        deadPort = closed.start();
        QVERIFY(deadPort > 0);
        closed.stop();
    }
    const QUrl deadUrl(QStringLiteral("http://127.0.0.1:%1/search?p=1").arg(deadPort));

    Ticker ticker(0);
    QElapsedTimer clock;
    clock.start();
    const QString text = m_form->GetBody(deadUrl, QStringLiteral("gbk"));
    const int ticksDuringWait = ticker.ticks();

    QCOMPARE(text, QString());
    QVERIFY2(ticksDuringWait > 0, "the timer did not fire while GetBody waited");
    QVERIFY(clock.elapsed() < BoundMs);
}

void TestFetch::unreachableIsFailure_data()
{
    QTest::addColumn<Transport>("transport");
    QTest::newRow("HtmlStr") << Transport::HtmlStr;
    QTest::newRow("Inet1") << Transport::Inet1;
}

void TestFetch::unreachableIsFailure()
{
    QFETCH(Transport, transport);
    int deadPort = 0;
    {
        LoopbackServer closed;
        deadPort = closed.start();
        QVERIFY(deadPort > 0);
        closed.stop();
    }
    // A failure value, not a page that happens to be empty.
    const std::optional<QString> result = fetch(transport, QUrl(QStringLiteral("http://127.0.0.1:%1/x").arg(deadPort)));
    QVERIFY2(!result.has_value(), describe(result).constData());
}

void TestFetch::nonWebUrlGivesNothing()
{
    QCOMPARE(m_form->GetBody(QUrl(QStringLiteral("file:///etc/hostname")), QStringLiteral("gbk")), QString());
    QCOMPARE(m_form->GetBody(QUrl(), QStringLiteral("gbk")), QString());
}

void TestFetch::gbkPageWhateverDeclared_data()
{
    QTest::addColumn<Transport>("transport");
    QTest::addColumn<QByteArray>("contentType");
    for (const Transport transport : { Transport::HtmlStr, Transport::Inet1 }) {
        QTest::addRow("%s, declared utf-8", nameOf(transport)) << transport << QByteArray("text/html; charset=utf-8");
        QTest::addRow("%s, no charset", nameOf(transport)) << transport << QByteArray("text/html");
        QTest::addRow("%s, declared gbk", nameOf(transport)) << transport << QByteArray("text/html; charset=gbk");
        QTest::addRow("%s, declared iso-8859-1", nameOf(transport))
            << transport << QByteArray("text/html; charset=iso-8859-1");
    }
}

void TestFetch::gbkPageWhateverDeclared()
{
    QFETCH(Transport, transport);
    QFETCH(QByteArray, contentType);
    m_server->get("/icp", [type = contentType.toStdString()](const httplib::Request &, httplib::Response &response) {
        response.set_content(gbk(chinesePage()), type);
    });
    startServer();

    QCOMPARE(fetch(transport, url("/icp")), std::optional<QString>(chinesePage()));
}

void TestFetch::getBodyHonoursDeclaredCharset_data()
{
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("expected");
    const QString page = chinesePage();
    const QByteArray gbkBytes = QByteArray::fromStdString(gbk(page));
    const QByteArray utf8Bytes = page.toUtf8();

    QTest::newRow("gbk page declared gbk") << QByteArray("text/html; charset=gbk") << gbkBytes << page;
    QTest::newRow("gbk page declared GBK") << QByteArray("text/html; charset=GBK") << gbkBytes << page;
    QTest::newRow("gbk page declared \"gbk\"") << QByteArray("text/html; charset=\"gbk\"") << gbkBytes << page;
    QTest::newRow("gbk page declared gb18030") << QByteArray("text/html;charset=gb18030") << gbkBytes << page;
    QTest::newRow("utf-8 page declared utf-8") << QByteArray("text/html; charset=utf-8") << utf8Bytes << page;
    QTest::newRow("utf-8 page, no charset") << QByteArray("text/html") << utf8Bytes << page;
    QTest::newRow("utf-8 page, unknown charset") << QByteArray("text/html; charset=x-nonsense") << utf8Bytes << page;
    // Without a declaration a GBK page is read as UTF-8, broken characters and all.
    QTest::newRow("gbk page, no charset") << QByteArray("text/html") << gbkBytes << QString::fromUtf8(gbkBytes);
    QStringEncoder big5("Big5");
    if (big5.isValid()) {
        const QString traditional = QStringLiteral("刪除類型：過期刪除");
        QTest::newRow("big5 page declared big5")
            << QByteArray("text/html; charset=big5") << QByteArray(big5.encode(traditional)) << traditional;
    }
}

void TestFetch::getBodyHonoursDeclaredCharset()
{
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);
    QFETCH(QString, expected);
    QVERIFY(QString::fromUtf8(body) != QStringLiteral("ok")); // rows carry real pages
    m_server->get("/page",
        [type = contentType.toStdString(), bytes = body.toStdString()](
            const httplib::Request &, httplib::Response &response) { response.set_content(bytes, type); });
    startServer();

    QCOMPARE(m_form->GetBody(url("/page"), QStringLiteral("gbk")), expected);
}

void TestFetch::codingIsNotUsed_data()
{
    QTest::addColumn<QString>("coding");
    QTest::addColumn<bool>("utf8Page");
    for (const bool utf8Page : { false, true }) {
        const char *page = utf8Page ? "utf-8 page without charset" : "gbk page declared gbk";
        for (const char *coding : { "gbk", "utf-8", "", "big5", "no such charset" })
            QTest::addRow("%s, Coding \"%s\"", page, coding) << QString::fromLatin1(coding) << utf8Page;
    }
}

void TestFetch::codingIsNotUsed()
{
    QFETCH(QString, coding);
    QFETCH(bool, utf8Page);
    m_server->get("/page", [utf8Page](const httplib::Request &, httplib::Response &response) {
        if (utf8Page)
            response.set_content(utf8(chinesePage()), "text/html");
        else
            response.set_content(gbk(chinesePage()), "text/html; charset=gbk");
    });
    startServer();

    QCOMPARE(m_form->GetBody(url("/page"), coding), chinesePage());
}

void TestFetch::sizeCap_data()
{
    QTest::addColumn<Transport>("transport");
    QTest::addColumn<QString>("delivery");
    QTest::addColumn<bool>("fits");
    for (const Transport transport : { Transport::GetBody, Transport::HtmlStr, Transport::Inet1 }) {
        QTest::addRow("%s, body exactly at the cap", nameOf(transport))
            << transport << QStringLiteral("at cap") << true;
        QTest::addRow("%s, announced length over the cap", nameOf(transport))
            << transport << QStringLiteral("announced") << false;
        QTest::addRow("%s, small compressed body that unpacks over the cap", nameOf(transport))
            << transport << QStringLiteral("compressed") << false;
        QTest::addRow("%s, endless chunked body", nameOf(transport)) << transport << QStringLiteral("endless") << false;
    }
}

void TestFetch::sizeCap()
{
    QFETCH(Transport, transport);
    QFETCH(QString, delivery);
    QFETCH(bool, fits);
    constexpr qint64 cap = 4096;
    m_form->fetchLimits.maxBodyBytes = cap;
    m_form->fetchLimits.transferTimeoutMs = 30000;
    m_form->Inet1->maxBodyBytes = cap;
    m_form->Inet1->RequestTimeout = 30;

    const std::shared_ptr<Gate> gate = m_gate;
    if (delivery == QLatin1String("at cap")) {
        m_server->get("/big", [](const httplib::Request &, httplib::Response &response) {
            response.set_content(std::string(cap, 'a'), "text/plain");
        });
    } else if (delivery == QLatin1String("announced")) {
        // Binary content goes uncompressed: Content-Length tells the size at once.
        m_server->get("/big", [](const httplib::Request &, httplib::Response &response) {
            response.set_content(std::string(64 * cap, 'a'), "application/octet-stream");
        });
    } else if (delivery == QLatin1String("compressed")) {
        // Text goes compressed (the client accepts it): a few bytes on the wire, 256 KiB unpacked.
        m_server->get("/big", [](const httplib::Request &, httplib::Response &response) {
            response.set_content(std::string(64 * cap, 'a'), "text/plain");
        });
    } else {
        // Never ends by itself: only a client that stops reading at the cap comes back. (Binary,
        // so that the server does not compress it into a trickle.)
        m_server->get("/big", [gate](const httplib::Request &, httplib::Response &response) {
            response.set_chunked_content_provider("application/octet-stream", [gate](size_t, httplib::DataSink &sink) {
                if (gate->isOpen())
                    return false;
                const std::string chunk(1024, 'a');
                if (!sink.write(chunk.data(), chunk.size()))
                    return false;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                return true;
            });
        });
    }
    startServer();

    QElapsedTimer clock;
    clock.start();
    const std::optional<QString> result = fetch(transport, url("/big"));
    if (fits) {
        QCOMPARE(result, std::optional<QString>(QString(cap, u'a')));
    } else {
        QVERIFY2(isFailure(transport, result), describe(result).constData());
        QVERIFY2(clock.elapsed() < BoundMs, QByteArray::number(clock.elapsed()).constData());
    }
}

void TestFetch::timeout_data()
{
    QTest::addColumn<Transport>("transport");
    QTest::addColumn<bool>("dripping");
    for (const Transport transport : { Transport::GetBody, Transport::HtmlStr, Transport::Inet1 }) {
        QTest::addRow("%s, server never answers", nameOf(transport)) << transport << false;
        QTest::addRow("%s, server drips a byte now and then", nameOf(transport)) << transport << true;
    }
}

void TestFetch::timeout()
{
    QFETCH(Transport, transport);
    QFETCH(bool, dripping);
    m_form->fetchLimits.transferTimeoutMs = 400;
    m_form->Inet1->RequestTimeout = 1; // seconds: the transfer control counts in whole seconds

    const std::shared_ptr<Gate> gate = m_gate;
    if (dripping) {
        // Always a little progress, so only a limit on the whole transfer ends it.
        m_server->get("/slow", [gate](const httplib::Request &, httplib::Response &response) {
            response.set_content_provider(1 << 20, "text/plain", [gate](size_t, size_t, httplib::DataSink &sink) {
                if (!sink.write("a", 1))
                    return false;
                return !gate->waitOpen(std::chrono::milliseconds(50));
            });
        });
    } else {
        m_server->get("/slow", [gate](const httplib::Request &, httplib::Response &response) {
            gate->waitOpen(std::chrono::seconds(30));
            response.set_content("too late", "text/plain");
        });
    }
    startServer();

    Ticker ticker(10);
    QElapsedTimer clock;
    clock.start();
    const std::optional<QString> result = fetch(transport, url("/slow"));
    const qint64 elapsed = clock.elapsed();
    const int ticksDuringWait = ticker.ticks();

    QVERIFY2(isFailure(transport, result), describe(result).constData());
    QVERIFY2(elapsed < BoundMs, QByteArray::number(elapsed).constData());
    if (transport == Transport::GetBody)
        QVERIFY2(ticksDuringWait > 0, "the window's timer did not run while GetBody waited");
    else
        QCOMPARE(ticksDuringWait, 0);
}

void TestFetch::cutOffBodyIsFailure_data()
{
    // Only a body of announced length: Qt 6.4 may take a chunked body that breaks off between two
    // chunks for a whole one, which no caller can tell.
    QTest::addColumn<Transport>("transport");
    for (const Transport transport : { Transport::GetBody, Transport::HtmlStr, Transport::Inet1 })
        QTest::addRow("%s, closed before Content-Length was reached", nameOf(transport)) << transport;
}

void TestFetch::cutOffBodyIsFailure()
{
    QFETCH(Transport, transport);
    // The provider writes part of the page and then gives up, which makes the server drop the
    // connection.
    m_server->get("/cut", [](const httplib::Request &, httplib::Response &response) {
        const std::string part = "<html><body>booking <div>half a page";
        response.set_content_provider(1000, "text/html", [part](size_t offset, size_t, httplib::DataSink &sink) {
            if (offset > 0)
                return false;
            sink.write(part.data(), part.size());
            return true;
        });
    });
    startServer();

    QElapsedTimer clock;
    clock.start();
    const std::optional<QString> result = fetch(transport, url("/cut"));
    QVERIFY2(isFailure(transport, result), describe(result).constData());
    QVERIFY(clock.elapsed() < BoundMs);
}

void TestFetch::clickHandledDuringGetBodyWait()
{
    const std::shared_ptr<Gate> gate = m_gate;
    // The answer comes only after the click: GetBody can return the page only if the click ran
    // while it waited.
    m_server->get("/held", [gate](const httplib::Request &, httplib::Response &response) {
        if (gate->waitOpen(std::chrono::seconds(20)))
            response.set_content("after the click", "text/plain");
        else
            response.set_content("no click", "text/plain");
    });
    startServer();
    m_form->fetchLimits.transferTimeoutMs = 30000;

    QPushButton button(QStringLiteral("开始采集"));
    button.show();
    bool returned = false;
    int clicksDuringWait = 0;
    connect(&button, &QPushButton::clicked, &button, [&] {
        if (!returned)
            ++clicksDuringWait;
        gate->open();
    });
    QTimer::singleShot(50, &button, [&button] { QTest::mouseClick(&button, Qt::LeftButton); });

    QElapsedTimer clock;
    clock.start();
    const QString text = m_form->GetBody(url("/held"), QStringLiteral("gbk"));
    returned = true;

    QCOMPARE(clicksDuringWait, 1);
    QCOMPARE(text, QStringLiteral("after the click"));
    QVERIFY(clock.elapsed() < BoundMs);
}

void TestFetch::nestedGetBodyFinishesFirst()
{
    const std::shared_ptr<Gate> gate = m_gate;
    m_server->get("/outer", [gate](const httplib::Request &, httplib::Response &response) {
        gate->waitOpen(std::chrono::seconds(20));
        response.set_content("outer", "text/plain");
    });
    m_server->get("/inner",
        [](const httplib::Request &, httplib::Response &response) { response.set_content("inner", "text/plain"); });
    startServer();

    QStringList finished;
    QTimer::singleShot(20, m_form.get(), [&] {
        finished << m_form->GetBody(url("/inner"), QStringLiteral("gbk"));
        gate->open();
    });
    finished << m_form->GetBody(url("/outer"), QStringLiteral("gbk"));

    QCOMPARE(finished, QStringList({ QStringLiteral("inner"), QStringLiteral("outer") }));
}

void TestFetch::blockingFetchRunsNoWindowEvent_data()
{
    QTest::addColumn<Transport>("transport");
    QTest::newRow("HtmlStr") << Transport::HtmlStr;
    QTest::newRow("Inet1") << Transport::Inet1;
}

void TestFetch::blockingFetchRunsNoWindowEvent()
{
    QFETCH(Transport, transport);
    m_server->get("/slow", [](const httplib::Request &, httplib::Response &response) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        response.set_content(gbk(QStringLiteral("终于")), "text/html");
    });
    startServer();

    Ticker ticker(0);
    const std::optional<QString> result = fetch(transport, url("/slow"));
    QCOMPARE(ticker.ticks(), 0);
    QCOMPARE(result, std::optional<QString>(QStringLiteral("终于")));
    // The timer itself works: it fires as soon as the thread is free again.
    QTRY_VERIFY_WITH_TIMEOUT(ticker.ticks() > 0, 2000);
}

QTEST_MAIN(TestFetch)
#include "tst_fetch.moc"
