// collect --pages N|A-B: the window's collection run without the window, names on stdout in page
// order, the run recorded in the history.
#include "cli/command.h"
#include "cli/progress.h"
#include "core/collect/collectionrun.h"
#include "core/collect/pagecount.h"
#include "core/store/historywriter.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace {

constexpr int FailuresTold = 10;

class CollectCommand : public Command
{
public:
    QString name() const override { return QStringLiteral("collect"); }
    QString summary() const override
    {
        return QStringLiteral("Collects the marketplace's results pages, four at a time, and writes their names\n"
                              "in page order. The run is recorded in the history unless --no-history; once it\n"
                              "ends, every watch that matched names it saw first is told to its webhook (and\n"
                              "on the desktop with --notify).\n"
                              "Exit codes: 0 done, 1 some pages or webhooks failed, 2 bad usage, 3 the history\n"
                              "cannot be used, 130 interrupted (the pages finished so far are written).");
    }

    void addOptions(QCommandLineParser &parser) override { parser.addOptions({ m_pagesOption, m_notifyOption }); }
    bool notifiesDesktop() const override { return m_notify; }

    bool readOptions(const QCommandLineParser &parser, QString *error) override
    {
        if (!parser.positionalArguments().isEmpty())
            return fail(error, QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().constFirst()));
        m_notify = parser.isSet(m_notifyOption);
        if (!parser.isSet(m_pagesOption))
            return fail(error, QStringLiteral("--pages is missing: how many pages (N), or which (A-B)?"));
        const QString text = parser.value(m_pagesOption);
        static const QRegularExpression form(QStringLiteral("^\\s*(?:(\\d{1,9})\\s*-\\s*)?(\\d{1,9})\\s*$"));
        const QRegularExpressionMatch match = form.match(text);
        m_first = match.hasMatch() && match.hasCaptured(1) ? match.captured(1).toInt() : 1;
        m_last = match.hasMatch() ? match.captured(2).toInt() : 0;
        if (!match.hasMatch() || m_first < 1 || m_last < m_first || m_last > LastPossiblePage)
            return fail(error, QStringLiteral("--pages: \"%1\" is neither a page count N nor a range A-B of pages from 1 to %2")
                .arg(text)
                .arg(LastPossiblePage));
        return true;
    }

    QList<Column> columns() const override
    {
        return { { QStringLiteral("domain") }, { QStringLiteral("page"), true }, { QStringLiteral("position"), true },
            tagsColumn() };
    }

    void start() override
    {
        if (m_writer)
            m_runId = m_writer->beginRun(m_settings.config.marketUrl, m_first, m_last);
        m_fetcher = std::make_unique<PageFetcher>();
        m_run = std::make_unique<CollectionRun>(*m_fetcher, m_settings.config);
        connect(m_run.get(), &CollectionRun::namesArrived, this, &CollectCommand::namesArrived);
        connect(m_run.get(), &CollectionRun::pageFailed, this, [this](int page, const QString &reason) {
            // A site that is down fails every page: the first few are told, the summary counts them all.
            if (++m_pagesFailed <= FailuresTold)
                m_progress->note(QStringLiteral("page %1 failed: %2").arg(page).arg(reason));
            else if (m_pagesFailed == FailuresTold + 1)
                m_progress->note(QStringLiteral("more pages failed; the summary counts them"));
            showProgress();
        });
        connect(m_run.get(), &CollectionRun::finished, this, [this](int failedPages) {
            endRun(false);
            m_progress->summary(summaryLine());
            finish(failedPages > 0 ? ExitCode::SomeFailed : ExitCode::Done);
        });
        showProgress();
        m_run->start(m_first, m_last);
    }

protected:
    void stop() override
    {
        if (m_run && m_run->isRunning())
            m_run->stop();
        endRun(true);
        m_progress->summary(summaryLine() + QStringLiteral(" · interrupted"));
    }

private:
    void namesArrived(int page, const QStringList &names)
    {
        if (m_runId)
            m_writer->recordPage(*m_runId, page, names);
        ++m_pagesDone;
        m_namesCollected += int(names.size());
        for (qsizetype i = 0; i < names.size(); ++i) {
            if (!passesFilter(names[i]))
                continue;
            ++m_namesShown;
            if (!writeRow({ names[i], QString::number(page), QString::number(i + 1), tagsOf(names[i]) }))
                break;
        }
        showProgress();
    }

    void endRun(bool stopped)
    {
        if (m_runId)
            m_writer->endRun(*std::exchange(m_runId, std::nullopt), m_pagesFailed, stopped);
    }

    void showProgress()
    {
        m_progress->show(QStringLiteral("page %1/%2 · %3 · %4 failed")
                             .arg(m_pagesDone + m_pagesFailed)
                             .arg(m_last - m_first + 1)
                             .arg(counted(m_namesShown, QStringLiteral("name")))
                             .arg(m_pagesFailed));
    }

    QString summaryLine() const
    {
        QString line = QStringLiteral("collect: %1 of %2, %3")
                           .arg(m_pagesDone)
                           .arg(counted(m_last - m_first + 1, QStringLiteral("page")),
                               counted(m_namesCollected, QStringLiteral("name")));
        if (!m_settings.filter.isEmpty())
            line += QStringLiteral(", %1 through the filter").arg(m_namesShown);
        if (m_pagesFailed > 0)
            line += QStringLiteral(" · %1 failed").arg(counted(m_pagesFailed, QStringLiteral("page")));
        return line;
    }

    const QCommandLineOption m_pagesOption { QStringLiteral("pages"),
        QStringLiteral("Pages 1 to N, or pages A to B (\"3-7\")."), QStringLiteral("N|A-B") };
    const QCommandLineOption m_notifyOption { QStringLiteral("notify"),
        QStringLiteral("Show the watches' new matches as desktop notifications when the run ends.") };
    bool m_notify = false;
    int m_first = 1;
    int m_last = 1;
    std::unique_ptr<PageFetcher> m_fetcher; // made when the command starts, when there is an application
    std::unique_ptr<CollectionRun> m_run; // goes before the fetcher
    std::optional<int> m_runId; // as the history writer names it
    int m_pagesDone = 0;
    int m_pagesFailed = 0;
    int m_namesCollected = 0;
    int m_namesShown = 0;
};

} // namespace

std::unique_ptr<Command> makeCollectCommand()
{
    return std::make_unique<CollectCommand>();
}
