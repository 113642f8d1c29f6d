// Start-up (the skinning component and skin file, the window shown centred, the update check last),
// the buttons that open the maker's pages, and ending the program, also while something waits.
#include "tests/sitetest.h"
#include "tests/windowtest.h"

#include "ui/mainwindow.h"
#include "ui/skinloader.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString Checking = u"正在检测更新 .."_s;
const QString Welcome = u"欢迎使用Vexlon系列软件"_s;

QString newerVersionText(const QString &version)
{
    return u"发现最新版本!["_s + version + u"]\r\n \r\n确定后自动打开官方论坛!"_s;
}

QString buildFolder()
{
    return QCoreApplication::applicationDirPath();
}

enum class Wait { Nothing, VersionCheck, Run, DoubleClickLookup, MenuLookup, IcpLookup, NewerVersionBox };

} // namespace

Q_DECLARE_METATYPE(Wait)

class TestStartup : public WindowTest
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void skinFileIsApplied_data();
    void skinFileIsApplied();
    void missingSkinComponentStopsStartUp_data();
    void missingSkinComponentStopsStartUp();

    void makerPagesOpenWhileTheCheckWaits();
    void forumOpensOnlyAfterTheNewerVersionBox();
    void windowIsCentredOnFirstShow();

    void exitEndsTheEventLoop_data();
    void exitEndsTheEventLoop();
};

void TestStartup::init()
{
    qApp->setStyleSheet(QString());
    startWindow();
}

void TestStartup::cleanup()
{
    endWindow();
    // The skin belongs to the application: the next test starts without one.
    qApp->setStyleSheet(QString());
    Dialogs::setAnsweredInAdvance(true);
}

// The skin file is the application's style sheet when it is well-formed text; otherwise, or
// without one, the look stays as it was.
void TestStartup::skinFileIsApplied_data()
{
    QTest::addColumn<QByteArray>("skin"); // null: no skin file; "shipped": the one beside the program
    QTest::addColumn<bool>("applied");
    QTest::addColumn<QString>("folderSuffix");

    QTest::newRow("the skin shipped beside the program") << QByteArray("shipped") << true << QString();
    QTest::newRow("no skin file") << QByteArray() << false << QString();
    QTest::newRow("a skin of our own") << QByteArray("QPushButton { color: #123456; }\n") << true << QString();
    QTest::newRow("Chinese in the skin") << QByteArray("/* 默认皮肤 */ QLabel { color: #654321; }") << true
                                         << QString();
    QTest::newRow("folder ending in a slash") << QByteArray("QLabel { color: #abcdef; }") << true << u"/"_s;
    QTest::newRow("binary file is not a skin") << QByteArray("\x7f"
                                                             "ELF\0\0\0\x01 QLabel {}",
        16) << false << QString();
    QTest::newRow("not UTF-8 text") << QByteArray("QLabel { color: red; } /* \xff\xfe */") << false << QString();
}

void TestStartup::skinFileIsApplied()
{
    QFETCH(QByteArray, skin);
    QFETCH(bool, applied);
    QFETCH(QString, folderSuffix);

    QTemporaryDir temporary;
    QString folder = temporary.path();
    if (skin == "shipped") {
        folder = buildFolder();
        QFile shipped(folder + u"/skinh.she"_s);
        QVERIFY(shipped.open(QIODevice::ReadOnly));
        skin = shipped.readAll();
        QVERIFY2(skin.size() > 100, "the build puts the default skin beside the program");
    } else {
        QVERIFY(QFile::copy(buildFolder() + u"/libskinh.so"_s, temporary.filePath(u"libskinh.so"_s)));
        if (!skin.isNull())
            QVERIFY(writeFile(temporary.filePath(u"skinh.she"_s), skin));
    }
    QCOMPARE(attachSkin(folder + folderSuffix), std::nullopt);
    QCOMPARE(qApp->styleSheet(), applied ? QString::fromUtf8(skin) : QString());
}

// Without its skinning component start-up names what is missing. The program itself, copied into a
// folder of its own, then tells the user in a box (pressed by the test-only window driver), never
// shows its window, does not check for updates and ends with 1.
void TestStartup::missingSkinComponentStopsStartUp_data()
{
    QTest::addColumn<QString>("library"); // put in the folder as libskinh.so; "text": a text file
    QTest::addColumn<QString>("named"); // empty: nothing is missing

    const QString foreign = QLibraryInfo::path(QLibraryInfo::PluginsPath) + u"/platforms/libqminimal.so"_s;
    QTest::newRow("no library file") << QString() << u"找不到皮肤组件 libskinh.so"_s;
    QTest::newRow("file that is not a library") << u"text"_s << u"无法加载皮肤组件 libskinh.so"_s;
    QTest::newRow("library without the entry point") << foreign << u"没有入口 SkinH_AttachEx"_s;
    QTest::newRow("component present: the window comes") << buildFolder() + u"/libskinh.so"_s << QString();
}

void TestStartup::missingSkinComponentStopsStartUp()
{
    QFETCH(QString, library);
    QFETCH(QString, named);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    if (library == "text"_L1)
        QVERIFY(writeFile(folder.filePath(u"libskinh.so"_s), "not a shared object\n"));
    else if (!library.isEmpty())
        QVERIFY2(QFile::copy(library, folder.filePath(u"libskinh.so"_s)), qPrintable(library));
    const std::optional<QString> reason = attachSkin(folder.path());
    QCOMPARE(reason.has_value(), !named.isEmpty());
    QVERIFY2(reason.value_or(QString()).contains(named), qPrintable(reason.value_or(QString())));
    QCOMPARE(qApp->styleSheet(), QString());

    const QString program = folder.filePath(u"vexlon-collector"_s);
    QVERIFY(QFile::copy(buildFolder() + u"/vexlon-collector"_s, program));
    QProcess process;
    QByteArray errors;
    QVERIFY2(startProgram(process, errors, u"answerboxes"_s,
                 { u"--update-url"_s, siteUrl(), u"--market-url"_s, siteUrl() }, program),
        qPrintable(process.errorString()));
    const bool shows = named.isEmpty();
    if (shows) {
        QTRY_VERIFY2_WITH_TIMEOUT(errors.contains("window driver: window shown"), errors.constData(), 30000);
        ::kill(pid_t(process.processId()), SIGTERM);
    }
    QVERIFY2(process.waitForFinished(30000), errors.constData());
    errors += process.readAllStandardError();

    QVERIFY2(errors.contains("window driver: loaded"), errors.constData());
    QVERIFY2(process.exitStatus() == QProcess::NormalExit, errors.constData());
    QCOMPARE(process.exitCode(), shows ? 0 : 1);
    QCOMPARE(errors.contains("window driver: window shown"), shows);
    if (!shows) {
        QVERIFY2(errors.contains("window driver: box: " + reason->toUtf8()), errors.constData());
        QCOMPARE(site().requestCount(VersionTarget), 0);
    }
}

// While the version file is held the status says so and the maker's pages open; the welcome that
// follows opens nothing more, and the pages open as well with nothing waiting.
void TestStartup::makerPagesOpenWhileTheCheckWaits()
{
    site().hold(VersionTarget);
    window().checkForUpdates();
    QVERIFY(waitForRequest(VersionTarget));
    QCOMPARE(status(), Checking);
    click("forumButton");
    click("homePageButton");
    const QList<QUrl> pages { QUrl(siteUrl() + u"/forum"_s), QUrl(siteUrl() + u"/home"_s) };
    QCOMPARE(openedUrls, pages);
    QCOMPARE(status(), Checking);
    QVERIFY(window().isVisible());

    site().release(VersionTarget);
    QTRY_COMPARE(status(), Welcome);
    QCOMPARE(openedUrls, pages);
    QCOMPARE(Dialogs::takeAnsweredMessages().size(), 0);
    click("homePageButton"); // and with nothing waiting
    QCOMPARE(openedUrls, pages + QList<QUrl> { pages[1] });
}

// A box really shown: modal, the text as plain text, and the forum opened once OK is pressed.
void TestStartup::forumOpensOnlyAfterTheNewerVersionBox()
{
    Dialogs::setAnsweredInAdvance(false);
    site().setPublishedVersion("<b>V1.5</b>");
    window().checkForUpdates();
    QTRY_VERIFY(qobject_cast<QMessageBox *>(QApplication::activeModalWidget()));
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    QCOMPARE(box->windowTitle(), u"Vexlon系列软件"_s);
    QCOMPARE(box->icon(), QMessageBox::Information);
    QCOMPARE(box->text(), newerVersionText(u"<b>V1.5</b>"_s));
    QCOMPARE(box->textFormat(), Qt::PlainText);
    QCOMPARE(openedUrls, QList<QUrl>());

    box->button(QMessageBox::Ok)->click();
    QTRY_COMPARE(openedUrls, QList<QUrl> { QUrl(siteUrl() + u"/forum"_s) });
    QCOMPARE(status(), Checking);
}

void TestStartup::windowIsCentredOnFirstShow()
{
    MainWindow centred;
    centred.showCentred();
    QVERIFY(QTest::qWaitForWindowExposed(&centred));
    const QPoint offset = centred.screen()->availableGeometry().center() - centred.geometry().center();
    // A frame the platform adds may shift the client area by its own width.
    const QSize frame = centred.frameGeometry().size() - centred.size();
    QVERIFY2(offset.manhattanLength() <= 2 + frame.width() + frame.height(),
        qPrintable(u"off the centre by %1,%2"_s.arg(offset.x()).arg(offset.y())));
}

// The exit button and the close box end the application's own event loop at once, whatever waits,
// and nothing that waited has spoken by then. Another window stays open, so that the loop ends because of
// the exit and not as the last window closes.
void TestStartup::exitEndsTheEventLoop_data()
{
    QTest::addColumn<bool>("closeBox");
    QTest::addColumn<Wait>("wait");
    const std::pair<const char *, Wait> waits[] = {
        { "nothing waits", Wait::Nothing },
        { "the version check waits", Wait::VersionCheck },
        { "a run waits", Wait::Run },
        { "a double-click lookup waits", Wait::DoubleClickLookup },
        { "a menu lookup waits", Wait::MenuLookup },
        { "the ICP lookup waits", Wait::IcpLookup },
    };
    for (const bool closeBox : { false, true }) {
        for (const auto &[name, wait] : waits)
            QTest::addRow("%s, %s", closeBox ? "close box" : "exit button", name) << closeBox << wait;
    }
    // The box is modal: only the window's close, as on SIGTERM, can end the program then.
    QTest::newRow("close, the newer-version box up") << true << Wait::NewerVersionBox;
}

void TestStartup::exitEndsTheEventLoop()
{
    QFETCH(bool, closeBox);
    QFETCH(Wait, wait);

    const QString domain = u"held.example"_s;
    switch (wait) {
    case Wait::Nothing:
        break;
    case Wait::VersionCheck:
        site().hold(VersionTarget);
        window().checkForUpdates();
        QVERIFY(waitForRequest(VersionTarget));
        break;
    case Wait::Run:
        site().holdEverything();
        setPageCount(u"3"_s);
        click("startButton");
        QVERIFY(waitForRequest(pageTarget(1)));
        break;
    case Wait::DoubleClickLookup:
    case Wait::MenuLookup:
    case Wait::IcpLookup: {
        const std::string held = wait == Wait::IcpLookup ? icpTarget(domain) : backorderTarget(domain);
        site().hold(held);
        fillList({ domain }, 0);
        if (wait == Wait::MenuLookup)
            choose("queryAction");
        else
            doubleClickRow(0);
        QVERIFY(waitForRequest(held));
        break;
    }
    case Wait::NewerVersionBox:
        Dialogs::setAnsweredInAdvance(false);
        site().setPublishedVersion("V1.5");
        window().checkForUpdates();
        QTRY_VERIFY(qobject_cast<QMessageBox *>(QApplication::activeModalWidget()));
        break;
    }
    const QString statusBefore = status();
    QWidget otherWindow;
    otherWindow.show();

    QTimer::singleShot(0, &window(), [&] {
        if (closeBox)
            window().close();
        else
            click("exitButton");
    });
    // Bounds the test should the exit not end the loop.
    QTimer::singleShot(10000, &window(), [] { QCoreApplication::exit(99); });
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY2(clock.elapsed() < 3000, QByteArray::number(clock.elapsed()).constData());

    QVERIFY(!window().isVisible());
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(status(), statusBefore);
    QCOMPARE(Dialogs::takeAnsweredMessages().size(), 0);
    // Leaving is not pressing OK: the newer-version box opens no forum when the program ends.
    QCOMPARE(openedUrls, QList<QUrl>());
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
