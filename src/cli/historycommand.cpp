// history [--days N | --since DATE] [--new]: the names runs saw in that time, each once, oldest first
// seen first; --new keeps those no run saw before it.
#include "cli/command.h"
#include "cli/progress.h"
#include "core/store/historystore.h"

#include <QCommandLineParser>
#include <QTimeZone>

namespace {

// "YYYY-MM-DD" is that day's local midnight; a date-time without an offset is local time too.
QDateTime sinceOf(const QString &text)
{
    const QString trimmed = text.trimmed();
    const QDate day = QDate::fromString(trimmed, Qt::ISODate);
    if (day.isValid() && trimmed.size() == 10)
        return day.startOfDay();
    return QDateTime::fromString(trimmed, Qt::ISODateWithMs);
}

class HistoryCommand : public Command
{
public:
    QString name() const override { return QStringLiteral("history"); }
    QString summary() const override
    {
        return QStringLiteral("Writes the names the recorded runs saw in the last --days days (default 1) or\n"
                              "since --since, each once, oldest first seen first; with --new only those no run\n"
                              "saw before. Exit codes: 0 done, 2 bad usage, 3 the history cannot be used.");
    }
    HistoryUse historyUse() const override { return HistoryUse::Always; }
    bool rowsComeOverTime() const override { return false; }
    bool writesHistory() const override { return false; }

    void addOptions(QCommandLineParser &parser) override
    {
        parser.addOptions({ m_daysOption, m_sinceOption, m_newOption });
    }

    bool readOptions(const QCommandLineParser &parser, QString *error) override
    {
        if (!parser.positionalArguments().isEmpty())
            return fail(error, QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().constFirst()));
        if (parser.isSet(m_daysOption) && parser.isSet(m_sinceOption))
            return fail(error, QStringLiteral("--days and --since both say where the time begins: give one"));
        m_newOnly = parser.isSet(m_newOption);
        if (parser.isSet(m_sinceOption)) {
            m_since = sinceOf(parser.value(m_sinceOption));
            if (!m_since.isValid())
                return fail(error, QStringLiteral("--since: \"%1\" is neither a date YYYY-MM-DD nor an ISO date-time")
                    .arg(parser.value(m_sinceOption)));
            return true;
        }
        bool ok = true;
        const int days = parser.isSet(m_daysOption) ? parser.value(m_daysOption).toInt(&ok) : 1;
        constexpr int MostDays = 100 * 366;
        if (!ok || days < 1 || days > MostDays)
            return fail(error, QStringLiteral("--days: \"%1\" is no number of days from 1 to %2")
                .arg(parser.value(m_daysOption))
                .arg(MostDays));
        m_since = QDateTime::currentDateTimeUtc().addSecs(-qint64(days) * 24 * 3600);
        return true;
    }

    QList<Column> columns() const override
    {
        return { { QStringLiteral("domain") }, { QStringLiteral("first_seen") }, { QStringLiteral("last_seen") },
            tagsColumn() };
    }

    void start() override
    {
        const QList<HistoryStore::SeenName> names = m_history->namesSeenSince(m_since, m_newOnly);
        if (!m_history->lastError().isEmpty()) {
            m_progress->warn(
                QStringLiteral("vexlon-collector history: the history cannot be used: ") + m_history->lastError());
            finish(ExitCode::HistoryUnusable);
            return;
        }
        int shown = 0;
        for (const HistoryStore::SeenName &name : names) {
            if (!passesFilter(name.domain))
                continue;
            ++shown;
            if (!writeRow({ name.domain, rowTime(name.firstSeen), rowTime(name.lastSeen), tagsOf(name.domain) }))
                break;
        }
        m_out->flush();
        const QString seen = counted(names.size(), m_newOnly ? QStringLiteral("new name") : QStringLiteral("name"));
        m_progress->summary(m_settings.filter.isEmpty()
                ? QStringLiteral("history: %1 seen since %2").arg(seen, rowTime(m_since))
                : QStringLiteral("history: %1 of %2 seen since %3 through the filter")
                      .arg(shown)
                      .arg(seen, rowTime(m_since)));
        finish(ExitCode::Done);
    }

protected:
    void stop() override { }

private:
    const QCommandLineOption m_daysOption { QStringLiteral("days"),
        QStringLiteral("Names seen in the last N days (N times 24 hours; default 1)."), QStringLiteral("N") };
    const QCommandLineOption m_sinceOption { QStringLiteral("since"),
        QStringLiteral("Names seen since this day (YYYY-MM-DD, from local midnight) or ISO date-time."),
        QStringLiteral("date") };
    const QCommandLineOption m_newOption { QStringLiteral("new"),
        QStringLiteral("Only names no run saw before that time.") };
    QDateTime m_since;
    bool m_newOnly = false;
};

} // namespace

std::unique_ptr<Command> makeHistoryCommand()
{
    return std::make_unique<HistoryCommand>();
}
