// The schedule command, run as the real program: the unit files byte for byte and as systemd-analyze reads
// them, the systemctl calls (a fake systemctl records them), no user service manager, and refused command lines.
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString Timer = u"vexlon-collector-collect.timer"_s;
const QString Service = u"vexlon-collector-collect.service"_s;
const QString Show
    = u"--user|show|"_s + Timer + u"|--property=UnitFileState,ActiveState,NextElapseUSecRealtime|--timestamp=unix|\n"_s;
const QString WrittenBy
    = u"# Written by \"vexlon-collector schedule enable\"; \"vexlon-collector schedule disable\" removes it.\n"_s;

// Writes each call's arguments, each followed by "|", as a line of $FAKE_CALLS; fails as systemctl does without
// a user manager when $FAKE_FAIL is set; "show" answers as for a running timer.
const char FakeSystemctl[]
    = "#!/bin/sh\nfor a in \"$@\"; do printf '%s|' \"$a\"; done >> \"$FAKE_CALLS\"\n"
      "echo >> \"$FAKE_CALLS\"\n"
      "[ -z \"$FAKE_FAIL\" ] || { echo 'Failed to connect to bus: No medium found' >&2; exit 1; }\n"
      "[ \"$2\" != show ] || printf 'UnitFileState=enabled\\nActiveState=active\\n"
      "NextElapseUSecRealtime=@1765348200\\n'\n";

QString timerText(const QString &at)
{
    return u"[Unit]\nDescription=vexlon-collector: the daily collection at "_s + at + u'\n' + WrittenBy
        + u"\n[Timer]\nOnCalendar=*-*-* "_s + at
        + u":00\nPersistent=true\nRandomizedDelaySec=300\n\n[Install]\nWantedBy=timers.target\n"_s;
}

struct Finished
{
    int exitCode = -1;
    QString out;
    QString err;
};

QString contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : u"(none)"_s;
}

} // namespace

class TestSchedule : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QFile fake(m_dir.filePath(u"systemctl"_s));
        QVERIFY(fake.open(QIODevice::WriteOnly) && fake.write(FakeSystemctl) > 0);
        QVERIFY(fake.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    void init()
    {
        QVERIFY(QDir(m_dir.filePath(u"config"_s)).removeRecursively()
            && QDir(m_dir.filePath(u"home"_s)).removeRecursively());
        QFile::remove(m_dir.filePath(u"calls"_s));
        m_failing.clear();
    }

    // "~" is the test's folder. The odd values come back whole through systemd's quoting; a relative folder is
    // made absolute; the program's path keeps its "$", in which the manager looks for no variable.
    void unitsWritten_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("programFolder"); // a hard link of the program there; empty: the program itself
        QTest::addColumn<QString>("folder"); // of the units
        QTest::addColumn<QString>("pages");
        QTest::addColumn<QString>("execStart"); // "P": the program
        QTest::newRow("defaults") << u"--at 06:30"_s << QString() << u"config/systemd/user"_s << u"the first page"_s
                                  << u"P collect --pages 1 --quiet"_s;
        QTest::newRow("HOME without XDG_CONFIG_HOME")
            << u"--at 00:00 --pages 2 noxdg"_s << QString() << u"home/.config/systemd/user"_s << u"the first 2 pages"_s
            << u"P collect --pages 2 --quiet"_s;
        QTest::newRow("notify, sites, --units-dir")
            << u"--at 23:59 --pages 32767 --notify --market-url http://127.0.0.1:8/m --dns-server 127.0.0.1:53 "
               "--no-history --units-dir ~/config/u"_s
            << QString() << u"config/u"_s << u"the first 32767 pages"_s
            << u"P collect --pages 32767 --notify --quiet --market-url http://127.0.0.1:8/m --dns-server 127.0.0.1:53 "
               "--no-history"_s;
        QTest::newRow("odd data folder")
            << u"--at 07:05 --data-dir d%h_$HOME_\"q\"_'s'_\\_\t_采集"_s << QString() << u"config/systemd/user"_s
            << u"the first page"_s
            << u"P collect --pages 1 --quiet --data-dir \"~/d%%h_$$HOME_\\\"q\\\"_'s'_\\\\_\\t_采集\""_s;
        QTest::newRow("program and data folder with blanks")
            << u"--at 18:45 --data-dir ~/my␣data"_s << u"bin %h $HOME 采集"_s << u"config/systemd/user"_s
            << u"the first page"_s
            << u"\"~/bin %%h $HOME 采集/vexlon-collector\" collect --pages 1 --quiet --data-dir \"~/my data\""_s;
    }

    void unitsWritten()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, programFolder);
        QFETCH(QString, folder);
        QFETCH(QString, pages);
        QFETCH(QString, execStart);
        const QString units = m_dir.filePath(folder);
        const QString program = programFolder.isEmpty() ? m_program : linkedProgram(programFolder);
        QCOMPARE(schedule(u"enable "_s + arguments, program).out,
            u"enabled\t"_s + arguments.mid(5, 5) + u"\t2025-12-10T06:30:00Z\t"_s + units + u'/' + Timer + u'\n');
        QCOMPARE(contentsOf(units + u'/' + Timer), timerText(arguments.mid(5, 5)));
        QCOMPARE(contentsOf(units + u'/' + Service),
            u"[Unit]\nDescription=vexlon-collector: collect "_s + pages + u" of the marketplace every day\n"_s
                + WrittenBy + u"\n[Service]\nType=oneshot\nExecStart="_s
                + execStart.replace(u"P "_s, m_program + u' ').replace(u"\"~/"_s, u'"' + m_dir.path() + u'/') + u'\n');
        const QString analyze = QStandardPaths::findExecutable(u"systemd-analyze"_s);
        if (analyze.isEmpty())
            QSKIP("systemd-analyze is not installed (Debian package systemd): the units are not checked by it");
        // The user manager's checker needs a runtime folder of its own; it starts no manager.
        QTemporaryDir runtime;
        QProcess checker;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
        checker.setProcessEnvironment(environment);
        checker.start(analyze, { u"verify"_s, u"--user"_s, units + u'/' + Timer, units + u'/' + Service });
        QVERIFY(checker.waitForFinished(60000));
        const QByteArray told = checker.readAllStandardError();
        QVERIFY2(checker.exitStatus() == QProcess::NormalExit && checker.exitCode() == 0 && told.isEmpty(), told);
    }

    // What systemctl is asked, in order, the row written and what is told. Without a user manager (systemctl
    // failing, or none) the files are written or removed all the same, exit 0, and enable tells what to run.
    void systemctlCalls_data()
    {
        QTest::addColumn<QString>("before"); // an action run first
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("failing"); // "fake": the fake systemctl failing; else a path to none
        QTest::addColumn<QString>("calls");
        QTest::addColumn<QString>("row");
        QTest::addColumn<QString>("told"); // on stderr, at the end
        const QString enabled = u"--user|daemon-reload|\n--user|enable|--now|"_s + Timer + u"|\n"_s + Show;
        const QString disabled = u"--user|disable|--now|"_s + Timer + u"|\n"_s;
        const QString toRun
            = u"run:\n  systemctl --user daemon-reload\n  systemctl --user enable --now "_s + Timer + u'\n';
        QTest::newRow("enable: reload, enable and start, ask")
            << QString() << u"enable --at 06:30"_s << QString() << enabled << u"enabled\t06:30\t2025-12-10T06:30:00Z"_s
            << u"every day at 06:30\n"_s;
        QTest::newRow("status") << u"enable --at 21:10"_s << u"status"_s << QString() << Show
                                << u"enabled\t21:10\t2025-12-10T06:30:00Z"_s << QString();
        QTest::newRow("status without files")
            << QString() << u"status"_s << QString() << Show << u"disabled\t\t"_s << QString();
        QTest::newRow("disable: stop and disable, files gone, reload")
            << u"enable --at 06:30"_s << u"disable"_s << QString() << disabled + u"--user|daemon-reload|\n"_s
            << u"disabled\t\t"_s << u"disabled\n"_s;
        QTest::newRow("enable without a bus")
            << QString() << u"enable --at 05:45"_s << u"fake"_s << u"--user|daemon-reload|\n"_s << u"written\t05:45\t"_s
            << u"(Failed to connect to bus: No medium found): no user service manager answers here. Once one does, "_s
                + toRun;
        QTest::newRow("enable without systemctl")
            << QString() << u"enable --at 05:45"_s << u"/nonexistent/systemctl"_s << u"(none)"_s
            << u"written\t05:45\t"_s << u"(/nonexistent/systemctl cannot be started: "_s;
        QTest::newRow("status without a bus") << u"enable --at 05:45"_s << u"status"_s << u"fake"_s << Show
                                              << u"written\t05:45\t"_s << u"what the unit files say:\n"_s;
        QTest::newRow("disable without a bus, what enable linked too")
            << u"enable --at 05:45"_s << u"disable"_s << u"fake"_s << disabled << u"disabled\t\t"_s
            << u"removed from "_s + m_dir.filePath(u"config/systemd/user"_s) + u" all the same\n"_s;
    }

    void systemctlCalls()
    {
        QFETCH(QString, before);
        QFETCH(QString, action);
        QFETCH(QString, row);
        QFETCH(QString, told);
        QFETCH(QString, failing);
        m_failing = failing;
        const QString wanted = unitsPath(u"timers.target.wants/"_s + Timer);
        if (!before.isEmpty()) {
            QVERIFY(schedule(before).exitCode == 0 && QFile::remove(m_dir.filePath(u"calls"_s)));
            QVERIFY(QDir().mkpath(unitsPath(u"timers.target.wants"_s)) && QFile::link(unitsPath(Timer), wanted));
        }
        const Finished run = schedule(action);
        QCOMPARE(run.exitCode, 0);
        QTEST(contentsOf(m_dir.filePath(u"calls"_s)), "calls");
        QCOMPARE(run.out, row + u'\t' + unitsPath(Timer) + u'\n');
        QVERIFY2(run.err.contains(told), qPrintable(run.err));
        QCOMPARE(QFile::exists(unitsPath(Timer)), !row.startsWith(u"disabled"_s));
        QCOMPARE(QFile::exists(unitsPath(Service)), !row.startsWith(u"disabled"_s));
        // The fake does not unlink what a manager's enable linked; without a manager the command does.
        if (!failing.isEmpty() && action == u"disable"_s)
            QVERIFY(!QFileInfo(wanted).isSymLink());
    }

    // Exit code 2 (1 for a program path the manager does not take), a message, no file, no systemctl call.
    void refused_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("told");
        QTest::addColumn<QString>("programFolder");
        const auto row = [](const char *arguments, const char *told, const char *programFolder = "") {
            QTest::addRow("%s%s", arguments, programFolder)
                << QString::fromUtf8(arguments) << QString::fromUtf8(told) << QString::fromUtf8(programFolder);
        };
        row("", "enable, status or disable?");
        row("start", "\"start\" is none of enable");
        row("status disable", "unexpected argument: disable");
        row("enable", "--at is missing");
        for (const char *at : { "24:00", "6:30", "06:60" })
            row(qPrintable(u"enable --at "_s + QLatin1String(at)), "is no time of day");
        for (const char *pages : { "0", "32768", "2-5" })
            row(qPrintable(u"enable --at 06:30 --pages="_s + QLatin1String(pages)), "is no page count from 1 to 32767");
        row("status --at 06:30", "--at goes with enable only");
        row("disable --notify", "--notify goes with enable only");
        row("enable --at 06:30 --suffix .com", "Unknown option 'suffix'");
        row("enable --at 06:30 --market-url ftp://x", "is not an absolute http or https URL");
        for (const char *folder : { "bin 'a'", "bin \\" })
            row("enable --at 06:30", "holds a quote, a backslash or a control character", folder);
    }

    void refused()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, told);
        QFETCH(QString, programFolder);
        const Finished run = schedule(arguments, programFolder.isEmpty() ? m_program : linkedProgram(programFolder));
        QCOMPARE(run.exitCode, programFolder.isEmpty() ? 2 : 1);
        QVERIFY2(run.out.isEmpty() && run.err.startsWith(u"vexlon-collector schedule: "_s) && run.err.contains(told),
            qPrintable(run.err));
        QVERIFY(!QFile::exists(m_dir.filePath(u"calls"_s)) && !QDir(m_dir.filePath(u"config"_s)).exists());
    }

private:
    QString unitsPath(const QString &name) const { return m_dir.filePath(u"config/systemd/user/"_s) + name; }

    // A hard link of the program in the folder: the program's own path, as it finds it, is the link's.
    QString linkedProgram(const QString &folder) const
    {
        const QString binary = m_dir.filePath(folder) + u"/vexlon-collector"_s;
        QDir().mkpath(m_dir.filePath(folder));
        QFile::remove(binary);
        return ::link(QFile::encodeName(m_program).constData(), QFile::encodeName(binary).constData()) == 0 ? binary
                                                                                                            : QString();
    }

    // "schedule" and the words: "~/" the test's folder, "␣" a blank in a word, "noxdg" for no XDG_CONFIG_HOME.
    // No display, TZ=UTC, the fake systemctl.
    Finished schedule(const QString &commandLine, const QString &program = {}) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString &name : { u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s, u"FAKE_FAIL"_s })
            environment.remove(name);
        environment.insert(u"TZ"_s, u"UTC"_s);
        environment.insert(u"HOME"_s, m_dir.filePath(u"home"_s));
        environment.insert(u"XDG_CONFIG_HOME"_s, m_dir.filePath(u"config"_s));
        environment.insert(u"FAKE_CALLS"_s, m_dir.filePath(u"calls"_s));
        environment.insert(u"VEXLON_SYSTEMCTL"_s,
            m_failing == u"fake"_s || m_failing.isEmpty() ? m_dir.filePath(u"systemctl"_s) : m_failing);
        if (m_failing == u"fake"_s)
            environment.insert(u"FAKE_FAIL"_s, u"1"_s);
        QStringList words { u"schedule"_s };
        for (QString word : commandLine.split(u' ', Qt::SkipEmptyParts)) {
            if (word == u"noxdg"_s)
                environment.remove(u"XDG_CONFIG_HOME"_s);
            else
                words << (word.startsWith(u"~/"_s) ? m_dir.filePath(word.mid(2)) : word).replace(u'␣', u' ');
        }
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(m_dir.path());
        process.start(program.isEmpty() ? m_program : program, words);
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return {};
        return { process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError()) };
    }

    QTemporaryDir m_dir;
    const QString m_program = QCoreApplication::applicationDirPath() + u"/vexlon-collector"_s;
    QString m_failing; // the failing systemctl: "fake" for the fake one failing, or a path
};

QTEST_GUILESS_MAIN(TestSchedule)
#include "tst_schedule.moc"
