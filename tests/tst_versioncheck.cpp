// The version check at the end of start-up: reading the version file and what the user is told.
#include "app/form1.h"
#include "tools/loopbackserver.h"
#include "update/versioncheck.h"
#include "tests/testsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QStringEncoder>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <httplib.h>

#include <functional>

namespace {

const QString Title = QStringLiteral("Vexlon系列软件");
const QString Checking = QStringLiteral("正在检测更新 ..");
const QString Welcome = QStringLiteral("欢迎使用Vexlon系列软件");
const QString FailedText = QStringLiteral("检测更新失败!请您稍后再试,暂时使用原版");
const QString ForumUrl = QStringLiteral("http://127.0.0.1:9/forum");

QString newerText(const QString &version)
{
    return QStringLiteral("发现最新版本![") + version + QStringLiteral("]\r\n \r\n确定后自动打开官方论坛!");
}

AppConfig configFor(const std::string &updateBase)
{
    AppConfig config;
    config.updateUrl = QString::fromStdString(updateBase);
    config.forumUrl = ForumUrl;
    config.marketUrl = QStringLiteral("http://127.0.0.1:9");
    config.homeUrl = QStringLiteral("http://127.0.0.1:9/home");
    return config;
}

} // namespace

class TestVersionCheck : public QObject
{
    Q_OBJECT

private slots:
    void readPublishedVersion_data();
    void readPublishedVersion();
    void verdict_data();
    void verdict();

    void gx_data();
    void gx();
    void gxUnreachableServer();
    void gxExitDuringBoxOpensNoForum();
};

void TestVersionCheck::readPublishedVersion_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("published");

    QTest::newRow("entry alone") << QStringLiteral("qvrt:V1.4|") << QStringLiteral("V1.4");
    QTest::newRow("three lines, entry in the middle")
        << QStringLiteral("other:V9.9|\r\nqvrt:V1.4|\r\nlast line") << QStringLiteral("V1.4");
    QTest::newRow("text after the end mark ignored")
        << QStringLiteral("qvrt:V1.5|more|qvrt:V2|") << QStringLiteral("V1.5");
    QTest::newRow("blank kept") << QStringLiteral("qvrt: V1.4|") << QStringLiteral(" V1.4");
    QTest::newRow("tab and line break kept") << QStringLiteral("qvrt:V1.4\t\r\n|") << QStringLiteral("V1.4\t\r\n");
    QTest::newRow("small v kept") << QStringLiteral("qvrt:v1.4|") << QStringLiteral("v1.4");
    QTest::newRow("empty body") << QString() << QString();
    QTest::newRow("no key") << QStringLiteral("V1.4|") << QString();
    QTest::newRow("key in capitals") << QStringLiteral("QVRT:V1.4|") << QString();
    QTest::newRow("blank before the colon") << QStringLiteral("qvrt :V1.4|") << QString();
    QTest::newRow("key twice in a row") << QStringLiteral("qvrt:qvrt:V1.4|") << QString();
    QTest::newRow("second key before the end mark") << QStringLiteral("qvrt:V1.4 qvrt:V1.5|") << QString();
    QTest::newRow("no end mark") << QStringLiteral("qvrt:V1.4\r\n") << QString();
    QTest::newRow("end mark only before the key") << QStringLiteral("|qvrt:V1.4") << QString();
    QTest::newRow("empty version") << QStringLiteral("qvrt:|") << QString();
    QTest::newRow("key at the very end") << QStringLiteral("text qvrt:") << QString();
}

void TestVersionCheck::readPublishedVersion()
{
    QFETCH(QString, body);
    QFETCH(QString, published);
    QCOMPARE(::readPublishedVersion(body), published);
}

void TestVersionCheck::verdict_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("version");

    QTest::newRow("current") << QStringLiteral("qvrt:V1.4|") << int(VersionVerdict::Current) << QStringLiteral("V1.4");
    QTest::newRow("newer") << QStringLiteral("qvrt:V1.5|") << int(VersionVerdict::Newer) << QStringLiteral("V1.5");
    QTest::newRow("small v is another version")
        << QStringLiteral("qvrt:v1.4|") << int(VersionVerdict::Newer) << QStringLiteral("v1.4");
    QTest::newRow("blank before is another version")
        << QStringLiteral("qvrt: V1.4|") << int(VersionVerdict::Newer) << QStringLiteral(" V1.4");
    QTest::newRow("empty body") << QString() << int(VersionVerdict::Failed) << QString();
    QTest::newRow("error page") << QStringLiteral("<html>500</html>") << int(VersionVerdict::Failed) << QString();
    QTest::newRow("empty version") << QStringLiteral("qvrt:|") << int(VersionVerdict::Failed) << QString();
}

void TestVersionCheck::verdict()
{
    QFETCH(QString, body);
    QFETCH(int, kind);
    QFETCH(QString, version);

    const VersionVerdict verdict = judgeVersionFile(body, QStringLiteral("V1.4"));
    QCOMPARE(int(verdict.kind), kind);
    if (verdict.kind == VersionVerdict::Newer)
        QCOMPARE(verdict.version, version);
}

void TestVersionCheck::gx_data()
{
    QTest::addColumn<int>("httpStatus");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body");
    // NoIcon: no box at all.
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("boxText");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("forumOpened");

    const int none = QMessageBox::NoIcon;
    const int warning = QMessageBox::Warning;
    const int information = QMessageBox::Information;
    const QByteArray plain("text/plain");

    QTest::newRow("current") << 200 << plain << QByteArray("qvrt:V1.4|") << none << QString() << Welcome << false;
    QTest::newRow("three lines, entry in the middle")
        << 200 << plain << QByteArray("vexlon-other:V3.0|\r\nqvrt:V1.4|\r\nend of file\r\n") << none << QString()
        << Welcome << false;
    QTest::newRow("outdated V1.5") << 200 << plain << QByteArray("qvrt:V1.5|") << information
                                   << newerText(QStringLiteral("V1.5")) << Checking << true;
    QTest::newRow("blank before V1.4") << 200 << plain << QByteArray("qvrt: V1.4|") << information
                                       << newerText(QStringLiteral(" V1.4")) << Checking << true;
    QTest::newRow("small v1.4") << 200 << plain << QByteArray("qvrt:v1.4|") << information
                                << newerText(QStringLiteral("v1.4")) << Checking << true;
    QTest::newRow("gbk text around a newer entry")
        << 200 << QByteArray("text/plain; charset=gbk")
        << QByteArray(QStringEncoder("GB18030").encode(QStringLiteral("最新版本\r\nqvrt:V2.0|\r\n更新说明")))
        << information << newerText(QStringLiteral("V2.0")) << Checking << true;
    QTest::newRow("markup in the published version")
        << 200 << plain << QByteArray("qvrt:<img src=\"x.png\">V2</a>|") << information
        << newerText(QStringLiteral("<img src=\"x.png\">V2</a>")) << Checking << true;
    QTest::newRow("markup in the published version")
        << 200 << plain << QByteArray("qvrt:<img src=\"x.png\">V2</a>|") << information
        << newerText(QStringLiteral("<img src=\"x.png\">V2</a>")) << Checking << true;
    QTest::newRow("no key") << 200 << plain << QByteArray("V1.4|") << warning << FailedText << Checking << false;
    QTest::newRow("key in capitals") << 200 << plain << QByteArray("QVRT:V1.4|") << warning << FailedText << Checking
                                     << false;
    QTest::newRow("key twice") << 200 << plain << QByteArray("qvrt:qvrt:V1.4|") << warning << FailedText << Checking
                               << false;
    QTest::newRow("no end mark") << 200 << plain << QByteArray("qvrt:V1.4\r\n") << warning << FailedText << Checking
                                 << false;
    QTest::newRow("empty version") << 200 << plain << QByteArray("qvrt:|") << warning << FailedText << Checking
                                   << false;
    QTest::newRow("empty body") << 200 << plain << QByteArray() << warning << FailedText << Checking << false;
    QTest::newRow("server error page") << 500 << QByteArray("text/html")
                                       << QByteArray("<html><body>500 Internal Server Error</body></html>") << warning
                                       << FailedText << Checking << false;
    QTest::newRow("not found page with a key but no end mark")
        << 404 << QByteArray("text/html") << QByteArray("<html>qvrt: not found</html>") << warning << FailedText
        << Checking << false;
}

void TestVersionCheck::gx()
{
    QFETCH(int, httpStatus);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);
    QFETCH(int, icon);
    QFETCH(QString, boxText);
    QFETCH(QString, status);
    QFETCH(bool, forumOpened);

    LoopbackServer server;
    server.get("/version/main.txt", [=](const httplib::Request &, httplib::Response &response) {
        response.status = httpStatus;
        response.set_content(body.toStdString(), contentType.toStdString());
    });
    QVERIFY(server.start() > 0);

    Form1 form(configFor(server.baseUrl()));
    form.fetchLimits.transferTimeoutMs = 10000;
    UrlCatcher urls;
    BoxAnswerer boxes;
    QCOMPARE(form.statusText(), Checking);

    form.gx();

    const std::vector<std::string> targets = server.requestedTargets();
    QCOMPARE(targets.size(), size_t(1));
    QCOMPARE(targets[0], std::string("/version/main.txt"));

    if (icon == QMessageBox::NoIcon) {
        QVERIFY(boxes.seen.isEmpty());
    } else {
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen[0].text, boxText);
        QCOMPARE(int(boxes.seen[0].icon), icon);
        QCOMPARE(boxes.seen[0].title, Title);
        QVERIFY(boxes.seen[0].okAlone);
        // Text from the server is shown as it came, never rendered as markup.
        QCOMPARE(boxes.seen[0].format, Qt::PlainText);
    }
    QCOMPARE(form.statusText(), status);
    if (forumOpened) {
        QCOMPARE(urls.opened.size(), 1);
        QCOMPARE(urls.opened[0].toString(), ForumUrl);
    } else {
        QVERIFY(urls.opened.isEmpty());
    }
}

void TestVersionCheck::gxUnreachableServer()
{
    // A port the OS just handed out and that nothing listens on any more.
    std::string deadBase;
    {
        QTcpServer listener;
        QVERIFY(listener.listen(QHostAddress::LocalHost, 0));
        deadBase = "http://127.0.0.1:" + std::to_string(listener.serverPort());
    }

    Form1 form(configFor(deadBase));
    form.fetchLimits.transferTimeoutMs = 10000;
    UrlCatcher urls;
    BoxAnswerer boxes;

    form.gx();

    QCOMPARE(boxes.seen.size(), 1);
    QCOMPARE(boxes.seen[0].text, FailedText);
    QCOMPARE(boxes.seen[0].icon, QMessageBox::Warning);
    QCOMPARE(boxes.seen[0].title, Title);
    QCOMPARE(form.statusText(), Checking);
    QVERIFY(urls.opened.isEmpty());
}

void TestVersionCheck::gxExitDuringBoxOpensNoForum()
{
    LoopbackServer server;
    server.get("/version/main.txt", [](const httplib::Request &, httplib::Response &response) {
        response.set_content("qvrt:V1.5|", "text/plain");
    });
    QVERIFY(server.start() > 0);

    Form1 form(configFor(server.baseUrl()));
    form.show();
    UrlCatcher urls;
    BoxAnswerer boxes([&form] { form.close(); });

    form.gx();

    QCOMPARE(boxes.seen.size(), 1);
    QCOMPARE(boxes.seen[0].text, newerText(QStringLiteral("V1.5")));
    QVERIFY(form.isExiting());
    QVERIFY(urls.opened.isEmpty());
}

QTEST_MAIN(TestVersionCheck)
#include "tst_versioncheck.moc"
