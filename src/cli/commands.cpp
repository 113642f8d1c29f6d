#include "cli/commands.h"

#include "app/commandline.h"
#include "cli/command.h"
#include "core/app/exitsignals.h"
#include "core/failure.h"
#include "cli/progress.h"
#include "core/store/historystore.h"
#include "core/store/historywriter.h"
#include "core/watch/alertdispatch.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>
#include <QTimeZone>
#include <QTimer>

#include <csignal>
#include <cstdio>

#include <unistd.h>

namespace {

const QString Program = QStringLiteral("vexlon-collector");

std::unique_ptr<Command> makeCommand(const QString &name)
{
    if (name == QLatin1String("collect"))
        return makeCollectCommand();
    if (name == QLatin1String("lookup"))
        return makeLookupCommand();
    if (name == QLatin1String("history"))
        return makeHistoryCommand();
    if (name == QLatin1String("appraise"))
        return makeAppraiseCommand();
    if (name == QLatin1String("watch"))
        return makeWatchCommand();
    if (name == QLatin1String("schedule"))
        return makeScheduleCommand();
    return nullptr;
}

void printTo(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

// The options that choose which names every command shows, the format and the noise.
struct OutputOptions
{
    const QCommandLineOption suffix { QStringLiteral("suffix"),
        QStringLiteral("Only names under these suffixes: \".com,.cn\", \".com.cn\", \".中国\" (repeatable)."),
        QStringLiteral("list") };
    const QCommandLineOption minLength { QStringLiteral("min-length"),
        QStringLiteral("Only names at least this long before the suffix, in characters."), QStringLiteral("n") };
    const QCommandLineOption maxLength { QStringLiteral("max-length"),
        QStringLiteral("Only names at most this long before the suffix, in characters."), QStringLiteral("n") };
    const QCommandLineOption kind { QStringLiteral("kind"),
        QStringLiteral("Only names of this kind: digits, letters, alnum, hyphen or chinese."), QStringLiteral("kind") };
    const QCommandLineOption contains { QStringLiteral("contains"),
        QStringLiteral("Only names that hold this text (any case)."), QStringLiteral("text") };
    const QCommandLineOption startsWith { QStringLiteral("starts-with"),
        QStringLiteral("Only names that begin with this text."), QStringLiteral("text") };
    const QCommandLineOption endsWith { QStringLiteral("ends-with"),
        QStringLiteral("Only names whose part before the suffix ends with this text."), QStringLiteral("text") };
    const QCommandLineOption exclude { QStringLiteral("exclude"),
        QStringLiteral("Leave out names that hold this text (repeatable)."), QStringLiteral("text") };
    const QCommandLineOption regex { QStringLiteral("regex"),
        QStringLiteral("Only names this regular expression finds something in (any case)."), QStringLiteral("re") };
    const QCommandLineOption tag { QStringLiteral("tag"),
        QStringLiteral("Only names with this tag (repeatable: all must hold): 纯数字 纯字母 杂米 含横杠 中文, "
                       "一数字 ... 十数字, 一字母 ... 十字母, 两杂 ... 五杂, 单字 两字 三字 四字, 两声母 ... 六声母, "
                       "单拼 双拼 三拼 四拼, 英文单词, a repeat shape (AA, AAB, ABAB, AABBCC ...), 顺子, 无4, 无04."),
        QStringLiteral("tag") };
    const QCommandLineOption notTag { QStringLiteral("not-tag"),
        QStringLiteral("Leave out names with this tag (repeatable)."), QStringLiteral("tag") };
    const QCommandLineOption labelPattern { QStringLiteral("pattern"),
        QStringLiteral("Only names whose whole part before the suffix fits, one character each: %1.")
            .arg(labelPatternCharacters()),
        QStringLiteral("pattern") };
    const QCommandLineOption format { QStringLiteral("format"),
        QStringLiteral("text (the default), csv (UTF-8 with BOM, header row) or json (one object a line)."),
        QStringLiteral("format"), QStringLiteral("text") };
    const QCommandLineOption quiet { { QStringLiteral("q"), QStringLiteral("quiet") },
        QStringLiteral("No progress line and no summary on stderr.") };

    // withFilter: the options that choose names too, not only the format and the noise.
    void addTo(QCommandLineParser &parser, bool withFilter) const
    {
        if (withFilter) {
            parser.addOptions({ suffix, minLength, maxLength, kind, tag, notTag, labelPattern, contains, startsWith,
                endsWith, exclude, regex });
        }
        parser.addOptions({ format, quiet });
    }

    bool read(const QCommandLineParser &parser, bool withFilter, CommandSettings &settings, QString *error) const
    {
        if (withFilter && !readFilter(parser, settings.filter, error))
            return false;
        const std::optional<OutputFormat> read = outputFormatFromText(parser.value(format));
        if (!read)
            return fail(error, QStringLiteral("--format: \"%1\" is none of text, csv, json").arg(parser.value(format)));
        settings.format = *read;
        settings.quiet = parser.isSet(quiet);
        return true;
    }

    bool readFilter(const QCommandLineParser &parser, DomainFilter &filter, QString *error) const
    {
        for (const QString &value : parser.values(suffix)) {
            for (const QString &item : value.split(u',', Qt::SkipEmptyParts)) {
                if (!item.trimmed().isEmpty())
                    filter.suffixes.append(item.trimmed());
            }
        }
        for (const auto &[option, bound] :
            { std::pair { &minLength, &filter.minLength }, std::pair { &maxLength, &filter.maxLength } }) {
            if (!parser.isSet(*option))
                continue;
            bool ok = false;
            *bound = parser.value(*option).toInt(&ok);
            if (!ok || *bound < 1 || *bound > 253)
                return fail(error, QStringLiteral("--%1: \"%2\" is no length from 1 to 253")
                    .arg(option->names().constFirst(), parser.value(*option)));
        }
        if (filter.minLength > 0 && filter.maxLength > 0 && filter.minLength > filter.maxLength)
            return fail(error, QStringLiteral("--min-length %1 is more than --max-length %2")
                .arg(filter.minLength)
                .arg(filter.maxLength));
        if (parser.isSet(kind)) {
            const std::optional<NameKind> read = nameKindFromText(parser.value(kind));
            if (!read)
                return fail(error, QStringLiteral("--kind: \"%1\" is none of digits, letters, alnum, hyphen, chinese")
                    .arg(parser.value(kind)));
            filter.kind = *read;
        }
        for (const auto &[option, tags] :
            { std::pair { &tag, &filter.requiredTags }, std::pair { &notTag, &filter.excludedTags } }) {
            for (const QString &value : parser.values(*option)) {
                if (!isTagText(value.trimmed()))
                    return fail(error, QStringLiteral("--%1: \"%2\" is no tag; the tags: %3, and repeat shapes such as AABB")
                        .arg(option->names().constFirst(), value, vocabulary().join(u' ')));
                tags->append(value.trimmed());
            }
        }
        filter.labelPattern = parser.value(labelPattern);
        if (const std::optional<QChar> bad = badLabelPatternCharacter(filter.labelPattern))
            return fail(error, QStringLiteral("--pattern: \"%1\" holds \"%2\"; a pattern holds %3")
                .arg(filter.labelPattern, *bad, labelPatternCharacters()));
        filter.contains = parser.value(contains);
        filter.startsWith = parser.value(startsWith);
        filter.endsWith = parser.value(endsWith);
        filter.excludes = parser.values(exclude);
        if (parser.isSet(regex)) {
            filter.pattern = QRegularExpression(parser.value(regex), QRegularExpression::CaseInsensitiveOption);
            if (!filter.pattern.isValid())
                return fail(error, QStringLiteral("--regex: \"%1\" is no regular expression (%2 at %3)")
                    .arg(parser.value(regex), filter.pattern.errorString())
                    .arg(filter.pattern.patternErrorOffset()));
        }
        return true;
    }
};

// The help text with the usage line of the command, not of the program alone.
QString helpText(const QCommandLineParser &parser, const Command &command)
{
    QString text = parser.helpText();
    const qsizetype lineEnd = text.indexOf(u'\n');
    const QString syntax = command.argumentsSyntax();
    text.replace(0, lineEnd,
        QStringLiteral("Usage: %1 %2 [options]%3")
            .arg(Program, command.name(), syntax.isEmpty() ? syntax : u' ' + syntax));
    return text;
}

} // namespace

namespace Commands {

bool isCommand(const QString &firstArgument)
{
    // Asked before there is an application: no command is made here.
    return firstArgument == QLatin1String("collect") || firstArgument == QLatin1String("lookup")
        || firstArgument == QLatin1String("history") || firstArgument == QLatin1String("appraise")
        || firstArgument == QLatin1String("watch") || firstArgument == QLatin1String("schedule");
}

int run(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(Program);
    QCoreApplication::setApplicationVersion(QStringLiteral(VEXLON_VERSION));
    // A closed stdout is found by the write that fails, not by a signal that ends the program silently.
    std::signal(SIGPIPE, SIG_IGN);

    const QStringList arguments = QCoreApplication::arguments();
    std::unique_ptr<Command> command = makeCommand(arguments.value(1));
    if (!command)
        return ExitCode::BadUsage;
    const auto refuse = [&command](const QString &message) {
        printTo(stderr, QStringLiteral("%1 %2: %3\nTry \"%1 %2 --help\".\n").arg(Program, command->name(), message));
        return ExitCode::BadUsage;
    };

    QCommandLineParser parser;
    parser.setApplicationDescription(command->summary());
    const QCommandLineOption help { { QStringLiteral("h"), QStringLiteral("help") },
        QStringLiteral("Show this help.") };
    parser.addOption(help);
    // The command's own options first, then the filter and format, then the sites and the history.
    command->addOptions(parser);
    const OutputOptions output;
    output.addTo(parser, command->choosesNames());
    const SharedOptions shared;
    const bool takesShared = command->historyUse() != Command::HistoryUse::Never;
    if (takesShared)
        shared.addTo(parser, command->historyUse() != Command::HistoryUse::Always);
    if (!parser.parse(QStringList { arguments.constFirst() } + arguments.mid(2)))
        return refuse(parser.errorText());
    if (parser.isSet(help)) {
        printTo(stdout, helpText(parser, *command));
        return ExitCode::Done;
    }

    CommandSettings settings;
    CommandLineOutcome read;
    QString refused;
    if (takesShared && !shared.read(parser, read, &refused))
        return refuse(refused);
    if (!hasNoEmptyValue(parser, &refused))
        return refuse(refused);
    settings.config = read.config;
    settings.dataDir = read.dataDir;
    settings.keepHistory = takesShared && read.keepHistory && command->historyUse() != Command::HistoryUse::PassedOn;
    if (!output.read(parser, command->choosesNames(), settings, &refused))
        return refuse(refused);
    command->setSettings(settings);
    if (!command->readOptions(parser, &refused))
        return refuse(refused);

    std::unique_ptr<HistoryStore> history;
    if (command->historyUse() == Command::HistoryUse::Always || settings.keepHistory) {
        history = std::make_unique<HistoryStore>();
        QString failure;
        if (!history->open(HistoryStore::filePath(settings.dataDir), &failure)) {
            printTo(stderr,
                QStringLiteral("%1 %2: the history cannot be used: %3\n").arg(Program, command->name(), failure));
            return ExitCode::HistoryUnusable;
        }
    }
    std::unique_ptr<HistoryWriter> writer;
    if (history && settings.keepHistory && command->writesHistory())
        writer = std::make_unique<HistoryWriter>(history->path());
    // A run's alerts go out once the run is in the history, and the program waits for them.
    std::unique_ptr<PageFetcher> alertFetcher;
    std::unique_ptr<AlertDispatch> alerts;
    QList<QList<WatchAlert>> alertsWaiting;
    bool writerFinished = false;
    Progress progress(settings.quiet);
    RowWriter out(settings.format, command->columns(), command->namesOnly(), command->rowsComeOverTime());
    int exitCode = ExitCode::Done;
    // The program ends once the command has, and once what it recorded is in the history.
    const auto exitWith = [&exitCode](int code) {
        exitCode = code;
        QCoreApplication::exit(code);
    };
    QObject::connect(
        command.get(), &Command::finished, &app,
        [&](int code) {
            if (!writer)
                return exitWith(code);
            exitCode = code;
            writer->finish();
        },
        Qt::QueuedConnection);
    if (writer) {
        const QString prefix = QStringLiteral("%1 %2: ").arg(Program, command->name());
        QObject::connect(writer.get(), &HistoryWriter::writeFailed, &app, [&progress, prefix](const QString &reason) {
            progress.warn(prefix + QStringLiteral("the history takes no writes for now (%1); what is to be recorded "
                                                  "waits and is tried again").arg(reason));
        });
        QObject::connect(writer.get(), &HistoryWriter::finished, &app, [&, prefix](int unrecorded) {
            writerFinished = true;
            if (unrecorded > 0) {
                progress.warn(prefix
                    + QStringLiteral("%1 of the pages and lookups to be recorded could not be written to the history")
                          .arg(unrecorded));
                exitCode = exitCode == ExitCode::Interrupted ? exitCode : ExitCode::HistoryUnusable;
            }
            if (!alerts || !alerts->isBusy())
                exitWith(exitCode);
        });
        const bool notify = command->notifiesDesktop();
        // Made for the first run with alerts only: a command that has none never touches the session bus.
        const auto makeAlerts = [&, notify, prefix] {
            alertFetcher = std::make_unique<PageFetcher>();
            alerts = std::make_unique<AlertDispatch>(*alertFetcher);
            QObject::connect(alerts.get(), &AlertDispatch::notificationsUnavailable, &app,
                [&progress, prefix](const QString &reason) {
                    progress.warn(prefix + QStringLiteral("the desktop's notifications cannot be shown: ") + reason);
                });
            QObject::connect(alerts.get(), &AlertDispatch::webhookFailed, &app,
                [&progress, prefix](const QString &watch, const QString &reason) {
                    progress.warn(
                        prefix + QStringLiteral("the webhook of the watch \"%1\" failed: %2").arg(watch, reason));
                });
            QObject::connect(alerts.get(), &AlertDispatch::finished, &app, [&, notify](int webhooksFailed) {
                if (webhooksFailed > 0 && exitCode == ExitCode::Done)
                    exitCode = ExitCode::SomeFailed;
                if (!alertsWaiting.isEmpty())
                    alerts->send(alertsWaiting.takeFirst(), notify);
                else if (writerFinished)
                    exitWith(exitCode);
            });
        };
        QObject::connect(writer.get(), &HistoryWriter::watchesMatched, &app,
            [&, notify, makeAlerts](int, const QList<WatchAlert> &matched) {
                if (!alerts)
                    makeAlerts();
                if (!alerts->send(matched, notify))
                    alertsWaiting.append(matched);
            });
    }
    ExitSignals::install(command.get(), [&command] { command->interrupt(); });
    command->setUp(history.get(), writer.get(), out, progress);
    if (!out.begin())
        return ExitCode::SomeFailed;
    command->start();
    app.exec();
    // Its operations go before the history they may write to.
    command.reset();
    writer.reset();
    return out.flush() || exitCode != ExitCode::Done ? exitCode : ExitCode::SomeFailed;
}

} // namespace Commands

void Command::setSettings(const CommandSettings &settings)
{
    m_settings = settings;
    m_filtering = !settings.filter.isEmpty();
    m_filter = PreparedFilter(settings.filter);
}

void Command::setUp(HistoryStore *history, HistoryWriter *writer, RowWriter &out, Progress &progress)
{
    m_writer = writer;
    m_history = history;
    m_out = &out;
    m_progress = &progress;
}

bool Command::readGivenNames(const QCommandLineParser &parser, QString *error)
{
    m_given = parser.positionalArguments();
    if (m_given.isEmpty()) {
        if (::isatty(STDIN_FILENO) == 1)
            return fail(error, QStringLiteral("no domains: give them as arguments, or one per line on stdin"));
        m_readStdin = true;
    }
    return true;
}

void Command::interrupt()
{
    if (m_finished)
        return;
    stop();
    finish(ExitCode::Interrupted);
}

bool Command::writeRow(const QStringList &values)
{
    m_progress->makeWay();
    const bool written = m_out->write(values);
    m_progress->comeBack();
    if (written)
        return true;
    if (!m_finished) {
        // Stopped once the rows being handed on now have gone by.
        QTimer::singleShot(0, this, [this] {
            if (m_finished)
                return;
            m_progress->warn(QStringLiteral("%1 %2: stdout takes no more results; stopped").arg(Program, name()));
            stop();
            finish(ExitCode::SomeFailed);
        });
    }
    return false;
}

void Command::finish(int exitCode)
{
    if (m_finished)
        return;
    m_finished = true;
    emit finished(exitCode);
}

bool YearsOptions::read(const QCommandLineParser &parser, YearsRange *range, QString *error) const
{
    for (auto [option, bound] : { std::pair(&least, &range->least), std::pair(&most, &range->most) }) {
        if (!parser.isSet(*option))
            continue;
        bool ok = false;
        const int years = parser.value(*option).toInt(&ok);
        if (!ok || years < 0 || years > MostYears)
            return fail(error, QStringLiteral("--%1: \"%2\" is no number of years from 0 to %3")
                                   .arg(option->names().constFirst(), parser.value(*option))
                                   .arg(MostYears));
        *bound = years;
    }
    if (range->least && range->most && *range->least > *range->most)
        return fail(error, QStringLiteral("--min-years %1 is more than --max-years %2").arg(*range->least).arg(*range->most));
    return true;
}

SinceOptions::SinceOptions(const QString &what, std::optional<int> defaultDays)
    : defaultDays(defaultDays)
    , days(QStringLiteral("days"),
          QStringLiteral("%1 in the last N days (N times 24 hours; %2).")
              .arg(what, defaultDays ? QStringLiteral("default %1").arg(*defaultDays) : QStringLiteral("default: all")),
          QStringLiteral("N"))
    , since(QStringLiteral("since"),
          QStringLiteral("%1 since this day (YYYY-MM-DD, from local midnight) or ISO date-time.").arg(what),
          QStringLiteral("date"))
{ }

bool SinceOptions::read(const QCommandLineParser &parser, QDateTime *from, QString *error) const
{
    if (parser.isSet(days) && parser.isSet(since))
        return fail(error, QStringLiteral("--days and --since both say where the time begins: give one"));
    if (parser.isSet(since)) {
        // "YYYY-MM-DD" is that day's local midnight; a date-time without an offset is local time too.
        const QString text = parser.value(since).trimmed();
        const QDate day = QDate::fromString(text, Qt::ISODate);
        *from = day.isValid() && text.size() == 10 ? day.startOfDay() : QDateTime::fromString(text, Qt::ISODateWithMs);
        if (!from->isValid())
            return fail(error, QStringLiteral("--since: \"%1\" is neither a date YYYY-MM-DD nor an ISO date-time")
                                   .arg(parser.value(since)));
        return true;
    }
    *from = QDateTime();
    if (!parser.isSet(days) && !defaultDays)
        return true;
    bool ok = true;
    const int count = parser.isSet(days) ? parser.value(days).toInt(&ok) : *defaultDays;
    constexpr int MostDays = 100 * 366;
    if (!ok || count < 1 || count > MostDays)
        return fail(error, QStringLiteral("--days: \"%1\" is no number of days from 1 to %2").arg(parser.value(days)).arg(MostDays));
    *from = QDateTime::currentDateTimeUtc().addSecs(-qint64(count) * 24 * 3600);
    return true;
}

QString counted(qsizetype count, const QString &thing)
{
    return QStringLiteral("%1 %2%3").arg(count).arg(thing, count == 1 ? QString() : QStringLiteral("s"));
}

QString rowTime(const QDateTime &time)
{
    if (!time.isValid())
        return QString();
    // The C library looks at the time zone file again for each local time it makes: the zone is read once.
    static const QTimeZone zone = QTimeZone::systemTimeZone();
    // The names of a page share their time: the last one made is kept.
    static qint64 lastTime = 0;
    static QString lastText;
    if (time.toMSecsSinceEpoch() / 1000 != lastTime || lastText.isEmpty()) {
        lastTime = time.toMSecsSinceEpoch() / 1000;
        lastText = time.toOffsetFromUtc(zone.offsetFromUtc(time)).toString(Qt::ISODate);
    }
    return lastText;
}
