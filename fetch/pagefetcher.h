// One place builds and runs every HTTP request of the program. Callers get a FetchResult
// value, never a QNetworkReply.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

// A request may take this long in all before it counts as failed: a stalled or dripping
// server cannot hold a caller longer.
inline constexpr int DefaultTransferTimeoutMs = 30 * 1000;
// A body larger than this is a failed request; it is aborted as soon as it is seen to be too big.
inline constexpr qint64 DefaultMaxBodyBytes = 16 * 1024 * 1024;
inline constexpr int MaxRedirects = 10;

struct FetchLimits
{
    int transferTimeoutMs = DefaultTransferTimeoutMs;
    qint64 maxBodyBytes = DefaultMaxBodyBytes;
};

struct FetchRequest
{
    QUrl url;
    // Ask every cache on the way for a fresh copy: the header "If-Modified-Since: 0".
    bool bypassCaches = false;
    FetchLimits limits;
};

enum class FetchError {
    None,
    ConnectionFailed, // refused, host not found, reset before an answer ...
    Incomplete, // the answer broke off half-way
    Timeout,
    TooLarge,
    Aborted, // cancelled by the program
    InvalidUrl,
    Other,
};

struct FetchResult
{
    FetchError error = FetchError::None;
    int httpStatus = 0; // 0 when no response came
    QByteArray body;
    QByteArray contentType;
    QString errorText;

    // A complete response arrived, whatever its status: an error page with a body counts.
    bool hasResponse() const { return error == FetchError::None; }
};

// The server answered with the page asked for (2xx). Any other status brings an error, rate-limit
// or redirect page instead, which a reader must not take for the page, whatever it holds.
inline bool isSuccessStatus(int httpStatus)
{
    return httpStatus >= 200 && httpStatus < 300;
}

// The body decoded by the charset the response declares, UTF-8 when it declares none or one
// that is unknown. Empty when there was no response.
QString decodeDeclaredCharset(const FetchResult &result);
// The body decoded from GBK (as GB18030, its superset), whatever the response declares.
QString decodeGbk(const QByteArray &bytes);

// One running request. Emits finished() exactly once, also when aborted; the fetcher deletes
// the job later, so keep a QPointer if you hold on to it.
class FetchJob : public QObject
{
    Q_OBJECT
public:
    const FetchResult &result() const { return m_result; }
    bool isFinished() const { return m_finished; }
    void abort();

signals:
    void finished();

private:
    friend class PageFetcher;
    FetchJob(QNetworkReply *reply, const FetchLimits &limits, QObject *parent);
    void fail(FetchError error, const QString &text);
    void onReplyFinished();
    void complete();

    QNetworkReply *m_reply = nullptr;
    QTimer *m_deadline = nullptr;
    FetchLimits m_limits;
    FetchResult m_result;
    FetchError m_forcedError = FetchError::None;
    bool m_finished = false;
};

// Starts requests asynchronously on the calling thread.
class PageFetcher : public QObject
{
    Q_OBJECT
public:
    explicit PageFetcher(QObject *parent = nullptr);
    ~PageFetcher() override;

    FetchJob *get(const FetchRequest &request);
    void abortAll();

private:
    QNetworkAccessManager *m_network;
};

// Waits for a job in a local event loop: window events (timers, clicks) keep running meanwhile.
// Returns at once with the job aborted when the application is quitting.
FetchResult waitForJob(FetchJob *job);

// Runs one request on a worker thread while the calling thread blocks: no event of the calling
// thread runs until it returns. It gives up at once (FetchError::Aborted) when the interrupt
// descriptor is or becomes readable.
FetchResult fetchBlocking(const FetchRequest &request);

// A descriptor that becomes readable, and stays so, once the program is asked to end: the thread
// that a blocking fetch holds cannot see that request, so the fetch watches for it. -1: none.
void setBlockingFetchInterrupt(int descriptor);
// The interrupt descriptor is readable: the program was asked to end.
bool isBlockingFetchInterrupted();
