// Sends an alert to its watch's webhook: one POST of the alert's body, asked again when the webhook was
// too slow or broke on its side.
#pragma once

#include "core/net/pagefetcher.h"
#include "core/watch/watch.h"

#include <QObject>
#include <QString>

#include <memory>

// Each attempt may take this long before it counts as a time-out.
inline constexpr int WebhookTimeoutMs = 10 * 1000;
// A time-out or a 5xx is tried again, up to this many attempts in all. Anything else is final at once:
// a 4xx says the request itself is wrong, a redirect is not followed (it would lose the body), and a
// refused or broken connection says nothing listens there (a mistyped address, a robot that was
// deleted), which a few seconds do not change.
inline constexpr int WebhookAttempts = 3;
// The wait between two attempts.
inline constexpr int WebhookRetryPauseMs = 1000;

struct WebhookOutcome
{
    QString watch;
    bool sent = false; // the webhook answered 2xx
    int attempts = 0; // requests made; 0 for an address that is no web address
    int httpStatus = 0; // of the last answer; 0 when none came
    QString reason; // why it failed, in English; empty when sent
};

class WebhookSender : public QObject
{
    Q_OBJECT
public:
    explicit WebhookSender(PageFetcher &fetcher, QObject *parent = nullptr);
    ~WebhookSender() override;

    void setTimeout(int milliseconds);
    void setRetryPause(int milliseconds);

    // Sends the alert's webhookBody() to its webhook; finished() reports the outcome, once. Several alerts
    // may be under way at once. Deleting the sender abandons them silently.
    void send(const WatchAlert &alert);

signals:
    void finished(const WebhookOutcome &outcome);

private:
    struct Delivery;
    void attempt(const std::shared_ptr<Delivery> &delivery);
    void attempted(const std::shared_ptr<Delivery> &delivery, const FetchResult &result, int timeoutMs);
    void finish(const std::shared_ptr<Delivery> &delivery, const QString &reason);

    PageFetcher &m_fetcher;
    int m_timeoutMs = WebhookTimeoutMs;
    int m_retryPauseMs = WebhookRetryPauseMs;
};
