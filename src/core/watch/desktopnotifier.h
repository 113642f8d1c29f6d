// Tells an alert on the desktop: a notification through the desktop's notification service on the
// D-Bus session bus, asked for without waiting on its answer.
#pragma once

#include "core/watch/watch.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

// How the notifications name the program and which icon they show: the desktop entry's.
inline constexpr char NotificationAppName[] = "Vexlon域名回收采集器";
inline constexpr char NotificationIcon[] = "vexlon-collector";
// The notification service answers within this long, or counts as not there.
inline constexpr int NotificationCallTimeoutMs = 10 * 1000;

class DesktopNotifier : public QObject
{
    Q_OBJECT
public:
    // On the session bus.
    explicit DesktopNotifier(QObject *parent = nullptr);
    explicit DesktopNotifier(const QDBusConnection &bus, QObject *parent = nullptr);

    // Asks for a notification of the alert's summary and body; finished() tells whether it was shown.
    void notify(const WatchAlert &alert);

signals:
    // Once for each notify(), the notification's id when shown, 0 when not.
    void finished(const QString &watch, bool shown, uint id);
    // The first time a notification could not be shown (no session bus, no notification service, a
    // service that failed), before that alert's finished(), with why in English; never again after.
    void unavailable(const QString &reason);

private:
    void callFailed(const QString &reason);

    QDBusConnection m_bus;
    bool m_toldUnavailable = false;
};
