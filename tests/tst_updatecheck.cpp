// The update check against the fake site: the verdict on version files as they come over the wire
// (tst_versionfile reads their text) and on each hostile server, and the request it makes.
#include "core/update/updatecheck.h"
#include "tests/sitetest.h"

#include <QElapsedTimer>
#include <QStringEncoder>
#include <QTest>

#include <optional>

namespace {

constexpr int ShortTimeoutMs = 1000;

FakeSite::Answer file(const QByteArray &body, int status = 200, const char *contentType = "text/plain")
{
    return FakeSite::Reply { status, body.toStdString(), contentType, {} };
}

} // namespace

class TestUpdateCheck : public SiteTest
{
    Q_OBJECT

private slots:
    void init() { startSite(); }

    void cleanup() { endSite(); }

    void verdict_data()
    {
        QTest::addColumn<FakeSite::Answer>("answer");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("version"); // for Newer
        const int current = VersionVerdict::Current;
        const int newer = VersionVerdict::Newer;
        const int failed = VersionVerdict::Failed;

        QTest::newRow("the site's own file") << FakeSite::Answer() << current << QString();
        QTest::newRow("V1.5") << file("qvrt:V1.5|") << newer << QStringLiteral("V1.5");
        QTest::newRow("GBK text around a newer entry") << file(
            QStringEncoder("GB18030").encode(QStringLiteral("最新版本\r\nqvrt:V2.0|\r\n更新说明")), 200,
            "text/plain; charset=gbk") << newer << QStringLiteral("V2.0");
        QTest::newRow("a 100,000-character version") << FakeSite::Answer(Fault::LongVersion) << failed << QString();
        QTest::newRow("empty body") << file("") << failed << QString();
        // An error page is no version file, even one that holds a valid entry.
        QTest::newRow("error status with a valid entry") << file("qvrt:V1.5|", 500) << failed << QString();
        QTest::newRow("not-found page with a key, no end mark")
            << file("<html>qvrt: not found</html>", 404, "text/html") << failed << QString();
        for (const Fault fault : allFaults()) {
            const bool readable = fault == Fault::InvalidUtf8 || fault == Fault::GbkDeclaredUtf8; // ASCII entry
            QTest::newRow(describeFault(fault))
                << FakeSite::Answer(fault) << (readable ? current : failed) << QString();
        }
    }

    void verdict()
    {
        QFETCH(FakeSite::Answer, answer);
        QFETCH(int, kind);
        QFETCH(QString, version);
        config.requestTimeoutMs = ShortTimeoutMs;
        setAnswer(VersionTarget, answer, &AppConfig::updateUrl);
        UpdateCheck check(fetcher(), config);
        std::optional<VersionVerdict> verdict;
        int verdicts = 0;
        connect(&check, &UpdateCheck::finished, this, [&](const VersionVerdict &v) {
            verdict = v;
            ++verdicts;
        });

        QElapsedTimer clock;
        clock.start();
        check.start();
        QTRY_VERIFY_WITH_TIMEOUT(verdict.has_value(), 10000);
        QVERIFY2(clock.elapsed() < ShortTimeoutMs + 2000, QByteArray::number(clock.elapsed()));
        QCOMPARE(int(verdict->kind), kind);
        if (kind == VersionVerdict::Newer)
            QCOMPARE(verdict->version, version);
        QCOMPARE(verdicts, 1);

        // One request for the file, asking caches for a fresh copy (a redirect loop asks again).
        if (answer.fault != Fault::ConnectionRefused && answer.fault != Fault::RedirectLoop) {
            const auto requests = site().requests();
            QCOMPARE(requests.size(), std::size_t(1));
            QCOMPARE(requests[0].target, VersionTarget);
            QCOMPARE(requests[0].ifModifiedSince, std::string("0"));
        }
    }
};

QTEST_GUILESS_MAIN(TestUpdateCheck)
#include "tst_updatecheck.moc"
