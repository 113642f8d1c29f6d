// The collection: the page-count box and scroll bar, the single-page collection and the
// timer-paced run, against a marketplace on 127.0.0.1 whose answers the test holds and releases.
#include "app/domainlist.h"
#include "app/form1.h"
#include "app/spinarrows.h"
#include "collect/collectionrun.h"
#include "collect/pagecount.h"
#include "tools/loopbackserver.h"

#include <httplib.h>

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <set>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString StartCaption = u"开始采集"_s;
const QString StopCaption = u"停止采集"_s;
const QString RunStarted = u"正在批量采集 .."_s;
const QString RunStopped = u"已停止批量采集操作 .."_s;
const QString RunDone = u"批量采集完毕 .."_s;
const QString SingleStarted = u"开始采集 .."_s;
const QString SingleDone = u"采集完毕 .."_s;
const QString SingleFetchFailed = u"采集失败,请稍后再试 .."_s;
const QString SingleNoNames = u"页面中未找到域名 .."_s;

constexpr int RunTimeoutMs = 20000;

QString pageMessage(int page)
{
    return u"正在采集第%1页.."_s.arg(page);
}

// The names the marketplace lists on the page asked for with this value of "p".
QStringList namesOf(const QString &key)
{
    QStringList names;
    for (int i = 1; i <= 50; ++i)
        names.append(u"p%1n%2.com"_s.arg(key).arg(i));
    return names;
}

QStringList namesOf(int page)
{
    return namesOf(QString::number(page));
}

QStringList namesOfPages(int first, int last)
{
    QStringList names;
    for (int page = first; page <= last; ++page)
        names += namesOf(page);
    return names;
}

QString resultsPage(const QStringList &names, bool withResultsMarker = true, bool withPagination = true)
{
    QString text = u"<html><body>\r\n"_s;
    if (withResultsMarker)
        text += u"<a href=\"/booking\">预订</a>\r\n"_s;
    text += u"<table>\r\n"_s;
    for (const QString &name : names)
        text += u"<tr>\r\n    <td><a href=\"/backorder/"_s + name + u"\">"_s + name + u"</a></td>\r\n</tr>\r\n"_s;
    text += u"</table>\r\n"_s;
    if (withPagination)
        text += u"<div class=\"pagination\"><a href=\"/search?p=2\">2</a></div>\r\n"_s;
    return text + u"</body></html>"_s;
}

// An address on 127.0.0.1 where nothing listens.
QString closedPortUrl()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost))
        return QString();
    return u"http://127.0.0.1:%1"_s.arg(probe.serverPort());
}

QList<int> range(int first, int last)
{
    QList<int> pages;
    for (int page = first; page <= last; ++page)
        pages.append(page);
    return pages;
}

// The marketplace's results pages. Any page can be held back until the test releases it, or
// answered with a fault; the server counts how many requests it handles at once.
class Market
{
public:
    enum class Answer { Page, ErrorWithoutBody, NoResultsMarker, NoPaginationMarker, Never };

    Market()
    {
        m_server.get("/search",
            [this](const httplib::Request &request, httplib::Response &response) { serve(request, response); });
        m_server.start();
    }

    ~Market()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_closing = true;
        }
        m_changed.notify_all();
        m_server.stop();
    }

    bool isListening() const { return m_server.port() > 0; }
    QString url() const { return QString::fromStdString(m_server.baseUrl()); }

    void holdEveryPage()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_holdEveryPage = true;
    }
    void hold(int page)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_held.insert(page);
    }
    void release(int page)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_released.insert(page);
        }
        m_changed.notify_all();
    }
    void releaseAll()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_releaseAll = true;
        }
        m_changed.notify_all();
    }
    void answer(int page, Answer answer)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_answers[page] = answer;
    }

    QStringList requestedTargets() const
    {
        QStringList targets;
        for (const std::string &target : m_server.requestedTargets())
            targets.append(QString::fromStdString(target));
        return targets;
    }
    // The requested page numbers, in ascending order.
    QList<int> requestedPages() const
    {
        QList<int> pages;
        for (const QString &target : requestedTargets())
            pages.append(target.section(u"p="_s, 1).toInt());
        std::sort(pages.begin(), pages.end());
        return pages;
    }
    int answered() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_answered;
    }
    int mostAtOnce() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_mostAtOnce;
    }

private:
    void serve(const httplib::Request &request, httplib::Response &response)
    {
        const QString key = QString::fromStdString(request.get_param_value("p"));
        bool isNumber = false;
        const int page = key.toInt(&isNumber);
        Answer answer = Answer::Page;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_mostAtOnce = std::max(m_mostAtOnce, ++m_atOnce);
            if (isNumber && m_answers.count(page))
                answer = m_answers[page];
            const auto mayAnswer = [&] {
                if (m_closing)
                    return true;
                if (answer == Answer::Never)
                    return false;
                const bool held = isNumber && (m_holdEveryPage || m_held.count(page));
                return !held || m_releaseAll || m_released.count(page) > 0;
            };
            // Bounded, so that a failing test cannot hang the server.
            m_changed.wait_for(lock, std::chrono::seconds(30), mayAnswer);
            --m_atOnce;
        }
        switch (answer) {
        case Answer::Page:
            response.set_content(resultsPage(namesOf(key)).toStdString(), "text/html; charset=utf-8");
            break;
        case Answer::ErrorWithoutBody:
            response.status = 500;
            break;
        case Answer::NoResultsMarker:
            response.set_content(resultsPage(namesOf(key), false).toStdString(), "text/html; charset=utf-8");
            break;
        case Answer::NoPaginationMarker:
            response.set_content(resultsPage(namesOf(key), true, false).toStdString(), "text/html; charset=utf-8");
            break;
        case Answer::Never:
            break;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_answered;
    }

    LoopbackServer m_server;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_closing = false;
    bool m_holdEveryPage = false;
    bool m_releaseAll = false;
    std::set<int> m_held;
    std::set<int> m_released;
    std::map<int, Answer> m_answers;
    int m_answered = 0;
    int m_atOnce = 0;
    int m_mostAtOnce = 0;
};

// Every status text of the collection in order, with the list's length when it was shown.
struct StatusLog
{
    QStringList texts;
    QList<int> listLengths;
};

struct Window
{
    explicit Window(const QString &marketUrl)
        : form(configFor(marketUrl))
    {
        form.fetchLimits.transferTimeoutMs = 10000;
        run = form.collectionRun();
        QObject::connect(run, &CollectionRun::statusShown, &form, [this](const QString &text) {
            log.texts.append(text);
            log.listLengths.append(form.List1->ListCount());
        });
        form.show();
    }

    static AppConfig configFor(const QString &marketUrl)
    {
        AppConfig config;
        config.marketUrl = marketUrl;
        return config;
    }

    void setCount(const QString &text) { form.Text1->setText(text); }
    void click() { QTest::mouseClick(form.Command1, Qt::LeftButton); }

    Form1 form;
    CollectionRun *run = nullptr;
    StatusLog log;
};

} // namespace

class TestCollect : public QObject
{
    Q_OBJECT

private slots:
    void readPageCount_data();
    void readPageCount();
    void lastRunPage_data();
    void lastRunPage();
    void countBoxKeepsOnlyNumbers_data();
    void countBoxKeepsOnlyNumbers();
    void typingLettersOrClearingGivesOne();
    void scrollBarSetsCountAndTypingLeavesIt();

    void singlePage_data();
    void singlePage();
    void singlePageDisablesButtonWhileItWorks();
    void singlePageFailure_data();
    void singlePageFailure();

    void runListsPagesInOrder_data();
    void runListsPagesInOrder();
    void runKeepsFourPagesInFlight();
    void stopAbortsRunAndNewRunGetsNoOldPages();
    void failingPagesAreSkippedAndCounted_data();
    void failingPagesAreSkippedAndCounted();
    void raisingCountExtendsRun();
    void loweringCountEndsRunEarly();
    void runEndsAfterLastPossiblePage();
    void singlePageDuringRunLeavesRunAlone();
};

void TestCollect::readPageCount_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isNumber");
    QTest::addColumn<double>("value");

    QTest::newRow("one") << u"1"_s << true << 1.0;
    QTest::newRow("zero") << u"0"_s << true << 0.0;
    QTest::newRow("negative") << u"-3"_s << true << -3.0;
    QTest::newRow("plus sign") << u"+4"_s << true << 4.0;
    QTest::newRow("fraction") << u"2.5"_s << true << 2.5;
    QTest::newRow("leading point") << u".5"_s << true << 0.5;
    QTest::newRow("trailing point") << u"5."_s << true << 5.0;
    QTest::newRow("exponent") << u"1e2"_s << true << 100.0;
    QTest::newRow("signed exponent") << u"25E-1"_s << true << 2.5;
    QTest::newRow("blanks around") << u"  7 "_s << true << 7.0;
    QTest::newRow("huge exponent") << u"1e999"_s << true << std::numeric_limits<double>::infinity();
    QTest::newRow("huge negative exponent") << u"-1e999"_s << true << -std::numeric_limits<double>::infinity();
    QTest::newRow("tiny exponent") << u"1e-999"_s << true << 0.0;
    QTest::newRow("too many digits despite a negative exponent")
        << (u"1"_s + QString(400, u'0') + u"e-1"_s) << true << std::numeric_limits<double>::infinity();
    QTest::newRow("too small despite a positive exponent") << (u"0."_s + QString(400, u'0') + u"1e+5"_s) << true << 0.0;
    QTest::newRow("empty") << QString() << false << 0.0;
    QTest::newRow("blanks only") << u"  "_s << false << 0.0;
    QTest::newRow("letters") << u"abc"_s << false << 0.0;
    QTest::newRow("digit and letter") << u"1a"_s << false << 0.0;
    QTest::newRow("sign alone") << u"-"_s << false << 0.0;
    QTest::newRow("point alone") << u"."_s << false << 0.0;
    QTest::newRow("two points") << u"1.2.3"_s << false << 0.0;
    QTest::newRow("exponent without digits") << u"1e"_s << false << 0.0;
    QTest::newRow("hexadecimal") << u"0x10"_s << false << 0.0;
    QTest::newRow("group separator") << u"1,000"_s << false << 0.0;
    QTest::newRow("infinity word") << u"inf"_s << false << 0.0;
    QTest::newRow("blank inside") << u"1 2"_s << false << 0.0;
    QTest::newRow("line break after the number") << u"1\n"_s << false << 0.0;
    QTest::newRow("tab after the number") << u"1\t"_s << false << 0.0;
}

void TestCollect::readPageCount()
{
    QFETCH(QString, text);
    QFETCH(bool, isNumber);
    QFETCH(double, value);

    const std::optional<double> count = ::readPageCount(text);
    QCOMPARE(count.has_value(), isNumber);
    if (isNumber)
        QCOMPARE(*count, value);
}

void TestCollect::lastRunPage_data()
{
    QTest::addColumn<double>("count");
    QTest::addColumn<int>("lastPage");

    QTest::newRow("3") << 3.0 << 3;
    QTest::newRow("2.5: whole pages up to it") << 2.5 << 2;
    QTest::newRow("1.5") << 1.5 << 1;
    QTest::newRow("0.5") << 0.5 << 0;
    QTest::newRow("negative") << -4.0 << 0;
    QTest::newRow("32767") << 32767.0 << 32767;
    QTest::newRow("above the counter's range") << 1e9 << 32767;
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << 32767;
}

void TestCollect::lastRunPage()
{
    QFETCH(double, count);
    QFETCH(int, lastPage);
    QCOMPARE(::lastRunPage(count), lastPage);
}

void TestCollect::countBoxKeepsOnlyNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("kept");

    QTest::newRow("letters become 1") << u"abc"_s << u"1"_s;
    QTest::newRow("empty becomes 1") << QString() << u"1"_s;
    QTest::newRow("sign alone becomes 1") << u"-"_s << u"1"_s;
    QTest::newRow("zero stays") << u"0"_s << u"0"_s;
    QTest::newRow("negative stays") << u"-5"_s << u"-5"_s;
    QTest::newRow("fraction stays") << u"2.5"_s << u"2.5"_s;
    QTest::newRow("exponent stays") << u"1e1"_s << u"1e1"_s;
    QTest::newRow("blanks stay") << u" 3"_s << u" 3"_s;
}

void TestCollect::countBoxKeepsOnlyNumbers()
{
    QFETCH(QString, text);
    QFETCH(QString, kept);

    Form1 form;
    form.Text1->setText(u"9"_s);
    form.Text1->setText(text);
    QCOMPARE(form.Text1->text(), kept);
    QCOMPARE(form.HScroll1->value(), 0);
}

void TestCollect::typingLettersOrClearingGivesOne()
{
    Form1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.Text1->setFocus();

    form.Text1->selectAll();
    QTest::keyClicks(form.Text1, u"x"_s);
    QCOMPARE(form.Text1->text(), u"1"_s);

    form.Text1->selectAll();
    QTest::keyClicks(form.Text1, u"12"_s);
    QCOMPARE(form.Text1->text(), u"12"_s);
    QTest::keyClick(form.Text1, Qt::Key_Backspace);
    QTest::keyClick(form.Text1, Qt::Key_Backspace);
    QCOMPARE(form.Text1->text(), u"1"_s);
    QCOMPARE(form.HScroll1->value(), 0);
}

void TestCollect::scrollBarSetsCountAndTypingLeavesIt()
{
    Form1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.Text1->selectAll();
    QTest::keyClicks(form.Text1, u"5"_s);
    QCOMPARE(form.Text1->text(), u"5"_s);
    QCOMPARE(form.HScroll1->value(), 0);

    QTest::mouseClick(form.HScroll1->rightArrow(), Qt::LeftButton);
    QCOMPARE(form.HScroll1->value(), 1);
    QCOMPARE(form.Text1->text(), u"1"_s);
    QTest::mouseClick(form.HScroll1->rightArrow(), Qt::LeftButton);
    QCOMPARE(form.Text1->text(), u"2"_s);

    form.Text1->selectAll();
    QTest::keyClicks(form.Text1, u"40"_s);
    QCOMPARE(form.Text1->text(), u"40"_s);
    QCOMPARE(form.HScroll1->value(), 2);
    QTest::mouseClick(form.HScroll1->leftArrow(), Qt::LeftButton);
    QCOMPARE(form.Text1->text(), u"1"_s);
}

void TestCollect::singlePage_data()
{
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("target");

    QTest::newRow("count 1 fetches p=1") << u"1"_s << u"/search?p=1"_s;
    QTest::newRow("count 0 fetches p=0") << u"0"_s << u"/search?p=0"_s;
    QTest::newRow("count -2 fetches p=-2") << u"-2"_s << u"/search?p=-2"_s;
    QTest::newRow("count 0.5 as typed") << u"0.5"_s << u"/search?p=0.5"_s;
    QTest::newRow("count with a blank, encoded") << u" 1"_s << u"/search?p=%201"_s;
    QTest::newRow("count with a plus, encoded") << u"+1"_s << u"/search?p=%2B1"_s;
}

void TestCollect::singlePage()
{
    QFETCH(QString, count);
    QFETCH(QString, target);

    Market market;
    QVERIFY(market.isListening());
    Window window(market.url());
    Form1 &form = window.form;
    form.List1->AddItems({ u"first.com"_s, u"second.com"_s });
    form.PageParts[7] = u"detail"_s;
    window.setCount(count);
    QCOMPARE(form.Text1->text(), count);

    window.click();

    QCOMPARE(market.requestedTargets(), QStringList { target });
    const QString key = QUrl::fromPercentEncoding(target.section(u"p="_s, 1).toUtf8());
    QCOMPARE(form.List1->entries(), QStringList({ u"first.com"_s, u"second.com"_s }) + namesOf(key));
    QCOMPARE(form.List1->ListIndex(), 49);
    QCOMPARE(window.log.texts, QStringList({ SingleStarted, SingleDone }));
    QCOMPARE(form.statusText(), SingleDone);
    QCOMPARE(form.Command1->text(), StartCaption);
    QVERIFY(form.Command1->isEnabled());
    QVERIFY(!form.Timer1->isActive());
    QCOMPARE(form.PageNo, qint16(0));
    // Unlike a run's page, the single page leaves its slots filled.
    QCOMPARE(form.PageParts[3], namesOf(key).constLast());
    QCOMPARE(form.PageParts[7], u"detail"_s);
}

void TestCollect::singlePageDisablesButtonWhileItWorks()
{
    Market market;
    market.hold(1);
    Window window(market.url());
    Form1 &form = window.form;

    bool disabledMeanwhile = false;
    QString statusMeanwhile;
    QTimer probe;
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, &form, [&] {
        if (market.requestedTargets().isEmpty())
            return;
        probe.stop();
        disabledMeanwhile = !form.Command1->isEnabled();
        statusMeanwhile = form.statusText();
        // A second click meanwhile does nothing.
        QTest::mouseClick(form.Command1, Qt::LeftButton);
        market.release(1);
    });
    probe.start();
    window.click();

    QVERIFY(disabledMeanwhile);
    QCOMPARE(statusMeanwhile, SingleStarted);
    QCOMPARE(market.requestedTargets(), QStringList { u"/search?p=1"_s });
    QCOMPARE(form.List1->entries(), namesOf(1));
    QVERIFY(form.Command1->isEnabled());
    QCOMPARE(form.statusText(), SingleDone);
}

void TestCollect::singlePageFailure_data()
{
    QTest::addColumn<bool>("reachable");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("message");

    QTest::newRow("server unreachable") << false << int(Market::Answer::Page) << SingleFetchFailed;
    QTest::newRow("error status without body") << true << int(Market::Answer::ErrorWithoutBody) << SingleFetchFailed;
    QTest::newRow("page without results marker") << true << int(Market::Answer::NoResultsMarker) << SingleNoNames;
    QTest::newRow("page without pagination marker") << true << int(Market::Answer::NoPaginationMarker) << SingleNoNames;
}

void TestCollect::singlePageFailure()
{
    QFETCH(bool, reachable);
    QFETCH(int, answer);
    QFETCH(QString, message);

    Market market;
    market.answer(1, Market::Answer(answer));
    Window window(reachable ? market.url() : closedPortUrl());
    Form1 &form = window.form;
    form.List1->AddItems({ u"kept.com"_s });

    window.click();

    QCOMPARE(window.log.texts, QStringList({ SingleStarted, message }));
    QCOMPARE(form.statusText(), message);
    QVERIFY(form.Command1->isEnabled());
    QCOMPARE(form.Command1->text(), StartCaption);
    QCOMPARE(form.List1->entries(), QStringList { u"kept.com"_s });
    QCOMPARE(market.requestedTargets(), reachable ? QStringList { u"/search?p=1"_s } : QStringList());
}

void TestCollect::runListsPagesInOrder_data()
{
    QTest::addColumn<QString>("count");
    QTest::addColumn<int>("pages");

    QTest::newRow("count 3: pages 1 to 3") << u"3"_s << 3;
    QTest::newRow("count 2.5: pages 1 and 2") << u"2.5"_s << 2;
    QTest::newRow("count 1.5: page 1") << u"1.5"_s << 1;
    QTest::newRow("count 7: more pages than the window") << u"7"_s << 7;
}

void TestCollect::runListsPagesInOrder()
{
    QFETCH(QString, count);
    QFETCH(int, pages);

    Market market;
    market.hold(1); // page 1 is answered last
    Window window(market.url());
    Form1 &form = window.form;
    form.List1->AddItems({ u"old.com"_s });
    form.List1->setListIndex(0);
    QSignalSpy blocks(form.List1->model(), &QAbstractItemModel::rowsInserted);
    QSignalSpy finished(window.run, &CollectionRun::finished);
    window.setCount(count);

    window.click();
    QCOMPARE(form.Command1->text(), StopCaption);
    QVERIFY(form.Timer1->isActive());
    QCOMPARE(form.Timer1->interval(), 1);
    QCOMPARE(form.List1->ListCount(), 0);

    // Every later page arrives and waits for page 1.
    QTRY_COMPARE_WITH_TIMEOUT(window.run->pagesHeldBack(), pages - 1, RunTimeoutMs);
    QCOMPARE(form.List1->ListCount(), 0);
    market.release(1);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, RunTimeoutMs);

    QCOMPARE(market.requestedPages(), range(1, pages));
    QCOMPARE(form.List1->entries(), namesOfPages(1, pages));
    QCOMPARE(blocks.count(), pages);
    for (const QList<QVariant> &block : std::as_const(blocks))
        QCOMPARE(block.at(2).toInt() - block.at(1).toInt() + 1, 50);

    QStringList expected { RunStarted };
    for (int page = 1; page <= pages; ++page)
        expected.append(pageMessage(page));
    expected.append(RunDone);
    QCOMPARE(window.log.texts, expected);
    // The final message comes after the last page's names.
    QCOMPARE(window.log.listLengths.constLast(), pages * 50);
    QCOMPARE(form.statusText(), RunDone);
    QCOMPARE(form.Command1->text(), StartCaption);
    QVERIFY(!form.Timer1->isActive());
    QCOMPARE(form.PageNo, qint16(pages));
    QCOMPARE(window.run->pagesOutstanding(), 0);
    QCOMPARE(form.List1->ListIndex(), pages * 50 - 1);
}

void TestCollect::runKeepsFourPagesInFlight()
{
    Market market;
    market.holdEveryPage();
    Window window(market.url());
    Form1 &form = window.form;
    QSignalSpy finished(window.run, &CollectionRun::finished);
    window.setCount(u"10"_s);
    window.click();

    QTRY_COMPARE_WITH_TIMEOUT(market.requestedPages(), range(1, CollectionRun::MaxPagesInFlight), RunTimeoutMs);
    QCOMPARE(window.run->pagesInFlight(), 4);
    // One page done: the next one is asked for at once.
    market.release(1);
    QTRY_COMPARE_WITH_TIMEOUT(form.List1->ListCount(), 50, RunTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(market.requestedPages(), range(1, 5), RunTimeoutMs);
    QCOMPARE(window.run->pagesInFlight(), 4);

    market.releaseAll();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, RunTimeoutMs);
    QCOMPARE(market.requestedPages(), range(1, 10));
    QCOMPARE(market.mostAtOnce(), 4);
    QCOMPARE(form.List1->entries(), namesOfPages(1, 10));
    QCOMPARE(form.statusText(), RunDone);
}

void TestCollect::stopAbortsRunAndNewRunGetsNoOldPages()
{
    Market market;
    market.holdEveryPage();
    market.release(1);
    Window window(market.url());
    Form1 &form = window.form;
    window.setCount(u"6"_s);
    window.click();

    QTRY_COMPARE_WITH_TIMEOUT(form.List1->ListCount(), 50, RunTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(market.requestedPages(), range(1, 5), RunTimeoutMs);

    window.click();
    QCOMPARE(form.statusText(), RunStopped);
    QCOMPARE(window.log.texts.constLast(), RunStopped);
    QCOMPARE(form.Command1->text(), StartCaption);
    QVERIFY(!form.Timer1->isActive());
    QCOMPARE(form.PageNo, qint16(0));
    QCOMPARE(window.run->pagesOutstanding(), 0);

    // The server answers the stopped run's pages; none of them may reach the list.
    market.releaseAll();
    QTRY_COMPARE_WITH_TIMEOUT(market.answered(), 5, RunTimeoutMs);
    QCOMPARE(market.requestedPages(), range(1, 5));
    QCOMPARE(form.List1->entries(), namesOf(1));

    // A new run lists its own pages only, although the old ones were answered meanwhile.
    const int logged = int(window.log.texts.size());
    QSignalSpy finished(window.run, &CollectionRun::finished);
    window.setCount(u"2"_s);
    window.click();
    QCOMPARE(form.List1->ListCount(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, RunTimeoutMs);
    QCOMPARE(form.List1->entries(), namesOfPages(1, 2));
    QCOMPARE(market.requestedPages(), QList<int>({ 1, 1, 2, 2, 3, 4, 5 }));
    QCOMPARE(window.log.texts.mid(logged), QStringList({ RunStarted, pageMessage(1), pageMessage(2), RunDone }));
}

void TestCollect::failingPagesAreSkippedAndCounted_data()
{
    QTest::addColumn<QString>("count");
    QTest::addColumn<QList<int>>("failing");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("message");

    const QString oneFailed = u"批量采集完毕,其中1页失败 .."_s;
    QTest::newRow("error status without body in the middle")
        << u"3"_s << QList<int> { 2 } << int(Market::Answer::ErrorWithoutBody) << oneFailed;
    QTest::newRow("no results marker in the middle")
        << u"3"_s << QList<int> { 2 } << int(Market::Answer::NoResultsMarker) << oneFailed;
    QTest::newRow("time-out in the middle") << u"3"_s << QList<int> { 2 } << int(Market::Answer::Never) << oneFailed;
    QTest::newRow("first and last page fail")
        << u"4"_s << QList<int> { 1, 4 } << int(Market::Answer::ErrorWithoutBody) << u"批量采集完毕,其中2页失败 .."_s;
}

void TestCollect::failingPagesAreSkippedAndCounted()
{
    QFETCH(QString, count);
    QFETCH(QList<int>, failing);
    QFETCH(int, answer);
    QFETCH(QString, message);

    Market market;
    for (int page : std::as_const(failing))
        market.answer(page, Market::Answer(answer));
    Window window(market.url());
    Form1 &form = window.form;
    form.fetchLimits.transferTimeoutMs = 1000;
    QSignalSpy finished(window.run, &CollectionRun::finished);
    window.setCount(count);
    window.click();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, RunTimeoutMs);

    const int pages = int(::lastRunPage(*::readPageCount(count)));
    QStringList expected;
    for (int page = 1; page <= pages; ++page) {
        if (!failing.contains(page))
            expected += namesOf(page);
    }
    QCOMPARE(form.List1->entries(), expected);
    QCOMPARE(market.requestedPages(), range(1, pages));
    QCOMPARE(window.run->failedPages(), int(failing.size()));
    QCOMPARE(form.statusText(), message);
    QCOMPARE(window.log.texts.constLast(), message);
    QCOMPARE(form.Command1->text(), StartCaption);
    QVERIFY(!form.Timer1->isActive());
}

void TestCollect::raisingCountExtendsRun()
{
    Market market;
    market.holdEveryPage();
    Window window(market.url());
    Form1 &form = window.form;
    QSignalSpy finished(window.run, &CollectionRun::finished);
    window.setCount(u"2"_s);
    window.click();
    QTRY_COMPARE_WITH_TIMEOUT(market.requestedPages(), range(1, 2), RunTimeoutMs);

    window.setCount(u"4"_s);
    QTRY_COMPARE_WITH_TIMEOUT(market.requestedPages(), range(1, 4), RunTimeoutMs);
    market.releaseAll();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, RunTimeoutMs);

    QCOMPARE(market.requestedPages(), range(1, 4));
    QCOMPARE(form.List1->entries(), namesOfPages(1, 4));
    QCOMPARE(form.statusText(), RunDone);
}

void TestCollect::loweringCountEndsRunEarly()
{
    Market market;
    market.holdEveryPage();
    Window window(market.url());
    Form1 &form = window.form;
    QSignalSpy finished(window.run, &CollectionRun::finished);
    window.setCount(u"10"_s);
    window.click();
    QTRY_COMPARE_WITH_TIMEOUT(market.requestedPages(), range(1, 4), RunTimeoutMs);

    window.setCount(u"2"_s);
    market.releaseAll();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, RunTimeoutMs);

    // The pages already asked for are listed; no further page is asked for.
    QCOMPARE(market.requestedPages(), range(1, 4));
    QCOMPARE(form.List1->entries(), namesOfPages(1, 4));
    QCOMPARE(form.statusText(), RunDone);
    QCOMPARE(form.Command1->text(), StartCaption);
}

void TestCollect::runEndsAfterLastPossiblePage()
{
    Market market;
    Window window(market.url());
    Form1 &form = window.form;
    QSignalSpy finished(window.run, &CollectionRun::finished);
    window.setCount(u"40000"_s);
    window.click();
    // As if the run had already listed all pages up to 32765.
    form.PageNo = LastPossiblePage - 2;
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, RunTimeoutMs);

    QCOMPARE(market.requestedPages(), QList<int>({ 32766, 32767 }));
    QCOMPARE(form.PageNo, qint16(32767));
    QCOMPARE(form.List1->entries(), namesOf(32766) + namesOf(32767));
    QCOMPARE(window.log.texts, QStringList({ RunStarted, pageMessage(32766), pageMessage(32767), RunDone }));
    QVERIFY(!form.Timer1->isActive());
}

void TestCollect::singlePageDuringRunLeavesRunAlone()
{
    Market market;
    for (int page = 1; page <= 5; ++page)
        market.hold(page);
    Window window(market.url());
    Form1 &form = window.form;
    QSignalSpy finished(window.run, &CollectionRun::finished);
    window.setCount(u"5"_s);
    window.click();
    QTRY_COMPARE_WITH_TIMEOUT(market.requestedPages(), range(1, 4), RunTimeoutMs);

    window.setCount(u"0"_s);
    window.click(); // page 0 at once, while the run's pages wait
    QCOMPARE(form.statusText(), SingleDone);
    QCOMPARE(form.List1->entries(), namesOf(0));
    QCOMPARE(form.Command1->text(), StopCaption);
    QVERIFY(form.Command1->isEnabled());
    QVERIFY(form.Timer1->isActive());
    QCOMPARE(form.PageNo, qint16(4));
    QCOMPARE(window.run->pagesInFlight(), 4);

    window.setCount(u"5"_s);
    market.releaseAll();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, RunTimeoutMs);
    QCOMPARE(form.List1->entries(), namesOf(0) + namesOfPages(1, 5));
    QCOMPARE(market.requestedPages(), QList<int>({ 0, 1, 2, 3, 4, 5 }));
    QCOMPARE(form.statusText(), RunDone);
    QCOMPARE(form.Command1->text(), StartCaption);
}

QTEST_MAIN(TestCollect)
#include "tst_collect.moc"
