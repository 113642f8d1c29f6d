// Alerts on the desktop and the dispatch of a run's alerts, on a private session bus (CTest runs this
// under dbus-run-session) with a notification service of the test's own: what the service is asked
// to show, what is told when there is no service or no bus, and that every alert is told once on the
// desktop and once to its webhook, however the webhooks answer.
#include "core/watch/alertdispatch.h"
#include "core/watch/alerttext.h"
#include "core/watch/desktopnotifier.h"
#include "tests/sitetest.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

namespace {

const QString ServiceName = QStringLiteral("org.freedesktop.Notifications");
const QString ServicePath = QStringLiteral("/org/freedesktop/Notifications");
const QString ServiceConnection = QStringLiteral("fake-notification-service");
constexpr int WaitMs = 10000;

WatchAlert alertOf(const QString &watch, int names)
{
    WatchAlert alert;
    alert.watch = watch;
    alert.runStarted = QDateTime::currentDateTimeUtc();
    alert.pages = 3;
    for (const QString &name : numberedNames(QStringLiteral("n"), names))
        alert.names.append({ name, { QStringLiteral("数字") } });
    return alert;
}

QList<WatchAlert> alertsOf(const QStringList &watches, int names = 2)
{
    QList<WatchAlert> alerts;
    for (const QString &watch : watches)
        alerts.append(alertOf(watch, names));
    return alerts;
}

bool matches(const QString &pattern, const QString &text)
{
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern)).match(text).hasMatch();
}

} // namespace

// The desktop's notification service as far as the program uses it, on a connection of its own, so
// that each call goes through the bus as it would to another program.
class FakeNotificationService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Notification
    {
        QString appName;
        uint replacesId = 0;
        QString icon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        int expireTimeout = 0;
    };

    ~FakeNotificationService() override { stop(); }

    bool start()
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, ServiceConnection);
        return bus.registerObject(ServicePath, this, QDBusConnection::ExportAllSlots)
            && bus.registerService(ServiceName);
    }

    void stop()
    {
        {
            QDBusConnection bus(ServiceConnection);
            if (!bus.isConnected())
                return;
            bus.unregisterService(ServiceName);
            bus.unregisterObject(ServicePath);
        }
        QDBusConnection::disconnectFromBus(ServiceConnection);
    }

    QList<Notification> received;

public slots:
    uint Notify(const QString &appName, uint replacesId, const QString &icon, const QString &summary,
        const QString &body, const QStringList &actions, const QVariantMap &hints, int expireTimeout)
    {
        received.append({ appName, replacesId, icon, summary, body, actions, hints, expireTimeout });
        return uint(100 + received.size());
    }

    QStringList GetCapabilities() { return { QStringLiteral("body") }; }
};

class TestNotifications : public SiteTest
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run this under dbus-run-session, as CTest does");
    }

    void init() { startSite(); }

    void cleanup()
    {
        service.reset();
        endSite();
    }

    void notify_data()
    {
        QTest::addColumn<QStringList>("watches");
        QTest::addColumn<int>("names");
        QTest::newRow("one alert") << QStringList { QStringLiteral("三字母") } << 1;
        QTest::newRow("three alerts") << QStringList { QStringLiteral("甲"), QStringLiteral("乙"),
            QStringLiteral("丙") } << 3;
        QTest::newRow("twelve names") << QStringList { QStringLiteral("数字") } << 12;
    }

    void notify()
    {
        QFETCH(QStringList, watches);
        QFETCH(int, names);
        startService();
        DesktopNotifier notifier;
        QSignalSpy unavailable(&notifier, &DesktopNotifier::unavailable);
        QStringList shown;
        QList<uint> ids;
        connect(&notifier, &DesktopNotifier::finished, this, [&](const QString &watch, bool wasShown, uint id) {
            QVERIFY(wasShown);
            shown.append(watch);
            ids.append(id);
        });
        const QList<WatchAlert> alerts = alertsOf(watches, names);
        for (const WatchAlert &alert : alerts)
            notifier.notify(alert);

        QTRY_COMPARE_WITH_TIMEOUT(shown.size(), watches.size(), WaitMs);
        QCOMPARE(shown, watches);
        QCOMPARE(service->received.size(), alerts.size());
        for (int i = 0; i < alerts.size(); ++i) {
            const FakeNotificationService::Notification &notification = service->received.at(i);
            QCOMPARE(notification.appName, QStringLiteral("Vexlon域名回收采集器"));
            QCOMPARE(notification.replacesId, 0u);
            QCOMPARE(notification.icon, QStringLiteral("vexlon-collector")); // the desktop entry's icon
            QCOMPARE(notification.summary, alertSummary(alerts.at(i)));
            QCOMPARE(notification.body, alertBody(alerts.at(i)));
            QVERIFY(notification.actions.isEmpty());
            QVERIFY(notification.hints.isEmpty());
            QCOMPARE(notification.expireTimeout, -1);
            QCOMPARE(ids.at(i), uint(101 + i));
        }
        if (names == 1)
            QCOMPARE(service->received.at(0).summary, QStringLiteral("关注「三字母」：1 个新域名"));
        QCOMPARE(unavailable.count(), 0);
    }

    void unavailable_data()
    {
        QTest::addColumn<bool>("onSessionBus");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no notification service")
            << true << QStringLiteral("no notification service on the session bus \\(.+\\)");
        QTest::newRow("no session bus") << false << QStringLiteral("no D-Bus session bus \\(.+\\)");
    }

    void unavailable()
    {
        QFETCH(bool, onSessionBus);
        QFETCH(QString, reason);
        const QString nowhere = QStringLiteral("nowhere");
        const QDBusConnection bus = onSessionBus
            ? QDBusConnection::sessionBus()
            : QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), nowhere);
        std::unique_ptr<DesktopNotifier> notifier = std::make_unique<DesktopNotifier>(bus);
        QSignalSpy unavailable(notifier.get(), &DesktopNotifier::unavailable);
        QStringList notShown;
        connect(notifier.get(), &DesktopNotifier::finished, this, [&](const QString &watch, bool shown, uint id) {
            QVERIFY(!shown || service);
            if (!shown) {
                QCOMPARE(id, 0u);
                QCOMPARE(unavailable.count(), 1); // told before the first alert that was not shown
                notShown.append(watch);
            }
        });
        const QStringList watches = { QStringLiteral("甲"), QStringLiteral("乙"), QStringLiteral("丙") };
        for (const WatchAlert &alert : alertsOf(watches))
            notifier->notify(alert);
        QTRY_COMPARE_WITH_TIMEOUT(notShown.size(), 3, WaitMs);
        QCOMPARE(notShown, watches);
        QCOMPARE(unavailable.count(), 1);
        QVERIFY2(matches(reason, unavailable.at(0).at(0).toString()), qPrintable(unavailable.at(0).at(0).toString()));

        // A service that comes later is used, and nothing more is told about the one that was missing.
        if (onSessionBus) {
            startService();
            bool shown = false;
            connect(notifier.get(), &DesktopNotifier::finished, this,
                [&](const QString &, bool wasShown) { shown = wasShown; });
            notifier->notify(alertOf(QStringLiteral("丁"), 1));
            QTRY_VERIFY_WITH_TIMEOUT(shown, WaitMs);
            QCOMPARE(service->received.size(), 1);
            QCOMPARE(unavailable.count(), 1);
        }
        notifier.reset();
        if (!onSessionBus)
            QDBusConnection::disconnectFromBus(nowhere);
    }

    // Webhooks by the watch's index: "" none, "ok", "500 then ok", "500" every time, "404".
    void dispatch_data()
    {
        QTest::addColumn<bool>("notifyDesktop");
        QTest::addColumn<bool>("serviceRunning");
        QTest::addColumn<QStringList>("webhooks");
        QTest::addColumn<QStringList>("failed"); // the watches whose webhooks failed
        QTest::addColumn<int>("posts");
        QTest::addColumn<int>("unavailable");

        QTest::newRow("desktop and webhooks")
            << true << true << QStringList { QStringLiteral("ok"), QString(), QStringLiteral("500 then ok") }
            << QStringList() << 3 << 0;
        QTest::newRow("desktop off") << false << true << QStringList { QStringLiteral("ok"), QString() }
                                     << QStringList() << 1 << 0;
        QTest::newRow("webhooks that fail")
            << true << true << QStringList { QStringLiteral("500"), QStringLiteral("404"), QStringLiteral("ok") }
            << QStringList { QStringLiteral("w0"), QStringLiteral("w1") } << 5 << 0;
        QTest::newRow("no notification service: the webhooks go all the same")
            << true << false << QStringList { QStringLiteral("ok"), QString(), QStringLiteral("404") }
            << QStringList { QStringLiteral("w2") } << 2 << 1;
        QTest::newRow("desktop off, no webhooks")
            << false << true << QStringList { QString(), QString() } << QStringList() << 0 << 0;
        QTest::newRow("no alerts") << true << true << QStringList() << QStringList() << 0 << 0;
    }

    void dispatch()
    {
        QFETCH(bool, notifyDesktop);
        QFETCH(bool, serviceRunning);
        QFETCH(QStringList, webhooks);
        QFETCH(QStringList, failed);
        QFETCH(int, posts);
        QFETCH(int, unavailable);
        if (serviceRunning)
            startService();
        QList<WatchAlert> alerts;
        for (int i = 0; i < webhooks.size(); ++i) {
            WatchAlert alert = alertOf(QStringLiteral("w%1").arg(i), 2);
            const std::string target = "/hook/" + std::to_string(i);
            if (webhooks[i] == QLatin1String("500 then ok"))
                site().setNextAnswers(target, { Fault::ServerError });
            else if (webhooks[i] == QLatin1String("500"))
                site().setFault(target, Fault::ServerError);
            else if (webhooks[i] == QLatin1String("404"))
                site().setReply(target, FakeSite::Reply { 404, "", "text/plain", {} });
            if (!webhooks[i].isEmpty())
                alert.webhook = at(target);
            alerts.append(alert);
        }

        AlertDispatch dispatch(fetcher());
        dispatch.setWebhookRetryPause(10);
        QSignalSpy finished(&dispatch, &AlertDispatch::finished);
        QSignalSpy webhookFailed(&dispatch, &AlertDispatch::webhookFailed);
        QSignalSpy notificationsUnavailable(&dispatch, &AlertDispatch::notificationsUnavailable);
        QVERIFY(dispatch.send(alerts, notifyDesktop));
        QVERIFY(dispatch.isBusy());
        QVERIFY(finished.wait(WaitMs));
        QCoreApplication::processEvents(); // anything told twice is told by now
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toInt(), failed.size());
        QVERIFY(!dispatch.isBusy());

        QStringList failedWatches;
        for (const QList<QVariant> &arguments : webhookFailed) {
            failedWatches.append(arguments.at(0).toString());
            QVERIFY(!arguments.at(1).toString().isEmpty());
        }
        failedWatches.sort();
        QCOMPARE(failedWatches, failed);
        QCOMPARE(notificationsUnavailable.count(), unavailable);

        // One notification an alert, in order, and none when off or when nothing listens.
        QStringList summaries;
        for (const WatchAlert &alert : alerts)
            summaries.append(alertSummary(alert));
        QStringList notified;
        if (service) {
            for (const FakeNotificationService::Notification &notification : service->received)
                notified.append(notification.summary);
        }
        QCOMPARE(notified, notifyDesktop && serviceRunning ? summaries : QStringList());

        QCOMPARE(int(site().posts().size()), posts);
        for (const FakeSite::Post &post : site().posts()) {
            const int index = std::stoi(post.target.substr(post.target.rfind('/') + 1));
            QCOMPARE(QByteArray::fromStdString(post.body), webhookBody(alerts.at(index)));
        }
    }

    // One run's alerts at a time: a second call while the first is under way sends nothing.
    void oneRunAtATime()
    {
        startService();
        const std::string target = "/hook/slow";
        site().hold(target);
        WatchAlert alert = alertOf(QStringLiteral("慢"), 1);
        alert.webhook = at(target);
        AlertDispatch dispatch(fetcher());
        QSignalSpy finished(&dispatch, &AlertDispatch::finished);
        QVERIFY(dispatch.send({ alert }, true));
        QTRY_COMPARE_WITH_TIMEOUT(site().requestCount(target), 1, WaitMs);
        QVERIFY(!dispatch.send({ alert }, true));
        QCOMPARE(finished.count(), 0);
        site().release(target);
        QVERIFY(finished.wait(WaitMs));
        QCOMPARE(finished.at(0).at(0).toInt(), 0);
        QCOMPARE(site().posts().size(), std::size_t(1));
        QCOMPARE(service->received.size(), 1);

        // And the next run's go out as the first did.
        QVERIFY(dispatch.send({ alert }, true));
        QVERIFY(finished.wait(WaitMs));
        QCOMPARE(site().posts().size(), std::size_t(2));
        QCOMPARE(service->received.size(), 2);
    }

private:
    void startService()
    {
        service = std::make_unique<FakeNotificationService>();
        QVERIFY(service->start());
    }

    std::unique_ptr<FakeNotificationService> service;
};

QTEST_GUILESS_MAIN(TestNotifications)
#include "tst_notifications.moc"
