// One place builds and runs every HTTP request of the program. Callers hand in a PageRequest value
// and get a FetchResult value back; no caller ever sees a QNetworkReply.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <utility>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

// A request may take this long in all before it counts as failed: a stalled or dripping server
// cannot hold a caller longer.
inline constexpr int DefaultRequestTimeoutMs = 30 * 1000;
// A body larger than this is a failed request; it is aborted as soon as it is seen to be too big.
inline constexpr qint64 DefaultMaxBodyBytes = 16 * 1024 * 1024;
inline constexpr int MaxRedirects = 10;

struct PageRequest
{
    QUrl url;
    // Ask every cache on the way for a fresh copy: the header "If-Modified-Since: 0".
    bool bypassCaches = false;
    int timeoutMs = DefaultRequestTimeoutMs;
    qint64 maxBodyBytes = DefaultMaxBodyBytes;
};

enum class FetchError {
    None,
    ConnectionFailed, // refused, host not found, reset before an answer ...
    Incomplete, // the answer broke off half-way, or could not be unpacked
    Timeout,
    TooLarge,
    Cancelled, // by the program, at the user's wish
    InvalidUrl,
    WaitTooLong, // the site asked to wait (Retry-After) longer than the caller would
    Other, // redirect loops, a redirect to something that is no web page, and the like
};

struct FetchResult
{
    FetchError error = FetchError::None;
    int httpStatus = 0; // 0 when no response came
    QByteArray body;
    QByteArray contentType;
    QByteArray retryAfter; // the Retry-After header, as sent
    QString errorText;
    QUrl url; // where the answer came from, after redirects; empty when no request was made

    // A complete response arrived, whatever its status: an error page with its body counts.
    bool hasResponse() const { return error == FetchError::None; }
    // The server answered with the page asked for (2xx). Any other status brings an error,
    // rate-limit or redirect page instead, which a reader must not take for the page.
    bool isPage() const { return hasResponse() && httpStatus >= 200 && httpStatus < 300; }
};

// The body decoded by the charset the response declares, UTF-8 when it declares none or one that is
// unknown. Empty when there was no response.
QString decodeDeclaredCharset(const FetchResult &result);
// The body decoded from GBK (as GB18030, its superset), whatever the response declares.
QString decodeGbk(const QByteArray &bytes);

// One request in flight. It reports once through finished(); deleting it abandons the request
// silently. It belongs to the object that asked for it, so it goes when that object goes.
class PendingFetch : public QObject
{
    Q_OBJECT
public:
    ~PendingFetch() override;

    // Aborts the request; finished() reports FetchError::Cancelled.
    void cancel();

signals:
    void finished(const FetchResult &result);

private:
    friend class PageFetcher;
    PendingFetch(QNetworkReply *reply, const PageRequest &request, QObject *owner);
    void fail(FetchError error, const QString &text);
    void replyFinished();
    void report();

    // The network manager deletes its replies when it goes; the request then simply never ends.
    QPointer<QNetworkReply> m_reply;
    QTimer *m_deadline = nullptr;
    qint64 m_maxBodyBytes = DefaultMaxBodyBytes;
    FetchResult m_result;
    FetchError m_forcedError = FetchError::None;
    bool m_reported = false;
};

class PageFetcher : public QObject
{
    Q_OBJECT
public:
    explicit PageFetcher(QObject *parent = nullptr);
    ~PageFetcher() override;

    // Starts the request. onFinished runs once, on this thread, with the result; the request is a
    // child of owner, so nothing is delivered, and the request is abandoned, once owner is gone.
    template<typename Handler>
    PendingFetch *get(const PageRequest &request, QObject *owner, Handler &&onFinished)
    {
        PendingFetch *fetch = start(request, owner);
        QObject::connect(fetch, &PendingFetch::finished, owner, std::forward<Handler>(onFinished));
        return fetch;
    }
    // The same with a POST of the body, sent with the given Content-Type, instead of a GET. A redirect
    // is the answer: followed, it would be a GET of the new address, without the body.
    template<typename Handler>
    PendingFetch *post(const PageRequest &request, const QByteArray &body, const QByteArray &contentType,
        QObject *owner, Handler &&onFinished)
    {
        PendingFetch *fetch = start(request, owner, &body, contentType);
        QObject::connect(fetch, &PendingFetch::finished, owner, std::forward<Handler>(onFinished));
        return fetch;
    }

private:
    // A GET without a body, a POST with one.
    PendingFetch *start(const PageRequest &request, QObject *owner, const QByteArray *postBody = nullptr,
        const QByteArray &contentType = QByteArray());

    QNetworkAccessManager *m_network;
};
