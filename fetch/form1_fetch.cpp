#include "app/form1.h"

QString Form1::GetBody(const QUrl &Url, const QString &Coding)
{
    Q_UNUSED(Coding) // the response's own charset decides, as it always has
    if (m_exiting)
        return QString();
    FetchRequest request;
    request.url = Url;
    request.bypassCaches = true;
    request.limits = fetchLimits;
    return decodeDeclaredCharset(waitForJob(m_fetcher->get(request)));
}

std::optional<QString> Form1::HtmlStr(const QUrl &url)
{
    FetchRequest request;
    request.url = url;
    request.limits = fetchLimits;
    const FetchResult result = fetchBlocking(request);
    if (result.error == FetchError::ConnectionFailed || result.error == FetchError::InvalidUrl)
        return std::nullopt;
    if (!result.hasResponse())
        return QString();
    return decodeGbk(result.body);
}
