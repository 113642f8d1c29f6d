// watch add|list|remove|show: the watches kept in the history, each a named filter that every recorded
// collection run tests the names it saw first against.
#include "cli/command.h"
#include "cli/progress.h"
#include "core/store/historystore.h"
#include "core/store/historywriter.h"

#include <QCommandLineParser>

namespace {

const QString Prefix = QStringLiteral("vexlon-collector watch: ");

class WatchCommand : public Command
{
public:
    enum class Action { Add, List, Remove, Show };

    QString name() const override { return QStringLiteral("watch"); }
    QString summary() const override
    {
        return QStringLiteral(
            "Keeps watches: named filters that every recorded collection run (the window's, collect's, the\n"
            "schedule's) tests the names it saw for the first time against. After a run with new matches,\n"
            "each such watch is told on the desktop and to its webhook, once.\n"
            "  watch add NAME [filter options] [--webhook URL [--webhook-format FORMAT]]\n"
            "  watch list\n"
            "  watch remove NAME\n"
            "  watch show NAME [--days N | --since DATE]   its matches, newest first\n"
            "Exit codes: 0 done, 2 bad usage, 3 the history cannot be used.");
    }
    QString argumentsSyntax() const override { return QStringLiteral("add|list|remove|show [NAME]"); }
    HistoryUse historyUse() const override { return HistoryUse::Always; }
    bool rowsComeOverTime() const override { return false; }
    bool namesOnly() const override { return m_action == Action::Show; }
    bool writesHistory() const override { return m_action == Action::Add || m_action == Action::Remove; }

    void addOptions(QCommandLineParser &parser) override
    {
        parser.addOptions(m_yearsOptions.options() + m_sinceOptions.options() << m_webhookOption << m_formatOption);
        parser.addPositionalArgument(QStringLiteral("ACTION"), QStringLiteral("add, list, remove or show."));
        parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The watch's name."));
    }

    bool readOptions(const QCommandLineParser &parser, QString *error) override
    {
        const QStringList arguments = parser.positionalArguments();
        static const QStringList Actions { QStringLiteral("add"), QStringLiteral("list"), QStringLiteral("remove"),
            QStringLiteral("show") };
        const qsizetype action = Actions.indexOf(arguments.value(0));
        if (action < 0)
            return fail(error, arguments.isEmpty() ? QStringLiteral("no action: add, list, remove or show")
                                                   : QStringLiteral("\"%1\" is none of add, list, remove, show")
                                                         .arg(arguments.constFirst()));
        m_action = Action(action);
        const qsizetype wanted = m_action == Action::List ? 1 : 2;
        if (arguments.size() < wanted)
            return fail(error, QStringLiteral("watch %1: which watch? Give its name").arg(arguments.constFirst()));
        if (arguments.size() > wanted)
            return fail(error, QStringLiteral("unexpected argument: %1").arg(arguments.value(wanted)));
        m_watch.name = arguments.value(1);
        if (m_action == Action::Add && !nameIsGood(m_watch.name, error))
            return false;

        const bool adding = m_action == Action::Add;
        const QList<QCommandLineOption> addOptions = m_yearsOptions.options() << m_webhookOption << m_formatOption;
        for (const QCommandLineOption &option : addOptions) {
            if (!adding && parser.isSet(option))
                return fail(error, QStringLiteral("--%1 is for watch add").arg(option.names().constFirst()));
        }
        for (const QCommandLineOption &option : m_sinceOptions.options()) {
            if (m_action != Action::Show && parser.isSet(option))
                return fail(error, QStringLiteral("--%1 is for watch show").arg(option.names().constFirst()));
        }
        if (!m_yearsOptions.read(parser, &m_watch.filter.age, error) || !m_sinceOptions.read(parser, &m_since, error))
            return false;
        m_watch.filter.names = m_settings.filter;
        if (adding && m_watch.filter.isEmpty())
            return fail(error, QStringLiteral("a watch without filter options would match every name"));
        if (parser.isSet(m_webhookOption)) {
            m_watch.webhook = QUrl(parser.value(m_webhookOption), QUrl::StrictMode);
            const QString fault = webhookAddressFault(m_watch.webhook);
            if (!fault.isEmpty())
                return fail(error, QStringLiteral("--webhook: \"%1\": %2").arg(parser.value(m_webhookOption), fault));
        }
        if (parser.isSet(m_formatOption)) {
            if (!parser.isSet(m_webhookOption))
                return fail(error, QStringLiteral("--webhook-format without --webhook"));
            const std::optional<WebhookFormat> format = webhookFormatFromText(parser.value(m_formatOption));
            if (!format)
                return fail(error, QStringLiteral("--webhook-format: \"%1\" is none of generic, dingtalk, feishu, wecom")
                                       .arg(parser.value(m_formatOption)));
            m_watch.format = *format;
        }
        return true;
    }

    QList<Column> columns() const override
    {
        if (m_action == Action::Show)
            return { { QStringLiteral("domain") }, { QStringLiteral("matched") }, tagsColumn() };
        return { { QStringLiteral("name") }, { QStringLiteral("filter"), false, true }, { QStringLiteral("webhook") },
            { QStringLiteral("webhook_format") }, { QStringLiteral("created") },
            { QStringLiteral("matches_today"), true } };
    }

    void start() override
    {
        switch (m_action) {
        case Action::Add:
            return change(m_writer->addWatch(m_watch));
        case Action::Remove:
            return change(m_writer->removeWatch(m_watch.name));
        case Action::List:
            return list();
        case Action::Show:
            return show();
        }
    }

protected:
    void stop() override { }

private:
    static bool nameIsGood(const QString &name, QString *error)
    {
        switch (watchNameFault(name)) {
        case WatchNameFault::Empty:
            return fail(error, QStringLiteral("a watch's name must not be empty"));
        case WatchNameFault::TooLong:
            return fail(error, QStringLiteral("a watch's name is at most %1 characters; \"%2\" has %3")
                                   .arg(LongestWatchName)
                                   .arg(name)
                                   .arg(name.size()));
        case WatchNameFault::None:
            break;
        }
        return true;
    }

    bool historyUsable()
    {
        if (m_history->lastError().isEmpty())
            return true;
        m_progress->warn(Prefix + QStringLiteral("the history cannot be used: ") + m_history->lastError());
        finish(ExitCode::HistoryUnusable);
        return false;
    }

    // The writer answers; the command ends with what it said.
    void change(int request)
    {
        connect(m_writer, &HistoryWriter::watchChanged, this,
            [this, request](int answered, WatchChange outcome, const QString &reason) {
                if (answered != request)
                    return;
                switch (outcome) {
                case WatchChange::Done:
                    m_progress->summary(m_action == Action::Add
                            ? QStringLiteral("watch: \"%1\" kept; recorded runs test the names they see first against it")
                                  .arg(m_watch.name)
                            : QStringLiteral("watch: \"%1\" removed").arg(m_watch.name));
                    return finish(ExitCode::Done);
                case WatchChange::NameTaken:
                    m_progress->warn(Prefix + QStringLiteral("there is a watch named \"%1\" already").arg(m_watch.name));
                    return finish(ExitCode::BadUsage);
                case WatchChange::NoSuchWatch:
                    m_progress->warn(Prefix + QStringLiteral("there is no watch named \"%1\"").arg(m_watch.name));
                    return finish(ExitCode::BadUsage);
                case WatchChange::Failed:
                    m_progress->warn(Prefix + QStringLiteral("the history cannot be used: ") + reason);
                    return finish(ExitCode::HistoryUnusable);
                }
            });
    }

    void list()
    {
        const QList<Watch> watches = m_history->watches();
        const QHash<QString, int> today = m_history->matchCountsSince(QDate::currentDate().startOfDay());
        if (!historyUsable())
            return;
        for (const Watch &watch : watches) {
            if (!writeRow({ watch.name, listValue(filterArguments(watch.filter)), watch.webhook.toString(),
                    watch.webhook.isEmpty() ? QString() : webhookFormatText(watch.format), rowTime(watch.created),
                    QString::number(today.value(watch.name)) }))
                break;
        }
        m_out->flush();
        m_progress->summary(watches.size() == 1 ? QStringLiteral("watch: 1 watch")
                                                : QStringLiteral("watch: %1 watches").arg(watches.size()));
        finish(ExitCode::Done);
    }

    void show()
    {
        const std::optional<Watch> watch = m_history->watchNamed(m_watch.name);
        if (!historyUsable())
            return;
        if (!watch) {
            m_progress->warn(Prefix + QStringLiteral("there is no watch named \"%1\"").arg(m_watch.name));
            return finish(ExitCode::BadUsage);
        }
        const QList<HistoryStore::WatchMatch> matches = m_history->matchesOf(watch->name, m_since);
        if (!historyUsable())
            return;
        int shown = 0;
        for (const HistoryStore::WatchMatch &match : matches) {
            if (!passesFilter(match.domain))
                continue;
            ++shown;
            if (!writeRow({ match.domain, rowTime(match.matched), tagsOf(match.domain) }))
                break;
        }
        m_out->flush();
        m_progress->summary(QStringLiteral("watch \"%1\": %2 %3").arg(watch->name).arg(shown).arg(shown == 1 ? QStringLiteral("match") : QStringLiteral("matches")));
        finish(ExitCode::Done);
    }

    const YearsOptions m_yearsOptions;
    const SinceOptions m_sinceOptions { QStringLiteral("Matches"), std::nullopt };
    const QCommandLineOption m_webhookOption { QStringLiteral("webhook"),
        QStringLiteral("watch add: POST what a run found to this http(s) URL."), QStringLiteral("url") };
    const QCommandLineOption m_formatOption { QStringLiteral("webhook-format"),
        QStringLiteral("watch add: the webhook's body: generic (the default; JSON of the names and their tags),\n"
                       "dingtalk, feishu or wecom (the chat robot's text message)."),
        QStringLiteral("format") };
    Action m_action = Action::List;
    Watch m_watch;
    QDateTime m_since;
};

} // namespace

std::unique_ptr<Command> makeWatchCommand()
{
    return std::make_unique<WatchCommand>();
}
