#include "core/collect/singlepagecollection.h"

#include "core/net/backgroundread.h"
#include "core/text/urls.h"

SinglePageCollection::SinglePageCollection(PageFetcher &fetcher, const AppConfig &config, QObject *parent)
    : QObject(parent)
    , m_fetcher(fetcher)
    , m_config(config)
{ }

void SinglePageCollection::start(const QString &pageNumberText)
{
    delete m_fetch;
    ++m_collectionNumber;
    m_reading = true;
    emit started(pageNumberText);
    const QUrl url = Urls::resultsPage(m_config.marketUrl, pageNumberText);
    m_fetch = m_fetcher.get(m_config.request(url, true), this,
                            [this](const FetchResult &result) { pageFetched(result); });
}

namespace {

struct ReadPage
{
    bool fetched = false;
    ResultsPage page;
};

// An error status is a failed fetch, whatever page came with it: a rate-limit page is no empty results
// page, and an error page that looks whole is no answer.
ReadPage readFetchedPage(const FetchResult &result)
{
    const QString text = result.isPage() ? decodeDeclaredCharset(result) : QString();
    return { !text.isEmpty(), readResultsPage(text) };
}

} // namespace

void SinglePageCollection::pageFetched(const FetchResult &result)
{
    readAfterFetch(this, result.body.size(), [result] { return readFetchedPage(result); },
                     [this, collection = m_collectionNumber](const ReadPage &read) {
                         if (collection == m_collectionNumber)
                             pageRead(read.fetched, read.page);
                     });
}

void SinglePageCollection::pageRead(bool fetched, const ResultsPage &page)
{
    m_reading = false;
    if (!fetched) {
        emit finished(Outcome::FetchFailed);
        return;
    }
    if (!page.hasTable) {
        emit finished(Outcome::NoNames);
        return;
    }
    emit namesArrived(page.names);
    emit finished(Outcome::Collected);
}
