// A synchronous transfer: the calling thread blocks until the whole body is there or the
// request time-out has passed. Used by the menu path of the detail query.
#pragma once

#include "fetch/pagefetcher.h"

#include <QString>
#include <QUrl>

#include <optional>

class InternetTransfer
{
public:
    int RequestTimeout = 60; // seconds
    qint64 maxBodyBytes = DefaultMaxBodyBytes;

    // The body decoded from GBK; std::nullopt when the request failed. httpStatus, when given,
    // receives the response's status (0: no response).
    std::optional<QString> OpenURL(const QUrl &url, int *httpStatus = nullptr) const;
};
