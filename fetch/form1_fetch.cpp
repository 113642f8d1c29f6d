#include "app/form1.h"

QString Form1::GetBody(const QUrl &Url, const QString &Coding, int *httpStatus)
{
    Q_UNUSED(Coding) // the response's own charset decides, as it always has
    if (httpStatus)
        *httpStatus = 0;
    if (m_exiting)
        return QString();
    FetchRequest request;
    request.url = Url;
    request.bypassCaches = true;
    request.limits = fetchLimits;
    const FetchResult result = waitForJob(m_fetcher->get(request));
    if (httpStatus)
        *httpStatus = result.httpStatus;
    return decodeDeclaredCharset(result);
}

std::optional<QString> Form1::HtmlStr(const QUrl &url, int *httpStatus)
{
    FetchRequest request;
    request.url = url;
    request.limits = fetchLimits;
    const FetchResult result = fetchBlocking(request);
    if (httpStatus)
        *httpStatus = result.httpStatus;
    if (result.error == FetchError::ConnectionFailed || result.error == FetchError::InvalidUrl)
        return std::nullopt;
    if (!result.hasResponse())
        return QString();
    return decodeGbk(result.body);
}
