#include "core/watch/alertdispatch.h"

#include "core/watch/desktopnotifier.h"
#include "core/watch/webhooksender.h"

AlertDispatch::AlertDispatch(PageFetcher &fetcher, QObject *parent)
    : QObject(parent)
    , m_notifier(new DesktopNotifier(this))
    , m_webhooks(new WebhookSender(fetcher, this))
{
    connect(m_notifier, &DesktopNotifier::unavailable, this, &AlertDispatch::notificationsUnavailable);
    connect(m_notifier, &DesktopNotifier::finished, this, &AlertDispatch::oneDone);
    connect(m_webhooks, &WebhookSender::finished, this, [this](const WebhookOutcome &outcome) {
        if (!outcome.sent) {
            ++m_webhooksFailed;
            emit webhookFailed(outcome.watch, outcome.reason);
        }
        oneDone();
    });
}

void AlertDispatch::setWebhookTimeout(int milliseconds)
{
    m_webhooks->setTimeout(milliseconds);
}

void AlertDispatch::setWebhookRetryPause(int milliseconds)
{
    m_webhooks->setRetryPause(milliseconds);
}

bool AlertDispatch::send(const QList<WatchAlert> &alerts, bool notifyDesktop)
{
    if (isBusy())
        return false;
    m_webhooksFailed = 0;
    // Held until everything below has started, so that finished() comes after send() has returned, and
    // only once, however the answers come in.
    m_waiting = 1;
    for (const WatchAlert &alert : alerts) {
        if (notifyDesktop) {
            ++m_waiting;
            m_notifier->notify(alert);
        }
        if (!alert.webhook.isEmpty()) {
            ++m_waiting;
            m_webhooks->send(alert);
        }
    }
    QMetaObject::invokeMethod(this, &AlertDispatch::oneDone, Qt::QueuedConnection);
    return true;
}

void AlertDispatch::oneDone()
{
    if (m_waiting <= 0 || --m_waiting > 0)
        return;
    emit finished(m_webhooksFailed);
}
