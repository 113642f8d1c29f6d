// Querying a domain as the user does it, by double-click or from the list's menu: the domain info
// area, the whois box and the ICP filing label against the fake site's sample marketplace.
#include "core/lookup/domainlookup.h"
#include "tests/sitetest.h"
#include "tests/windowtest.h"
#include "tools/samplemarket.h"
#include "ui/domainlistview.h"
#include "ui/mainwindow.h"

#include <QMenu>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
Q_DECLARE_METATYPE(LookupTrigger)

namespace {

constexpr int WaitMs = 15000;
const QString Querying = u"正在进行查询 .."_s;
const QString QueryDone = u"查询完毕 .."_s;

// What a lookup fills besides the ICP filing label, in this order.
const char *const ShownControls[] = { "deletionTypeLabel", "deletionTimeLabel", "deadlineLabel", "whoisText",
    "platformCell", "priceCell", "rmbCell", "depositCell" };

QString q(const std::string &text)
{
    return QString::fromStdString(text);
}

QStringList expectedShown(const QString &domain)
{
    const SampleMarket::BackorderInfo info = SampleMarket::backorderInfoFor(domain.toStdString());
    const auto cell = [&](const std::string &value) { return info.bookingClosed ? u"预定时间已过"_s : q(value); };
    return { u"删除类型："_s + q(info.deletionType), u"删除时间："_s + q(info.deletionTime),
        u"预定截止："_s + q(info.bookingDeadline), q(info.whois), cell(info.platform), cell(info.price), cell(info.rmb),
        cell(info.deposit) };
}

QString icpCaption(const QString &domain, LookupTrigger trigger)
{
    const QString licence = licenceOf(domain);
    if (licence.isEmpty())
        return u"是否备案：未备案"_s;
    return (trigger == LookupTrigger::Menu ? u"是否备案：已备案 "_s : u"是否备案："_s) + licence;
}

} // namespace

class TestQuerying : public WindowTest
{
    Q_OBJECT
    void startQuery(LookupTrigger trigger)
    {
        if (trigger == LookupTrigger::Menu)
            choose("queryAction");
        else
            doubleClickRow(domainList()->currentRow());
    }

    QStringList shown() const
    {
        QStringList texts;
        for (const char *name : ShownControls)
            texts.append(textOf(name));
        return texts;
    }

    QString m_filed; // bookable, its site filed
    QString m_unfiled; // booking closed, its site not filed

private slots:
    void init()
    {
        m_filed = sampleDomain(false, true);
        m_unfiled = sampleDomain(true, false);
        QVERIFY(!m_filed.isEmpty() && !m_unfiled.isEmpty());
        startWindow();
    }

    void cleanup() { endWindow(); }

    // The values one per line in their controls (tst_domainlookup checks the requests and the pages'
    // faults); the menu acts on the selected entry, not the one the right button went down on.
    void query_data()
    {
        QTest::addColumn<LookupTrigger>("trigger");
        QTest::addColumn<bool>("collected"); // the domain not filed and closed, collected; else put in the list
        QTest::newRow("menu, filed, bookable") << LookupTrigger::Menu << false;
        QTest::newRow("menu, not filed, booking closed, collected") << LookupTrigger::Menu << true;
        QTest::newRow("double-click, filed, bookable") << LookupTrigger::DoubleClick << false;
        QTest::newRow("double-click, not filed, booking closed, collected") << LookupTrigger::DoubleClick << true;
    }

    void query()
    {
        QFETCH(LookupTrigger, trigger);
        QFETCH(bool, collected);
        const QString domain = collected ? m_unfiled : m_filed;
        if (collected) {
            click("startButton");
            QTRY_COMPARE_WITH_TIMEOUT(status(), u"采集完毕 .."_s, WaitMs);
            QVERIFY(domainList()->names().contains(domain));
            clickRow(int(domainList()->names().indexOf(domain)));
        } else {
            fillList({ u"first.example"_s, domain, u"last.example"_s }, 1);
        }
        if (trigger == LookupTrigger::Menu) {
            clickRow(domainList()->currentRow() == 0 ? 1 : 0, Qt::RightButton);
            control<QMenu>("domainMenu")->hide();
        }
        startQuery(trigger);
        QCOMPARE(status(), Querying);
        QTRY_COMPARE_WITH_TIMEOUT(status(), QueryDone, WaitMs);
        QCOMPARE(shown(), expectedShown(domain));
        QCOMPARE(textOf("icpFilingLabel"), icpCaption(domain, trigger));
    }

    void secondQueryShowsItsDomain_data()
    {
        QTest::addColumn<LookupTrigger>("first");
        QTest::addColumn<LookupTrigger>("second");
        QTest::addColumn<QByteArray>("held"); // the first query's page held back: "backorder", "icp" or none
        for (const char *held : { "", "backorder", "icp" }) {
            const char *when = *held ? held : "after the first finished";
            QTest::addRow("menu, then double-click, %s", when)
                << LookupTrigger::Menu << LookupTrigger::DoubleClick << QByteArray(held);
            QTest::addRow("double-click, then menu, %s", when)
                << LookupTrigger::DoubleClick << LookupTrigger::Menu << QByteArray(held);
        }
    }

    // A query started while another waits supersedes it: nothing of the first shows later.
    void secondQueryShowsItsDomain()
    {
        QFETCH(LookupTrigger, first);
        QFETCH(LookupTrigger, second);
        QFETCH(QByteArray, held);
        const std::string heldTarget
            = held == "icp" ? icpTarget(m_filed) : (held == "backorder" ? backorderTarget(m_filed) : std::string());
        if (!heldTarget.empty())
            site().hold(heldTarget);
        fillList({ m_filed, m_unfiled }, 0);
        startQuery(first);
        QCOMPARE(status(), Querying);
        if (heldTarget.empty()) {
            QTRY_COMPARE_WITH_TIMEOUT(status(), QueryDone, WaitMs);
            QCOMPARE(textOf("icpFilingLabel"), icpCaption(m_filed, first));
        } else {
            QVERIFY(waitForRequest(heldTarget));
            QCOMPARE(status(), Querying);
        }
        if (held != "backorder")
            QCOMPARE(shown(), expectedShown(m_filed));
        // Meanwhile the window is live: a click is handled.
        click("homePageButton");
        QCOMPARE(openedUrls, QList<QUrl> { QUrl(siteUrl() + u"/home"_s) });
        clickRow(1);
        startQuery(second);
        QCOMPARE(status(), Querying);
        QTRY_COMPARE_WITH_TIMEOUT(status(), QueryDone, WaitMs);
        if (!heldTarget.empty())
            site().release(heldTarget);
        // Lets whatever the site was told to send reach the window: one more round trip to the site.
        setPageCount(u"0"_s);
        click("startButton");
        QTRY_COMPARE_WITH_TIMEOUT(status(), u"采集完毕 .."_s, WaitMs);
        QCOMPARE(shown(), expectedShown(m_unfiled));
        QCOMPARE(textOf("icpFilingLabel"), icpCaption(m_unfiled, second));
        QCOMPARE(site().requestCount(icpTarget(m_filed)), held == "backorder" ? 0 : 1);
    }
};

QTEST_MAIN(TestQuerying)
#include "tst_querying.moc"
