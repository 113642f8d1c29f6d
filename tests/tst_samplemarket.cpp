// The sample marketplace serves what the program reads, in the formats it reads: checked through
// the program's own fetch and page readers, and the sample-market program end to end.
#include "app/form1.h"
#include "app/textops.h"
#include "app/urls.h"
#include "collect/resultspage.h"
#include "detail/backorderpage.h"
#include "detail/icppage.h"
#include "fetch/pagefetcher.h"
#include "tools/loopbackserver.h"
#include "tools/samplemarket.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <memory>

namespace {

QStringList toQStringList(const std::vector<std::string> &items)
{
    QStringList list;
    for (const std::string &item : items)
        list << QString::fromStdString(item);
    return list;
}

const QRegularExpression DomainPattern(QStringLiteral("^[a-z0-9]([a-z0-9-]*[a-z0-9])?(\\.[a-z]{2,})+$"));

} // namespace

class TestSampleMarket : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void namesAreStableAndRealistic();
    void resultsPage_data();
    void resultsPage();
    void backorderPages();
    void icpPages();
    void versionFile_data();
    void versionFile();
    void latency();
    void programServesAndStops();

private:
    void startMarket(const SampleMarket::Options &options);
    QString baseUrl() const { return QString::fromStdString(m_server->baseUrl()); }
    FetchResult rawGet(const QUrl &url) const;

    std::unique_ptr<LoopbackServer> m_server;
    std::unique_ptr<Form1> m_form;
};

void TestSampleMarket::init()
{
    m_server = std::make_unique<LoopbackServer>();
    m_form = std::make_unique<Form1>();
}

void TestSampleMarket::cleanup()
{
    m_server->stop();
    m_server.reset();
    m_form.reset();
}

void TestSampleMarket::startMarket(const SampleMarket::Options &options)
{
    SampleMarket::install(*m_server, options);
    QVERIFY(m_server->start() > 0);
}

FetchResult TestSampleMarket::rawGet(const QUrl &url) const
{
    FetchRequest request;
    request.url = url;
    return fetchBlocking(request);
}

void TestSampleMarket::namesAreStableAndRealistic()
{
    QSet<QString> suffixesSeen;
    QSet<QString> allNames;
    for (int pageNo = 1; pageNo <= 10; ++pageNo) {
        const QStringList names = toQStringList(SampleMarket::namesForPage(pageNo));
        QCOMPARE(names.size(), SampleMarket::RowsPerPage);
        QCOMPARE(names, toQStringList(SampleMarket::namesForPage(pageNo)));
        QSet<QString> suffixesOnPage;
        for (const QString &name : names) {
            QVERIFY2(DomainPattern.match(name).hasMatch(), qPrintable(name));
            const QString suffix = name.mid(name.indexOf(u'.'));
            suffixesOnPage << suffix;
            suffixesSeen << suffix;
            allNames << name;
        }
        QVERIFY2(suffixesOnPage.size() >= 3, qPrintable(QStringList(suffixesOnPage.values()).join(u' ')));
    }
    for (const char *suffix : { ".com", ".net", ".cn", ".com.cn", ".org", ".cc" })
        QVERIFY2(suffixesSeen.contains(QLatin1String(suffix)), suffix);
    // Pages differ from each other: a run over ten pages collects mostly different names.
    QVERIFY2(allNames.size() > 400, QByteArray::number(allNames.size()).constData());
}

void TestSampleMarket::resultsPage_data()
{
    QTest::addColumn<QString>("pageNumber");
    QTest::addColumn<int>("expectedRows");
    QTest::newRow("page 1") << QStringLiteral("1") << 50;
    QTest::newRow("page 2") << QStringLiteral("2") << 50;
    QTest::newRow("last page") << QStringLiteral("3") << 50;
    QTest::newRow("beyond the last page") << QStringLiteral("4") << 0;
    QTest::newRow("page 0") << QStringLiteral("0") << 0;
    QTest::newRow("not a number") << QStringLiteral("x") << 0;
}

void TestSampleMarket::resultsPage()
{
    QFETCH(QString, pageNumber);
    QFETCH(int, expectedRows);
    SampleMarket::Options options;
    options.pageCount = 3;
    startMarket(options);
    const QUrl url = Urls::resultsPage(baseUrl(), pageNumber);

    const FetchResult raw = rawGet(url);
    QCOMPARE(raw.error, FetchError::None);
    QCOMPARE(raw.contentType, QByteArray("text/html; charset=utf-8"));

    const QString page = m_form->GetBody(url, QStringLiteral("gbk"));
    QCOMPARE(page, QString::fromUtf8(raw.body));
    QCOMPARE(page.count(ResultsMarkers::Results), 1);
    QCOMPARE(page.count(ResultsMarkers::Pagination), 1);
    QCOMPARE(page.count(ResultsMarkers::Row), expectedRows);
    const qsizetype results = page.indexOf(ResultsMarkers::Results);
    const qsizetype pagination = page.indexOf(ResultsMarkers::Pagination);
    QVERIFY(results < pagination);
    if (expectedRows > 0) {
        QVERIFY(results < page.indexOf(ResultsMarkers::Row));
        QVERIFY(page.lastIndexOf(ResultsMarkers::Row) < pagination);
    }

    const ResultsPage read = readResultsPage(page);
    QVERIFY(read.hasResultsMarker);
    const QStringList expected
        = expectedRows > 0 ? toQStringList(SampleMarket::namesForPage(pageNumber.toInt())) : QStringList();
    QCOMPARE(read.names, expected);
}

void TestSampleMarket::backorderPages()
{
    startMarket(SampleMarket::Options());
    int closed = 0;
    for (const std::string &domain : SampleMarket::namesForPage(1)) {
        const QString name = QString::fromStdString(domain);
        const SampleMarket::BackorderInfo info = SampleMarket::backorderInfoFor(domain);
        const QUrl url = Urls::backorderPage(baseUrl(), name);

        const FetchResult raw = rawGet(url);
        QCOMPARE(raw.error, FetchError::None);
        QCOMPARE(raw.contentType, QByteArray("text/html; charset=gbk"));
        // GBK on the wire: the same bytes read as UTF-8 do not give the page.
        QVERIFY(!QString::fromUtf8(raw.body).contains(QStringLiteral("删除类型：")));

        const std::optional<QString> page = m_form->HtmlStr(url);
        QVERIFY(page.has_value());
        QVERIFY2(page->contains(name), qPrintable(name));
        for (const char *marker :
            { "删除类型：</label>", "删除时间：</label>", "预订截止时间：</label>", "<pre>", "</pre>" })
            QCOMPARE(page->count(QString::fromUtf8(marker)), 1);

        const BackorderPage read = readBackorderPage(*page);
        QCOMPARE(read.deletionType, QString::fromStdString(info.deletionType));
        QCOMPARE(read.deletionTime, QString::fromStdString(info.deletionTime));
        QCOMPARE(read.deadline, QString::fromStdString(info.bookingDeadline));
        QCOMPARE(read.whois, QString::fromStdString(info.whois));
        QVERIFY(read.whois.contains(name.toUpper()));
        QCOMPARE(read.bookingClosed, info.bookingClosed);

        // The price table is on every page, also when booking has closed.
        const std::optional<QString> table = TextOps::pieceAt(*page, QStringLiteral("<th>保证金</th>"), 1);
        QVERIFY(table.has_value());
        const QString row = TextOps::textUpTo(*table, QStringLiteral("</div>"));
        QVERIFY(row.count(QStringLiteral("<td>")) >= 4);
        if (info.bookingClosed) {
            ++closed;
        } else {
            QCOMPARE(read.platform, QString::fromStdString(info.platform));
            QCOMPARE(read.price, QString::fromStdString(info.price));
            QCOMPARE(read.rmb, QString::fromStdString(info.rmb));
            QCOMPARE(read.deposit, QString::fromStdString(info.deposit));
        }
    }
    // About one in five.
    QVERIFY2(closed >= 3 && closed <= 20, QByteArray::number(closed).constData());
}

void TestSampleMarket::icpPages()
{
    startMarket(SampleMarket::Options());
    const QRegularExpression licencePattern(QStringLiteral("^[京沪粤浙苏闽川鲁豫鄂]ICP备\\d{8}号-\\d$"));
    int filed = 0;
    for (const std::string &domain : SampleMarket::namesForPage(2)) {
        const QString name = QString::fromStdString(domain);
        const QString licence = QString::fromStdString(SampleMarket::icpLicenceFor(domain));
        const QUrl url = Urls::icpPage(baseUrl(), name);

        const FetchResult raw = rawGet(url);
        QCOMPARE(raw.error, FetchError::None);
        QCOMPARE(raw.contentType, QByteArray("text/html; charset=gbk"));

        const QString page = m_form->GetBody(url, QStringLiteral("gbk"));
        QCOMPARE(page, decodeGbk(raw.body));
        const IcpPage read = readIcpPage(page);
        if (licence.isEmpty()) {
            QVERIFY(page.contains(QStringLiteral("未备案")));
            QCOMPARE(read.filing, IcpFiling::NotFiled);
        } else {
            ++filed;
            QVERIFY2(licencePattern.match(licence).hasMatch(), qPrintable(licence));
            QVERIFY(!page.contains(QStringLiteral("未备案")));
            QVERIFY(page.contains(QStringLiteral("网站备案/许可证号</td><td>") + licence + QStringLiteral("</td>")));
            QCOMPARE(read.filing, IcpFiling::Filed);
            QCOMPARE(read.licence, licence);
        }
    }
    // About half.
    QVERIFY2(filed >= 15 && filed <= 35, QByteArray::number(filed).constData());
}

void TestSampleMarket::versionFile_data()
{
    QTest::addColumn<QString>("published");
    QTest::newRow("default") << QString();
    QTest::newRow("newer") << QStringLiteral("V1.5");
}

void TestSampleMarket::versionFile()
{
    QFETCH(QString, published);
    SampleMarket::Options options;
    if (!published.isEmpty())
        options.publishedVersion = published.toStdString();
    startMarket(options);

    const QString expected = QStringLiteral("qvrt:%1|").arg(published.isEmpty() ? QStringLiteral("V1.4") : published);
    QCOMPARE(m_form->GetBody(Urls::versionFile(baseUrl()), QStringLiteral("gbk")), expected);
}

void TestSampleMarket::latency()
{
    SampleMarket::Options options;
    options.latencyMs = 300;
    startMarket(options);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(m_form->GetBody(Urls::versionFile(baseUrl()), QStringLiteral("gbk")), QStringLiteral("qvrt:V1.4|"));
    QVERIFY(clock.elapsed() >= 300);
}

void TestSampleMarket::programServesAndStops()
{
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/sample-market");
    QVERIFY2(QFileInfo(program).isExecutable(), qPrintable(program));

    QProcess market;
    market.start(program,
        { QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--pages"), QStringLiteral("2"),
            QStringLiteral("--version-published"), QStringLiteral("V2.0") });
    QVERIFY(market.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(market.canReadLine(), 10000);
    const QString banner = QString::fromUtf8(market.readLine()).trimmed();
    const QRegularExpressionMatch match
        = QRegularExpression(QStringLiteral("^sample-market listening on (http://127\\.0\\.0\\.1:(\\d+))$"))
              .match(banner);
    QVERIFY2(match.hasMatch(), qPrintable(banner));
    QVERIFY(match.captured(2).toInt() > 0);
    const QString base = match.captured(1);

    QCOMPARE(m_form->GetBody(Urls::versionFile(base), QStringLiteral("gbk")), QStringLiteral("qvrt:V2.0|"));
    QCOMPARE(
        readResultsPage(m_form->GetBody(Urls::resultsPage(base, QStringLiteral("2")), QStringLiteral("gbk"))).names,
        toQStringList(SampleMarket::namesForPage(2)));
    QCOMPARE(
        readResultsPage(m_form->GetBody(Urls::resultsPage(base, QStringLiteral("3")), QStringLiteral("gbk"))).names,
        QStringList());
    const std::optional<QString> detail = m_form->HtmlStr(Urls::backorderPage(base, QStringLiteral("xinhua.com")));
    QVERIFY(detail.has_value() && detail->contains(QStringLiteral("删除类型：</label>")));

    // Each request is logged with its If-Modified-Since header, or its absence.
    QTRY_VERIFY_WITH_TIMEOUT(market.bytesAvailable() > 0 && market.peek(1 << 16).count('\n') >= 4, 5000);
    const QStringList log = QString::fromUtf8(market.readAll()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(log.size(), 4);
    QVERIFY2(log.at(0).startsWith(QStringLiteral("GET /version/main.txt HTTP/1.1")), qPrintable(log.at(0)));
    QVERIFY2(log.at(0).contains(QStringLiteral("If-Modified-Since: 0")), qPrintable(log.at(0)));
    QVERIFY2(log.at(3).startsWith(QStringLiteral("GET /backorder/xinhua.com ")), qPrintable(log.at(3)));
    QVERIFY2(log.at(3).contains(QStringLiteral("no If-Modified-Since")), qPrintable(log.at(3)));

    market.terminate(); // SIGTERM
    QVERIFY(market.waitForFinished(5000));
    QCOMPARE(market.exitStatus(), QProcess::NormalExit);
    QCOMPARE(market.exitCode(), 0);
}

QTEST_MAIN(TestSampleMarket)
#include "tst_samplemarket.moc"
