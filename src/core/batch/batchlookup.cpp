#include "core/batch/batchlookup.h"

#include "core/store/historystore.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

// Answers taken from the history before the event loop gets a turn: a long list of known names
// neither stalls the caller nor waits for anything.
constexpr int HistoryAnswersPerTurn = 256;

} // namespace

bool isFailedLookup(const LookupRecord &record)
{
    return !record.backorderRead || record.filing == IcpFiling::Unknown;
}

struct BatchLookup::Private
{
    BatchLookup *q;
    const AppConfig config;
    HistoryStore *store;
    const BatchOptions options;
    PoliteFetcher *polite;

    QStringList domains;
    int next = 0; // the first domain not begun
    int done = 0;
    int failed = 0;
    int underWay = 0; // begun and not finished
    int askingMarket = 0; // in their first step, the backorder page
    bool running = false;
    bool paused = false;
    bool storeFailed = false;

    Private(BatchLookup *owner, PageFetcher &fetcher, const AppConfig &appConfig, HistoryStore *history,
        const BatchOptions &batchOptions)
        : q(owner)
        , config(appConfig)
        , store(history)
        , options(batchOptions)
        , polite(new PoliteFetcher(fetcher, batchOptions.politeness, owner))
    { }

    // The marketplace gets the next domain while the ICP site answers the one before; more at once
    // only when the sites take more at once. That bounds what waits in memory, whatever the list.
    int mostAskingMarket() const { return std::max(1, options.politeness.requestsAtOnce); }
    int mostUnderWay() const { return 2 * mostAskingMarket(); }

    std::optional<LookupRecord> recentAnswer(const QString &domain) const
    {
        if (!store || options.refresh || options.maxAgeSeconds <= 0)
            return std::nullopt;
        std::optional<LookupRecord> record = store->latestAnsweredLookup(domain);
        if (record && record->time.isValid()
            && record->time.secsTo(QDateTime::currentDateTimeUtc()) < options.maxAgeSeconds)
            return record;
        return std::nullopt;
    }

    void scheduleAdvance()
    {
        QTimer::singleShot(0, q, [this] { advance(); });
    }

    void advance()
    {
        QPointer<BatchLookup> alive(q);
        int fromHistory = 0;
        while (running && !paused && next < domains.size() && askingMarket < mostAskingMarket()
            && underWay < mostUnderWay()) {
            const QString domain = domains.at(next++);
            if (std::optional<LookupRecord> record = recentAnswer(domain)) {
                complete(*record, true);
                if (!alive)
                    return;
                if (++fromHistory == HistoryAnswersPerTurn) {
                    scheduleAdvance();
                    return;
                }
                continue;
            }
            begin(domain);
        }
        if (running && next == domains.size() && underWay == 0) {
            running = false;
            emit q->finished(done, failed, false);
        }
    }

    void begin(const QString &domain)
    {
        ++underWay;
        ++askingMarket;
        auto record = std::make_shared<LookupRecord>();
        record->domain = domain;
        record->time = QDateTime::currentDateTimeUtc();
        polite->get(backorderPageRequest(config, domain, LookupTrigger::DoubleClick), q,
            [this, record](const FetchResult &result, int) {
                --askingMarket;
                readBackorderAnswer(result, *record);
                polite->get(
                    icpPageRequest(config, record->domain), q, [this, record](const FetchResult &icpResult, int) {
                        readIcpAnswer(icpResult, *record);
                        --underWay;
                        QPointer<BatchLookup> alive(q);
                        complete(*record, false);
                        if (alive)
                            advance();
                    });
                advance();
            });
    }

    void complete(const LookupRecord &record, bool fromHistory)
    {
        if (!fromHistory && store && !storeFailed && !store->recordLookup(record)) {
            storeFailed = true;
            std::fprintf(stderr, "The history cannot record lookups: %s\n", qPrintable(store->lastError()));
        }
        ++done;
        if (isFailedLookup(record))
            ++failed;
        QPointer<BatchLookup> alive(q);
        emit q->lookedUp(record, fromHistory);
        if (alive && running)
            emit q->progress(done, static_cast<int>(domains.size()), failed);
    }
};

BatchLookup::BatchLookup(
    PageFetcher &fetcher, const AppConfig &config, HistoryStore *store, const BatchOptions &options, QObject *parent)
    : QObject(parent)
    , d(new Private(this, fetcher, config, store, options))
{
    connect(d->polite, &PoliteFetcher::waiting, this, &BatchLookup::waiting);
}

BatchLookup::~BatchLookup()
{
    d->polite->cancelAll();
    delete d;
}

void BatchLookup::start(const QStringList &domains)
{
    if (d->running)
        cancel();
    d->domains = domains;
    d->next = d->done = d->failed = d->underWay = d->askingMarket = 0;
    // A batch paused before it was cancelled does not leave the next one paused.
    d->paused = false;
    d->polite->resume();
    d->running = true;
    d->scheduleAdvance();
}

void BatchLookup::pause()
{
    d->paused = true;
    d->polite->pause();
}

void BatchLookup::resume()
{
    d->paused = false;
    d->polite->resume();
    d->scheduleAdvance();
}

bool BatchLookup::isPaused() const
{
    return d->paused;
}

void BatchLookup::cancel()
{
    if (!d->running)
        return;
    d->polite->cancelAll();
    d->running = false;
    d->underWay = d->askingMarket = 0;
    emit finished(d->done, d->failed, true);
}
