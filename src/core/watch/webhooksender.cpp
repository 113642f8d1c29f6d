#include "core/watch/webhooksender.h"

#include "core/watch/alerttext.h"

#include <QStringList>
#include <QTimer>

namespace {

// A webhook's answer is read for its status only.
constexpr qint64 LargestWebhookAnswer = 1024 * 1024;

QString durationText(int milliseconds)
{
    if (milliseconds % 1000 == 0)
        return QStringLiteral("%1 s").arg(milliseconds / 1000);
    return QStringLiteral("%1 ms").arg(milliseconds);
}

QString timesText(int times)
{
    switch (times) {
    case 1:
        return QString();
    case 2:
        return QStringLiteral(" twice");
    case 3:
        return QStringLiteral(" three times");
    default:
        return QStringLiteral(" %1 times").arg(times);
    }
}

// What went wrong in each attempt, told in order with repeats counted: "the webhook answered 500 three
// times", "the webhook did not answer within 10 s, then the webhook answered 502 twice".
QString failuresText(const QStringList &failures)
{
    QStringList parts;
    for (qsizetype first = 0; first < failures.size();) {
        qsizetype end = first + 1;
        while (end < failures.size() && failures.at(end) == failures.at(first))
            ++end;
        parts.append(failures.at(first) + timesText(int(end - first)));
        first = end;
    }
    return parts.join(QLatin1String(", then "));
}

// Qt's words with the webhook's address cut to its scheme, host and port: a chat robot's address holds
// its secret in its path or query.
QString withoutAddress(const QString &text, const QUrl &address)
{
    QString cut = text;
    cut.replace(
        address.toString(), address.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveUserInfo).toString());
    return cut;
}

bool isWorthAnotherAttempt(const FetchResult &result)
{
    return result.error == FetchError::Timeout || (result.hasResponse() && result.httpStatus >= 500);
}

} // namespace

struct WebhookSender::Delivery
{
    WebhookOutcome outcome;
    QUrl url;
    WebhookFormat format = WebhookFormat::Generic;
    QByteArray body;
    QStringList failures; // one for each failed attempt
    // A child of the sender that holds the request or the pause in flight: they go with it.
    QObject *context = nullptr;
};

WebhookSender::WebhookSender(PageFetcher &fetcher, QObject *parent)
    : QObject(parent)
    , m_fetcher(fetcher)
{ }

WebhookSender::~WebhookSender() = default;

void WebhookSender::setTimeout(int milliseconds)
{
    m_timeoutMs = milliseconds;
}

void WebhookSender::setRetryPause(int milliseconds)
{
    m_retryPauseMs = milliseconds;
}

void WebhookSender::send(const WatchAlert &alert)
{
    auto delivery = std::make_shared<Delivery>();
    delivery->outcome.watch = alert.watch;
    delivery->url = alert.webhook;
    delivery->format = alert.format;
    delivery->context = new QObject(this);
    const QString fault = webhookAddressFault(alert.webhook);
    if (alert.webhook.isEmpty()) {
        finish(delivery, QStringLiteral("the watch has no webhook"));
    } else if (!fault.isEmpty()) {
        finish(delivery, fault);
    } else {
        delivery->body = webhookBody(alert);
        attempt(delivery);
    }
}

void WebhookSender::attempt(const std::shared_ptr<Delivery> &delivery)
{
    PageRequest request;
    request.url = delivery->url;
    request.timeoutMs = m_timeoutMs;
    request.maxBodyBytes = LargestWebhookAnswer;
    ++delivery->outcome.attempts;
    const int timeoutMs = m_timeoutMs;
    m_fetcher.post(request, delivery->body, "application/json", delivery->context,
        [this, delivery, timeoutMs](const FetchResult &result) { attempted(delivery, result, timeoutMs); });
}

void WebhookSender::attempted(const std::shared_ptr<Delivery> &delivery, const FetchResult &result, int timeoutMs)
{
    const QString errorText = withoutAddress(result.errorText, delivery->url);
    delivery->outcome.httpStatus = result.hasResponse() ? result.httpStatus : 0;
    if (result.isPage()) {
        // A robot that refuses says so in an answer of 200; asking again would be refused again.
        const QString refusal = robotRefusal(delivery->format, result.body);
        delivery->outcome.sent = refusal.isEmpty();
        finish(delivery, refusal.isEmpty() ? QString() : QStringLiteral("the robot refused the message: ") + refusal);
        return;
    }
    switch (result.error) {
    case FetchError::None:
        delivery->failures.append(QStringLiteral("the webhook answered %1").arg(result.httpStatus));
        break;
    case FetchError::Timeout:
        delivery->failures.append(QStringLiteral("the webhook did not answer within %1").arg(durationText(timeoutMs)));
        break;
    case FetchError::ConnectionFailed:
        delivery->failures.append(QStringLiteral("could not reach the webhook: %1").arg(errorText));
        break;
    case FetchError::Incomplete:
        delivery->failures.append(QStringLiteral("the webhook's answer broke off: %1").arg(errorText));
        break;
    case FetchError::TooLarge:
        delivery->failures.append(
            QStringLiteral("the webhook's answer was larger than %1 bytes").arg(LargestWebhookAnswer));
        break;
    default:
        delivery->failures.append(QStringLiteral("the webhook failed: %1").arg(errorText));
        break;
    }
    if (!isWorthAnotherAttempt(result) || delivery->outcome.attempts >= WebhookAttempts) {
        finish(delivery, failuresText(delivery->failures));
        return;
    }
    QTimer::singleShot(m_retryPauseMs, delivery->context, [this, delivery] { attempt(delivery); });
}

void WebhookSender::finish(const std::shared_ptr<Delivery> &delivery, const QString &reason)
{
    delivery->outcome.reason = reason;
    const WebhookOutcome outcome = delivery->outcome;
    // The request that reported this is still on the stack: its context goes later.
    delivery->context->deleteLater();
    QMetaObject::invokeMethod(
        this, [this, outcome] { emit finished(outcome); }, Qt::QueuedConnection);
}
