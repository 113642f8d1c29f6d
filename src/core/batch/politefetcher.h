// Fetching politely from sites that rate-limit: every host gets at most so many requests a second and
// so many at once, a 429 or 503 is retried after its Retry-After or a growing pause, and a time-out or
// another server error is tried again a few times. Batch lookups go through it; the window does not.
#pragma once

#include "core/net/pagefetcher.h"

#include <QDateTime>
#include <QObject>

#include <functional>

// The rates the fetcher can keep: its timers count whole milliseconds, so no faster than one request a
// millisecond; and no slower than one a day (a longer spacing is no plan any run keeps to).
inline constexpr double MostRequestsPerSecond = 1000;
inline constexpr double LeastRequestsPerSecond = 1.0 / (24 * 60 * 60);

struct Politeness
{
    double requestsPerSecond = 2; // per host, from LeastRequestsPerSecond to MostRequestsPerSecond
    int requestsAtOnce = 1; // per host
    int rateLimitedAttempts = 5; // in all, for answers 429 and 503
    int otherRetries = 2; // after the first try, for time-outs and other 5xx
    int firstPauseMs = 1000; // back-off without Retry-After: doubled each time, with jitter
    int longestPauseMs = 60 * 1000;
    // A 429 or 503 asking to wait longer than this is a failed request (FetchError::WaitTooLong), not a wait.
    qint64 longestWaitMs = 120 * 1000;
};

// "40 s", "15 min", "27 h", "12 days": a wait as a person reads it, rounded; "more than 30 years" for the
// longest wait retryAfterMs() tells.
QString waitText(qint64 milliseconds);

// How long Retry-After asks to wait, in seconds or as an HTTP date; std::nullopt when it says nothing
// usable. A date in the past is no wait.
std::optional<qint64> retryAfterMs(const QByteArray &value, const QDateTime &now = QDateTime::currentDateTimeUtc());

class PoliteFetcher : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<void(const FetchResult &result, int attempts)>;

    PoliteFetcher(PageFetcher &fetcher, const Politeness &politeness, QObject *parent = nullptr);
    ~PoliteFetcher() override;

    // Queues the request behind the others for its host. A host that answered through a redirect to
    // another host counts its requests at that host too, from then on. onFinished runs once with the last answer
    // (or failure) and the number of attempts, unless owner is gone first.
    void get(const PageRequest &request, QObject *owner, Handler onFinished);
    // Requests not yet sent stay queued until resume(); those under way finish.
    void pause();
    void resume();
    // Drops everything queued and abandons what is under way; no handler runs.
    void cancelAll();
    int queued() const;

signals:
    // A host asked to wait (Retry-After) or is being given a pause after a failure: nothing goes to it
    // for this long.
    void waiting(const QString &host, qint64 milliseconds);

private:
    struct Private;
    Private *d;
};
