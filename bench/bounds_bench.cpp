// What hostile pages cost the window: the peak memory of a run whose first page stalls while every
// other page is 15 MiB, and the longest the window stops answering while it shows a 16 MiB backorder
// page whose whois has no blank, in the main window and in the table window's batch lookup.
//
//   bench-bounds [--pages 40]
#include "bench/benchcommon.h"
#include "core/collect/collectionrun.h"
#include "core/lookup/domainlookup.h"
#include "tools/fakesite.h"
#include "ui/batchbar.h"
#include "ui/domainlistview.h"
#include "ui/domaintablewindow.h"
#include "ui/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QBasicTimer>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>

namespace {

constexpr double PeakMemoryTargetMB = 300;
constexpr double StallTargetMs = 200;

// The longest time the window's thread went without running its timers, from start() to stop().
class StallMeter : public QObject
{
public:
    void start()
    {
        m_longestMs = 0;
        m_clock.start();
        m_timer.start(1, this);
    }
    void stop() { m_timer.stop(); }
    double longestMs() const { return m_longestMs; }

private:
    void timerEvent(QTimerEvent *) override
    {
        m_longestMs = std::max(m_longestMs, m_clock.nsecsElapsed() / 1e6);
        m_clock.restart();
    }

    QBasicTimer m_timer;
    QElapsedTimer m_clock;
    double m_longestMs = 0;
};

// CPU time the calling thread has used, in milliseconds: what the window's thread itself spent, whatever
// else the machine was doing.
double threadCpuMs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

double megabytes(double mebibytes)
{
    return mebibytes * 1024 * 1024 / 1e6;
}

AppConfig configFor(const FakeSite &site)
{
    AppConfig config;
    config.marketUrl = config.icpUrl = config.updateUrl = QString::fromStdString(site.url());
    return config;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Times and weighs the window against hostile pages."));
    parser.addHelpOption();
    const QCommandLineOption pagesOption(QStringLiteral("pages"), QStringLiteral("Pages of the run."),
                                         QStringLiteral("n"), QStringLiteral("40"));
    parser.addOption(pagesOption);
    parser.process(app);
    const int pages = std::clamp(parser.value(pagesOption).toInt(), 2, 1000);

    FakeSite site;
    if (!site.start()) {
        std::fprintf(stderr, "bounds: cannot start the fake site\n");
        return 1;
    }
    const double before = Bench::peakMemoryMiB().value_or(0);

    // The run: page 1 held until the run has asked for every page it may ask for while page 1 is out.
    bool runDone = false;
    {
        site.setPageCount(pages);
        site.hold("/search?p=1");
        for (int page = 2; page <= pages; ++page)
            site.setFault("/search?p=" + std::to_string(page), Fault::HugeResultsPage);
        MainWindow window(configFor(site));
        window.show();
        auto *run = window.findChild<CollectionRun *>();
        QEventLoop loop;
        const int lastHeldBack = std::min(pages, CollectionRun::MaxPagesOutstanding);
        QObject::connect(run, &CollectionRun::pageRequested, &loop, [&](int page) {
            if (page == lastHeldBack)
                site.release("/search?p=1");
        });
        QObject::connect(run, &CollectionRun::pageFailed, &loop, [](int page, const QString &reason) {
            std::fprintf(stderr, "bounds: page %d failed: %s\n", page, qPrintable(reason));
        });
        QObject::connect(run, &CollectionRun::finished, &loop, [&](int failed) {
            runDone = failed == 0;
            loop.quit();
        });
        QTimer::singleShot(std::chrono::minutes(5), &loop, &QEventLoop::quit);
        window.findChild<QLineEdit *>(QStringLiteral("pageCountEdit"))->setText(QString::number(pages));
        window.findChild<QPushButton *>(QStringLiteral("startButton"))->click();
        loop.exec();
        const int listed = window.findChild<DomainListView *>(QStringLiteral("domainList"))->count();
        if (listed != pages * 50)
            std::fprintf(stderr, "bounds: %d names listed, %d expected\n", listed, pages * 50);
        runDone = runDone && listed == pages * 50;
    }
    const double runPeak = Bench::peakMemoryMiB().value_or(0);
    std::printf("bounds: run of %d pages, page 1 stalled, pages 2 to %d of 15 MiB: peak memory %.1f MB (%.1f MB "
                "before) (target under %.0f MB): %s%s\n",
                pages, pages, megabytes(runPeak), megabytes(before), PeakMemoryTargetMB,
                Bench::verdict(runDone && megabytes(runPeak) < PeakMemoryTargetMB), runDone ? "" : " (INCOMPLETE)");
    std::fflush(stdout);

    // A lookup whose backorder page is the given fault: what the window's thread spends on it.
    struct LookupFigures
    {
        bool ended = false;
        bool read = false;
        bool whoisCut = false;
        double totalMs = 0;
        double windowCpuMs = 0;
        double longestStallMs = 0;
    };
    // One lookup in a window, from start() until the record comes (through finished, connected by
    // connectFinished) and the window has painted what it shows of it.
    const auto measure = [](QWidget &window, const auto &connectFinished, const std::function<void()> &start) {
        LookupFigures figures;
        StallMeter meter;
        QEventLoop loop;
        connectFinished(&loop, [&](const LookupRecord &record) {
            figures.ended = true;
            figures.read = record.backorderRead();
            figures.whoisCut = record.values.whoisCut;
            loop.quit();
        });
        QTimer::singleShot(std::chrono::seconds(60), &loop, &QEventLoop::quit);
        QElapsedTimer clock;
        clock.start();
        const double cpuBefore = threadCpuMs();
        meter.start();
        start();
        loop.exec();
        // What the window still has to do for it: lay out and paint the new texts.
        window.repaint();
        QCoreApplication::processEvents();
        meter.stop();
        figures.totalMs = clock.nsecsElapsed() / 1e6;
        figures.windowCpuMs = threadCpuMs() - cpuBefore;
        figures.longestStallMs = meter.longestMs();
        return figures;
    };
    const auto timeLookup = [&site, &measure](Fault fault) {
        const std::string domain = "hostile.example";
        site.setFault("/backorder/" + domain, fault);
        MainWindow window(configFor(site));
        window.show();
        auto *list = window.findChild<DomainListView *>(QStringLiteral("domainList"));
        list->append({ QString::fromStdString(domain) });
        list->setCurrentRow(0);
        QCoreApplication::processEvents();

        auto *lookup = window.findChild<DomainLookup *>();
        auto *query = window.findChild<QAction *>(QStringLiteral("queryAction"));
        return measure(
            window,
            [lookup](QObject *context, const auto &slot) {
                QObject::connect(lookup, &DomainLookup::finished, context, slot);
            },
            [query] { query->trigger(); });
    };

    const LookupFigures huge = timeLookup(Fault::HugeWhois);
    const bool shown = huge.ended && huge.read && huge.whoisCut;
    std::printf("bounds: lookup of a 16 MiB backorder page with a 15 MiB whois without a blank: %.0f ms in all, the "
                "window's thread busy %.1f ms (target under %.0f ms): %s%s; its longest stall %.1f ms\n",
                huge.totalMs, huge.windowCpuMs, StallTargetMs, Bench::verdict(shown && huge.windowCpuMs < StallTargetMs),
                shown ? "" : " (NOT SHOWN)", huge.longestStallMs);
    const LookupFigures bomb = timeLookup(Fault::GzipBomb);
    const bool refused = bomb.ended && !bomb.read;
    std::printf("bounds: lookup of a gzip bomb: %.0f ms in all, the window's thread busy %.1f ms (target under %.0f "
                "ms): %s%s; its longest stall %.1f ms\n",
                bomb.totalMs, bomb.windowCpuMs, StallTargetMs,
                Bench::verdict(refused && bomb.windowCpuMs < StallTargetMs), refused ? "" : " (READ AS A PAGE)",
                bomb.longestStallMs);

    // The same page in the table window's batch lookup, which reads it as the main window does.
    const auto timeBatch = [&site, &measure]() {
        const std::string domain = "hostile.example";
        site.setFault("/backorder/" + domain, Fault::HugeWhois);
        DomainTableWindow window(configFor(site));
        window.show();
        window.showNames({ QString::fromStdString(domain) });
        QCoreApplication::processEvents();
        auto *bar = window.findChild<BatchBar *>();
        return measure(
            window,
            [bar](QObject *context, const auto &slot) { QObject::connect(bar, &BatchBar::lookedUp, context, slot); },
            [&window] { window.lookUp(); });
    };
    const LookupFigures batch = timeBatch();
    const bool batchShown = batch.ended && batch.read && batch.whoisCut;
    std::printf("bounds: the same page in the table window's batch lookup: %.0f ms in all, the window's thread busy "
                "%.1f ms (target under %.0f ms): %s%s; its longest stall %.1f ms\n",
                batch.totalMs, batch.windowCpuMs, StallTargetMs,
                Bench::verdict(batchShown && batch.windowCpuMs < StallTargetMs), batchShown ? "" : " (NOT SHOWN)",
                batch.longestStallMs);
    return runDone && shown && refused && batchShown ? 0 : 1;
}
