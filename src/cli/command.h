// What the commands have in common: options read, the history opened, stdout and stderr set up
// by commands.cpp before a command starts; the command then does its work in the event loop and says
// when it is finished, with the program's exit code.
#pragma once

#include "cli/output.h"
#include "core/config.h"
#include "core/failure.h"
#include "core/filter/domainfilter.h"
#include "core/lookup/whoisfacts.h"

#include <QCommandLineOption>
#include <QDateTime>
#include <QObject>

#include <memory>
#include <optional>

class HistoryStore;
class HistoryWriter;
class Progress;
class QCommandLineParser;

// The program's exit codes.
namespace ExitCode {
inline constexpr int Done = 0;
inline constexpr int SomeFailed = 1; // done, but some pages or lookups failed, or names were skipped
inline constexpr int BadUsage = 2;
inline constexpr int HistoryUnusable = 3;
inline constexpr int Interrupted = 130;
} // namespace ExitCode

// What every command reads from its command line.
struct CommandSettings
{
    AppConfig config;
    QString dataDir;
    bool keepHistory = true;
    DomainFilter filter;
    OutputFormat format = OutputFormat::Text;
    bool quiet = false;
};

// --min-years and --max-years: names by the age their whois gives.
struct YearsOptions
{
    static constexpr int MostYears = 200;
    const QCommandLineOption least { QStringLiteral("min-years"),
        QStringLiteral("Only domains registered at least N whole years ago, by their whois (an unknown age\n"
                       "is left out)."),
        QStringLiteral("N") };
    const QCommandLineOption most { QStringLiteral("max-years"),
        QStringLiteral("Only domains registered at most N whole years ago, by their whois (an unknown age\n"
                       "is left out)."),
        QStringLiteral("N") };

    QList<QCommandLineOption> options() const { return { least, most }; }
    bool read(const QCommandLineParser &parser, YearsRange *range, QString *error) const;
};

// --days N or --since DATE: where the time a command looks at begins.
struct SinceOptions
{
    // what: "Names seen", "Matches"; defaultDays: the days without either option, none for all time.
    SinceOptions(const QString &what, std::optional<int> defaultDays);
    const std::optional<int> defaultDays;
    const QCommandLineOption days;
    const QCommandLineOption since;

    QList<QCommandLineOption> options() const { return { days, since }; }
    // An invalid time for all time.
    bool read(const QCommandLineParser &parser, QDateTime *from, QString *error) const;
};

class Command : public QObject
{
    Q_OBJECT
public:
    enum class HistoryUse {
        Optional, // used unless --no-history
        Always, // the command reads it
        Never, // the command needs neither the history nor the sites, and takes no options for them
        PassedOn, // it takes their options only to give them to what it sets up, and opens no history
    };

    virtual QString name() const = 0;
    // For --help: what the command does, and what it takes besides options ("" for nothing).
    virtual QString summary() const = 0;
    virtual QString argumentsSyntax() const { return QString(); }
    virtual HistoryUse historyUse() const { return HistoryUse::Optional; }

    virtual void addOptions(QCommandLineParser &parser) = 0;
    // What every command reads, before its own options.
    void setSettings(const CommandSettings &settings);
    // Reads the command's own options and arguments; false, with why in error, when they cannot be run.
    virtual bool readOptions(const QCommandLineParser &parser, QString *error) = 0;

    // The columns of its rows; namesOnly: the text format shows the first alone.
    virtual QList<Column> columns() const = 0;
    virtual bool namesOnly() const { return true; }
    // Rows that come over time are flushed one by one, so that a pipe sees each as it comes.
    virtual bool rowsComeOverTime() const { return true; }
    // Whether it records anything in the history.
    virtual bool writesHistory() const { return true; }
    // Whether it takes the options that choose which names it writes (or keeps, for a watch).
    virtual bool choosesNames() const { return true; }
    // Whether the watches' alerts of the runs it records go to the desktop too (their webhooks always do).
    virtual bool notifiesDesktop() const { return false; }

    // history is null when the command runs without one; writer also when it writes none.
    void setUp(HistoryStore *history, HistoryWriter *writer, RowWriter &out, Progress &progress);
    // Begins the work; finished() follows, at once or later.
    virtual void start() = 0;
    // SIGINT or SIGTERM: what is under way stops, what is finished is kept and written;
    // finished(Interrupted) follows.
    void interrupt();

signals:
    void finished(int exitCode);

protected:
    // Abandons what is under way; writes out what is finished and not written yet.
    virtual void stop() = 0;
    // Writes a row of results. When stdout takes no more, the command stops and ends with SomeFailed.
    bool writeRow(const QStringList &values);
    // Only the first call counts.
    void finish(int exitCode);
    // Without filter options every name passes, and none is taken apart to see.
    bool passesFilter(const QString &name) const
    {
        return m_filtering ? m_filter.matches(filterKeyOf(name)) : !name.isEmpty();
    }
    // The same for a key made already, with the name's appraisal, say.
    bool passesFilter(const FilterKey &key) const { return !m_filtering || m_filter.matches(key); }
    bool isFinished() const { return m_finished; }
    // The names given as arguments; none: they are read from stdin, which must not be a terminal then.
    bool readGivenNames(const QCommandLineParser &parser, QString *error);
    // The tags column of the names' rows, in CSV and JSON only; tagsOf() is empty in the text format.
    static Column tagsColumn() { return { QStringLiteral("tags"), false, true, false }; }
    QString tagsOf(const QString &domain) const
    {
        return m_settings.format == OutputFormat::Text ? QString() : listValue(tagTexts(appraise(domain).tags));
    }

    CommandSettings m_settings;
    HistoryStore *m_history = nullptr; // for reading
    HistoryWriter *m_writer = nullptr; // every write goes through it
    RowWriter *m_out = nullptr;
    Progress *m_progress = nullptr;
    QStringList m_given; // by readGivenNames()
    bool m_readStdin = false;

private:
    bool m_finished = false;
    bool m_filtering = false;
    PreparedFilter m_filter;
};

std::unique_ptr<Command> makeCollectCommand();
std::unique_ptr<Command> makeLookupCommand();
std::unique_ptr<Command> makeHistoryCommand();
std::unique_ptr<Command> makeAppraiseCommand();
std::unique_ptr<Command> makeWatchCommand();
std::unique_ptr<Command> makeScheduleCommand();

// "1 page", "2 pages".
QString counted(qsizetype count, const QString &thing);

// Times in rows: ISO 8601 in local time with its offset from UTC, to the second.
QString rowTime(const QDateTime &time);
