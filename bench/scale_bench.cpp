// What a long collection costs: results pages of 50 names collected through the window from the
// sample marketplace with no latency (2,000 pages make 100,000 entries); the time to append one page to
// a list that long; exporting the whole list; the program's start-up to its window shown; and the peak
// memory of it all.
//
//   bench-scale [--pages 2000] [--starts 7]
#include "bench/benchcommon.h"
#include "core/collect/collectionrun.h"
#include "core/export/listexport.h"
#include "core/store/historystore.h"
#include "tools/fakesite.h"
#include "tools/samplemarket.h"
#include "ui/domainlistview.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <vector>

#ifndef BENCH_BUILD_TYPE
#define BENCH_BUILD_TYPE ""
#endif

namespace {

constexpr double AppendTargetMs = 5;
constexpr double PeakMemoryTargetMB = 150;
constexpr double ExportTargetSeconds = 0.5;
constexpr double StartUpTargetMs = 300;
constexpr double RecordingTargetPercent = 10;
constexpr int RecordingRuns = 5;
// The appends of the run's last pages make the figure: the list then holds about 100,000.
constexpr std::size_t LastPages = 50;
// Pages appended after the run, through the run's own page path, to time the layout and paint too.
constexpr int ExtraPages = 41;

const QString RunDoneStatus = QStringLiteral("批量采集完毕 ..");

struct RunFigures
{
    bool complete = false;
    QString finalStatus;
    double seconds = 0;
    std::vector<double> appendMs; // one per page, in the order appended
};

// One real run through the window: the page count typed, the start button clicked, until the run
// shows its final status.
RunFigures collect(MainWindow &window, int pages)
{
    RunFigures figures;
    figures.appendMs.reserve(std::size_t(pages));
    auto *list = window.findChild<DomainListView *>(QStringLiteral("domainList"));
    auto *run = window.findChild<CollectionRun *>();
    window.findChild<QLineEdit *>(QStringLiteral("pageCountEdit"))->setText(QString::number(pages));

    // A page's append, from the list's insert to the selection moved to the page's last name. The
    // view's own handling of the move (scrolling to the entry) was connected first and so runs inside.
    QObject probe;
    QElapsedTimer appendClock;
    QObject::connect(list->model(), &QAbstractItemModel::rowsAboutToBeInserted, &probe,
                     [&appendClock] { appendClock.start(); });
    QObject::connect(list->selectionModel(), &QItemSelectionModel::currentChanged, &probe, [&] {
        if (!appendClock.isValid())
            return;
        figures.appendMs.push_back(appendClock.nsecsElapsed() / 1e6);
        appendClock.invalidate();
    });

    QEventLoop loop;
    QObject::connect(run, &CollectionRun::finished, &loop, &QEventLoop::quit);
    // A run that does not end in time is reported, not waited for.
    QTimer::singleShot(std::chrono::minutes(10), &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    window.findChild<QPushButton *>(QStringLiteral("startButton"))->click();
    loop.exec();
    figures.seconds = clock.nsecsElapsed() / 1e9;
    figures.finalStatus = window.findChild<QLabel *>(QStringLiteral("statusLine"))->text();
    figures.complete = figures.finalStatus == RunDoneStatus && !run->isRunning()
        && list->names() == Bench::namesOfPages(1, pages);
    return figures;
}

struct AppendFigures
{
    bool asExpected = true;
    double appendMedianMs = 0;
    double paintMedianMs = 0;
};

// Pages after the run's last, appended the way the window appends a page, the view then laying out and
// painting the new rows before the next page comes.
AppendFigures appendAfterRun(DomainListView &list, int firstPage)
{
    AppendFigures figures;
    std::vector<double> appendMs;
    std::vector<double> paintMs;
    for (int page = firstPage; page < firstPage + ExtraPages; ++page) {
        const QStringList names = Bench::toQStringList(SampleMarket::namesForPage(page));
        QElapsedTimer clock;
        clock.start();
        list.append(names);
        list.setCurrentRow(list.currentRow() + int(names.size()));
        appendMs.push_back(clock.nsecsElapsed() / 1e6);
        clock.restart();
        QCoreApplication::processEvents();
        paintMs.push_back(clock.nsecsElapsed() / 1e6);
        if (list.names().mid(list.count() - names.size()) != names || list.currentRow() != list.count() - 1)
            figures.asExpected = false;
    }
    figures.appendMedianMs = Bench::median(appendMs);
    figures.paintMedianMs = Bench::median(paintMs);
    return figures;
}

struct ExportFigures
{
    bool saved = false;
    double seconds = 0;
    QString errorText;
};

ExportFigures exportList(const QStringList &names)
{
    ExportFigures figures;
    QTemporaryDir folder;
    if (!folder.isValid()) {
        figures.errorText = folder.errorString();
        return figures;
    }
    const QString path = folder.filePath(QStringLiteral("domains.txt"));
    QElapsedTimer clock;
    clock.start();
    QString reason;
    const bool saved = writeDomainList(names, path, &reason);
    figures.seconds = clock.nsecsElapsed() / 1e9;
    figures.errorText = reason;

    // Every name on its own line: the file is read back, not taken on trust.
    QFile file(path);
    if (saved && file.open(QIODevice::ReadOnly)) {
        const QByteArray content = file.readAll();
        figures.saved = content.count("\r\n") == names.size() && content.endsWith("\r\n");
        if (!figures.saved)
            figures.errorText = QStringLiteral("the file does not hold one line per name");
    }
    return figures;
}

struct StartUpFigures
{
    std::vector<double> ms;
    QString failure;
};

// The program started as a user starts it, against an update server on loopback. Start-up asks for
// the version file right after showing the window: the request's arrival marks the window shown.
StartUpFigures timeStartUps(int starts)
{
    StartUpFigures figures;
    const QString programPath = QCoreApplication::applicationDirPath() + QStringLiteral("/vexlon-collector");
    if (!QFile::exists(programPath)) {
        figures.failure = QStringLiteral("no program at ") + programPath;
        return figures;
    }

    QEventLoop loop;
    using Clock = std::chrono::steady_clock;
    std::atomic<Clock::rep> startedAt { 0 };
    std::atomic<Clock::rep> seenAfter { -1 };
    // Declared after the loop: its threads are gone before the loop is.
    FakeSite updateServer;
    if (!Bench::startSampleMarket(updateServer, 1, 0)) {
        figures.failure = QStringLiteral("cannot start the update server");
        return figures;
    }
    updateServer.setRequestObserver([&](const LoopbackServer::LoggedRequest &request) {
        if (request.path != "/version/main.txt" || seenAfter.load() >= 0)
            return;
        seenAfter = Clock::now().time_since_epoch().count() - startedAt.load();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    const QString url = QString::fromStdString(updateServer.url());
    // A history of the benchmark's own: the program opens it as it would the user's.
    QTemporaryDir dataDir;

    for (int start = 0; start < starts && figures.failure.isEmpty(); ++start) {
        QProcess program;
        program.setProgram(programPath);
        program.setArguments({ QStringLiteral("--market-url"), url, QStringLiteral("--icp-url"), url,
            QStringLiteral("--update-url"), url, QStringLiteral("--data-dir"), dataDir.path() });
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(environment);
        program.setStandardOutputFile(QProcess::nullDevice());
        program.setStandardErrorFile(QProcess::nullDevice());
        QObject::connect(&program, &QProcess::finished, &loop, &QEventLoop::quit);
        QObject::connect(&program, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
        QTimer giveUp;
        giveUp.setSingleShot(true);
        QObject::connect(&giveUp, &QTimer::timeout, &loop, &QEventLoop::quit);
        giveUp.start(std::chrono::seconds(10));

        seenAfter = -1;
        startedAt = Clock::now().time_since_epoch().count();
        program.start();
        loop.exec();
        const Clock::rep seen = seenAfter.load();
        if (seen >= 0)
            figures.ms.push_back(std::chrono::duration<double, std::milli>(Clock::duration(seen)).count());
        else
            figures.failure = QStringLiteral("the program never asked for the version file (%1)")
                                  .arg(program.state() == QProcess::NotRunning
                                          ? QStringLiteral("exit code %1").arg(program.exitCode())
                                          : QStringLiteral("still running after 10 s"));

        program.terminate();
        if (!program.waitForFinished(5000)) {
            program.kill();
            program.waitForFinished(5000);
        }
    }
    updateServer.setRequestObserver(nullptr);
    return figures;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Times a long collection, its export and the program's start-up."));
    parser.addHelpOption();
    const QCommandLineOption pagesOption(QStringLiteral("pages"),
        QStringLiteral("Results pages of 50 names to collect."), QStringLiteral("n"), QStringLiteral("2000"));
    const QCommandLineOption startsOption(
        QStringLiteral("starts"), QStringLiteral("Program starts to time."), QStringLiteral("n"), QStringLiteral("7"));
    parser.addOptions({ pagesOption, startsOption });
    parser.process(app);
    // A run's page numbers are 16-bit.
    const int pages = std::clamp(parser.value(pagesOption).toInt(), 1, 30000);
    const int starts = std::clamp(parser.value(startsOption).toInt(), 1, 100);
    const int entries = pages * SampleMarket::RowsPerPage;

    FakeSite site;
    if (!Bench::startSampleMarket(site, pages, 0)) {
        std::fprintf(stderr, "scale: cannot start the sample marketplace\n");
        return 1;
    }
    const char *buildType = *BENCH_BUILD_TYPE ? BENCH_BUILD_TYPE : "unnamed";
    std::printf("scale: %s build, %d pages of %d names, no latency\n", buildType, pages, SampleMarket::RowsPerPage);
    std::fflush(stdout);

    AppConfig config;
    config.marketUrl = QString::fromStdString(site.url());
    MainWindow window(config);
    window.show();
    auto *list = window.findChild<DomainListView *>(QStringLiteral("domainList"));

    const RunFigures run = collect(window, pages);
    std::printf("scale: collection run of %d pages, %d entries: %.3f s, final status \"%s\"%s\n", pages,
                list->count(), run.seconds, qPrintable(run.finalStatus), run.complete ? "" : " (INCOMPLETE)");

    const double appendMs = Bench::medianOfLast(run.appendMs, LastPages);
    const bool appendCounted = run.appendMs.size() == std::size_t(pages);
    std::printf("scale: append one page of 50 at ~%d entries (median of the run's last %zu pages): %.3f ms "
                "(target under %.0f ms): %s%s\n",
        entries, std::min(LastPages, run.appendMs.size()), appendMs, AppendTargetMs,
        Bench::verdict(appendCounted && appendMs < AppendTargetMs), appendCounted ? "" : " (NOT EVERY PAGE TIMED)");
    std::fflush(stdout);

    const ExportFigures exported = exportList(list->names());
    std::printf("scale: export %d entries: %.3f s (target under %.1f s): %s%s\n", list->count(),
        exported.seconds, ExportTargetSeconds, Bench::verdict(exported.saved && exported.seconds < ExportTargetSeconds),
        exported.saved ? "" : qPrintable(QStringLiteral(" (NOT SAVED: ") + exported.errorText + u')'));
    std::fflush(stdout);

    const AppendFigures after = appendAfterRun(*list, pages + 1);
    std::printf("scale: append one page of 50 at %d entries as the window appends: median %.3f ms, then "
                "%.3f ms to lay out and paint (target under %.0f ms): %s%s\n",
        entries, after.appendMedianMs, after.paintMedianMs, AppendTargetMs,
        Bench::verdict(after.asExpected && after.appendMedianMs < AppendTargetMs),
        after.asExpected ? "" : " (NOT APPENDED AS EXPECTED)");
    std::fflush(stdout);

    const StartUpFigures startUp = timeStartUps(starts);
    if (startUp.ms.empty()) {
        std::printf("scale: start-up to the window shown: not measured, %s: MISSED\n", qPrintable(startUp.failure));
    } else {
        const double startUpMs = Bench::median(startUp.ms);
        std::printf("scale: start-up to the window shown: median %.1f ms of %zu starts (%.1f to %.1f ms) (target "
                    "under %.0f ms): %s%s\n",
            startUpMs, startUp.ms.size(), *std::min_element(startUp.ms.begin(), startUp.ms.end()),
            *std::max_element(startUp.ms.begin(), startUp.ms.end()), StartUpTargetMs,
            Bench::verdict(startUp.failure.isEmpty() && startUpMs < StartUpTargetMs),
            startUp.failure.isEmpty() ? "" : qPrintable(QStringLiteral(" (") + startUp.failure + u')'));
    }

    const std::optional<double> peakMiB = Bench::peakMemoryMiB();
    const double peakMB = peakMiB.value_or(0) * 1024 * 1024 / 1e6;
    std::printf("scale: peak memory (VmHWM): %.1f MB (target under %.0f MB): %s\n", peakMB, PeakMemoryTargetMB,
        Bench::verdict(peakMiB && peakMB < PeakMemoryTargetMB));

    // The same run in fresh windows, without and with a history recording it, taking turns.
    std::vector<double> plainSeconds;
    std::vector<double> recordedSeconds;
    bool recordedComplete = true;
    for (int i = 0; i < RecordingRuns && recordedComplete; ++i) {
        QTemporaryDir folder;
        HistoryStore history;
        recordedComplete = folder.isValid() && history.open(folder.filePath(QStringLiteral("history.sqlite")));
        for (HistoryStore *store : { static_cast<HistoryStore *>(nullptr), &history }) {
            MainWindow fresh(config, store);
            fresh.show();
            const RunFigures figures = recordedComplete ? collect(fresh, pages) : RunFigures();
            recordedComplete = recordedComplete && figures.complete;
            (store ? recordedSeconds : plainSeconds).push_back(figures.seconds);
        }
    }
    const double slower = (Bench::median(recordedSeconds) / std::max(Bench::median(plainSeconds), 1e-9) - 1) * 100;
    std::printf("scale: the run in a fresh window, recorded in a history against not (median of %d each): %.3f s "
                "against %.3f s, %+.1f %% (target no more than %.0f %% slower): %s%s\n",
        RecordingRuns, Bench::median(recordedSeconds), Bench::median(plainSeconds), slower, RecordingTargetPercent,
        Bench::verdict(recordedComplete && slower <= RecordingTargetPercent), recordedComplete ? "" : " (INCOMPLETE)");

    return run.complete && appendCounted && exported.saved && after.asExpected && startUp.failure.isEmpty()
            && recordedComplete
        ? 0
        : 1;
}
