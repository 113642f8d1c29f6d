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
    QMessageBox *newerVersionBox()
    {
        Dialogs::setAnsweredInAdvance(false);
        window().checkForUpdates();
        const bool shown = QTest::qWaitFor([] { return QApplication::activeModalWidget(); });
        return shown ? qobject_cast<QMessageBox *>(QApplication::activeModalWidget()) : nullptr;
    }

private slots:
    void init()
    {
        qApp->setStyleSheet(QString());
        startWindow();
    }

    void cleanup()
    {
        endWindow();
        // The skin belongs to the application: the next test starts without one.
        qApp->setStyleSheet(QString());
        Dialogs::setAnsweredInAdvance(true);
    }

    // Start-up names a missing skinning component; the program itself, copied into that folder, then says so in a
    // box (pressed by the window driver), shows no window, checks nothing and ends with 1. With the component, the
    // skin file is the style sheet when it is well-formed text; otherwise, or without one, nothing changes.
    void skin_data()
    {
        QTest::addColumn<QString>("library"); // copied in as libskinh.so; "text": a text file; empty: none
        QTest::addColumn<QByteArray>("skin"); // null: no skin file; "shipped": the one beside the program
        QTest::addColumn<QString>("missing"); // what start-up names; empty: nothing is missing
        QTest::addColumn<bool>("applied");
        const QString foreign = QLibraryInfo::path(QLibraryInfo::PluginsPath) + u"/platforms/libqminimal.so"_s;
        QTest::newRow("no library file") << QString() << QByteArray() << u"找不到皮肤组件 libskinh.so"_s << false;
        QTest::newRow("file that is not a library")
            << u"text"_s << QByteArray() << u"无法加载皮肤组件 libskinh.so"_s << false;
        QTest::newRow("library without the entry point")
            << foreign << QByteArray() << u"没有入口 SkinH_AttachEx"_s << false;
        const auto withSkin = [](const char *tag, const QByteArray &skin, bool applied) {
            QTest::newRow(tag) << buildFolder() + u"/libskinh.so"_s << skin << QString() << applied;
        };
        withSkin("component, no skin file: the window comes", QByteArray(), false);
        withSkin("the skin shipped beside the program", "shipped", true);
        withSkin("a skin of our own", "QPushButton { color: #123456; }\n", true);
        withSkin("Chinese in the skin", "/* 默认皮肤 */ QLabel { color: #654321; }", true);
        withSkin("folder ending in a slash", "QLabel { color: #abcdef; }", true);
        withSkin("binary file is not a skin", QByteArray("\x7f\x45LF\0\0\0\x01 QLabel {}", 16), false);
        withSkin("not UTF-8 text", "QLabel { color: red; } /* \xff\xfe */", false);
    }

    void skin()
    {
        QFETCH(QString, library);
        QFETCH(QByteArray, skin);
        QFETCH(QString, missing);
        QFETCH(bool, applied);
        QTemporaryDir temporary;
        QString folder = temporary.path();
        if (skin == "shipped") {
            folder = buildFolder();
            skin = readFile(folder + u"/skinh.she"_s);
            QVERIFY2(skin.size() > 100, "the build puts the default skin beside the program");
        } else if (library == "text"_L1) {
            QVERIFY(writeFile(temporary.filePath(u"libskinh.so"_s), "not a shared object\n"));
        } else if (!library.isEmpty()) {
            QVERIFY2(QFile::copy(library, temporary.filePath(u"libskinh.so"_s)), qPrintable(library));
        }
        if (!skin.isNull() && folder == temporary.path())
            QVERIFY(writeFile(temporary.filePath(u"skinh.she"_s), skin));
        const QString suffix = QByteArray(QTest::currentDataTag()).endsWith("slash") ? u"/"_s : QString();
        QString reason;
        QCOMPARE(!attachSkin(folder + suffix, &reason), !missing.isEmpty());
        QVERIFY2(reason.contains(missing), qPrintable(reason));
        QCOMPARE(qApp->styleSheet(), applied ? QString::fromUtf8(skin) : QString());
        if (!skin.isNull())
            return;

        const QString program = temporary.filePath(u"vexlon-collector"_s);
        QVERIFY(QFile::copy(buildFolder() + u"/vexlon-collector"_s, program));
        QProcess process;
        QByteArray errors;
        QVERIFY2(startProgram(process, errors, u"answerboxes"_s,
                     { u"--update-url"_s, siteUrl(), u"--market-url"_s, siteUrl() }, program),
            qPrintable(process.errorString()));
        const bool shows = missing.isEmpty();
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
            QVERIFY2(errors.contains("window driver: box: " + reason.toUtf8()), errors.constData());
            QCOMPARE(site().requestCount(VersionTarget), 0);
        }
    }

    // The maker's pages open while the version check waits and after it; the welcome opens nothing more.
    void makerPagesOpenWhileTheCheckWaits()
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
        QTRY_COMPARE(status(), u"欢迎使用Vexlon系列软件"_s);
        QCOMPARE(openedUrls, pages);
        QCOMPARE(Dialogs::takeAnsweredMessages().size(), 0);
        click("homePageButton");
        QCOMPARE(openedUrls, pages + QList<QUrl> { pages[1] });
    }

    // A box really shown: modal, the text as plain text, and the forum opened once OK is pressed.
    void forumOpensOnlyAfterTheNewerVersionBox()
    {
        site().setPublishedVersion("<b>V1.5</b>");
        QMessageBox *box = newerVersionBox();
        QVERIFY(box);
        QCOMPARE(box->windowTitle(), u"Vexlon系列软件"_s);
        QCOMPARE(box->icon(), QMessageBox::Information);
        QCOMPARE(box->text(), u"发现最新版本![<b>V1.5</b>]\r\n \r\n确定后自动打开官方论坛!"_s);
        QCOMPARE(box->textFormat(), Qt::PlainText);
        QCOMPARE(openedUrls, QList<QUrl>());
        box->button(QMessageBox::Ok)->click();
        QTRY_COMPARE(openedUrls, QList<QUrl> { QUrl(siteUrl() + u"/forum"_s) });
        QCOMPARE(status(), Checking);
    }

    void windowIsCentredOnFirstShow()
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

    // The exit button and the close box end the application's event loop at once, whatever waits, and nothing that
    // waited has spoken by then. Another window stays open, so the loop does not end as the last window closes.
    void exitEndsTheEventLoop_data()
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
        for (const auto &[name, wait] : waits)
            QTest::addRow("exit button, %s", name) << false << wait;
        // The button closes the window as the close box does; with the modal box up only a close ends the program.
        QTest::newRow("close box, a run waits") << true << Wait::Run;
        QTest::newRow("close box, the newer-version box up") << true << Wait::NewerVersionBox;
    }

    void exitEndsTheEventLoop()
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
            site().setPublishedVersion("V1.5");
            QVERIFY(newerVersionBox());
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
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
