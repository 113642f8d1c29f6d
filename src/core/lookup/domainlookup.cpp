#include "core/lookup/domainlookup.h"

#include "core/net/backgroundread.h"
#include "core/text/textops.h"
#include "core/text/urls.h"

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
    record.backorderRead = record.values.isBackorderPage;
    if (!result.isPage())
        record.backorderFailure = failureOf(result);
    else if (!record.backorderRead)
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

QString icpFilingCaption(const LookupRecord &record, LookupTrigger trigger)
{
    switch (record.filing) {
    case IcpFiling::Unknown:
        // No answer is not a "no": a buyer must not take a failed lookup for an unfiled site.
        return QStringLiteral("是否备案：查询失败");
    case IcpFiling::NotFiled:
        return QStringLiteral("是否备案：未备案");
    case IcpFiling::Filed:
        // Shown in a one-line label: a number with line breaks in it is shown on one line.
        return (trigger == LookupTrigger::Menu ? QStringLiteral("是否备案：已备案 ") : QStringLiteral("是否备案："))
            + TextOps::oneLine(record.licence);
    }
    return QString();
}

DomainLookup::DomainLookup(PageFetcher &fetcher, const AppConfig &config, QObject *parent)
    : QObject(parent)
    , m_fetcher(fetcher)
    , m_config(config)
{ }

void DomainLookup::start(const QString &domain, LookupTrigger trigger)
{
    delete m_fetch;
    ++m_lookupNumber;
    m_trigger = trigger;
    m_record = LookupRecord();
    m_record.domain = domain;
    m_record.time = QDateTime::currentDateTimeUtc();
    emit statusChanged(QStringLiteral("正在进行查询 .."));
    m_fetch = m_fetcher.get(backorderPageRequest(m_config, domain, trigger), this,
                            [this](const FetchResult &result) { backorderFetched(result); });
}

void DomainLookup::backorderFetched(const FetchResult &result)
{
    m_fetch = nullptr;
    readAfterFetch(
        this, result.body.size(),
        [result, record = m_record]() mutable {
            const bool pageCame = readBackorderAnswer(result, record);
            return std::make_pair(pageCame, record);
        },
        [this, lookup = m_lookupNumber](const std::pair<bool, LookupRecord> &read) {
            // A lookup that a newer one overtook writes nothing more.
            if (lookup != m_lookupNumber)
                return;
            m_record = read.second;
            // The double-click keeps what the area showed when no page came; the menu shows the bare
            // captions then.
            if (m_trigger == LookupTrigger::Menu || read.first)
                emit backorderShown(m_record.values);
            m_fetch = m_fetcher.get(icpPageRequest(m_config, m_record.domain), this,
                                    [this](const FetchResult &icpResult) { icpFetched(icpResult); });
        });
}

void DomainLookup::icpFetched(const FetchResult &result)
{
    m_fetch = nullptr;
    readAfterFetch(
        this, result.body.size(),
        [result, record = m_record]() mutable {
            readIcpAnswer(result, record);
            return record;
        },
        [this, lookup = m_lookupNumber](const LookupRecord &record) {
            if (lookup == m_lookupNumber)
                icpRead(record);
        });
}

void DomainLookup::icpRead(const LookupRecord &record)
{
    m_record = record;
    emit icpFilingShown(icpFilingCaption(m_record, m_trigger));
    emit statusChanged(m_record.backorderRead ? QStringLiteral("查询完毕 ..")
                                              : QStringLiteral("查询失败,请稍后再试 .."));
    emit finished(m_record);
}
