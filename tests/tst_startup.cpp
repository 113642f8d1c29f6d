// Start-up (skinning library, skin file, showing the window, the version check last), the
// buttons that open the maker's pages, and ending the program, also while a fetch waits.
#include "app/form1.h"

#include "tools/loopbackserver.h"
#include "tests/testsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace {

const QString CheckingText = QStringLiteral("正在检测更新 ..");
const QString WelcomeText = QStringLiteral("欢迎使用Vexlon系列软件");
const QString BoxTitle = QStringLiteral("Vexlon系列软件");

QString programFolder()
{
    return QCoreApplication::applicationDirPath();
}

QString skinLibraryPath()
{
    return programFolder() + QStringLiteral("/libskinh.so");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The update server and a page that answers only when its gate opens.
class TestServer
{
public:
    TestServer()
    {
        m_server.get("/version/main.txt", [this](const httplib::Request &, httplib::Response &response) {
            if (m_versionGated)
                m_gate.waitOpen();
            response.set_content("qvrt:V1.4|", "text/plain");
        });
        m_server.get("/slow", [this](const httplib::Request &, httplib::Response &response) {
            m_gate.waitOpen();
            response.set_content("late", "text/plain");
        });
        m_server.get("/search", [this](const httplib::Request &, httplib::Response &response) {
            m_gate.waitOpen();
            response.set_content("", "text/html");
        });
    }
    ~TestServer()
    {
        m_gate.open();
        m_server.stop();
    }

    bool start() { return m_server.start() > 0; }
    QString baseUrl() const { return QString::fromStdString(m_server.baseUrl()); }
    void holdVersionFile() { m_versionGated = true; }
    void openGate() { m_gate.open(); }
    int requestCount(const std::string &path) const
    {
        int count = 0;
        for (const LoopbackServer::LoggedRequest &entry : m_server.requests())
            count += entry.path == path ? 1 : 0;
        return count;
    }

    // Runs `action` on the receiver's thread when a request for `path` arrives, before it is answered.
    void onRequest(const std::string &path, QObject *receiver, std::function<void()> action)
    {
        m_server.setRequestObserver([=](const LoopbackServer::LoggedRequest &entry) {
            if (entry.path == path)
                QMetaObject::invokeMethod(receiver, action, Qt::QueuedConnection);
        });
    }

private:
    LoopbackServer m_server;
    Gate m_gate;
    std::atomic<bool> m_versionGated { false };
};

// Counts the times a widget is shown.
class ShowCounter : public QObject
{
public:
    explicit ShowCounter(QWidget *watched) { watched->installEventFilter(this); }
    int shows = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            ++shows;
        return false;
    }
};

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void skinFileMissingStillShowsTheWindow();
    void skinFileIsApplied_data();
    void skinFileIsApplied();
    void missingSkinComponentStopsStartUp_data();
    void missingSkinComponentStopsStartUp();
    void statusReadsCheckingWhileVersionFileIsOnItsWay();
    void windowIsCentredOnFirstShow();

    void makerPagesOpenInBrowser_data();
    void makerPagesOpenInBrowser();
    void makerPagesOpenWhileVersionCheckWaits();

    void exitWhileNothingWaits_data();
    void exitWhileNothingWaits();
    void exitWhileGetBodyWaits_data();
    void exitWhileGetBodyWaits();
    void exitDuringVersionCheck();
    void exitDuringCollectionTick();
    // Last: it runs the application's own event loop, as the program does.
    void exitEndsTheApplicationEventLoop();

private:
    AppConfig configFor(const TestServer &server) const
    {
        AppConfig config;
        config.updateUrl = server.baseUrl();
        config.marketUrl = server.baseUrl();
        config.icpUrl = server.baseUrl();
        config.forumUrl = QStringLiteral("http://forum.vexlon.example/bbs/");
        config.homeUrl = QStringLiteral("https://www.vexlon.example/index.html");
        return config;
    }
    // A program folder holding a copy of the skinning library and nothing else.
    bool makeFolderWithLibrary(QTemporaryDir &folder) const
    {
        return folder.isValid() && QFile::copy(skinLibraryPath(), folder.filePath(QStringLiteral("libskinh.so")));
    }

    UrlCatcher m_urls;
};

void TestStartup::init()
{
    qApp->setStyleSheet(QString());
    m_urls.opened.clear();
}

void TestStartup::cleanup()
{
    // The skin belongs to the application: the next test starts without one.
    qApp->setStyleSheet(QString());
}

void TestStartup::skinFileMissingStillShowsTheWindow()
{
    TestServer server;
    QVERIFY(server.start());
    QTemporaryDir folder;
    QVERIFY(makeFolderWithLibrary(folder));
    QVERIFY(!QFile::exists(folder.filePath(QStringLiteral("skinh.she"))));

    Form1 form(configFor(server));
    form.setWindowIcon(QIcon(QPixmap(16, 16)));
    form.setProgramFolder(folder.path());
    BoxAnswerer boxes;
    QVERIFY(form.Form_Load());

    QVERIFY(form.isVisible());
    QVERIFY(form.windowIcon().isNull());
    QVERIFY(qApp->styleSheet().isEmpty()); // the look is left as it was
    QVERIFY(boxes.seen.isEmpty());
    // The version check ran, last.
    QCOMPARE(server.requestCount("/version/main.txt"), 1);
    QCOMPARE(form.statusText(), WelcomeText);
}

void TestStartup::skinFileIsApplied_data()
{
    QTest::addColumn<bool>("shippedFolder");
    QTest::addColumn<QByteArray>("skin");
    QTest::addColumn<bool>("applied");
    QTest::addColumn<QString>("folderSuffix");

    QTest::newRow("the skin shipped beside the program") << true << QByteArray() << true << QString();
    QTest::newRow("a skin of our own") << false << QByteArray("QPushButton { color: #123456; }\n") << true << QString();
    QTest::newRow("Chinese in the skin") << false << QByteArray("/* 默认皮肤 */ QLabel { color: #654321; }") << true
                                         << QString();
    QTest::newRow("folder ending in a slash")
        << false << QByteArray("QLabel { color: #abcdef; }") << true << QStringLiteral("/");
    QTest::newRow("binary file is not a skin") << false
                                               << QByteArray("\x7f"
                                                             "ELF\0\0\0\x01 QLabel {}",
                                                      16)
                                               << false << QString();
    QTest::newRow("not UTF-8 text") << false << QByteArray("QLabel { color: red; } /* \xff\xfe */") << false
                                    << QString();
}

void TestStartup::skinFileIsApplied()
{
    QFETCH(bool, shippedFolder);
    QFETCH(QByteArray, skin);
    QFETCH(bool, applied);
    QFETCH(QString, folderSuffix);

    TestServer server;
    QVERIFY(server.start());
    QTemporaryDir temporary;
    QString folder = programFolder();
    if (!shippedFolder) {
        QVERIFY(makeFolderWithLibrary(temporary));
        QVERIFY(writeFile(temporary.filePath(QStringLiteral("skinh.she")), skin));
        folder = temporary.path();
    } else {
        skin = readFile(folder + QStringLiteral("/skinh.she"));
        QVERIFY2(skin.size() > 100, "the build puts the default skin beside the program");
    }

    Form1 form(configFor(server));
    form.setProgramFolder(folder + folderSuffix);
    BoxAnswerer boxes;
    QVERIFY(form.Form_Load());
    QVERIFY(form.isVisible());
    QCOMPARE(qApp->styleSheet(), applied ? QString::fromUtf8(skin) : QString());
    QVERIFY(boxes.seen.isEmpty());
}

void TestStartup::missingSkinComponentStopsStartUp_data()
{
    QTest::addColumn<QString>("library"); // what to put in the folder as libskinh.so; empty: nothing
    QTest::addColumn<QString>("named"); // what the report must name

    QTest::newRow("no library file") << QString() << QStringLiteral("找不到皮肤组件 libskinh.so");
    QTest::newRow("file that is not a library")
        << QStringLiteral("text") << QStringLiteral("无法加载皮肤组件 libskinh.so");
    QTest::newRow("library without the entry point")
        << QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms/libqminimal.so")
        << QStringLiteral("没有入口 SkinH_AttachEx");
}

void TestStartup::missingSkinComponentStopsStartUp()
{
    QFETCH(QString, library);
    QFETCH(QString, named);

    TestServer server;
    QVERIFY(server.start());
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString target = folder.filePath(QStringLiteral("libskinh.so"));
    if (library == QLatin1String("text")) {
        QVERIFY(writeFile(target, "not a shared object\n"));
    } else if (!library.isEmpty()) {
        if (!QFile::exists(library))
            QSKIP("no shared library without the entry point at hand");
        QVERIFY(QFile::copy(library, target));
    }
    // A skin file alone does not make up for the component.
    QVERIFY(writeFile(folder.filePath(QStringLiteral("skinh.she")), "QLabel { color: red; }"));

    Form1 form(configFor(server));
    form.setProgramFolder(folder.path());
    ShowCounter shows(&form);
    BoxAnswerer boxes;
    QVERIFY(!form.Form_Load());

    QCOMPARE(shows.shows, 0);
    QVERIFY(!form.isVisible());
    QCOMPARE(boxes.seen.size(), 1);
    QCOMPARE(boxes.seen[0].title, BoxTitle);
    QCOMPARE(boxes.seen[0].icon, QMessageBox::Critical);
    QVERIFY(boxes.seen[0].okAlone);
    QVERIFY2(boxes.seen[0].text.contains(named), qPrintable(boxes.seen[0].text));
    // Nothing after the failed step ran: no skin, no version check.
    QVERIFY(qApp->styleSheet().isEmpty());
    QCOMPARE(server.requestCount("/version/main.txt"), 0);
    QCOMPARE(form.statusText(), CheckingText);
}

void TestStartup::statusReadsCheckingWhileVersionFileIsOnItsWay()
{
    TestServer server;
    server.holdVersionFile();
    QVERIFY(server.start());

    Form1 form(configFor(server));
    QObject context; // queued calls from the server die with it, before the window
    bool observed = false;
    bool visibleMeanwhile = false;
    QString statusMeanwhile;
    server.onRequest("/version/main.txt", &context, [&] {
        observed = true;
        visibleMeanwhile = form.isVisible();
        statusMeanwhile = form.statusText();
        server.openGate();
    });
    BoxAnswerer boxes;
    QVERIFY(form.Form_Load());

    QVERIFY2(observed, "the version check asks for the version file while the window is up");
    QVERIFY(visibleMeanwhile);
    QCOMPARE(statusMeanwhile, CheckingText);
    QCOMPARE(form.statusText(), WelcomeText);
    QVERIFY(boxes.seen.isEmpty());
}

void TestStartup::windowIsCentredOnFirstShow()
{
    TestServer server;
    QVERIFY(server.start());
    Form1 form(configFor(server));
    QVERIFY(form.Form_Load());
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QPoint screenCentre = form.screen()->availableGeometry().center();
    const QPoint windowCentre = form.geometry().center();
    // The client area is centred; a frame the platform adds may shift it by its own width.
    const QSize frame = form.frameGeometry().size() - form.size();
    QVERIFY2((screenCentre - windowCentre).manhattanLength() <= 2 + frame.width() + frame.height(),
        qPrintable(QStringLiteral("window centre %1,%2, screen centre %3,%4")
                       .arg(windowCentre.x())
                       .arg(windowCentre.y())
                       .arg(screenCentre.x())
                       .arg(screenCentre.y())));
}

void TestStartup::makerPagesOpenInBrowser_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("forum");
    QTest::newRow("forum button") << QStringLiteral("Command2") << true;
    QTest::newRow("home-page button") << QStringLiteral("Command4") << false;
}

void TestStartup::makerPagesOpenInBrowser()
{
    QFETCH(QString, button);
    QFETCH(bool, forum);

    TestServer server;
    QVERIFY(server.start());
    const AppConfig config = configFor(server);
    Form1 form(config);
    QVERIFY(form.Form_Load());
    const QString statusBefore = form.statusText();

    QTest::mouseClick(form.findChild<QPushButton *>(button), Qt::LeftButton);
    QCOMPARE(m_urls.opened.size(), 1);
    QCOMPARE(m_urls.opened[0], QUrl(forum ? config.forumUrl : config.homeUrl));
    // Nothing else happens.
    QCOMPARE(form.statusText(), statusBefore);
    QVERIFY(form.isVisible());
    QVERIFY(!form.isExiting());
}

void TestStartup::makerPagesOpenWhileVersionCheckWaits()
{
    TestServer server;
    server.holdVersionFile();
    QVERIFY(server.start());
    const AppConfig config = configFor(server);
    Form1 form(config);
    QObject context; // queued calls from the server die with it, before the window
    int openedMeanwhile = -1;
    server.onRequest("/version/main.txt", &context, [&] {
        QTest::mouseClick(form.Command2, Qt::LeftButton);
        QTest::mouseClick(form.Command4, Qt::LeftButton);
        openedMeanwhile = int(m_urls.opened.size());
        server.openGate();
    });
    QVERIFY(form.Form_Load());
    QCOMPARE(openedMeanwhile, 2);
    QCOMPARE(m_urls.opened, (QList<QUrl> { QUrl(config.forumUrl), QUrl(config.homeUrl) }));
}

void TestStartup::exitWhileNothingWaits_data()
{
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("exit button") << false;
    QTest::newRow("close box") << true;
}

void TestStartup::exitWhileNothingWaits()
{
    QFETCH(bool, closeBox);

    TestServer server;
    QVERIFY(server.start());
    Form1 form(configFor(server));
    QVERIFY(form.Form_Load());
    form.Timer1->start();
    const int requestsBefore = int(server.requestCount("/version/main.txt"));

    if (closeBox)
        QVERIFY(form.close());
    else
        QTest::mouseClick(form.Command3, Qt::LeftButton);

    QVERIFY(form.isExiting());
    QVERIFY(!form.isVisible());
    QVERIFY(!form.Timer1->isActive());
    // Nothing is written to the window any more.
    form.setStatusText(QStringLiteral("查询完毕 .."));
    QCOMPARE(form.statusText(), WelcomeText);
    QCOMPARE(server.requestCount("/version/main.txt"), requestsBefore);
    // A fetch asked for after the exit goes nowhere.
    QVERIFY(form.GetBody(QUrl(server.baseUrl() + QStringLiteral("/slow")), QStringLiteral("gbk")).isEmpty());
    QCOMPARE(server.requestCount("/slow"), 0);
}

void TestStartup::exitWhileGetBodyWaits_data()
{
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("exit button") << false;
    QTest::newRow("close box") << true;
}

void TestStartup::exitWhileGetBodyWaits()
{
    QFETCH(bool, closeBox);

    TestServer server; // /slow answers only when the test is over
    QVERIFY(server.start());
    Form1 form(configFor(server));
    QObject context; // queued calls from the server die with it, before the window
    form.fetchLimits.transferTimeoutMs = 120 * 1000;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    server.onRequest("/slow", &context, [&] {
        if (closeBox)
            form.close();
        else
            QTest::mouseClick(form.Command3, Qt::LeftButton);
    });
    QElapsedTimer waited;
    waited.start();
    const QString body = form.GetBody(QUrl(server.baseUrl() + QStringLiteral("/slow")), QStringLiteral("gbk"));

    QVERIFY2(waited.elapsed() < 10 * 1000, qPrintable(QString::number(waited.elapsed())));
    QCOMPARE(server.requestCount("/slow"), 1);
    QVERIFY(body.isEmpty());
    QVERIFY(form.isExiting());
    QVERIFY(!form.isVisible());
    QVERIFY(!form.Timer1->isActive());
    // The waiting handler's later writes are dropped.
    form.setStatusText(QStringLiteral("查询完毕 .."));
    QCOMPARE(form.statusText(), CheckingText);
}

void TestStartup::exitDuringVersionCheck()
{
    TestServer server;
    server.holdVersionFile();
    QVERIFY(server.start());
    Form1 form(configFor(server));
    QObject context; // queued calls from the server die with it, before the window
    form.fetchLimits.transferTimeoutMs = 120 * 1000;
    server.onRequest("/version/main.txt", &context, [&] { QTest::mouseClick(form.Command3, Qt::LeftButton); });
    BoxAnswerer boxes;

    QElapsedTimer waited;
    waited.start();
    form.Form_Load();

    QVERIFY2(waited.elapsed() < 10 * 1000, qPrintable(QString::number(waited.elapsed())));
    QVERIFY(form.isExiting());
    QVERIFY(!form.isVisible());
    // The check that lost its answer says nothing: no "failed" box, no welcome.
    QVERIFY(boxes.seen.isEmpty());
    QCOMPARE(form.statusText(), CheckingText);
    QVERIFY(m_urls.opened.isEmpty());
}

void TestStartup::exitDuringCollectionTick()
{
    TestServer server; // the results pages answer only when the test is over
    QVERIFY(server.start());
    Form1 form(configFor(server));
    QObject context; // queued calls from the server die with it, before the window
    form.fetchLimits.transferTimeoutMs = 120 * 1000;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    qint16 pageAtExit = -1;
    server.onRequest("/search", &context, [&] {
        if (form.isExiting())
            return;
        pageAtExit = form.PageNo;
        QTest::mouseClick(form.Command3, Qt::LeftButton);
    });

    form.Text1->setText(QStringLiteral("50"));
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    QVERIFY(form.Timer1->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(form.isExiting(), 10 * 1000);
    QVERIFY(pageAtExit >= 1);
    QVERIFY(!form.Timer1->isActive());
    QVERIFY(!form.isVisible());
    // The pages asked for before the exit are given up and no further page is asked for.
    QCoreApplication::processEvents();
    QCOMPARE(form.PageNo, pageAtExit);
    QVERIFY(server.requestCount("/search") <= pageAtExit);
}

void TestStartup::exitEndsTheApplicationEventLoop()
{
    TestServer server; // /slow answers only when the test is over
    QVERIFY(server.start());
    Form1 form(configFor(server));
    QObject context; // queued calls from the server die with it, before the window
    form.fetchLimits.transferTimeoutMs = 120 * 1000;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    server.onRequest("/slow", &context, [&] { QTest::mouseClick(form.Command3, Qt::LeftButton); });
    // Another window stays open: the program ends because of the exit, not as its last window closes.
    QWidget otherWindow;
    otherWindow.show();

    bool returned = false;
    QString body = QStringLiteral("not returned");
    QTimer::singleShot(0, &context, [&] {
        body = form.GetBody(QUrl(server.baseUrl() + QStringLiteral("/slow")), QStringLiteral("gbk"));
        returned = true;
    });
    // Bounds the test if the exit failed to end the loop.
    QTimer::singleShot(20 * 1000, &context, [] { QCoreApplication::exit(99); });

    QElapsedTimer waited;
    waited.start();
    const int exitCode = QApplication::exec();

    QCOMPARE(exitCode, 0);
    QVERIFY2(waited.elapsed() < 10 * 1000, qPrintable(QString::number(waited.elapsed())));
    QVERIFY(returned);
    QVERIFY(body.isEmpty());
    QVERIFY(form.isExiting());
    QVERIFY(!form.isVisible());
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
