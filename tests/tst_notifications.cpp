// A run's alerts told on the desktop and to the webhooks, on a private session bus (CTest runs this under
// dbus-run-session) with a notification service of the test's own, and without a bus at all.
#include "core/watch/alertdispatch.h"
#include "core/watch/alerttext.h"
#include "core/watch/desktopnotifier.h"
#include "core/store/historystore.h"
#include "tests/sitetest.h"

#include <QDBusConnection>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString ServiceConnection = QStringLiteral("notification-service");

} // namespace

// The desktop's notification service, on a connection of its own: each call goes through the bus.
class NotificationService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    NotificationService()
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, ServiceConnection);
        registered = bus.registerObject(
                         QStringLiteral("/org/freedesktop/Notifications"), this, QDBusConnection::ExportAllSlots)
            && bus.registerService(Service);
    }
    ~NotificationService() override { QDBusConnection::disconnectFromBus(ServiceConnection); }

    bool registered = false;
    QStringList calls; // "app name|replaces id|icon|summary|body|actions|hints|expire timeout"

public slots:
    uint Notify(const QString &appName, uint replacesId, const QString &icon, const QString &summary,
        const QString &body, const QStringList &actions, const QVariantMap &hints, int expireTimeout)
    {
        calls.append(QStringList { appName, QString::number(replacesId), icon, summary, body, actions.join(u','),
            QStringList(hints.keys()).join(u','), QString::number(expireTimeout) }
                         .join(u'|'));
        return uint(calls.size());
    }
};

class TestNotifications : public SiteTest
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run under dbus-run-session"); }
    void init() { startSite(); }
    void cleanup() { endSite(); }

    // Webhooks by the alert: "" none, "ok", "500 then ok", "500" every time, "404".
    void dispatch_data()
    {
        QTest::addColumn<bool>("notify");
        QTest::addColumn<bool>("service");
        QTest::addColumn<QStringList>("webhooks");
        QTest::addColumn<int>("posts");
        const QString ok = QStringLiteral("ok");
        QTest::newRow("desktop and webhooks")
            << true << true << QStringList { ok, {}, QStringLiteral("500 then ok") } << 3;
        QTest::newRow("desktop off") << false << true << QStringList { ok, {} } << 1;
        QTest::newRow("webhooks that fail")
            << true << true << QStringList { QStringLiteral("500"), QStringLiteral("404"), ok } << 5;
        QTest::newRow("no notification service") << true << false << QStringList { ok, {}, QStringLiteral("404") } << 2;
        QTest::newRow("no alerts") << true << true << QStringList() << 0;
    }

    void dispatch()
    {
        QFETCH(bool, notify);
        QFETCH(bool, service);
        QFETCH(QStringList, webhooks);
        std::unique_ptr<NotificationService> notifications;
        if (service)
            notifications = std::make_unique<NotificationService>();
        QVERIFY(!service || notifications->registered);
        QList<WatchAlert> alerts;
        QStringList expectedCalls, failed;
        for (int i = 0; i < webhooks.size(); ++i) {
            const std::string target = "/hook/" + std::to_string(i);
            if (webhooks[i] == QLatin1String("500"))
                site().setFault(target, Fault::ServerError);
            else if (webhooks[i] == QLatin1String("404"))
                site().setReply(target, FakeSite::Reply { 404, "", "text/plain", {} });
            else if (webhooks[i] == QLatin1String("500 then ok"))
                site().setNextAnswers(target, { Fault::ServerError });
            if (webhooks[i].size() == 3)
                failed.append(QStringLiteral("w%1").arg(i));
            alerts.append({ QStringLiteral("w%1").arg(i), webhooks[i].isEmpty() ? QUrl() : at(target),
                WebhookFormat::Generic, QDateTime::currentDateTimeUtc(), 2,
                { { QStringLiteral("n%1.com").arg(i), { QStringLiteral("数字") } } } });
            expectedCalls.append(QStringLiteral("Vexlon域名回收采集器|0|vexlon-collector|关注「w%1」：1 个新域名|"
                                                "n%1.com  数字|||-1")
                                     .arg(i));
        }

        AlertDispatch dispatch(fetcher());
        dispatch.setWebhookRetryPause(10);
        QSignalSpy finished(&dispatch, &AlertDispatch::finished);
        QSignalSpy webhookFailed(&dispatch, &AlertDispatch::webhookFailed);
        QSignalSpy unavailable(&dispatch, &AlertDispatch::notificationsUnavailable);
        QVERIFY(dispatch.send(alerts, notify));
        QVERIFY(!dispatch.send(alerts, notify)); // one run's alerts at a time
        QVERIFY(finished.wait(10000));
        QCoreApplication::processEvents(); // anything told twice is told by now
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toInt(), failed.size());
        QStringList failedWatches;
        for (const QList<QVariant> &arguments : webhookFailed)
            failedWatches.append(arguments.at(0).toString());
        failedWatches.sort();
        QCOMPARE(failedWatches, failed);
        QCOMPARE(unavailable.count(), notify && !service && !alerts.isEmpty() ? 1 : 0);
        if (!unavailable.isEmpty())
            QVERIFY2(unavailable.at(0).at(0).toString().startsWith(
                         QLatin1String("no notification service on the session bus (")),
                qPrintable(unavailable.at(0).at(0).toString()));
        if (service)
            QCOMPARE(notifications->calls, notify ? expectedCalls : QStringList());
        QTEST(int(site().posts().size()), "posts");
    }

    // collect --notify, as the schedule runs it: a run killed half-way tells nothing, and the next run tells
    // each watch once, of what it saw first.
    void collectNotifiesOncePerRun()
    {
        NotificationService notifications;
        QVERIFY(notifications.registered);
        QTemporaryDir data;
        {
            HistoryStore store;
            QVERIFY(store.open(HistoryStore::filePath(data.path())));
            Watch watch;
            watch.name = QStringLiteral("三位");
            watch.filter.names.maxLength = 3;
            QCOMPARE(store.addWatch(watch), WatchChange::Done);
        }
        const auto collect = [&](QProcess &process) {
            process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/vexlon-collector"),
                { QStringLiteral("collect"), QStringLiteral("--pages"), QStringLiteral("2"), QStringLiteral("--notify"),
                    QStringLiteral("--quiet"), QStringLiteral("--market-url"), config.marketUrl,
                    QStringLiteral("--data-dir"), data.path() });
        };
        site().hold(pageTarget(2));
        QProcess killed;
        collect(killed);
        QVERIFY(site().waitUntilRequested(pageTarget(2), std::chrono::seconds(20)));
        QTRY_COMPARE_WITH_TIMEOUT(SqlConnection(HistoryStore::filePath(data.path()))
                                      .column(QStringLiteral("SELECT (SELECT count(*) FROM staged_pages)"
                                                             " + (SELECT count(DISTINCT run) FROM sightings)")),
            QStringList { QStringLiteral("1") }, 20000);
        killed.kill();
        QVERIFY(killed.waitForFinished(10000));
        site().release(pageTarget(2));

        QProcess again;
        QSignalSpy finished(&again, &QProcess::finished);
        collect(again);
        // The notification service answers from this thread's event loop.
        QVERIFY(finished.wait(60000));
        QCOMPARE(again.exitCode(), 0);
        QStringList fresh = sampleNames(2);
        fresh.removeDuplicates();
        fresh.removeIf([](const QString &name) { return sampleNames(1).contains(name) || splitDomain(name).label.size() > 3; });
        QVERIFY(!fresh.isEmpty());
        QCOMPARE(notifications.calls.size(), 1);
        QVERIFY2(notifications.calls.constFirst().startsWith(
                     QStringLiteral("Vexlon域名回收采集器|0|vexlon-collector|关注「三位」：%1 个新域名|%2  ")
                         .arg(fresh.size())
                         .arg(fresh.constFirst())),
            qPrintable(notifications.calls.constFirst()));
    }

    void noSessionBus()
    {
        const QString name = QStringLiteral("nowhere");
        DesktopNotifier notifier(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), name));
        QSignalSpy unavailable(&notifier, &DesktopNotifier::unavailable);
        QSignalSpy finished(&notifier, &DesktopNotifier::finished);
        WatchAlert alert;
        for (int i = 0; i < 3; ++i)
            notifier.notify(alert);
        QTRY_COMPARE(finished.count(), 3);
        QCOMPARE(unavailable.count(), 1);
        QVERIFY(unavailable.at(0).at(0).toString().startsWith(QLatin1String("no D-Bus session bus (")));
        QVERIFY(!finished.at(2).at(1).toBool());
        QDBusConnection::disconnectFromBus(name);
    }
};

QTEST_GUILESS_MAIN(TestNotifications)
#include "tst_notifications.moc"
