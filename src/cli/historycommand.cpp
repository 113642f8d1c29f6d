// history [--days N | --since DATE] [--new]: the names runs saw in that time, each once, oldest first
// seen first; --new keeps those no run saw before it.
#include "cli/command.h"
#include "cli/progress.h"
#include "core/store/historystore.h"

#include <QCommandLineParser>

namespace {

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
        parser.addOptions(m_sinceOptions.options() << m_newOption);
    }

    bool readOptions(const QCommandLineParser &parser, QString *error) override
    {
        if (!parser.positionalArguments().isEmpty())
            return fail(error, QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().constFirst()));
        m_newOnly = parser.isSet(m_newOption);
        return m_sinceOptions.read(parser, &m_since, error);
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
    const SinceOptions m_sinceOptions { QStringLiteral("Names seen"), 1 };
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
