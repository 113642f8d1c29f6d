// How fast a collection run goes against the sample marketplace with a latency per request, for the
// run's pages in flight and for one page at a time; and how long appending one results page takes to a
// domain list that is already long.
//
//   bench-collect [--pages 40] [--latency 100] [--entries 100000]
#include "bench/benchcommon.h"
#include "core/collect/collectionrun.h"
#include "tools/fakesite.h"
#include "tools/samplemarket.h"
#include "ui/domainlistview.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

struct RunFigures
{
    bool complete = false;
    double seconds = 0;
};

// One run of the core's collection, pages 1 to pages, until it ends by itself.
RunFigures timeRun(const QString &marketUrl, int pages, int pagesInFlight)
{
    AppConfig config;
    config.marketUrl = marketUrl;
    PageFetcher fetcher;
    CollectionRun run(fetcher, config);
    run.setPagesInFlight(pagesInFlight);
    QStringList names;
    int failed = -1;
    QEventLoop loop;
    QObject::connect(&run, &CollectionRun::namesArrived, &loop,
                     [&names](int, const QStringList &page) { names.append(page); });
    QObject::connect(&run, &CollectionRun::finished, &loop, [&](int failedPages) {
        failed = failedPages;
        loop.quit();
    });
    // A run that does not end in time is reported, not waited for.
    QTimer::singleShot(std::chrono::seconds(10 + pages), &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    run.start(1, pages);
    loop.exec();
    return { failed == 0 && names == Bench::namesOfPages(1, pages), clock.nsecsElapsed() / 1e9 };
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Times collection runs against the sample marketplace."));
    parser.addHelpOption();
    const QCommandLineOption pagesOption(QStringLiteral("pages"), QStringLiteral("Pages per run."),
                                         QStringLiteral("n"), QStringLiteral("40"));
    const QCommandLineOption latencyOption(QStringLiteral("latency"), QStringLiteral("Latency per request in ms."),
                                           QStringLiteral("ms"), QStringLiteral("100"));
    const QCommandLineOption entriesOption(QStringLiteral("entries"),
                                           QStringLiteral("List length for the append measurement."),
                                           QStringLiteral("n"), QStringLiteral("100000"));
    parser.addOptions({ pagesOption, latencyOption, entriesOption });
    parser.process(app);
    const int pages = std::clamp(parser.value(pagesOption).toInt(), 1, 10000);
    const int latencyMs = std::clamp(parser.value(latencyOption).toInt(), 0, 10000);
    const int entries = std::clamp(parser.value(entriesOption).toInt(), 0, 10000000);

    FakeSite site;
    if (!Bench::startSampleMarket(site, pages, latencyMs)) {
        std::fprintf(stderr, "collect: cannot start the sample marketplace\n");
        return 1;
    }
    const QString marketUrl = QString::fromStdString(site.url());

    std::printf("collect: pages %d, latency %d ms\n", pages, latencyMs);
    const int window = CollectionRun::MaxPagesInFlight;
    const RunFigures windowed = timeRun(marketUrl, pages, window);
    const RunFigures single = timeRun(marketUrl, pages, 1);
    const auto bound = [&](int inFlight) { return std::ceil(double(pages) / inFlight) * latencyMs / 1000.0; };
    const auto ratio = [](double seconds, double limit) { return limit > 0 ? seconds / limit : 0.0; };
    std::printf("collect: window %d: %.3f s, %.2fx the bound of %.3f s%s\n", window, windowed.seconds,
                ratio(windowed.seconds, bound(window)), bound(window), windowed.complete ? "" : " (INCOMPLETE)");
    std::printf("collect: window 1: %.3f s, %.2fx the bound of %.3f s%s\n", single.seconds,
                ratio(single.seconds, bound(1)), bound(1), single.complete ? "" : " (INCOMPLETE)");
    const double speedUp = windowed.seconds > 0 ? single.seconds / windowed.seconds : 0;
    std::printf("collect: window %d is %.2fx faster than window 1\n", window, speedUp);

    // Appending to a list that is already long, shown, the way the window appends a page: one block,
    // then the selection moved once.
    DomainListView list;
    list.resize(193, 316);
    list.show();
    QStringList filler;
    filler.reserve(entries);
    for (int i = 0; i < entries; ++i)
        filler.append(QStringLiteral("filler%1.com").arg(i));
    list.append(filler);
    list.setCurrentRow(entries - 1);
    QCoreApplication::processEvents();
    std::vector<double> appendMs;
    std::vector<double> repaintMs;
    for (int page = 1; page <= 41; ++page) {
        const QStringList names = Bench::toQStringList(SampleMarket::namesForPage(page));
        QElapsedTimer clock;
        clock.start();
        list.append(names);
        list.setCurrentRow(list.currentRow() + int(names.size()));
        appendMs.push_back(clock.nsecsElapsed() / 1e6);
        clock.restart();
        QCoreApplication::processEvents(); // the view lays out and paints the new rows
        repaintMs.push_back(clock.nsecsElapsed() / 1e6);
        if (list.names().mid(list.count() - names.size()) != names || list.currentRow() != list.count() - 1)
            std::fprintf(stderr, "collect: page %d not appended as expected\n", page);
    }
    const double appendMedian = Bench::median(appendMs);
    std::printf("collect: append one page of 50 at %d entries: median %.3f ms (then %.3f ms to lay out and paint)\n",
                entries, appendMedian, Bench::median(repaintMs));

    const bool met = windowed.complete && single.complete && ratio(windowed.seconds, bound(window)) <= 1.3
        && speedUp >= 3 && appendMedian < 5;
    std::printf("collect: targets (within 1.3x of the bound, at least 3x faster than window 1, append under 5 ms): "
                "%s\n",
                Bench::verdict(met));
    return windowed.complete && single.complete ? 0 : 1;
}
