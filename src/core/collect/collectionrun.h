// A collection run: the results pages of a range, requested a few at a time, read as they arrive
// and handed on strictly in page order, one page's names as one block.
#pragma once

#include "core/config.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <deque>
#include <optional>

class CollectionRun : public QObject
{
    Q_OBJECT
public:
    // Requests in flight at once: enough to hide the marketplace's latency, few enough not to
    // burden it.
    static constexpr int MaxPagesInFlight = 4;
    // Requested pages not handed on yet, in flight or arrived early: a stalled page cannot make the
    // run request, and keep names, without end.
    static constexpr int MaxPagesOutstanding = 8 * MaxPagesInFlight;

    CollectionRun(PageFetcher &fetcher, const AppConfig &config, QObject *parent = nullptr);

    bool isRunning() const { return m_running; }
    // How many requests may be in flight; 1 fetches page after page (for measurements).
    void setPagesInFlight(int pages);

    // Collects pages firstPage to lastPage. The first requests go out once control is back in the
    // event loop; a run that was going is abandoned first.
    void start(int firstPage, int lastPage);
    // The page count changed during the run: it now ends after lastPage. Pages already requested
    // are still handed on.
    void setLastPage(int lastPage);
    // Abandons the requests in flight: nothing of them is handed on.
    void stop();

signals:
    void started(int firstPage, int lastPage);
    void pageRequested(int page);
    void namesArrived(int page, const QStringList &names);
    // The page could not be fetched, or is no results page; the run goes on without it.
    void pageFailed(int page, const QString &reason);
    // After the last page's names.
    void finished(int failedPages);
    void stopped();

private:
    struct Page
    {
        int number = 0;
        QPointer<PendingFetch> fetch;
        bool arrived = false;
        // Only what was read from the page is kept, never its text.
        std::optional<QStringList> names;
        QString failure;
    };

    void requestMorePages();
    void pageFetched(int number, const FetchResult &result);
    void handOnArrivedPages();
    void abandonPages();

    PageFetcher &m_fetcher;
    const AppConfig m_config;
    std::deque<Page> m_pages; // in page order
    int m_pagesInFlight = MaxPagesInFlight;
    int m_nextPage = 1;
    int m_lastPage = 0;
    int m_failed = 0;
    // Counts starts and stops: a page read after its run was stopped is recognised and dropped.
    int m_runNumber = 0;
    bool m_running = false;
};
