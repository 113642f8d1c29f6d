// Looking up a list of domains: the window's lookup (backorder page, then ICP page) for each, without
// the window, politely, and from the history instead where a recent answer is there.
#pragma once

#include "core/batch/politefetcher.h"
#include "core/lookup/domainlookup.h"

#include <QObject>
#include <QStringList>

class HistoryStore;

struct BatchOptions
{
    Politeness politeness;
    // An answer of the history younger than this is used without asking again.
    qint64 maxAgeSeconds = 12 * 60 * 60;
    bool refresh = false; // ask again whatever the history holds
};

// Failed: the backorder page could not be read, or the ICP filing is unknown.
bool isFailedLookup(const LookupRecord &record);

class BatchLookup : public QObject
{
    Q_OBJECT
public:
    // store may be null: nothing is read from or written to a history then.
    BatchLookup(PageFetcher &fetcher, const AppConfig &config, HistoryStore *store, const BatchOptions &options,
                QObject *parent = nullptr);
    ~BatchLookup() override;

    void start(const QStringList &domains);
    void pause();
    void resume();
    bool isPaused() const;
    // Lookups under way are abandoned; finished() follows with cancelled set.
    void cancel();

signals:
    // One per domain, in the order they complete; fromHistory when no request was made.
    void lookedUp(const LookupRecord &record, bool fromHistory);
    void progress(int done, int total, int failed);
    void waiting(const QString &host, qint64 milliseconds);
    void finished(int done, int failed, bool cancelled);

private:
    struct Private;
    Private *d;
};
