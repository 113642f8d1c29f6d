// lookup [DOMAIN...]: the window's lookup for each domain, politely, answers younger than --max-age from
// the history; one row per domain, in the order the domains were given.
#include "cli/command.h"
#include "cli/progress.h"
#include "core/batch/batchlookup.h"
#include "core/dns/othersuffixcheck.h"
#include "core/lookup/lookupfields.h"
#include "core/store/historywriter.h"
#include "core/text/domainname.h"
#include "core/text/namelines.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QTimer>

#include <cmath>
#include <cstdio>

#include <unistd.h>

namespace {

// "90s", "30m", "12h", "2d" or plain seconds; std::nullopt for anything else or more than ten years.
std::optional<qint64> secondsOf(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^\\s*(\\d{1,12})\\s*([smhd]?)\\s*$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QString unit = match.captured(2);
    const qint64 factor = unit == QLatin1String("d") ? 86400
        : unit == QLatin1String("h")                 ? 3600
        : unit == QLatin1String("m")                 ? 60
                                                     : 1;
    const qint64 seconds = match.captured(1).toLongLong() * factor;
    return seconds <= 10LL * 366 * 86400 ? std::optional<qint64>(seconds) : std::nullopt;
}

// The fields the command writes: those scripts knew first, or those that came later.
QList<LookupField> commandFields(bool later)
{
    QList<LookupField> fields;
    for (const LookupField &field : lookupFields()) {
        if (!field.commandColumn.isEmpty() && (field.since > 1) == later)
            fields.append(field);
    }
    return fields;
}

QString failureOf(const LookupRecord &record)
{
    QStringList parts;
    if (!record.backorderFailure.isEmpty())
        parts << QStringLiteral("backorder page: ") + record.backorderFailure;
    if (!record.icpFailure.isEmpty())
        parts << QStringLiteral("ICP: ") + record.icpFailure;
    return parts.join(QLatin1String("; "));
}

class LookupCommand : public Command
{
public:
    QString name() const override { return QStringLiteral("lookup"); }
    QString summary() const override
    {
        return QStringLiteral("Looks up domains as a double-click in the window does (backorder page, then ICP\n"
                              "filing): the given ones, or one per line from stdin. Politely: at most --rate\n"
                              "requests a second and --at-once at a time to any one host; 429 and 503 are retried\n"
                              "after Retry-After. Answers younger than --max-age come from the history. One row\n"
                              "per domain, in the order given. Names that cannot be looked up are told on stderr\n"
                              "and skipped. Exit codes: 0 done, 1 some lookups failed or names were skipped,\n"
                              "2 bad usage, 3 the history cannot be used, 130 interrupted.\n"
                              "With --other-suffixes, DNS is asked (NS) whether each name's label is taken under\n"
                              "those suffixes: the columns taken_elsewhere and unknown_elsewhere follow at the end.\n"
                              "A suffix in neither is not in DNS (NXDOMAIN): likely free, or held without name\n"
                              "servers.");
    }
    QString argumentsSyntax() const override { return QStringLiteral("[DOMAIN...]"); }

    void addOptions(QCommandLineParser &parser) override
    {
        parser.addOptions({ m_maxAgeOption, m_refreshOption, m_rateOption, m_atOnceOption, m_maxWaitOption,
            m_otherSuffixesOption, m_dnsRateOption, m_dnsAtOnceOption });
        parser.addOptions(m_yearsOptions.options());
        parser.addPositionalArgument(QStringLiteral("DOMAIN"), QStringLiteral("Domains to look up; none: read stdin."));
    }

    bool readOptions(const QCommandLineParser &parser, QString *error) override
    {
        const std::optional<qint64> maxAge = secondsOf(parser.value(m_maxAgeOption));
        if (!maxAge)
            return fail(error, QStringLiteral("--max-age: \"%1\" is no age like 90s, 30m, 12h, 2d or plain seconds")
                .arg(parser.value(m_maxAgeOption)));
        m_options.maxAgeSeconds = *maxAge;
        m_options.refresh = parser.isSet(m_refreshOption);
        bool ok = false;
        const double rate = parser.value(m_rateOption).toDouble(&ok);
        if (!ok || !(rate >= LeastRequestsPerSecond && rate <= MostRequestsPerSecond))
            return fail(error, QStringLiteral("--rate: \"%1\" is no rate from one request a day (%2) to %3 requests a second")
                .arg(parser.value(m_rateOption))
                .arg(LeastRequestsPerSecond, 0, 'f', 10)
                .arg(MostRequestsPerSecond));
        m_options.politeness.requestsPerSecond = rate;
        const int atOnce = parser.value(m_atOnceOption).toInt(&ok);
        if (!ok || atOnce < 1 || atOnce > 64)
            return fail(error, QStringLiteral("--at-once: \"%1\" is no number from 1 to 64").arg(parser.value(m_atOnceOption)));
        m_options.politeness.requestsAtOnce = atOnce;
        const std::optional<qint64> maxWait = secondsOf(parser.value(m_maxWaitOption));
        if (!maxWait)
            return fail(error, QStringLiteral("--max-wait: \"%1\" is no time like 90s, 30m, 12h, 2d or plain seconds")
                .arg(parser.value(m_maxWaitOption)));
        m_options.politeness.longestWaitMs = *maxWait * 1000;
        if (!m_yearsOptions.read(parser, &m_years, error))
            return false;

        if (parser.isSet(m_otherSuffixesOption)) {
            QString why;
            const std::optional<QStringList> suffixes = otherSuffixesFrom(parser.value(m_otherSuffixesOption), &why);
            if (!suffixes)
                return fail(error, QStringLiteral("--other-suffixes: ") + why);
            m_elsewhereOptions.suffixes = *suffixes;
        }
        const double dnsRate = parser.value(m_dnsRateOption).toDouble(&ok);
        if (!ok || !(dnsRate >= 1 && dnsRate <= 1000) || dnsRate != std::floor(dnsRate))
            return fail(error, QStringLiteral("--dns-rate: \"%1\" is no whole number of queries a second from 1 to 1000")
                                   .arg(parser.value(m_dnsRateOption)));
        m_elsewhereOptions.dns.queriesPerSecond = int(dnsRate);
        const int dnsAtOnce = parser.value(m_dnsAtOnceOption).toInt(&ok);
        if (!ok || dnsAtOnce < 1 || dnsAtOnce > 64)
            return fail(error,
                QStringLiteral("--dns-at-once: \"%1\" is no number from 1 to 64").arg(parser.value(m_dnsAtOnceOption)));
        m_elsewhereOptions.dns.inFlight = dnsAtOnce;
        m_elsewhereOptions.maxAgeSeconds = m_options.maxAgeSeconds;
        m_elsewhereOptions.refresh = m_options.refresh;

        return readGivenNames(parser, error);
    }

    // The domain and the time, the fields a lookup writes, where the answer came from and why it failed,
    // then the fields that came later.
    QList<Column> columns() const override
    {
        QList<Column> columns { { QStringLiteral("domain") }, { QStringLiteral("looked_up") } };
        const auto addFields = [&columns](bool later) {
            for (const LookupField &field : commandFields(later)) {
                Column column { field.commandColumn };
                column.numeric = field.kind == FieldKind::Years;
                column.list = field.kind == FieldKind::List;
                column.nullWhenEmpty = field.unknownWhenEmpty;
                columns.append(column);
            }
        };
        addFields(false);
        columns.append({ QStringLiteral("source") });
        columns.append({ QStringLiteral("failure") });
        columns.append(tagsColumn());
        addFields(true);
        // Last, so that the columns before keep their places.
        if (checksElsewhere()) {
            columns.append({ QStringLiteral("taken_elsewhere"), false, true });
            columns.append({ QStringLiteral("unknown_elsewhere"), false, true });
        }
        return columns;
    }
    bool namesOnly() const override { return false; }

    void start() override
    {
        const QStringList domains = usableDomains();
        m_rows.resize(domains.size());
        for (qsizetype i = 0; i < domains.size(); ++i)
            m_indexOf.insert(domains[i], i);
        if (domains.isEmpty()) {
            m_progress->summary(summaryLine());
            finish(m_skipped > 0 ? ExitCode::SomeFailed : ExitCode::Done);
            return;
        }
        if (checksElsewhere()) {
            m_elsewhereOptions.dns.server = m_settings.config.dnsServer;
            m_elsewhere = std::make_unique<OtherSuffixCheck>(m_elsewhereOptions, m_history);
            QString error;
            if (!m_elsewhere->isReady(&error))
                m_progress->warn(QStringLiteral("vexlon-collector lookup: DNS cannot be asked (%1): other suffixes "
                                                "stay unknown")
                                     .arg(error));
            connect(m_elsewhere.get(), &OtherSuffixCheck::checked, this,
                [this](const QString &domain, const ElsewhereResult &result, const QList<ElsewhereState> &fresh) {
                    if (m_writer)
                        m_writer->recordElsewhere(fresh);
                    m_elsewhereOf.insert(domain, result);
                    completeRow(domain);
                });
            connect(m_elsewhere.get(), &OtherSuffixCheck::finished, this, [this] { finishIfDone(); });
            for (const QString &domain : domains)
                m_elsewhere->check(domain);
        }
        m_fetcher = std::make_unique<PageFetcher>();
        m_batch = std::make_unique<BatchLookup>(*m_fetcher, m_settings.config, m_history, m_options);
        connect(m_batch.get(), &BatchLookup::lookedUp, this, &LookupCommand::lookedUp);
        connect(m_batch.get(), &BatchLookup::progress, this, [this](int done, int total, int failed) {
            m_done = done;
            m_total = total;
            m_failed = failed;
            showProgress();
        });
        connect(m_batch.get(), &BatchLookup::waiting, this, [this](const QString &host, qint64 milliseconds) {
            m_waitingFor = host;
            m_waitClock.start();
            m_waitMs = milliseconds;
            showProgress();
        });
        connect(m_batch.get(), &BatchLookup::finished, this, [this](int, int failed, bool cancelled) {
            if (cancelled)
                return;
            m_failed = failed;
            m_lookupsDone = true;
            finishIfDone();
        });
        // The waiting time counts down on the progress line.
        connect(&m_ticker, &QTimer::timeout, this, &LookupCommand::showProgress);
        m_ticker.start(250);
        m_total = int(domains.size());
        showProgress();
        m_batch->start(domains);
    }

protected:
    void stop() override
    {
        m_ticker.stop();
        if (m_batch)
            m_batch->cancel();
        // Rows looked up whose other suffixes are not all answered: those left are unknown.
        m_elsewhere.reset();
        for (auto it = m_lookupRowOf.cbegin(); it != m_lookupRowOf.cend(); ++it) {
            ElsewhereResult unanswered;
            unanswered.unknown = m_elsewhereOptions.suffixes;
            unanswered.unknown.removeAll(labelAndSuffix(it.key()).second);
            m_elsewhereOf.insert(it.key(), unanswered);
        }
        for (const QString &domain : m_lookupRowOf.keys())
            completeRow(domain);
        writeFinishedRows(true);
        m_progress->summary(summaryLine() + QStringLiteral(" · interrupted"));
    }

private:
    // The names given, those that cannot be looked up told and left out, each once, through the filter.
    QStringList usableDomains()
    {
        QStringList names = m_given;
        if (m_readStdin) {
            QFile in;
            if (in.open(stdin, QIODevice::ReadOnly)) {
                const NameLines read = readNameLines(in);
                names += read.names;
                for (const NameLines::Skipped &line : read.tooLong)
                    m_progress->warn(
                        QStringLiteral("vexlon-collector lookup: skipped \"%1…\" (line %2): longer than %3 "
                                       "characters")
                            .arg(visibleName(line.start))
                            .arg(line.line)
                            .arg(LongestNameChars));
                if (read.tooLongCount > read.tooLong.size())
                    m_progress->warn(QStringLiteral("vexlon-collector lookup: skipped %1 more lines longer than %2 "
                                                    "characters")
                                         .arg(read.tooLongCount - read.tooLong.size())
                                         .arg(LongestNameChars));
                m_skipped += int(read.tooLongCount);
                if (read.notTextAt > 0) {
                    ++m_skipped;
                    m_progress->warn(QStringLiteral("vexlon-collector lookup: stdin holds a NUL byte on line %1, so it "
                                                    "is no text: read no further")
                                         .arg(read.notTextAt));
                }
            }
        }
        QStringList domains;
        QSet<QString> taken;
        for (const QString &name : std::as_const(names)) {
            if (const std::optional<QString> reason = unusableNameReason(name)) {
                ++m_skipped;
                m_progress->warn(
                    QStringLiteral("vexlon-collector lookup: skipped \"%1\": %2")
                        .arg(visibleName(name.left(80)) + (name.size() > 80 ? QStringLiteral("…") : QString()),
                            *reason));
                continue;
            }
            const QString domain = name.toLower();
            if (!taken.contains(domain) && passesFilter(domain)) {
                taken.insert(domain);
                domains.append(domain);
            }
        }
        return domains;
    }

    void lookedUp(const LookupRecord &record, bool fromHistory)
    {
        m_fromHistory += fromHistory;
        if (!fromHistory && m_writer)
            m_writer->recordLookup(record);
        QStringList row { record.domain, rowTime(record.time) };
        const auto addFields = [&row, &record](bool later) {
            for (const LookupField &field : commandFields(later)) {
                const QString text = field.text(record);
                row.append(field.kind == FieldKind::List ? listValue(text.split(u' ', Qt::SkipEmptyParts)) : text);
            }
        };
        addFields(false);
        row << (fromHistory ? QStringLiteral("history") : QStringLiteral("site")) << failureOf(record);
        row << tagsOf(record.domain);
        addFields(true);
        // Looked up and kept, whatever its age; only the rows written are chosen by it.
        const bool written = m_years.contains(wholeYearsSince(record.whois.created, QDateTime::currentDateTimeUtc()));
        m_leftOut += !written;
        if (!written)
            row.clear();
        if (checksElsewhere()) {
            m_lookupRowOf.insert(record.domain, row);
            completeRow(record.domain);
            return;
        }
        placeRow(record.domain, row);
    }

    bool checksElsewhere() const { return !m_elsewhereOptions.suffixes.isEmpty(); }

    // A row is whole once its lookup and its other suffixes are both in.
    void completeRow(const QString &domain)
    {
        const auto lookup = m_lookupRowOf.constFind(domain);
        const auto elsewhere = m_elsewhereOf.constFind(domain);
        if (lookup == m_lookupRowOf.constEnd() || elsewhere == m_elsewhereOf.constEnd())
            return;
        QStringList row = *lookup;
        if (!row.isEmpty())
            row << listValue(elsewhere->taken) << listValue(elsewhere->unknown);
        m_lookupRowOf.erase(lookup);
        m_elsewhereOf.erase(elsewhere);
        placeRow(domain, row);
    }

    // A row goes out at once unless it waits for those given before it; an empty row is one left out.
    void placeRow(const QString &domain, const QStringList &row)
    {
        const auto found = m_indexOf.constFind(domain);
        if (found == m_indexOf.constEnd()) {
            if (!row.isEmpty())
                writeRow(row);
            return;
        }
        m_rows[*found] = row;
        writeFinishedRows(false);
    }

    void finishIfDone()
    {
        if (!m_lookupsDone || (m_elsewhere && m_elsewhere->pendingCount() > 0) || !m_lookupRowOf.isEmpty())
            return;
        writeFinishedRows(true);
        m_progress->summary(summaryLine());
        finish(m_failed > 0 || m_skipped > 0 ? ExitCode::SomeFailed : ExitCode::Done);
    }

    // In the order given: a row waits for those before it, unless the command stops.
    void writeFinishedRows(bool stopping)
    {
        for (; m_written < m_rows.size(); ++m_written) {
            if (!m_rows[m_written]) {
                if (stopping)
                    continue;
                return;
            }
            const QStringList row = *std::exchange(m_rows[m_written], std::nullopt);
            if (!row.isEmpty())
                writeRow(row);
        }
    }

    void showProgress()
    {
        QString line = QStringLiteral("lookup %1/%2 · %3 failed").arg(m_done).arg(m_total).arg(m_failed);
        if (m_waitClock.isValid()) {
            const qint64 left = m_waitMs - m_waitClock.elapsed();
            if (left > 0)
                line += QStringLiteral(" · waiting %1 s for %2").arg((left + 999) / 1000).arg(m_waitingFor);
            else
                m_waitClock.invalidate();
        }
        m_progress->show(line);
    }

    QString summaryLine() const
    {
        QString line
            = QStringLiteral("lookup: %1 of %2").arg(m_done).arg(counted(m_rows.size(), QStringLiteral("domain")));
        if (m_fromHistory > 0)
            line += QStringLiteral(" · %1 from the history").arg(m_fromHistory);
        if (m_failed > 0)
            line += QStringLiteral(" · %1 failed").arg(m_failed);
        if (m_skipped > 0)
            line += QStringLiteral(" · %1 skipped").arg(m_skipped);
        if (m_leftOut > 0)
            line += QStringLiteral(" · %1 not written for their age").arg(m_leftOut);
        return line;
    }

    const QCommandLineOption m_maxAgeOption { QStringLiteral("max-age"),
        QStringLiteral("Take answers of the history younger than this: 90s, 30m, 12h, 2d or seconds (default 12h)."),
        QStringLiteral("age"), QStringLiteral("12h") };
    const QCommandLineOption m_refreshOption { QStringLiteral("refresh"),
        QStringLiteral("Ask the sites again, whatever the history holds.") };
    const QCommandLineOption m_rateOption { QStringLiteral("rate"),
        QStringLiteral("At most R requests a second to any one host (default 2)."), QStringLiteral("R"),
        QStringLiteral("2") };
    const QCommandLineOption m_atOnceOption { QStringLiteral("at-once"),
        QStringLiteral("At most N requests at a time to any one host (default 1)."), QStringLiteral("N"),
        QStringLiteral("1") };
    const QCommandLineOption m_maxWaitOption { QStringLiteral("max-wait"),
        QStringLiteral("A site asking to wait longer than this (Retry-After) fails the request instead: 90s, 30m,\n"
                       "12h, 2d or seconds (default 120)."),
        QStringLiteral("time"), QStringLiteral("120") };

    const YearsOptions m_yearsOptions;

    const QCommandLineOption m_otherSuffixesOption { QStringLiteral("other-suffixes"),
        QStringLiteral("Ask DNS whether each name's label is taken under these suffixes, comma-separated, or\n"
                       "\"default\" for .com,.net,.cn,.com.cn,.org (the name's own suffix is left out)."),
        QStringLiteral("list") };
    const QCommandLineOption m_dnsRateOption { QStringLiteral("dns-rate"),
        QStringLiteral("At most R DNS queries a second, retries included (default 20)."), QStringLiteral("R"),
        QStringLiteral("20") };
    const QCommandLineOption m_dnsAtOnceOption { QStringLiteral("dns-at-once"),
        QStringLiteral("At most N DNS queries waiting for their answers at a time (default 4)."), QStringLiteral("N"),
        QStringLiteral("4") };

    BatchOptions m_options;
    YearsRange m_years;
    OtherSuffixOptions m_elsewhereOptions;
    std::unique_ptr<OtherSuffixCheck> m_elsewhere;
    QHash<QString, QStringList> m_lookupRowOf; // looked up, its other suffixes not all answered yet
    QHash<QString, ElsewhereResult> m_elsewhereOf; // answered, its lookup not in yet
    bool m_lookupsDone = false;
    std::unique_ptr<PageFetcher> m_fetcher; // made when the command starts, when there is an application
    std::unique_ptr<BatchLookup> m_batch; // goes before the fetcher
    QHash<QString, qsizetype> m_indexOf;
    QList<std::optional<QStringList>> m_rows; // finished and not written yet
    qsizetype m_written = 0;
    int m_done = 0;
    int m_total = 0;
    int m_failed = 0;
    int m_fromHistory = 0;
    int m_skipped = 0;
    int m_leftOut = 0; // by --min-years and --max-years
    QString m_waitingFor;
    QElapsedTimer m_waitClock;
    qint64 m_waitMs = 0;
    QTimer m_ticker;
};

} // namespace

std::unique_ptr<Command> makeLookupCommand()
{
    return std::make_unique<LookupCommand>();
}
