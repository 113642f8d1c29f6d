#include "core/update/updatecheck.h"

#include "core/net/backgroundread.h"
#include "core/text/urls.h"

namespace {

// An error page is no version file, even one that holds an entry (a stale copy, a broken back end):
// the check failed.
VersionVerdict judgeFetchedVersionFile(const FetchResult &result)
{
    const QString body = result.isPage() ? decodeDeclaredCharset(result) : QString();
    return judgeVersionFile(body, QLatin1String(ProgramVersion));
}

} // namespace

UpdateCheck::UpdateCheck(PageFetcher &fetcher, const AppConfig &config, QObject *parent)
    : QObject(parent)
    , m_fetcher(fetcher)
    , m_config(config)
{ }

void UpdateCheck::start()
{
    delete m_fetch;
    m_fetch = m_fetcher.get(m_config.request(Urls::versionFile(m_config.updateUrl), true), this,
                            [this](const FetchResult &result) {
                                readAfterFetch(this, result.body.size(), [result] { return judgeFetchedVersionFile(result); },
                                                 [this](const VersionVerdict &verdict) { emit finished(verdict); });
                            });
}
