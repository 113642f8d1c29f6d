// The single-page collection: one results page, whose number is the page-count box's text as
// typed, read and handed on without emptying anything first.
#pragma once

#include "core/collect/resultspage.h"
#include "core/config.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

class SinglePageCollection : public QObject
{
    Q_OBJECT
public:
    enum class Outcome {
        Collected,
        FetchFailed, // no page came, or one with an error status
        NoNames, // a page without the results table
    };
    Q_ENUM(Outcome)

    SinglePageCollection(PageFetcher &fetcher, const AppConfig &config, QObject *parent = nullptr);

    bool isRunning() const { return m_reading; }
    void start(const QString &pageNumberText);

signals:
    void started(const QString &pageNumberText);
    void namesArrived(const QStringList &names);
    void finished(SinglePageCollection::Outcome outcome);

private:
    void pageFetched(const FetchResult &result);
    void pageRead(bool fetched, const ResultsPage &page);

    PageFetcher &m_fetcher;
    const AppConfig m_config;
    QPointer<PendingFetch> m_fetch;
    // Counts starts: a page read for an earlier start is dropped.
    int m_collectionNumber = 0;
    bool m_reading = false;
};
