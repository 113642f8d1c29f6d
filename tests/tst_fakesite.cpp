// The fake site as a client sees it: held answers and stalls that end with the site, the faults that
// stand for one kind of page, the gzip bomb, and the sample-market program built on it. The sample
// pages, replies and the rate limit are what every other test reads.
#include "core/collect/resultspage.h"
#include "tests/sitetest.h"
#include "tools/samplemarket.h"

#include <httplib.h>
#include <zlib.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <future>

using namespace std::chrono_literals;

namespace {

// A GET that takes the body as sent: nothing inflated, no redirect followed. Status -1: no answer.
httplib::Response get(const std::string &url, const std::string &target)
{
    httplib::Client client(url);
    client.set_decompress(false);
    client.set_read_timeout(60);
    const httplib::Result result = client.Get(target);
    return result ? *result : httplib::Response();
}

} // namespace

class TestFakeSite : public QObject
{
    Q_OBJECT

private slots:
    void holdAndRelease()
    {
        std::vector<std::future<httplib::Response>> answers; // before the site, whose end lets them go
        auto site = std::make_unique<FakeSite>();
        QVERIFY(site->start());
        const auto ask = [&](const char *target) {
            answers.push_back(std::async(std::launch::async, get, site->url(), target));
            return site->waitUntilRequested(target, 10s);
        };
        site->hold("/held.com");
        QVERIFY(ask("/held.com"));
        QVERIFY(site->waitUntilQuiet(1, 10s) && !site->waitUntilQuiet(0, 10ms));
        QCOMPARE(get(site->url(), "/other.com").status, 200);
        QVERIFY(answers[0].wait_for(0ms) == std::future_status::timeout);
        site->release("/held.com");
        QCOMPARE(answers[0].get().status, 200);
        QVERIFY(!site->waitUntilRequested("/never.com", 10ms));

        site->holdEverything();
        QVERIFY(ask("/one.com") && ask("/two.com"));
        site->release("/two.com");
        QCOMPARE(answers[2].get().status, 200);
        QVERIFY(answers[1].wait_for(0ms) == std::future_status::timeout);

        // Ending the site lets held answers and stalls go at once.
        site->setFault("/stalled.com", Fault::HeadersNeverCome);
        QVERIFY(ask("/stalled.com"));
        QElapsedTimer ending;
        ending.start();
        site.reset();
        QCOMPARE_LT(ending.elapsed(), 5000);
        QCOMPARE(answers[1].get().status, 200);
        QCOMPARE(answers[3].get().status, 503);
    }

    void hugeValues_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<std::string>("target");
        QTest::addColumn<std::string>("before"); // the huge value comes between these
        QTest::addColumn<std::string>("after");
        QTest::addColumn<std::size_t>("length");
        const auto row = [](Fault fault, const std::string &target, const std::string &before, const char *after,
                             std::size_t length) {
            QTest::newRow(describeFault(fault)) << fault << target << before << std::string(after) << length;
        };
        row(Fault::HugeWhois, "/backorder/a.com", "<pre>", "</pre>", FakeSite::HugeWhoisBytes);
        row(Fault::HugeDeletionType, "/backorder/a.com", SampleMarket::toGbk("<label>删除类型：</label>"), "</p>",
            FakeSite::HugeDeletionTypeBytes);
        row(Fault::LongVersion, VersionTarget, "qvrt:", "|", FakeSite::LongVersionCharacters);
    }

    void hugeValues()
    {
        QFETCH(Fault, fault);
        QFETCH(std::string, target);
        QFETCH(std::string, before);
        QFETCH(std::string, after);
        QFETCH(std::size_t, length);
        FakeSite site;
        QVERIFY(site.start());
        site.setFault(target, fault);
        const httplib::Response answer = get(site.url(), target);
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.get_header_value("Content-Length"), std::to_string(answer.body.size()));
        QCOMPARE_LT(answer.body.size(), std::size_t(16 * 1024 * 1024));
        const std::size_t start = answer.body.find(before) + before.size();
        const std::string value = answer.body.substr(start, answer.body.find(after, start) - start);
        QCOMPARE(value.size(), length);
        QCOMPARE(value.find_first_of(" \t\r\n"), std::string::npos);
    }

    void gzipBomb()
    {
        FakeSite site;
        QVERIFY(site.start());
        site.setFault("/a.com", Fault::GzipBomb);
        const httplib::Response answer = get(site.url(), "/a.com");
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.get_header_value("Content-Encoding"), "gzip");
        QCOMPARE_LT(answer.body.size(), std::size_t(4 * 1024 * 1024));
        // It inflates, checksum and length checked by zlib, to the page and a gibibyte of zeros.
        const std::string page = SampleMarket::toGbk(SampleMarket::icpPage(SampleMarket::icpLicenceFor("a.com")));
        z_stream stream {};
        QCOMPARE(inflateInit2(&stream, 16 + 15), Z_OK);
        stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(answer.body.data()));
        stream.avail_in = static_cast<uInt>(answer.body.size());
        std::string out(1 << 20, '\0');
        long long inflated = 0;
        int result = Z_OK;
        for (bool first = true; result == Z_OK; first = false) {
            stream.next_out = reinterpret_cast<Bytef *>(out.data());
            stream.avail_out = static_cast<uInt>(out.size());
            result = inflate(&stream, Z_NO_FLUSH);
            QVERIFY(!first || out.compare(0, page.size(), page) == 0);
            inflated += static_cast<long long>(out.size() - stream.avail_out);
        }
        inflateEnd(&stream);
        QCOMPARE(result, Z_STREAM_END);
        QCOMPARE(inflated, static_cast<long long>(page.size()) + FakeSite::GzipBombZeroBytes);
    }

    void sampleMarketProgram()
    {
        QProcess program;
        program.start(QCoreApplication::applicationDirPath() + QStringLiteral("/sample-market"),
            { QStringLiteral("--pages"), QStringLiteral("2"), QStringLiteral("--version-published=V2.0") });
        QVERIFY(program.waitForStarted());
        while (!program.canReadLine() && program.waitForReadyRead(10000)) { }
        const QRegularExpressionMatch listening
            = QRegularExpression(QStringLiteral("^sample-market listening on (http://127\\.0\\.0\\.1:\\d+)\n$"))
                  .match(QString::fromUtf8(program.readLine()));
        QVERIFY(listening.hasMatch());

        const auto namesOn = [&](const char *target) {
            return readResultsPage(QString::fromStdString(get(listening.captured(1).toStdString(), target).body)).names;
        };
        QCOMPARE(namesOn("/search?p=2"), sampleNames(2));
        QCOMPARE(namesOn("/search?p=3"), QStringList()); // past the last page
        QVERIFY(get(listening.captured(1).toStdString(), "/version/main.txt").body.find("\nqvrt:V2.0|\r\n")
            != std::string::npos);
        const QByteArray logged = "GET /search?p=2 HTTP/1.1  [no If-Modified-Since]\n";
        QByteArray output;
        while (!output.contains(logged) && (program.canReadLine() || program.waitForReadyRead(10000)))
            output += program.readAll();
        QVERIFY2(output.contains(logged), output.constData());

        program.terminate();
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestFakeSite)
#include "tst_fakesite.moc"
