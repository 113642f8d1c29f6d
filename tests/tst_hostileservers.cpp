// Hostile servers against each operation that fetches (the single page, the collection run, the lookup
// from the menu and by double-click, the ICP lookup, the update check), judged by what the user sees;
// and the program itself ended by a signal in each kind of wait. The core's tests run every fault
// against each operation; here the faults that show something of their own in the window.
#include "tests/sitetest.h"
#include "tests/windowtest.h"

#include "core/store/historystore.h"
#include "core/text/textops.h"
#include "tools/samplemarket.h"
#include "ui/domainlistview.h"
#include "ui/elidedlabel.h"
#include "ui/mainwindow.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

using namespace Qt::Literals::StringLiterals;

namespace {

// Short, so that stalls end soon; every wait must end within it and a little more.
constexpr int TimeoutMs = 1000;
constexpr qint64 BoundMs = TimeoutMs + 2000;

const QString QueryDone = u"查询完毕 .."_s;
const QString QueryFailed = u"查询失败,请稍后再试 .."_s;
const QString Welcome = u"欢迎使用Vexlon系列软件"_s;
const QString EarlierType = u"删除类型：早先查询的值"_s;
const QString EarlierWhois = u"早先查询的whois"_s;
const QString EarlierPlatform = u"早先的平台"_s;

QString q(const std::string &text)
{
    return QString::fromStdString(text);
}

// A stall and a dripping body (the window's thread goes on), a page still readable (ASCII markers and names;
// a backorder page read as GBK keeps only its whois) and another site's login page (not the page asked for).
const Fault WindowFaults[]
    = { Fault::None, Fault::HeadersNeverCome, Fault::BodyDrips, Fault::InvalidUtf8, Fault::RedirectElsewhere };

enum class Operation { SinglePage, Run, DoubleClickQuery, MenuQuery, IcpLookup, UpdateCheck };
// What the domain info area shows afterwards.
enum class InfoArea {
    Kept, // what it showed before
    Values, // the domain's values from its page
    Bare, // the captions without values
    WhoisOnly, // the captions without values, and the whois from the page
};

} // namespace

Q_DECLARE_METATYPE(Operation)
Q_DECLARE_METATYPE(InfoArea)

class TestHostileServers : public WindowTest
{
    Q_OBJECT

private slots:
    void cleanup() { endWindow(); }

    void faultMatrix_data();
    void faultMatrix();
    void programEndsBySignal_data();
    void programEndsBySignal();
    void killedWindowKeepsItsPages();

private:
    void addRow(Operation operation, const char *operationName, Fault fault);
};

void TestHostileServers::addRow(Operation operation, const char *operationName, Fault fault)
{
    const QString domain = sampleDomain(false, true); // every control then shows a value of its own
    const bool readable = fault == Fault::None || fault == Fault::InvalidUtf8;
    const QString filed
        = (operation == Operation::MenuQuery ? u"是否备案：已备案 "_s : u"是否备案："_s) + licenceOf(domain);
    QString status;
    QStringList list { domain }; // what the list held before
    InfoArea area = InfoArea::Kept;
    QString icp = u"是否备案：未查询"_s;
    QString box;
    switch (operation) {
    case Operation::SinglePage:
        status = readable                       ? u"采集完毕 .."_s
            : fault == Fault::RedirectElsewhere ? u"页面中未找到域名 .."_s
                                                : u"采集失败,请稍后再试 .."_s;
        if (readable)
            list += sampleNames(1);
        break;
    case Operation::Run:
        status = readable ? u"批量采集完毕 .."_s : u"批量采集完毕,其中1页失败 .."_s;
        list = readable ? sampleNames(1, 3) : sampleNames(1) + sampleNames(3);
        break;
    case Operation::DoubleClickQuery:
    case Operation::MenuQuery:
        // No page: the menu shows the bare captions, the double-click keeps the area; another page: bare.
        status = readable ? QueryDone : QueryFailed;
        icp = filed;
        if (readable)
            area = fault == Fault::InvalidUtf8 ? InfoArea::WhoisOnly : InfoArea::Values;
        else if (operation == Operation::MenuQuery || fault == Fault::RedirectElsewhere)
            area = InfoArea::Bare;
        break;
    case Operation::IcpLookup:
        // Anything but the site's own answer is no answer, never "未备案".
        status = QueryDone;
        area = InfoArea::Values;
        icp = readable ? filed : u"是否备案：查询失败"_s;
        break;
    case Operation::UpdateCheck:
        status = readable ? Welcome : u"正在检测更新 .."_s;
        if (!readable)
            box = u"检测更新失败!请您稍后再试,暂时使用原版"_s;
        break;
    }
    QTest::addRow("%s, %s", operationName, describeFault(fault))
        << operation << fault << status << list << area << icp << box;
}

void TestHostileServers::faultMatrix_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<InfoArea>("area");
    QTest::addColumn<QString>("icpCaption");
    QTest::addColumn<QString>("box"); // empty: none

    const std::pair<Operation, const char *> operations[] = {
        { Operation::SinglePage, "single page" },
        { Operation::Run, "run, page 2 of 3" },
        { Operation::DoubleClickQuery, "double-click query" },
        { Operation::MenuQuery, "menu query" },
        { Operation::IcpLookup, "ICP lookup" },
        { Operation::UpdateCheck, "update check" },
    };
    for (const auto &[operation, name] : operations) {
        for (const Fault fault : WindowFaults)
            addRow(operation, name, fault);
    }
}

void TestHostileServers::faultMatrix()
{
    QFETCH(Operation, operation);
    QFETCH(Fault, fault);
    QFETCH(QString, status);
    QFETCH(QStringList, list);
    QFETCH(InfoArea, area);
    QFETCH(QString, icpCaption);
    QFETCH(QString, box);

    const QString domain = sampleDomain(false, true);
    const std::string target = operation == Operation::SinglePage ? pageTarget(1)
        : operation == Operation::Run                             ? pageTarget(2)
        : operation == Operation::IcpLookup                       ? icpTarget(domain)
        : operation == Operation::UpdateCheck                     ? VersionTarget
                                                                  : backorderTarget(domain);
    startWindow([](AppConfig &config) { config.requestTimeoutMs = config.menuLookupTimeoutMs = TimeoutMs; });
    site().setFault(target, fault);
    fillList({ domain }, 0);
    control<ElidedLabel>("deletionTypeLabel")->setText(EarlierType);
    control<QPlainTextEdit>("whoisText")->setPlainText(EarlierWhois);
    control<ElidedLabel>("platformCell")->setText(EarlierPlatform);

    auto *start = control<QAbstractButton>("startButton");
    QList<Dialogs::AnsweredMessage> boxes;
    const auto done = [&] {
        boxes += Dialogs::takeAnsweredMessages();
        switch (operation) {
        case Operation::SinglePage:
            return start->isEnabled();
        case Operation::Run:
            return start->text() == u"开始采集"_s;
        case Operation::UpdateCheck:
            return !boxes.isEmpty() || this->status() == Welcome;
        default:
            return this->status() != u"正在进行查询 .."_s;
        }
    };
    // A timer on the window's thread counts its turns until the operation is done: none had the wait held it.
    QElapsedTimer clock;
    qint64 elapsed = -1;
    int turns = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] {
        if (elapsed < 0 && done())
            elapsed = clock.elapsed();
        else if (elapsed < 0)
            ++turns;
    });
    clock.start();
    switch (operation) {
    case Operation::SinglePage:
        click("startButton");
        break;
    case Operation::Run:
        setPageCount(u"3"_s);
        click("startButton");
        break;
    case Operation::DoubleClickQuery:
    case Operation::IcpLookup:
        doubleClickRow(0);
        break;
    case Operation::MenuQuery:
        choose("queryAction");
        break;
    case Operation::UpdateCheck:
        window().checkForUpdates();
        break;
    }
    ticker.start(0);
    QTRY_VERIFY_WITH_TIMEOUT(elapsed >= 0, BoundMs + 10000);
    QVERIFY2(elapsed < BoundMs, QByteArray::number(elapsed).constData());
    QVERIFY2(turns > 0 || elapsed < TimeoutMs / 2, "the window's thread was held while the operation waited");

    QCOMPARE(this->status(), status);
    QCOMPARE(domainList()->names(), list);
    QCOMPARE(textOf("icpFilingLabel"), icpCaption);
    QCOMPARE(boxes.size(), box.isEmpty() ? 0 : 1);
    if (!box.isEmpty()) {
        QCOMPARE(boxes[0].text, box);
        QCOMPARE(boxes[0].icon, QMessageBox::Warning);
        QCOMPARE(boxes[0].title, u"Vexlon系列软件"_s);
    }
    QCOMPARE(openedUrls, QList<QUrl>());

    const SampleMarket::BackorderInfo info = SampleMarket::backorderInfoFor(domain.toStdString());
    switch (area) {
    case InfoArea::Kept:
        QCOMPARE(textOf("deletionTypeLabel"), EarlierType);
        QCOMPARE(textOf("whoisText"), EarlierWhois);
        QCOMPARE(textOf("platformCell"), EarlierPlatform);
        break;
    case InfoArea::Values:
        QCOMPARE(textOf("deletionTypeLabel"), u"删除类型："_s + TextOps::oneLine(q(info.deletionType)));
        QVERIFY(textOf("whoisText").startsWith(u"Domain Name: "_s + domain.toUpper()));
        QCOMPARE(textOf("platformCell"), TextOps::oneLine(q(info.platform)));
        break;
    case InfoArea::Bare:
    case InfoArea::WhoisOnly:
        QCOMPARE(textOf("deletionTypeLabel"), u"删除类型："_s);
        QCOMPARE(textOf("platformCell"), QString());
        QCOMPARE(textOf("whoisText").startsWith(u"Domain Name: "_s + domain.toUpper()), area == InfoArea::WhoisOnly);
        break;
    }
}

// The program, worked by the window driver, is sent SIGTERM or SIGINT in a wait (its time limits the long
// defaults): it ends at once, with exit code 0 and no sanitizer report. (tst_startup closes each wait.)
void TestHostileServers::programEndsBySignal_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("held");
    QTest::addColumn<QString>("waitFor"); // a target that must have been asked for, or a box's text
    QTest::addColumn<int>("signal");

    // The driver queries the first domain of page 1.
    const QString domain = sampleNames(1).front();
    const QString version = q(VersionTarget);
    const QString backorder = q(backorderTarget(domain));
    const QStringList pages { q(pageTarget(1)), q(pageTarget(2)), q(pageTarget(3)) };
    const QString newerBox = u"box: 发现最新版本![V1.5]"_s;
    QTest::newRow("newer-version box, SIGTERM") << u"none"_s << QStringList() << newerBox << SIGTERM;
    QTest::newRow("newer-version box, SIGINT") << u"none"_s << QStringList() << newerBox << SIGINT;
    QTest::newRow("run, SIGTERM") << u"run"_s << pages << pages[0] << SIGTERM;
    QTest::newRow("version check, SIGTERM") << u"none"_s << QStringList { version } << version << SIGTERM;
    QTest::newRow("single page, SIGTERM") << u"single"_s << pages.mid(0, 1) << pages[0] << SIGTERM;
    QTest::newRow("lookup, SIGTERM") << u"doubleclick"_s << QStringList { backorder } << backorder << SIGTERM;
}

void TestHostileServers::programEndsBySignal()
{
    QFETCH(QString, action);
    QFETCH(QStringList, held);
    QFETCH(QString, waitFor);
    QFETCH(int, signal);

    FakeSite site;
    for (const QString &target : std::as_const(held))
        site.hold(target.toStdString());
    const bool waitsForBox = waitFor.startsWith(u"box: "_s);
    if (waitsForBox)
        site.setPublishedVersion("V1.5");
    QVERIFY(site.start());

    QProcess process;
    QByteArray errors;
    const QString url = q(site.url());
    QVERIFY2(startProgram(process, errors, action,
                 { u"--market-url"_s, url, u"--icp-url"_s, url, u"--update-url"_s, url, u"--forum-url"_s,
                     url + u"/forum"_s }),
        qPrintable(process.errorString()));
    if (waitsForBox)
        QTRY_VERIFY2_WITH_TIMEOUT(errors.contains("window driver: " + waitFor.toUtf8()), errors.constData(), 30000);
    else
        QTRY_VERIFY2_WITH_TIMEOUT(site.requestCount(waitFor.toStdString()) > 0, errors.constData(), 30000);
    QVERIFY2(errors.contains("window driver: loaded"), errors.constData());
    QCOMPARE(process.state(), QProcess::Running);

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(::kill(pid_t(process.processId()), signal), 0);
    QVERIFY2(process.waitForFinished(15000), errors.constData());
    const qint64 elapsed = clock.elapsed();
    errors += process.readAllStandardError();

    QVERIFY2(process.exitStatus() == QProcess::NormalExit, errors.constData());
    QCOMPARE(process.exitCode(), 0);
    QVERIFY2(!errors.contains("ERROR: AddressSanitizer") && !errors.contains("runtime error"), errors.constData());
    QVERIFY2(elapsed < 5000, (QByteArray::number(elapsed) + " ms\n" + errors).constData());
}

// A window killed outright in the middle of a run keeps in its history every page that had come: the next
// program to open the history finds them under the run, which never ended.
void TestHostileServers::killedWindowKeepsItsPages()
{
    FakeSite site;
    site.hold(pageTarget(3));
    QVERIFY(site.start());
    QTemporaryDir data;
    const QString path = HistoryStore::filePath(data.path());
    QProcess process;
    QByteArray errors;
    const QString url = q(site.url());
    QVERIFY2(startProgram(process, errors, u"run"_s,
                 { u"--market-url"_s, url, u"--icp-url"_s, url, u"--update-url"_s, url, u"--data-dir"_s, data.path() }),
        qPrintable(process.errorString()));
    QTRY_VERIFY2_WITH_TIMEOUT(site.requestCount(pageTarget(3)) > 0, errors.constData(), 30000);
    // Pages 1 and 2 came: their names reach the file, kept as they came or already filed.
    const auto namesKept = [&path] {
        return QFile::exists(path)
            ? SqlConnection(path).run({ u"SELECT (SELECT count(*) FROM sightings)"
                                        " + (SELECT coalesce(sum(json_array_length(names)), 0) FROM staged_pages)"_s })
            : QString();
    };
    QTRY_COMPARE_WITH_TIMEOUT(namesKept(), u"100"_s, 30000);
    QCOMPARE(::kill(pid_t(process.processId()), SIGKILL), 0);
    QVERIFY(process.waitForFinished(15000));
    QCOMPARE(process.exitStatus(), QProcess::CrashExit);

    HistoryStore history;
    QString error;
    QVERIFY2(history.open(path, &error), qPrintable(error));
    const QList<HistoryStore::RunSummary> runs = history.runsBetween({}, {});
    QCOMPARE(runs.size(), 1);
    QVERIFY(!runs[0].ended.isValid());
    QCOMPARE(history.namesOfRun(runs[0].id), sampleNames(1, 2));
    site.releaseAll();
}

QTEST_MAIN(TestHostileServers)
#include "tst_hostileservers.moc"
