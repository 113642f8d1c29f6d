#include "core/collect/collectionrun.h"

#include "core/collect/resultspage.h"
#include "core/net/backgroundread.h"
#include "core/text/urls.h"

#include <QTimer>

#include <algorithm>

CollectionRun::CollectionRun(PageFetcher &fetcher, const AppConfig &config, QObject *parent)
    : QObject(parent)
    , m_fetcher(fetcher)
    , m_config(config)
{ }

void CollectionRun::setPagesInFlight(int pages)
{
    m_pagesInFlight = std::max(1, pages);
}

void CollectionRun::start(int firstPage, int lastPage)
{
    abandonPages();
    ++m_runNumber;
    m_nextPage = firstPage;
    m_lastPage = lastPage;
    m_failed = 0;
    m_running = true;
    emit started(firstPage, lastPage);
    QTimer::singleShot(0, this, &CollectionRun::requestMorePages);
}

void CollectionRun::setLastPage(int lastPage)
{
    m_lastPage = lastPage;
    if (m_running)
        requestMorePages();
}

void CollectionRun::stop()
{
    if (!m_running)
        return;
    m_running = false;
    ++m_runNumber;
    abandonPages();
    emit stopped();
}

void CollectionRun::requestMorePages()
{
    const auto inFlight = [this] {
        return std::count_if(m_pages.begin(), m_pages.end(), [](const Page &page) { return !page.arrived; });
    };
    while (m_running && m_nextPage <= m_lastPage && inFlight() < m_pagesInFlight
           && int(m_pages.size()) < MaxPagesOutstanding) {
        const int number = m_nextPage++;
        emit pageRequested(number);
        const QUrl url = Urls::resultsPage(m_config.marketUrl, QString::number(number));
        Page page;
        page.number = number;
        page.fetch = m_fetcher.get(m_config.request(url, true), this,
                                   [this, number](const FetchResult &result) { pageFetched(number, result); });
        m_pages.push_back(std::move(page));
    }
    if (m_running && m_pages.empty() && m_nextPage > m_lastPage) {
        m_running = false;
        emit finished(m_failed);
    }
}

namespace {

struct ReadPage
{
    std::optional<QStringList> names;
    QString failure;
};

// No complete response, an empty one, or one with an error status is a page that could not be
// fetched; a page without the results marker is no results page.
ReadPage readFetchedPage(const FetchResult &result)
{
    if (!result.isPage())
        return { std::nullopt, result.hasResponse() ? QStringLiteral("HTTP %1").arg(result.httpStatus) : result.errorText };
    const ResultsPage read = readResultsPage(decodeDeclaredCharset(result));
    if (!read.hasResultsMarker)
        return { std::nullopt, QStringLiteral("no results on the page") };
    return { read.names, QString() };
}

} // namespace

void CollectionRun::pageFetched(int number, const FetchResult &result)
{
    // The page counts as in flight until it has been read: no more pages than that are held at once.
    readAfterFetch(this, result.body.size(), [result] { return readFetchedPage(result); },
                     [this, number, run = m_runNumber](const ReadPage &read) {
                         const auto page = std::find_if(m_pages.begin(), m_pages.end(),
                                                        [number](const Page &p) { return p.number == number; });
                         // A page of a run that was stopped, or of an earlier run, is not this run's.
                         if (run != m_runNumber || page == m_pages.end())
                             return;
                         page->arrived = true;
                         page->names = read.names;
                         page->failure = read.failure;
                         handOnArrivedPages();
                         requestMorePages();
                     });
}

void CollectionRun::handOnArrivedPages()
{
    while (m_running && !m_pages.empty() && m_pages.front().arrived) {
        const Page page = std::move(m_pages.front());
        m_pages.pop_front();
        if (page.names) {
            emit namesArrived(page.number, *page.names);
        } else {
            ++m_failed;
            emit pageFailed(page.number, page.failure);
        }
    }
}

void CollectionRun::abandonPages()
{
    std::deque<Page> pages;
    pages.swap(m_pages);
    for (const Page &page : pages)
        delete page.fetch;
}
