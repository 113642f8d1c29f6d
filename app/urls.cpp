#include "app/urls.h"

namespace Urls {

QByteArray encodePathPart(const QString &text)
{
    return QUrl::toPercentEncoding(text, QByteArrayLiteral("/"));
}

QByteArray encodeQueryValue(const QString &text)
{
    return QUrl::toPercentEncoding(text);
}

QUrl join(const QString &base, const QByteArray &encodedTail)
{
    QByteArray head = QUrl(base).toEncoded();
    while (head.endsWith('/'))
        head.chop(1);
    return QUrl::fromEncoded(head + encodedTail, QUrl::StrictMode);
}

QUrl resultsPage(const QString &marketUrl, const QString &pageNumberText)
{
    return join(marketUrl, QByteArrayLiteral("/search?p=") + encodeQueryValue(pageNumberText));
}

QUrl backorderPage(const QString &marketUrl, const QString &domain)
{
    return join(marketUrl, QByteArrayLiteral("/backorder/") + encodePathPart(domain));
}

QUrl icpPage(const QString &icpUrl, const QString &domain)
{
    return join(icpUrl, QByteArrayLiteral("/") + encodePathPart(domain));
}

QUrl versionFile(const QString &updateUrl)
{
    return join(updateUrl, QByteArrayLiteral("/version/main.txt"));
}

bool isWebUrl(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty()
        && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

} // namespace Urls
