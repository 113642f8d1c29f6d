#include "core/lookup/domainlookup.h"

#include "core/net/backgroundread.h"
#include "core/text/urls.h"

#include <memory>

namespace {

QString failureOf(const FetchResult &result)
{
    return result.hasResponse() ? QStringLiteral("HTTP %1").arg(result.httpStatus) : result.errorText;
}

} // namespace

PageRequest backorderPageRequest(const AppConfig &config, const QString &domain, LookupTrigger trigger)
{
    PageRequest request = config.request(Urls::backorderPage(config.marketUrl, domain), false);
    if (trigger == LookupTrigger::Menu)
        request.timeoutMs = config.menuLookupTimeoutMs;
    return request;
}

PageRequest icpPageRequest(const AppConfig &config, const QString &domain)
{
    return config.request(Urls::icpPage(config.icpUrl, domain), true);
}

bool readBackorderAnswer(const FetchResult &result, LookupRecord &record)
{
    const QString page = result.isPage() ? decodeGbk(result.body) : QString();
    record.values = readBackorderPage(page);
    record.whois = readWhoisFacts(record.values.whois);
    if (!result.isPage())
        record.backorderFailure = failureOf(result);
    else if (!record.backorderRead())
        record.backorderFailure = QStringLiteral("not a backorder page");
    return !page.isEmpty();
}

void readIcpAnswer(const FetchResult &result, LookupRecord &record)
{
    const IcpPage page = result.isPage() ? readIcpPage(decodeDeclaredCharset(result)) : IcpPage();
    record.filing = page.filing;
    record.licence = page.licence;
    if (!result.isPage())
        record.icpFailure = failureOf(result);
    else if (page.filing == IcpFiling::Unknown)
        record.icpFailure = QStringLiteral("not an ICP lookup page");
}

void lookUp(const SendRequest &send, const AppConfig &config, const QString &domain, LookupTrigger trigger,
            QObject *context, const LookupSteps &steps)
{
    LookupRecord record;
    record.domain = domain;
    record.time = QDateTime::currentDateTimeUtc();
    send(backorderPageRequest(config, domain, trigger), context,
         [send, config, context, steps, record](const FetchResult &result) {
             readAfterFetch(
                 context, result.body.size(),
                 [result, record]() mutable {
                     const bool pageCame = readBackorderAnswer(result, record);
                     return std::make_pair(pageCame, record);
                 },
                 [send, config, context, steps](const std::pair<bool, LookupRecord> &read) {
                     // Asked for before the caller hears of the page: a batch that begins its next
                     // lookup then queues that one behind this.
                     send(icpPageRequest(config, read.second.domain), context,
                          [context, steps, record = read.second](const FetchResult &icpResult) {
                              readAfterFetch(
                                  context, icpResult.body.size(),
                                  [icpResult, record]() mutable {
                                      readIcpAnswer(icpResult, record);
                                      return record;
                                  },
                                  [steps](const LookupRecord &done) { steps.finished(done); });
                          });
                     if (steps.backorderRead)
                         steps.backorderRead(read.second, read.first);
                 });
         });
}

DomainLookup::DomainLookup(PageFetcher &fetcher, const AppConfig &config, QObject *parent)
    : QObject(parent)
    , m_fetcher(fetcher)
    , m_config(config)
{ }

void DomainLookup::start(const QString &domain, LookupTrigger trigger)
{
    // Its requests and reads go with it; it may be the caller of this very start.
    if (m_current)
        m_current->deleteLater();
    QObject *context = new QObject(this);
    m_current = context;
    emit started(domain);
    const SendRequest send = [this](const PageRequest &request, QObject *owner,
                                    std::function<void(const FetchResult &)> onFinished) {
        m_fetcher.get(request, owner, std::move(onFinished));
    };
    LookupSteps steps;
    steps.backorderRead = [this, context, trigger](const LookupRecord &record, bool pageCame) {
        // The double-click keeps what the area showed when no page came; the menu shows the bare
        // captions then.
        if (context == m_current && (trigger == LookupTrigger::Menu || pageCame))
            emit backorderShown(record.values);
    };
    steps.finished = [this, context, trigger](const LookupRecord &record) {
        if (context != m_current)
            return;
        m_current = nullptr;
        context->deleteLater();
        emit finished(record, trigger);
    };
    lookUp(send, m_config, domain, trigger, context, steps);
}
