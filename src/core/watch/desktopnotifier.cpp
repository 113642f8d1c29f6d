#include "core/watch/desktopnotifier.h"

#include "core/watch/alerttext.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace {

const QString NotificationService = QStringLiteral("org.freedesktop.Notifications");
const QString NotificationPath = QStringLiteral("/org/freedesktop/Notifications");

QString reasonOf(const QDBusError &error)
{
    if (error.type() == QDBusError::ServiceUnknown)
        return QStringLiteral("no notification service on the session bus (%1)").arg(error.message());
    if (error.type() == QDBusError::NoReply || error.type() == QDBusError::Timeout)
        return QStringLiteral("the notification service did not answer within %1 s")
            .arg(NotificationCallTimeoutMs / 1000);
    if (error.type() == QDBusError::Disconnected)
        return QStringLiteral("no D-Bus session bus (%1)").arg(error.message());
    return QStringLiteral("the notification service failed: %1: %2").arg(error.name(), error.message());
}

} // namespace

DesktopNotifier::DesktopNotifier(QObject *parent)
    : DesktopNotifier(QDBusConnection::sessionBus(), parent)
{ }

DesktopNotifier::DesktopNotifier(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
{ }

void DesktopNotifier::notify(const WatchAlert &alert)
{
    const QString watch = alert.watch;
    if (!m_bus.isConnected()) {
        const QString why = m_bus.lastError().isValid() ? m_bus.lastError().message() : QStringLiteral("not connected");
        QMetaObject::invokeMethod(
            this,
            [this, watch, why] {
                callFailed(QStringLiteral("no D-Bus session bus (%1)").arg(why));
                emit finished(watch, false, 0);
            },
            Qt::QueuedConnection);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        NotificationService, NotificationPath, NotificationService, QStringLiteral("Notify"));
    call << QString::fromUtf8(NotificationAppName) << uint(0) << QString::fromUtf8(NotificationIcon)
         << alertSummary(alert) << alertBody(alert) << QStringList() << QVariantMap() << int(-1);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, NotificationCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watch](QDBusPendingCallWatcher *done) {
        const QDBusPendingReply<uint> reply = *done;
        done->deleteLater();
        if (reply.isError()) {
            callFailed(reasonOf(reply.error()));
            emit finished(watch, false, 0);
        } else {
            emit finished(watch, true, reply.value());
        }
    });
}

void DesktopNotifier::callFailed(const QString &reason)
{
    if (m_toldUnavailable)
        return;
    m_toldUnavailable = true;
    emit unavailable(reason);
}
