// Tells a run's alerts: each on the desktop, when asked to, and to its watch's webhook, when it has one;
// once each, and reports when all of it is done.
#pragma once

#include "core/net/pagefetcher.h"
#include "core/watch/watch.h"

#include <QList>
#include <QObject>
#include <QString>

class DesktopNotifier;
class WebhookSender;

class AlertDispatch : public QObject
{
    Q_OBJECT
public:
    // Notifications go to the session bus.
    explicit AlertDispatch(PageFetcher &fetcher, QObject *parent = nullptr);

    // The webhooks' time limit for each attempt and the pause between attempts (WebhookTimeoutMs and
    // WebhookRetryPauseMs unless set).
    void setWebhookTimeout(int milliseconds);
    void setWebhookRetryPause(int milliseconds);

    // Sends one run's alerts; finished() follows, also for no alerts. False, and nothing sent, while the
    // alerts of an earlier call are still going out.
    bool send(const QList<WatchAlert> &alerts, bool notifyDesktop);
    bool isBusy() const { return m_waiting > 0; }

signals:
    // The first time a notification could not be shown, whichever send() it was; the webhooks go on.
    void notificationsUnavailable(const QString &reason);
    // A webhook given up on, after its last attempt.
    void webhookFailed(const QString &watch, const QString &reason);
    // Every notification and webhook of the call was sent or given up on.
    void finished(int webhooksFailed);

private:
    void oneDone();

    DesktopNotifier *m_notifier;
    WebhookSender *m_webhooks;
    int m_waiting = 0; // notifications and webhooks not done yet, and one for send() itself
    int m_webhooksFailed = 0;
};
