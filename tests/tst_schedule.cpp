// The schedule command, run as the real program: the unit files it writes, byte for byte and as the service
// manager's own checker reads them, the systemctl commands it runs (a fake systemctl records them), what it
// does where no user service manager answers, and the command lines it refuses.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

struct Finished
{
    int exitCode = -1;
    QString out;
    QString err;
};

const QString Timer = u"vexlon-collector-collect.timer"_s;
const QString Service = u"vexlon-collector-collect.service"_s;
const QString ShowArguments
    = u"--user|show|vexlon-collector-collect.timer|--property=UnitFileState,ActiveState,NextElapseUSecRealtime|"
      "--timestamp=unix|"_s;
const QString WrittenBy
    = u"# Written by \"vexlon-collector schedule enable\"; \"vexlon-collector schedule disable\" removes it.\n"_s;

// A systemctl that writes each call's arguments, each followed by "|", on a line of $FAKE_CALLS; with $FAKE_FAIL
// it fails as systemctl does without a user manager; "show" answers as a manager running the timer would.
const char FakeSystemctl[]
    = "#!/bin/sh\n"
      "for argument in \"$@\"; do printf '%s|' \"$argument\"; done >> \"$FAKE_CALLS\"\n"
      "echo >> \"$FAKE_CALLS\"\n"
      "if [ -n \"$FAKE_FAIL\" ]; then echo 'Failed to connect to bus: No medium found' >&2; exit 1; fi\n"
      "if [ \"$2\" = show ]; then\n"
      "  printf 'UnitFileState=enabled\\nActiveState=active\\nNextElapseUSecRealtime=@1765348200\\n'\n"
      "fi\n";

QString timerText(const QString &at)
{
    return u"[Unit]\nDescription=vexlon-collector: the daily collection at "_s + at + u"\n"_s + WrittenBy
        + u"\n[Timer]\nOnCalendar=*-*-* "_s + at
        + u":00\nPersistent=true\nRandomizedDelaySec=300\n\n[Install]\nWantedBy=timers.target\n"_s;
}

QString serviceText(const QString &pages, const QString &execStart)
{
    return u"[Unit]\nDescription=vexlon-collector: collect "_s + pages + u" of the marketplace every day\n"_s
        + WrittenBy + u"\n[Service]\nType=oneshot\nExecStart="_s + execStart + u'\n';
}

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
        QVERIFY(m_dir.isValid());
        QFile fake(fakeSystemctl());
        QVERIFY(fake.open(QIODevice::WriteOnly) && fake.write(FakeSystemctl) > 0);
        fake.close();
        QVERIFY(fake.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    void init()
    {
        for (const QString &folder : { u"home"_s, u"config"_s, u"units"_s })
            QVERIFY(QDir(m_dir.filePath(folder)).removeRecursively());
        QFile::remove(callsPath());
    }

    // The two files, in the folder they belong in; "~" in the expected ExecStart= is the test's folder.
    void unitsWritten_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("folder"); // relative to the test's folder
        QTest::addColumn<QString>("at");
        QTest::addColumn<QString>("service");
        const QString collect = program() + u" collect"_s;
        QTest::newRow("defaults, under XDG_CONFIG_HOME")
            << u"--at 06:30"_s << u"config/systemd/user"_s << u"06:30"_s
            << serviceText(u"the first page"_s, collect + u" --pages 1 --quiet"_s);
        QTest::newRow("under HOME without XDG_CONFIG_HOME")
            << u"--at 00:00 --pages 2"_s << u"home/.config/systemd/user"_s << u"00:00"_s
            << serviceText(u"the first 2 pages"_s, collect + u" --pages 2 --quiet"_s);
        QTest::newRow("notify and the sites, in --units-dir")
            << u"--at 23:59 --pages 32767 --notify --market-url http://127.0.0.1:8080/m --icp-url https://icp.test "
               "--dns-server 127.0.0.1:5353 --no-history --units-dir ~/units"_s
            << u"units"_s << u"23:59"_s
            << serviceText(u"the first 32767 pages"_s,
                   collect
                       + u" --pages 32767 --notify --quiet --market-url http://127.0.0.1:8080/m --icp-url "
                         "https://icp.test --dns-server 127.0.0.1:5353 --no-history"_s);
        // The folder comes back whole from systemd's quoting: both quotes, the backslash, a specifier, a variable,
        // a tab and Chinese. A relative folder is made absolute.
        QTest::newRow("odd data folder, made absolute")
            << u"--at 07:05 --data-dir data%h_$HOME_\"q\"_'s'_\\_\t_采集 --units-dir ~/units"_s << u"units"_s
            << u"07:05"_s
            << serviceText(u"the first page"_s,
                   collect + u" --pages 1 --quiet --data-dir \"~/data%%h_$$HOME_\\\"q\\\"_'s'_\\\\_\\t_采集\""_s);
        QTest::newRow("a data folder with a blank")
            << u"--at 12:00 --data-dir ~/my␣data"_s << u"config/systemd/user"_s << u"12:00"_s
            << serviceText(u"the first page"_s, collect + u" --pages 1 --quiet --data-dir \"~/my data\""_s);
    }

    void unitsWritten()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, folder);
        QFETCH(QString, at);
        QFETCH(QString, service);
        const Finished run = schedule(
            u"enable "_s + arguments, folder.startsWith(u"home/"_s) ? Environment::HomeOnly : Environment::Xdg);
        QCOMPARE(run.exitCode, 0);
        const QString units = m_dir.filePath(folder);
        QCOMPARE(run.out, u"enabled\t"_s + at + u"\t2025-12-10T06:30:00Z\t"_s + units + u'/' + Timer + u'\n');
        QCOMPARE(contentsOf(units + u'/' + Timer), timerText(at));
        QCOMPARE(contentsOf(units + u'/' + Service), service.replace(u"\"~/"_s, u'"' + m_dir.path() + u'/'));
    }

    // The manager's own checker reads the files as they are meant: the program's path, quoted, is found.
    void unitsPassTheChecker_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("programFolder"); // a hard link of the program there; empty: the program itself
        QTest::newRow("plain") << u"--at 06:30"_s << QString();
        QTest::newRow("odd values") << u"--at 06:30 --pages 9 --notify --data-dir d%h_$X_\"q\"_\\"_s << QString();
        QTest::newRow("program in a folder with a blank, %, $ and Chinese")
            << u"--at 18:45 --data-dir %n_$$"_s << u"bin dir %h $HOME 采集"_s;
    }

    void unitsPassTheChecker()
    {
        const QString analyze = QStandardPaths::findExecutable(u"systemd-analyze"_s);
        if (analyze.isEmpty())
            QSKIP("systemd-analyze is not installed (Debian package systemd)");
        QFETCH(QString, arguments);
        QFETCH(QString, programFolder);
        const QString binary = programFolder.isEmpty() ? program() : linkedProgram(programFolder);
        QVERIFY(!binary.isEmpty());
        const Finished run = schedule(u"enable --units-dir ~/units "_s + arguments, Environment::Xdg, binary);
        QCOMPARE(run.exitCode, 0);
        // The "$" of the path stays single: the manager looks for variables in the arguments only.
        if (!programFolder.isEmpty())
            QVERIFY2(contentsOf(m_dir.filePath(u"units/"_s) + Service)
                         .contains(u"bin dir %%h $HOME 采集/vexlon-collector\" collect"_s),
                qPrintable(contentsOf(m_dir.filePath(u"units/"_s) + Service)));
        // The user manager's checker needs a runtime folder of its own; it starts no manager.
        QTemporaryDir runtime;
        QVERIFY(runtime.isValid());
        QProcess checker;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
        environment.insert(u"XDG_CONFIG_HOME"_s, m_dir.filePath(u"config"_s));
        checker.setProcessEnvironment(environment);
        checker.start(analyze,
            { u"verify"_s, u"--user"_s, m_dir.filePath(u"units/"_s) + Timer, m_dir.filePath(u"units/"_s) + Service });
        QVERIFY(checker.waitForFinished(60000));
        const QString told = QString::fromUtf8(checker.readAllStandardError());
        QVERIFY2(checker.exitStatus() == QProcess::NormalExit && checker.exitCode() == 0, qPrintable(told));
        QVERIFY2(told.isEmpty(), qPrintable(told));
    }

    // What systemctl is asked, in order, and the row each action writes.
    void systemctlCalls_data()
    {
        QTest::addColumn<QString>("before"); // an action run first
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("calls");
        QTest::addColumn<QString>("row");
        QTest::addColumn<bool>("filesThere");
        QTest::newRow("enable: reload, enable and start, then ask")
            << QString() << u"enable --at 06:30"_s
            << u"--user|daemon-reload|\n--user|enable|--now|vexlon-collector-collect.timer|\n"_s + ShowArguments + u'\n'
            << u"enabled\t06:30\t2025-12-10T06:30:00Z"_s << true;
        QTest::newRow("status of an enabled timer") << u"enable --at 21:10"_s << u"status"_s << ShowArguments + u'\n'
                                                    << u"enabled\t21:10\t2025-12-10T06:30:00Z"_s << true;
        QTest::newRow("status with no files")
            << QString() << u"status"_s << ShowArguments + u'\n' << u"disabled\t\t"_s << false;
        QTest::newRow("disable: stop and disable, files gone, reload")
            << u"enable --at 06:30"_s << u"disable"_s
            << u"--user|disable|--now|vexlon-collector-collect.timer|\n--user|daemon-reload|\n"_s << u"disabled\t\t"_s
            << false;
    }

    void systemctlCalls()
    {
        QFETCH(QString, before);
        QFETCH(QString, arguments);
        QFETCH(bool, filesThere);
        if (!before.isEmpty()) {
            QCOMPARE(schedule(before).exitCode, 0);
            QVERIFY(QFile::remove(callsPath()));
        }
        const Finished run = schedule(arguments);
        QCOMPARE(run.exitCode, 0);
        QTEST(contentsOf(callsPath()), "calls");
        QTEST(run.out.section(u'\t', 0, 2), "row");
        QCOMPARE(run.out.section(u'\t', 3), unitsPath(Timer) + u'\n');
        QCOMPARE(QFile::exists(unitsPath(Timer)), filesThere);
        QCOMPARE(QFile::exists(unitsPath(Service)), filesThere);
    }

    // The manager runs no program whose path holds a quote or a backslash: nothing is written then, exit 1.
    void programPathRefused_data()
    {
        QTest::addColumn<QString>("programFolder");
        QTest::newRow("a quote") << u"bin 'a'"_s;
        QTest::newRow("a double quote") << u"bin \"b\""_s;
        QTest::newRow("a backslash") << u"bin \\"_s;
    }

    void programPathRefused()
    {
        QFETCH(QString, programFolder);
        const QString binary = linkedProgram(programFolder);
        QVERIFY(!binary.isEmpty());
        const Finished run = schedule(u"enable --at 06:30"_s, Environment::Xdg, binary);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(u"holds a quote, a backslash or a control character"_s), qPrintable(run.err));
        QCOMPARE(run.out, QString());
        QVERIFY(!QFile::exists(unitsPath(Service)) && !QFile::exists(unitsPath(Timer)) && !QFile::exists(callsPath()));
    }

    // Without a user manager (systemctl failing, or none at all) the files are written or removed all the same,
    // exit 0, and enable tells what to run once there is one.
    void noUserManager_data()
    {
        QTest::addColumn<QString>("systemctl"); // "fake": the fake failing; else a path
        QTest::addColumn<QString>("why");
        QTest::newRow("systemctl without a bus") << u"fake"_s << u"(Failed to connect to bus: No medium found)"_s;
        QTest::newRow("no systemctl") << u"/nonexistent/systemctl"_s << u"(/nonexistent/systemctl cannot be started"_s;
    }

    void noUserManager()
    {
        QFETCH(QString, systemctl);
        QFETCH(QString, why);
        m_failingSystemctl = systemctl;
        const auto reset = qScopeGuard([this] { m_failingSystemctl.clear(); });

        Finished run = schedule(u"enable --at 05:45 --pages 3"_s);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, u"written\t05:45\t\t"_s + unitsPath(Timer) + u'\n');
        QVERIFY2(run.err.contains(why), qPrintable(run.err));
        QVERIFY2(run.err.endsWith(u"run:\n  systemctl --user daemon-reload\n"
                                  "  systemctl --user enable --now vexlon-collector-collect.timer\n"_s),
            qPrintable(run.err));
        QVERIFY(contentsOf(unitsPath(Service)).contains(u" collect --pages 3 --quiet\n"_s));
        QCOMPARE(contentsOf(unitsPath(Timer)), timerText(u"05:45"_s));

        run = schedule(u"status"_s);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, u"written\t05:45\t\t"_s + unitsPath(Timer) + u'\n');
        QVERIFY2(run.err.contains(why), qPrintable(run.err));

        // What a manager's enable linked earlier goes too.
        const QString wanted = unitsPath(u"timers.target.wants/"_s + Timer);
        QVERIFY(QDir().mkpath(unitsPath(u"timers.target.wants"_s)));
        QVERIFY(QFile::link(unitsPath(Timer), wanted));
        run = schedule(u"disable"_s);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, u"disabled\t\t\t"_s + unitsPath(Timer) + u'\n');
        QVERIFY2(run.err.contains(why) && run.err.contains(u"removed"_s), qPrintable(run.err));
        for (const QString &path : { unitsPath(Timer), unitsPath(Service), wanted })
            QVERIFY2(!QFileInfo(path).exists() && !QFileInfo(path).isSymLink(), qPrintable(path));
    }

    // Exit code 2, a message, no file and no systemctl call.
    void badUsage_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("told");
        QTest::newRow("no action") << QString() << u"enable, status or disable?"_s;
        QTest::newRow("unknown action") << u"start"_s << u"\"start\" is none of enable"_s;
        QTest::newRow("two actions") << u"status disable"_s << u"unexpected argument: disable"_s;
        QTest::newRow("no --at") << u"enable"_s << u"--at is missing"_s;
        for (const char *at : { "24:00", "6:30", "06:60", "06:30:00", "0630", "ab:cd" })
            QTest::addRow("--at %s", at) << u"enable --at "_s + QLatin1String(at) << u"is no time of day"_s;
        for (const char *pages : { "0", "-1", "32768", "2-5", "x" })
            QTest::addRow("--pages %s", pages)
                << u"enable --at 06:30 --pages="_s + QLatin1String(pages) << u"is no page count from 1 to 32767"_s;
        QTest::newRow("--at with status") << u"status --at 06:30"_s << u"--at goes with enable only"_s;
        QTest::newRow("--notify with disable") << u"disable --notify"_s << u"--notify goes with enable only"_s;
        QTest::newRow("a name filter") << u"enable --at 06:30 --suffix .com"_s << u"the name filter has no meaning"_s;
        QTest::newRow("a site that is no URL")
            << u"enable --at 06:30 --market-url ftp://x"_s << u"is not an absolute http or https URL"_s;
    }

    void badUsage()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, told);
        const Finished run = schedule(arguments);
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.out, QString());
        QVERIFY2(run.err.startsWith(u"vexlon-collector schedule: "_s) && run.err.contains(told), qPrintable(run.err));
        QVERIFY(!QFile::exists(callsPath()));
        QVERIFY(!QDir(m_dir.filePath(u"config"_s)).exists());
    }

private:
    enum class Environment { Xdg, HomeOnly };

    QString program() const { return QCoreApplication::applicationDirPath() + u"/vexlon-collector"_s; }
    // A hard link of the program in the folder: the program's own path, as it finds it, is that of the link.
    QString linkedProgram(const QString &folder) const
    {
        const QString path = m_dir.filePath(folder);
        if (!QDir().mkpath(path))
            return QString();
        const QString binary = path + u"/vexlon-collector"_s;
        QFile::remove(binary);
        return ::link(QFile::encodeName(program()).constData(), QFile::encodeName(binary).constData()) == 0 ? binary
                                                                                                            : QString();
    }
    QString fakeSystemctl() const { return m_dir.filePath(u"systemctl"_s); }
    QString callsPath() const { return m_dir.filePath(u"calls"_s); }
    QString unitsPath(const QString &name) const { return m_dir.filePath(u"config/systemd/user/"_s) + name; }

    // "schedule " and the words ("~/" is the test's folder, "␣" a blank inside a word), without a display, in
    // UTC, against the fake systemctl.
    Finished schedule(const QString &commandLine, Environment where = Environment::Xdg, const QString &binary = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString &name : { u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s, u"FAKE_FAIL"_s })
            environment.remove(name);
        environment.insert(u"TZ"_s, u"UTC"_s);
        environment.insert(u"HOME"_s, m_dir.filePath(u"home"_s));
        if (where == Environment::Xdg)
            environment.insert(u"XDG_CONFIG_HOME"_s, m_dir.filePath(u"config"_s));
        else
            environment.remove(u"XDG_CONFIG_HOME"_s);
        environment.insert(u"FAKE_CALLS"_s, callsPath());
        environment.insert(u"VEXLON_SYSTEMCTL"_s, fakeSystemctl());
        if (m_failingSystemctl == u"fake"_s)
            environment.insert(u"FAKE_FAIL"_s, u"1"_s);
        else if (!m_failingSystemctl.isEmpty())
            environment.insert(u"VEXLON_SYSTEMCTL"_s, m_failingSystemctl);
        QStringList words = commandLine.split(u' ', Qt::SkipEmptyParts);
        for (QString &word : words) {
            if (word.startsWith(u"~/"_s))
                word = m_dir.filePath(word.mid(2));
            word.replace(u'␣', u' ');
        }
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(m_dir.path());
        process.start(binary.isEmpty() ? program() : binary, QStringList { u"schedule"_s } + words);
        process.closeWriteChannel();
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return {};
        return { process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError()) };
    }

    QTemporaryDir m_dir;
    QString m_failingSystemctl;
};

QTEST_GUILESS_MAIN(TestSchedule)
#include "tst_schedule.moc"
