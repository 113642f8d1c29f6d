#include "core/text/urls.h"

#include <algorithm>
#include <optional>

namespace Urls {

namespace {

bool isDotSegment(QStringView segment)
{
    return segment == u"." || segment == u"..";
}

// A name as the path below a fixed folder. QUrl turns "%2E" back into "." and the network layer
// then resolves "." and ".." segments, so encoding the dots cannot keep "../x" inside the folder:
// in a name with such a segment every '/' is encoded instead, which makes the name one segment.
// A name that is "." or ".." by itself cannot be sent at all.
std::optional<QByteArray> encodeNameBelowFolder(const QString &name)
{
    const QList<QStringView> segments = QStringView(name).split(u'/');
    if (std::none_of(segments.begin(), segments.end(), isDotSegment))
        return encodePathPart(name);
    if (isDotSegment(name))
        return std::nullopt;
    return QUrl::toPercentEncoding(name);
}

} // namespace

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
    const std::optional<QByteArray> name = encodeNameBelowFolder(domain);
    return name ? join(marketUrl, QByteArrayLiteral("/backorder/") + *name) : QUrl();
}

QUrl icpPage(const QString &icpUrl, const QString &domain)
{
    const std::optional<QByteArray> name = encodeNameBelowFolder(domain);
    return name ? join(icpUrl, QByteArrayLiteral("/") + *name) : QUrl();
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
