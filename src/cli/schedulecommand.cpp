// schedule enable|status|disable: a user timer of the service manager that runs collect once a day, its
// unit files written, read and removed here and the manager told through systemctl. Where no user
// manager answers (a container, a build machine), the files are still written or removed, and what to
// run later is told.
#include "app/commandline.h"
#include "cli/command.h"
#include "cli/progress.h"
#include "core/collect/pagecount.h"
#include "core/schedule/units.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>

#include <functional>

namespace {

using namespace ScheduleUnits;

// How long systemctl may take to answer before it is taken for one that will not.
constexpr int SystemctlTimeoutMs = 15000;

// systemctl's answer: answered is false when it could not be started, did not answer in time or failed.
struct SystemctlAnswer
{
    bool answered = false;
    QString output;
    QString failure;
};

// The arguments as a shell user types them: "systemctl --user daemon-reload".
QString shown(const QStringList &arguments)
{
    return QStringLiteral("systemctl --user ") + arguments.join(u' ');
}

bool writeFile(const QString &path, const QString &text, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit())
        return fail(error, QStringLiteral("%1 cannot be written: %2").arg(path, file.errorString()));
    return true;
}

bool removeFile(const QString &path, QString *error)
{
    QFile file(path);
    // A dangling link is no file to exists(), but is one to remove().
    if (!QFileInfo(path).isSymLink() && !file.exists())
        return true;
    if (!file.remove())
        return fail(error, QStringLiteral("%1 cannot be removed: %2").arg(path, file.errorString()));
    return true;
}

class ScheduleCommand : public Command
{
public:
    QString name() const override { return QStringLiteral("schedule"); }
    QString summary() const override
    {
        return QStringLiteral(
            "Runs \"collect --pages N --quiet\" once a day through a timer of the user's service manager:\n"
            "  enable --at HH:MM [--pages N] [--notify]  writes the service and the timer and starts the timer\n"
            "  status                                    whether it is enabled, when and when it runs next\n"
            "  disable                                   stops the timer and removes both files\n"
            "The sites, --data-dir, --dns-server and --no-history given to enable are given to collect.\n"
            "Each writes one row: state (enabled, written: the files are there but the manager does not run\n"
            "the timer, or disabled), at, next_run and the timer file. Where no user service manager answers,\n"
            "the files are written or removed all the same and the systemctl commands to run later are told.\n"
            "Exit codes: 0 done, 1 a file cannot be written or removed, 2 bad usage.");
    }
    QString argumentsSyntax() const override { return QStringLiteral("enable|status|disable"); }
    HistoryUse historyUse() const override { return HistoryUse::PassedOn; }
    bool namesOnly() const override { return false; }
    bool rowsComeOverTime() const override { return false; }
    bool writesHistory() const override { return false; }
    // The scheduled collection records every name in the history.
    bool choosesNames() const override { return false; }

    void addOptions(QCommandLineParser &parser) override
    {
        parser.addOptions({ m_atOption, m_pagesOption, m_notifyOption, m_unitsDirOption });
    }

    bool readOptions(const QCommandLineParser &parser, QString *error) override
    {
        const QStringList arguments = parser.positionalArguments();
        static const QStringList actions { QStringLiteral("enable"), QStringLiteral("status"),
            QStringLiteral("disable") };
        if (arguments.isEmpty())
            return fail(error, QStringLiteral("enable, status or disable?"));
        if (arguments.size() > 1)
            return fail(error, QStringLiteral("unexpected argument: %1").arg(arguments[1]));
        m_action = int(actions.indexOf(arguments.constFirst()));
        if (m_action < 0)
            return fail(error, QStringLiteral("\"%1\" is none of enable, status, disable").arg(arguments.constFirst()));
        if (m_action != Enable) {
            for (const QCommandLineOption *option : { &m_atOption, &m_pagesOption, &m_notifyOption }) {
                if (parser.isSet(*option))
                    return fail(error, QStringLiteral("--%1 goes with enable only").arg(option->names().constFirst()));
            }
        } else if (!readEnableOptions(parser, error)) {
            return false;
        }
        m_unitsDir = parser.isSet(m_unitsDirOption)
            ? QDir(parser.value(m_unitsDirOption)).absolutePath()
            : QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/systemd/user");
        return true;
    }

    QList<Column> columns() const override
    {
        return { { QStringLiteral("state") }, { QStringLiteral("at") }, { QStringLiteral("next_run") },
            { QStringLiteral("timer") } };
    }

    void start() override
    {
        switch (m_action) {
        case Enable:
            return enable();
        case Status:
            return reportState();
        case Disable:
            return disable();
        }
    }

protected:
    void stop() override
    {
        if (m_systemctl)
            m_systemctl->kill();
    }

private:
    enum Action { Enable, Status, Disable };

    bool readEnableOptions(const QCommandLineParser &parser, QString *error)
    {
        if (!parser.isSet(m_atOption))
            return fail(error, QStringLiteral("--at is missing: at what time of day, HH:MM?"));
        static const QRegularExpression form(QStringLiteral("^([01][0-9]|2[0-3]):([0-5][0-9])$"));
        const QRegularExpressionMatch match = form.match(parser.value(m_atOption));
        if (!match.hasMatch())
            return fail(error,
                QStringLiteral("--at: \"%1\" is no time of day from 00:00 to 23:59 (HH:MM)")
                    .arg(parser.value(m_atOption)));
        m_collection.at = QTime(match.captured(1).toInt(), match.captured(2).toInt());
        if (parser.isSet(m_pagesOption)) {
            bool ok = false;
            m_collection.pages = parser.value(m_pagesOption).toInt(&ok);
            if (!ok || m_collection.pages < 1 || m_collection.pages > LastPossiblePage)
                return fail(error,
                    QStringLiteral("--pages: \"%1\" is no page count from 1 to %2")
                        .arg(parser.value(m_pagesOption))
                        .arg(LastPossiblePage));
        }
        m_collection.notify = parser.isSet(m_notifyOption);
        m_collection.program = QCoreApplication::applicationFilePath();
        m_collection.extraArguments = SharedOptions().givenArguments(parser);
        return true;
    }

    QString servicePath() const { return m_unitsDir + u'/' + serviceName(); }
    QString timerPath() const { return m_unitsDir + u'/' + timerName(); }

    void enable()
    {
        QString error;
        if (!isUsableProgramPath(m_collection.program, &error))
            return failWith(error);
        if (!QDir().mkpath(m_unitsDir))
            return failWith(QStringLiteral("the folder %1 cannot be made").arg(m_unitsDir));
        if (!writeFile(servicePath(), serviceText(m_collection), &error)
            || !writeFile(timerPath(), timerText(m_collection), &error))
            return failWith(error);
        const QStringList reload { QStringLiteral("daemon-reload") };
        const QStringList start { QStringLiteral("enable"), QStringLiteral("--now"), timerName() };
        systemctl(reload, [this, reload, start](const SystemctlAnswer &reloaded) {
            if (!reloaded.answered)
                return notStarted(reload, reloaded.failure, { reload, start });
            systemctl(start, [this, reload, start](const SystemctlAnswer &started) {
                if (!started.answered)
                    return notStarted(start, started.failure, { reload, start });
                m_progress->summary(QStringLiteral("schedule: collect --pages %1 runs every day at %2")
                                        .arg(m_collection.pages)
                                        .arg(m_collection.at.toString(QStringLiteral("HH:mm"))));
                reportState();
            });
        });
    }

    // The files are written, and the manager has not started the timer: the user is told what to run.
    void notStarted(const QStringList &failed, const QString &failure, const QList<QStringList> &toRun)
    {
        QString text = QStringLiteral("vexlon-collector schedule: the units are written in %1, but \"%2\" failed (%3): "
                                      "no user service manager answers here. Once one does, run:")
                           .arg(m_unitsDir, shown(failed), failure);
        for (const QStringList &arguments : toRun)
            text += QStringLiteral("\n  ") + shown(arguments);
        m_progress->warn(text);
        writeState(false);
    }

    void disable()
    {
        const QStringList stop { QStringLiteral("disable"), QStringLiteral("--now"), timerName() };
        systemctl(stop, [this, stop](const SystemctlAnswer &stopped) {
            QString error;
            // What enable made the manager link, should it not have answered now.
            const QString wanted = m_unitsDir + QStringLiteral("/timers.target.wants/") + timerName();
            if (!removeFile(timerPath(), &error) || !removeFile(servicePath(), &error)
                || (!stopped.answered && !removeFile(wanted, &error)))
                return failWith(error);
            if (!stopped.answered) {
                m_progress->warn(QStringLiteral("vexlon-collector schedule: \"%1\" failed (%2); the unit files are "
                                                "removed from %3 all the same")
                                     .arg(shown(stop), stopped.failure, m_unitsDir));
                return writeState(false);
            }
            const QStringList reload { QStringLiteral("daemon-reload") };
            systemctl(reload, [this, reload](const SystemctlAnswer &reloaded) {
                if (!reloaded.answered)
                    m_progress->warn(QStringLiteral("vexlon-collector schedule: \"%1\" failed (%2)")
                                         .arg(shown(reload), reloaded.failure));
                m_progress->summary(QStringLiteral("schedule: disabled"));
                writeState(false);
            });
        });
    }

    // Asks the manager about the timer, and writes what it says with what the files say.
    void reportState()
    {
        const QStringList show { QStringLiteral("show"), timerName(),
            QStringLiteral("--property=UnitFileState,ActiveState,NextElapseUSecRealtime"),
            QStringLiteral("--timestamp=unix") };
        systemctl(show, [this, show](const SystemctlAnswer &answer) {
            if (!answer.answered) {
                m_progress->warn(QStringLiteral("vexlon-collector schedule: \"%1\" failed (%2): no user service "
                                                "manager answers here; what the unit files say:")
                                     .arg(shown(show), answer.failure));
                return writeState(false);
            }
            QHash<QString, QString> properties;
            for (const QString &line : answer.output.split(u'\n', Qt::SkipEmptyParts))
                properties.insert(line.section(u'=', 0, 0), line.section(u'=', 1).trimmed());
            const bool running = properties.value(QStringLiteral("UnitFileState")) == QLatin1String("enabled")
                && properties.value(QStringLiteral("ActiveState")) == QLatin1String("active");
            writeState(running, properties.value(QStringLiteral("NextElapseUSecRealtime")));
        });
    }

    // The row: what the files say, and whether the manager runs the timer and when next.
    void writeState(bool running, const QString &nextElapse = QString())
    {
        QFile timer(timerPath());
        const bool written = QFileInfo::exists(servicePath()) && timer.open(QIODevice::ReadOnly);
        const QTime at = written ? timerTime(QString::fromUtf8(timer.readAll())) : QTime();
        QString next = nextElapse == QLatin1String("n/a") ? QString() : nextElapse;
        // "@1765348200": seconds since the epoch, as --timestamp=unix has it.
        if (next.startsWith(u'@')) {
            bool ok = false;
            const qint64 seconds = next.mid(1).toLongLong(&ok);
            next = ok && seconds > 0 ? rowTime(QDateTime::fromSecsSinceEpoch(seconds)) : QString();
        }
        const QString state = !written ? QStringLiteral("disabled")
            : running                  ? QStringLiteral("enabled")
                                       : QStringLiteral("written");
        writeRow({ state, at.isValid() ? at.toString(QStringLiteral("HH:mm")) : QString(), written ? next : QString(),
            timerPath() });
        finish(ExitCode::Done);
    }

    void failWith(const QString &error)
    {
        m_progress->warn(QStringLiteral("vexlon-collector schedule: ") + error);
        finish(ExitCode::SomeFailed);
    }

    // Runs "systemctl --user ARGUMENTS" (VEXLON_SYSTEMCTL names another program), one at a time, then next.
    void systemctl(const QStringList &arguments, std::function<void(const SystemctlAnswer &)> next)
    {
        const QString program = qEnvironmentVariable("VEXLON_SYSTEMCTL", QStringLiteral("systemctl"));
        auto *process = new QProcess(this);
        m_systemctl = process;
        auto *timeout = new QTimer(process);
        timeout->setSingleShot(true);
        const auto answer = [this, process, next](const SystemctlAnswer &answer) {
            if (m_systemctl != process)
                return;
            m_systemctl = nullptr;
            process->deleteLater();
            if (!isFinished())
                next(answer);
        };
        connect(timeout, &QTimer::timeout, process, [process, answer] {
            answer({ false, QString(), QStringLiteral("no answer within %1 s").arg(SystemctlTimeoutMs / 1000) });
            process->kill();
        });
        connect(process, &QProcess::errorOccurred, this, [process, program, answer](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                answer({ false, QString(),
                    QStringLiteral("%1 cannot be started: %2").arg(program, process->errorString()) });
        });
        connect(process, &QProcess::finished, this, [process, answer](int exitCode, QProcess::ExitStatus status) {
            const QString output = QString::fromUtf8(process->readAllStandardOutput());
            const QString told = QString::fromUtf8(process->readAllStandardError()).trimmed().section(u'\n', 0, 0);
            if (status == QProcess::NormalExit && exitCode == 0)
                return answer({ true, output, QString() });
            answer({ false, output,
                !told.isEmpty()                      ? told
                    : status == QProcess::NormalExit ? QStringLiteral("exit code %1").arg(exitCode)
                                                     : QStringLiteral("it crashed") });
        });
        process->setProcessChannelMode(QProcess::SeparateChannels);
        process->setStandardInputFile(QProcess::nullDevice());
        timeout->start(SystemctlTimeoutMs);
        process->start(program, QStringList { QStringLiteral("--user") } + arguments);
    }

    const QCommandLineOption m_atOption { QStringLiteral("at"),
        QStringLiteral("enable: the time of day the collection runs, HH:MM in local time."), QStringLiteral("HH:MM") };
    const QCommandLineOption m_pagesOption { QStringLiteral("pages"),
        QStringLiteral("enable: how many results pages it collects (default 1)."), QStringLiteral("N") };
    const QCommandLineOption m_notifyOption { QStringLiteral("notify"),
        QStringLiteral("enable: the collection runs with --notify, telling what it found on the desktop.") };
    const QCommandLineOption m_unitsDirOption { QStringLiteral("units-dir"),
        QStringLiteral("The folder of the unit files (default: $XDG_CONFIG_HOME/systemd/user, or\n"
                       "~/.config/systemd/user)."),
        QStringLiteral("dir") };
    int m_action = Status;
    DailyCollection m_collection;
    QString m_unitsDir;
    QProcess *m_systemctl = nullptr; // the one running now
};

} // namespace

std::unique_ptr<Command> makeScheduleCommand()
{
    return std::make_unique<ScheduleCommand>();
}
