#include "fetch/internettransfer.h"

std::optional<QString> InternetTransfer::OpenURL(const QUrl &url, int *httpStatus) const
{
    FetchRequest request;
    request.url = url;
    request.limits.transferTimeoutMs = RequestTimeout * 1000;
    request.limits.maxBodyBytes = maxBodyBytes;
    const FetchResult result = fetchBlocking(request);
    if (httpStatus)
        *httpStatus = result.httpStatus;
    if (!result.hasResponse())
        return std::nullopt;
    return decodeGbk(result.body);
}
