// The history under the faults of a real machine, through the real program: commands that make a new
// history at once, another program holding the history locked, a full disk, a file that cannot be
// written.
#include "core/store/historystore.h"
#include "tests/sitetest.h"
#include "tools/samplemarket.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int WaitMs = 60000;

QString program()
{
    return QCoreApplication::applicationDirPath() + u"/vexlon-collector"_s;
}

// The files of the folder.
QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

} // namespace

class TestHistoryFaults : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_site = std::make_unique<FakeSite>();
        QVERIFY(m_site->start());
        m_site->setPageCount(200);
        m_dir = std::make_unique<QTemporaryDir>();
    }

    void cleanup()
    {
        m_site.reset();
        m_dir.reset();
    }

    void startedTogetherOnANewHistory_data()
    {
        QTest::addColumn<QStringList>("commands");
        QTest::newRow("three collections") << QStringList { u"collect --pages 1"_s, u"collect --pages 1"_s,
            u"collect --pages 1"_s };
        QTest::newRow("a lookup and the history") << QStringList { u"lookup hua.com"_s, u"history"_s };
    }

    // None of them takes the other's half-made file for a foreign or locked one.
    void startedTogetherOnANewHistory()
    {
        QFETCH(QStringList, commands);
        for (int round = 0; round < 12; ++round) {
            const QString folder = m_dir->filePath(u"round%1"_s.arg(round));
            std::vector<std::unique_ptr<QProcess>> processes;
            for (const QString &command : std::as_const(commands)) {
                processes.push_back(std::make_unique<QProcess>());
                processes.back()->start(program(), arguments(command, folder));
            }
            for (const auto &process : processes) {
                QVERIFY(process->waitForFinished(WaitMs));
                const QString err = QString::fromUtf8(process->readAllStandardError());
                QVERIFY2(process->exitCode() == 0, qPrintable(u"round %1: "_s.arg(round) + err));
            }
        }
    }

    // Another program holds the history from the first row on, past the busy time-out: the lookup says
    // once that it waits, and once the lock is gone every lookup is recorded; nothing failed, exit 0.
    void lockedWhileLookingUp()
    {
        const QString folder = m_dir->filePath(u"data"_s);
        QVERIFY(HistoryStore().open(HistoryStore::filePath(folder)));
        QStringList domains;
        for (int i = 0; i < 16; ++i)
            domains << u"lock%1.com"_s.arg(i);
        QProcess process;
        process.start(program(), arguments(u"lookup --rate 50 "_s + domains.join(u' '), folder));
        QVERIFY(process.waitForReadyRead(WaitMs)); // the first row is out, so the history was opened
        auto lock = std::make_unique<SqlConnection>(HistoryStore::filePath(folder));
        QCOMPARE(lock->run({ u"BEGIN EXCLUSIVE"_s }), QString());
        QByteArray err;
        process.setReadChannel(QProcess::StandardError);
        while (!err.contains("takes no writes for now") && process.waitForReadyRead(WaitMs))
            err += process.readAllStandardError();
        QVERIFY2(err.contains("locked"), (err + process.readAllStandardError()).constData());
        lock.reset();
        QVERIFY(process.waitForFinished(WaitMs));
        err += process.readAllStandardError();
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(err.count("takes no writes for now"), 1);
        QCOMPARE(SqlConnection(HistoryStore::filePath(folder)).column(u"SELECT count(DISTINCT domain) FROM lookups"_s),
            QStringList { u"16"_s });
    }

    // A disk that fills up during a run: the names still reach stdout, what could not be recorded is
    // counted on stderr, and the exit code says the history failed.
    void diskFillsUp()
    {
        if (::geteuid() != 0 || QProcess::execute(u"unshare"_s, { u"-m"_s, u"true"_s }) != 0)
            QSKIP("a small disk of its own needs root and mount namespaces");
        const QString folder = m_dir->filePath(u"small"_s);
        QVERIFY(QDir().mkpath(folder));
        QProcess process;
        process.start(u"unshare"_s,
            QStringList { u"-m"_s, u"sh"_s, u"-c"_s, u"mount -t tmpfs -o size=128k tmpfs \"$1\" && shift && exec \"$@\""_s,
                u"sh"_s, folder, program() }
                + arguments(u"collect --pages 150"_s, folder));
        QVERIFY(process.waitForFinished(WaitMs));
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QCOMPARE(process.exitCode(), 3);
        QCOMPARE(process.readAllStandardOutput().count('\n'), 150 * SampleMarket::RowsPerPage);
        QVERIFY2(err.contains(u"the disk is full"_s), qPrintable(err));
        QVERIFY2(err.contains(u"could not be written to the history"_s), qPrintable(err));
    }

    // A history that cannot be written is refused, and nothing is made beside it that would keep it
    // from working once it can be written again.
    void readOnlyHistory()
    {
        const QString folder = m_dir->filePath(u"data"_s);
        const QString file = HistoryStore::filePath(folder);
        QVERIFY(HistoryStore().open(file));
        for (const QString &path : { m_dir->path(), folder })
            QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions(0x7777)));
        QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
        const QStringList before = filesIn(folder);
        QProcess process;
        // root writes whatever the file's mode says: the program runs as an ordinary user then.
        if (::geteuid() == 0)
            process.start(u"setpriv"_s, QStringList { u"--reuid=nobody"_s, u"--regid=nogroup"_s, u"--clear-groups"_s,
                                            program() } + arguments(u"history"_s, folder));
        else
            process.start(program(), arguments(u"history"_s, folder));
        QVERIFY(process.waitForFinished(WaitMs));
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QCOMPARE(process.exitCode(), 3);
        QVERIFY2(err.contains(u"cannot be written"_s), qPrintable(err));
        QCOMPARE(filesIn(folder), before);
        QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QProcess again;
        again.start(program(), arguments(u"history"_s, folder));
        QVERIFY(again.waitForFinished(WaitMs));
        QVERIFY2(again.exitCode() == 0, again.readAllStandardError().constData());
    }

private:
    QStringList arguments(const QString &commandLine, const QString &folder) const
    {
        const QString url = QString::fromStdString(m_site->url());
        QStringList words = commandLine.split(u' ');
        return words.mid(0, 1)
            + QStringList { u"--market-url"_s, url, u"--icp-url"_s, url, u"--data-dir"_s, folder, u"--quiet"_s }
            + words.mid(1);
    }

    std::unique_ptr<FakeSite> m_site;
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(TestHistoryFaults)
#include "tst_historyfaults.moc"
