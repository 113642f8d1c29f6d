// The domain lookup against the fake site: the backorder page and the ICP filing, from the menu
// and by double-click, when the pages come, fail, come late, or a newer lookup overtakes.
#include "core/lookup/domainlookup.h"
#include "tests/sitetest.h"
#include "tools/samplemarket.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace std::chrono_literals;

namespace {

// What the lookup tells, as the tests write it down: its start, then at its end the ICP state and
// whether the backorder page was read.
const QString Querying = QStringLiteral("started");
const QString QueryDone = QStringLiteral("page read");
const QString QueryFailed = QStringLiteral("page not read");
const QString NotFiled = QStringLiteral("not filed");
const QString IcpFailed = QStringLiteral("failed");

constexpr int ShortTimeoutMs = 1000;
constexpr int WaitMs = 30000;

FakeSite::Answer gbkPage(const std::string &utf8Page, int status = 200)
{
    return FakeSite::Reply::gbkHtml(utf8Page, status);
}

QString filedCaption(const QString &domain, LookupTrigger)
{
    return QStringLiteral("filed ") + licenceOf(domain);
}

QStringList valuesOf(const BackorderPage &page)
{
    return { page.deletionType, page.deletionTime, page.deadline, page.whois, page.platform, page.price, page.rmb,
        page.deposit, page.bookingClosed ? QStringLiteral("closed") : QString() };
}

// What the lookup is to show for a domain of the sample marketplace.
QStringList sampleValuesOf(const QString &domain)
{
    const SampleMarket::BackorderInfo info = SampleMarket::backorderInfoFor(domain.toStdString());
    const auto q = [&info](const std::string &cell) { return QString::fromStdString(info.bookingClosed ? "" : cell); };
    return { QString::fromStdString(info.deletionType), QString::fromStdString(info.deletionTime),
        QString::fromStdString(info.bookingDeadline), QString::fromStdString(info.whois), q(info.platform),
        q(info.price), q(info.rmb), q(info.deposit), info.bookingClosed ? QStringLiteral("closed") : QString() };
}

const QStringList NoValues(9);
const LookupTrigger BothTriggers[] = { LookupTrigger::Menu, LookupTrigger::DoubleClick };

const char *triggerName(LookupTrigger trigger)
{
    return trigger == LookupTrigger::Menu ? "menu" : "double-click";
}

QString finished(const QString &domain)
{
    return QStringLiteral("finished ") + domain;
}

} // namespace

Q_DECLARE_METATYPE(LookupTrigger)
Q_DECLARE_METATYPE(IcpFiling)

class TestDomainLookup : public SiteTest
{
    Q_OBJECT

private slots:
    void init()
    {
        startSite();
        m_events.clear();
        m_shown.clear();
        m_records.clear();
    }

    void cleanup()
    {
        m_lookup.reset();
        endSite();
    }

    void endToEnd_data()
    {
        QTest::addColumn<LookupTrigger>("trigger");
        QTest::addColumn<QString>("domain");
        QTest::addColumn<std::string>("encoded"); // as it goes into both addresses
        for (const LookupTrigger trigger : BothTriggers) {
            for (const QString &domain : { sampleDomain(false, true), sampleDomain(false, false),
                     sampleDomain(true, true), QStringLiteral("x y?z#%.com") }) {
                const std::string encoded = domain.contains(u' ') ? "x%20y%3Fz%23%25.com" : domain.toStdString();
                QTest::addRow("%s, %s", triggerName(trigger), qPrintable(domain)) << trigger << domain << encoded;
            }
        }
    }

    void endToEnd()
    {
        QFETCH(LookupTrigger, trigger);
        QFETCH(QString, domain);
        QFETCH(std::string, encoded);
        const bool filed = !licenceOf(domain).isEmpty();
        lookup()->start(domain, trigger);
        QCOMPARE(m_events, QStringList { Querying }); // at once, before any page came
        QTRY_COMPARE_WITH_TIMEOUT(m_records.size(), 1, WaitMs);

        const QString caption = filed ? filedCaption(domain, trigger) : NotFiled;
        QCOMPARE(m_events, QStringList({ Querying, QStringLiteral("shown"), caption, QueryDone, finished(domain) }));
        QCOMPARE(valuesOf(m_shown.front()), sampleValuesOf(domain));
        const LookupRecord &record = m_records.front();
        QCOMPARE(record.domain, domain);
        QVERIFY(record.time.isValid());
        QVERIFY(record.backorderRead());
        QCOMPARE(valuesOf(record.values), sampleValuesOf(domain));
        QCOMPARE(record.filing, filed ? IcpFiling::Filed : IcpFiling::NotFiled);
        QCOMPARE(record.licence, licenceOf(domain));
        QCOMPARE(record.backorderFailure + record.icpFailure, QString());

        // Only the ICP page asks caches for a fresh copy.
        const auto requests = site().requests();
        QCOMPARE(requests.size(), std::size_t(2));
        QCOMPARE(requests[0].target, "/backorder/" + encoded);
        QVERIFY(!requests[0].hasIfModifiedSince);
        QCOMPARE(requests[1].target, "/" + encoded);
        QCOMPARE(requests[1].ifModifiedSince, std::string("0"));
    }

    // The backorder page fails: the lookup says so and still asks the ICP site. No page leaves a double-click's
    // area as it was, the menu shows the bare captions; another page (a login page) shows empty values.
    void backorderPageFails_data()
    {
        QTest::addColumn<LookupTrigger>("trigger");
        QTest::addColumn<FakeSite::Answer>("answer");
        QTest::addColumn<QString>("shown"); // "values", "empty" or "menu only"
        QList<QPair<QByteArray, FakeSite::Answer>> answers;
        for (const Fault fault : allFaults()) {
            if (fault != Fault::InvalidUtf8) // the marketplace's pages are GBK, never UTF-8
                answers.append({ describeFault(fault), FakeSite::Answer(fault) });
        }
        answers.append({ "blank page", gbkPage("") });
        answers.append({ "page without markers", gbkPage("<html><body>请先登录后再访问该页面。</body></html>") });
        for (const LookupTrigger trigger : BothTriggers) {
            for (const auto &[name, answer] : std::as_const(answers)) {
                QString shown = QStringLiteral("menu only");
                if (answer.fault == Fault::GbkDeclaredUtf8)
                    shown = QStringLiteral("values"); // read as GBK whatever it declares
                else if (answer.fault == Fault::RedirectElsewhere || name == "page without markers")
                    shown = QStringLiteral("empty");
                QTest::addRow("%s, %s", triggerName(trigger), name.constData()) << trigger << answer << shown;
            }
        }
    }

    void backorderPageFails()
    {
        QFETCH(LookupTrigger, trigger);
        QFETCH(FakeSite::Answer, answer);
        QFETCH(QString, shown);
        const QString domain = sampleDomain(false, true);
        lookUpWithin(domain, trigger, backorderTarget(domain), answer, &AppConfig::marketUrl);
        const bool read = shown == QLatin1String("values");
        const bool areaWritten = shown != QLatin1String("menu only") || trigger == LookupTrigger::Menu;
        QStringList expected { Querying };
        if (areaWritten)
            expected << QStringLiteral("shown");
        expected << filedCaption(domain, trigger) << (read ? QueryDone : QueryFailed) << finished(domain);
        QCOMPARE(m_events, expected);
        if (areaWritten)
            QCOMPARE(valuesOf(m_shown.front()), read ? sampleValuesOf(domain) : NoValues);
        QCOMPARE(m_records.front().backorderRead(), read);
        QCOMPARE(m_records.front().backorderFailure.isEmpty(), read);
        QCOMPARE(site().requestCount(icpTarget(domain)), 1);
    }

    // Anything but the ICP site's own answer reads "查询失败", never "未备案"; the lookup itself is done.
    void icpAnswers_data()
    {
        QTest::addColumn<LookupTrigger>("trigger");
        QTest::addColumn<FakeSite::Answer>("answer");
        QTest::addColumn<IcpFiling>("filing");
        const auto row = [](const char *name, const FakeSite::Answer &answer, IcpFiling filing) {
            for (const LookupTrigger trigger : BothTriggers)
                QTest::addRow("%s, %s", triggerName(trigger), name) << trigger << answer << filing;
        };
        const std::string licence = SampleMarket::icpLicenceFor(sampleDomain(false, true).toStdString());
        row("filed, page in UTF-8", FakeSite::Reply::utf8Html(SampleMarket::icpPage(licence)), IcpFiling::Filed);
        row("not filed", gbkPage(SampleMarket::icpPage("")), IcpFiling::NotFiled);
        row("captcha page", gbkPage("<html><body>请输入验证码：<img src=\"/captcha.png\"></body></html>"),
            IcpFiling::Unknown);
        row("blank page", gbkPage(""), IcpFiling::Unknown);
        for (const Fault fault : allFaults()) // the page is read as it declares itself
            QTest::addRow("double-click, %s", describeFault(fault))
                << LookupTrigger::DoubleClick << FakeSite::Answer(fault)
                << (fault == Fault::InvalidUtf8 ? IcpFiling::Filed : IcpFiling::Unknown);
    }

    void icpAnswers()
    {
        QFETCH(LookupTrigger, trigger);
        QFETCH(FakeSite::Answer, answer);
        QFETCH(IcpFiling, filing);
        const QString domain = sampleDomain(false, true);
        lookUpWithin(domain, trigger, icpTarget(domain), answer, &AppConfig::icpUrl);
        const QString caption = filing == IcpFiling::Filed ? filedCaption(domain, trigger)
            : filing == IcpFiling::NotFiled                ? NotFiled
                                                           : IcpFailed;
        QCOMPARE(m_events, QStringList({ Querying, QStringLiteral("shown"), caption, QueryDone, finished(domain) }));
        const LookupRecord &record = m_records.front();
        QCOMPARE(record.filing, filing);
        QCOMPARE(record.licence, filing == IcpFiling::Filed ? licenceOf(domain) : QString());
        QCOMPARE(record.icpFailure.isEmpty(), filing != IcpFiling::Unknown);
    }

    // A backorder page later than the usual limit is still read from the menu, which waits longer.
    void menuWaitsLonger_data()
    {
        QTest::addColumn<LookupTrigger>("trigger");
        for (const LookupTrigger trigger : BothTriggers)
            QTest::newRow(triggerName(trigger)) << trigger;
    }

    void menuWaitsLonger()
    {
        QFETCH(LookupTrigger, trigger);
        const QString domain = sampleDomain(false, false);
        config.requestTimeoutMs = ShortTimeoutMs;
        config.menuLookupTimeoutMs = 4 * ShortTimeoutMs;
        site().hold(backorderTarget(domain));
        QObject releaser;
        QTimer::singleShot(2 * ShortTimeoutMs, &releaser, [&] { site().release(backorderTarget(domain)); });

        lookup()->start(domain, trigger);
        QTRY_COMPARE_WITH_TIMEOUT(m_records.size(), 1, WaitMs);
        if (trigger == LookupTrigger::Menu) {
            QCOMPARE(
                m_events, QStringList({ Querying, QStringLiteral("shown"), NotFiled, QueryDone, finished(domain) }));
            QCOMPARE(valuesOf(m_shown.front()), sampleValuesOf(domain));
        } else {
            QCOMPARE(m_events, QStringList({ Querying, NotFiled, QueryFailed, finished(domain) }));
        }
    }

    // The first lookup waits for its ICP page when the second starts: from then on only the second one speaks.
    void newerLookupSupersedes_data()
    {
        QTest::addColumn<LookupTrigger>("first");
        QTest::addColumn<LookupTrigger>("second");
        QTest::addColumn<bool>("overtaken"); // else the first one ends before the second starts
        QTest::newRow("menu lookup overtaken by a double-click")
            << LookupTrigger::Menu << LookupTrigger::DoubleClick << true;
        QTest::newRow("double-click overtaken by a menu lookup")
            << LookupTrigger::DoubleClick << LookupTrigger::Menu << true;
        QTest::newRow("menu, then double-click, one after the other")
            << LookupTrigger::Menu << LookupTrigger::DoubleClick << false;
    }

    void newerLookupSupersedes()
    {
        QFETCH(LookupTrigger, first);
        QFETCH(LookupTrigger, second);
        QFETCH(bool, overtaken);
        const QString filed = sampleDomain(false, true);
        const QString notFiled = sampleDomain(false, false);
        if (overtaken)
            site().hold(icpTarget(filed));

        lookup()->start(filed, first);
        if (overtaken)
            QTRY_VERIFY_WITH_TIMEOUT(site().waitUntilRequested(icpTarget(filed), 0ms), WaitMs);
        else
            QTRY_COMPARE_WITH_TIMEOUT(m_records.size(), 1, WaitMs);
        const qsizetype secondStart = m_events.size();
        const int recordsBefore = m_records.size();
        lookup()->start(notFiled, second);
        QTRY_COMPARE_WITH_TIMEOUT(m_records.size(), recordsBefore + 1, WaitMs);
        site().release(icpTarget(filed));
        QVERIFY(settle());

        QCOMPARE(m_events.mid(secondStart),
            QStringList({ Querying, QStringLiteral("shown"), NotFiled, QueryDone, finished(notFiled) }));
        QCOMPARE(valuesOf(m_shown.constLast()), sampleValuesOf(notFiled));
        const LookupRecord &record = m_records.constLast();
        QCOMPARE(record.domain, notFiled);
        QCOMPARE(record.filing, IcpFiling::NotFiled);
        QCOMPARE(record.licence, QString());
        QCOMPARE(valuesOf(record.values), sampleValuesOf(notFiled));
    }

private:
    // The lookup, with the target answered so and short time limits, ends within them.
    void lookUpWithin(const QString &domain, LookupTrigger trigger, const std::string &target,
        const FakeSite::Answer &answer, QString AppConfig::*address)
    {
        config.requestTimeoutMs = config.menuLookupTimeoutMs = ShortTimeoutMs;
        setAnswer(target, answer, address);
        QElapsedTimer clock;
        clock.start();
        lookup()->start(domain, trigger);
        QTRY_COMPARE_WITH_TIMEOUT(m_records.size(), 1, WaitMs);
        QVERIFY2(clock.elapsed() < ShortTimeoutMs + 2000, QByteArray::number(clock.elapsed()));
    }

    DomainLookup *lookup()
    {
        if (m_lookup)
            return m_lookup.get();
        m_lookup = std::make_unique<DomainLookup>(fetcher(), config);
        DomainLookup *lookup = m_lookup.get();
        connect(lookup, &DomainLookup::started, this, [this] { m_events << Querying; });
        connect(lookup, &DomainLookup::backorderShown, this, [this](const BackorderPage &values) {
            m_events << QStringLiteral("shown");
            m_shown << values;
        });
        connect(lookup, &DomainLookup::finished, this, [this](const LookupRecord &record) {
            m_events << (record.filing == IcpFiling::Filed ? QStringLiteral("filed ") + record.licence
                                                           : icpFilingName(record.filing))
                     << (record.backorderRead() ? QueryDone : QueryFailed) << QStringLiteral("finished ") + record.domain;
            m_records << record;
        });
        return lookup;
    }

    std::unique_ptr<DomainLookup> m_lookup;
    // Everything the lookup told, in order: "started", "shown", the ICP state, whether the page was read,
    // "finished <domain>".
    QStringList m_events;
    QList<BackorderPage> m_shown;
    QList<LookupRecord> m_records;
};

QTEST_GUILESS_MAIN(TestDomainLookup)
#include "tst_domainlookup.moc"
