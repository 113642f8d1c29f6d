// What the history costs and saves: batch lookups against the sample marketplace limited to R requests
// a second (and the same lookups again, answered by the history); a 100,000-name collection run recorded
// against the same run without a history; a year of daily runs (about 12 million sightings): opening it,
// its size on disk, "history --new" over it, and a run recorded into it; the memory of a long batch; and
// the migration of a version-4 history of 100,000 lookups, which reads their whois.
//
//   bench-store [--rate 50] [--lookups 1000] [--pages 2000] [--days 365] [--names-per-day 33000]
//               [--memory-lookups 10000] [--runs 5] [--migrated-lookups 100000] [--only-migration]
#include "bench/benchcommon.h"
#include "core/batch/batchlookup.h"
#include "core/collect/collectionrun.h"
#include "core/store/historywriter.h"
#include "core/store/historystore.h"
#include "tools/fakesite.h"
#include "tools/samplemarket.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

#ifndef BENCH_BUILD_TYPE
#define BENCH_BUILD_TYPE ""
#endif

namespace {

constexpr double RateBoundFactor = 1.15;
constexpr double CachedTargetSeconds = 1;
constexpr double RecordingTargetPercent = 10;
constexpr double NewNamesTargetMs = 200;
constexpr double MemoryGrowthTargetMB = 20;
constexpr double OpenTargetMs = 100;
constexpr double FileSizeTargetGB = 1.5;
constexpr double MigrationTargetSeconds = 5;
// A day's list: most names are new that day, some stay on it from the day before.
constexpr double NamesKeptFromDayBefore = 0.1;

// Resident memory now (not the peak), in MB; std::nullopt when it cannot be read.
std::optional<double> residentMB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool ok = false;
    const qint64 pages = statm.readAll().split(' ').value(1).toLongLong(&ok);
    return ok ? std::optional<double>(double(pages) * 4096 / 1e6) : std::nullopt;
}

QStringList lookupDomains(const QString &prefix, int count)
{
    QStringList domains;
    for (int i = 0; i < count; ++i)
        domains << QStringLiteral("%1%2.com").arg(prefix).arg(i);
    return domains;
}

struct BatchFigures
{
    bool finished = false;
    int done = 0;
    int failed = 0;
    int fromHistory = 0;
    double seconds = 0;
    std::size_t requests = 0;
};

// One batch to its end; onProgress sees how many are done.
BatchFigures runBatch(FakeSite &site, HistoryStore &store, const BatchOptions &options, const QStringList &domains,
    const std::function<void(int)> &onProgress = {})
{
    AppConfig config;
    config.marketUrl = config.icpUrl = QString::fromStdString(site.url());
    PageFetcher fetcher;
    BatchLookup batch(fetcher, config, &store, options);
    // As the table window and the lookup command record what they look up.
    HistoryWriter writer(store.path());
    BatchFigures figures;
    QEventLoop loop;
    QObject::connect(&batch, &BatchLookup::lookedUp, &loop,
        [&figures, &writer](const LookupRecord &record, bool fromHistory) {
            figures.fromHistory += fromHistory;
            if (!fromHistory)
                writer.recordLookup(record);
        });
    QObject::connect(&batch, &BatchLookup::progress, &loop, [&onProgress](int done, int, int) {
        if (onProgress)
            onProgress(done);
    });
    QObject::connect(&batch, &BatchLookup::finished, &loop, [&](int done, int failed, bool cancelled) {
        figures = { !cancelled, done, failed, figures.fromHistory, 0, 0 };
        loop.quit();
    });
    QTimer::singleShot(std::chrono::minutes(20), &loop, &QEventLoop::quit);
    site.clearLog();
    QElapsedTimer clock;
    clock.start();
    batch.start(domains);
    loop.exec();
    figures.seconds = clock.nsecsElapsed() / 1e9;
    figures.requests = site.requests().size();
    QObject::connect(&writer, &HistoryWriter::finished, &loop, &QEventLoop::quit);
    writer.finish();
    loop.exec();
    return figures;
}

struct CollectionFigures
{
    double runSeconds = 0; // until the run ended
    double writtenSeconds = 0; // until the history held all of it
};

// One collection run of pages 1 to pages, recorded in store when there is one, until it ends by itself.
std::optional<CollectionFigures> timeCollection(const QString &marketUrl, int pages, HistoryStore *store)
{
    AppConfig config;
    config.marketUrl = marketUrl;
    PageFetcher fetcher;
    CollectionRun run(fetcher, config);
    std::optional<HistoryWriter> writer;
    QEventLoop loop;
    // Waits until the writer has written everything recorded so far.
    const auto flush = [&writer, &loop] {
        QObject::connect(&*writer, &HistoryWriter::finished, &loop, &QEventLoop::quit, Qt::SingleShotConnection);
        writer->finish();
        loop.exec();
    };
    std::optional<int> runId;
    if (store) {
        writer.emplace(store->path());
        // As the window records a run.
        QObject::connect(&run, &CollectionRun::started, &loop,
            [&](int first, int last) { runId = writer->beginRun(marketUrl, first, last); });
        QObject::connect(&run, &CollectionRun::namesArrived, &loop,
            [&](int page, const QStringList &names) { writer->recordPage(*runId, page, names); });
        QObject::connect(&run, &CollectionRun::finished, &loop,
            [&](int failedPages) { writer->endRun(*runId, failedPages, false); });
        // As in the window, which opens its history long before the first run.
        flush();
    }
    qsizetype names = 0;
    int failed = -1;
    QObject::connect(
        &run, &CollectionRun::namesArrived, &loop, [&names](int, const QStringList &page) { names += page.size(); });
    QObject::connect(&run, &CollectionRun::finished, &loop, [&](int failedPages) {
        failed = failedPages;
        loop.quit();
    });
    QTimer::singleShot(std::chrono::minutes(10), &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    run.start(1, pages);
    loop.exec();
    CollectionFigures figures;
    figures.runSeconds = clock.nsecsElapsed() / 1e9;
    if (writer)
        flush();
    figures.writtenSeconds = clock.nsecsElapsed() / 1e9;
    if (failed != 0 || names != qsizetype(pages) * SampleMarket::RowsPerPage)
        return std::nullopt;
    return figures;
}

// The history of days runs, one a day, each seeing namesPerDay names in one page (one transaction).
// Returns the start of the last day, and how many names it saw first.
std::optional<std::pair<QDateTime, int>> buildHistory(HistoryStore &store, int days, int namesPerDay)
{
    const QDateTime firstDay = QDateTime::currentDateTimeUtc().addDays(-days);
    const int kept = int(namesPerDay * NamesKeptFromDayBefore);
    QStringList yesterday;
    for (int day = 0; day < days; ++day) {
        const QDateTime time = firstDay.addDays(day);
        QStringList names = yesterday.mid(0, kept);
        for (int i = names.size(); i < namesPerDay; ++i)
            names << QStringLiteral("d%1n%2.com").arg(day).arg(i);
        const std::optional<qint64> run = store.beginRun(QStringLiteral("http://127.0.0.1"), 1, 1, time);
        if (!run || !store.recordPage(*run, 1, names, time) || !store.endRun(*run, 0, false, time))
            return std::nullopt;
        yesterday = names.mid(kept);
    }
    return std::make_pair(firstDay.addDays(days - 1), namesPerDay - kept);
}

// A collection run recorded in the history that pathOf(i) names against the same run without one, taking
// turns, so that neither gets the quieter moments. False when a run did not complete.
bool compareRecordedRuns(const QString &url, int pages, int runs, const std::function<QString(int)> &pathOf,
    const QString &what)
{
    std::vector<double> without;
    std::vector<double> with;
    std::vector<double> written;
    bool complete = true;
    {
        for (int i = 0; i < runs && complete; ++i) {
            const std::optional<CollectionFigures> plain = timeCollection(url, pages, nullptr);
            HistoryStore store;
            const bool opened = store.open(pathOf(i));
            const std::optional<CollectionFigures> recorded
                = opened ? timeCollection(url, pages, &store) : std::nullopt;
            const QList<HistoryStore::RunSummary> stored = store.runsBetween(QDateTime::currentDateTimeUtc().addSecs(-3600), QDateTime());
            complete = plain && recorded && !stored.isEmpty()
                && store.namesOfRun(stored.constLast().id).size() == qsizetype(pages) * SampleMarket::RowsPerPage;
            if (complete) {
                without.push_back(plain->runSeconds);
                with.push_back(recorded->runSeconds);
                written.push_back(recorded->writtenSeconds);
            }
        }
        const double plainSeconds = Bench::median(without);
        const double recordedSeconds = Bench::median(with);
        const double slower = plainSeconds > 0 ? (recordedSeconds / plainSeconds - 1) * 100 : 0;
        std::printf("store: %s of %d pages, %d names (median of %zu each): %.3f s without the history, "
                    "%.3f s recorded, %+.1f %% (target no more than %.0f %% slower): %s; every page in the history "
                    "%.3f s after the start\n",
            qPrintable(what), pages, pages * SampleMarket::RowsPerPage, with.size(), plainSeconds, recordedSeconds, slower,
            RecordingTargetPercent, Bench::verdict(complete && slower <= RecordingTargetPercent),
            Bench::median(written));
        std::fflush(stdout);
        return complete;
    }
}

QString programPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/vexlon-collector");
}

// "vexlon-collector history --new" from its start to its end, its rows going to /dev/null.
std::optional<double> timeHistoryCommand(const QString &dataDir, const QDateTime &since)
{
    QProcess program;
    program.setStandardOutputFile(QProcess::nullDevice());
    program.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    program.start(programPath(),
        { QStringLiteral("history"), QStringLiteral("--new"), QStringLiteral("--since"), since.toString(Qt::ISODate),
            QStringLiteral("--data-dir"), dataDir });
    if (!program.waitForFinished(60000) || program.exitStatus() != QProcess::NormalExit || program.exitCode() != 0)
        return std::nullopt;
    return clock.nsecsElapsed() / 1e6;
}

} // namespace

// Version 4's layout, before the whois facts.
const char *const FourthLayout[] = {
    "PRAGMA application_id = 1448627278",
    "PRAGMA user_version = 4",
    "CREATE TABLE runs (id INTEGER PRIMARY KEY, market_url TEXT NOT NULL, started INTEGER NOT NULL, ended INTEGER,"
    " first_page INTEGER NOT NULL, last_page INTEGER NOT NULL, pages_failed INTEGER NOT NULL DEFAULT 0,"
    " stopped INTEGER NOT NULL DEFAULT 0)",
    "CREATE INDEX runs_started ON runs (started)",
    "CREATE TABLE domains (id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE, first_seen INTEGER NOT NULL)",
    "CREATE INDEX domains_first_seen ON domains (first_seen)",
    "CREATE TABLE sightings (id INTEGER PRIMARY KEY, run INTEGER NOT NULL REFERENCES runs (id),"
    " domain INTEGER NOT NULL REFERENCES domains (id), page INTEGER NOT NULL, position INTEGER NOT NULL,"
    " seen INTEGER NOT NULL)",
    "CREATE INDEX sightings_run ON sightings (run, page, position)",
    "CREATE INDEX sightings_domain ON sightings (domain, seen)",
    "CREATE INDEX sightings_seen ON sightings (seen)",
    "CREATE TABLE lookups (id INTEGER PRIMARY KEY, domain TEXT NOT NULL, time INTEGER,"
    " backorder_failure TEXT NOT NULL, backorder_page INTEGER NOT NULL, deletion_type TEXT NOT NULL,"
    " deletion_time TEXT NOT NULL, deadline TEXT NOT NULL, whois TEXT NOT NULL, whois_cut INTEGER NOT NULL,"
    " booking_closed INTEGER NOT NULL, platform TEXT NOT NULL, price TEXT NOT NULL, rmb TEXT NOT NULL,"
    " deposit TEXT NOT NULL, icp_state TEXT NOT NULL, licence TEXT NOT NULL, icp_failure TEXT NOT NULL)",
    "CREATE INDEX lookups_domain ON lookups (domain, time)",
    "CREATE TABLE staged_pages (id INTEGER PRIMARY KEY, run INTEGER NOT NULL REFERENCES runs (id),"
    " page INTEGER NOT NULL, names TEXT NOT NULL, seen INTEGER NOT NULL)",
};

// A registry's answer ends with its terms of use: a whois as long as the ones the marketplace shows.
const QString WhoisTerms = QStringLiteral(
    ">>> Last update of whois database: 2024-06-05T13:20:00Z <<<\n\n"
    "NOTICE: The expiration date displayed in this record is the date the registrar's sponsorship of the domain\n"
    "name registration in the registry is currently set to expire. This date does not necessarily reflect the\n"
    "expiration date of the domain name registrant's agreement with the sponsoring registrar. Users may consult\n"
    "the sponsoring registrar's Whois database to view the registrar's reported date of expiration.\n\n"
    "TERMS OF USE: You are not authorized to access or query our Whois database through the use of electronic\n"
    "processes that are high-volume and automated except as reasonably necessary to register domain names or\n"
    "modify existing registrations; the Data in the Whois database is provided for information purposes only,\n"
    "and to assist persons in obtaining information about or related to a domain name registration record. We\n"
    "do not guarantee its accuracy. By submitting a Whois query, you agree to abide by the following terms of\n"
    "use: You agree that you may use this Data only for lawful purposes and that under no circumstances will\n"
    "you use this Data to: (1) allow, enable, or otherwise support the transmission of mass unsolicited,\n"
    "commercial advertising or solicitations via e-mail, telephone, or facsimile; or (2) enable high volume,\n"
    "automated, electronic processes that apply to the registry (or its computer systems).\n");

// A version-4 history of that many lookups of the sample's names, each with its whois; the time its
// first open takes, which migrates it, or std::nullopt when it could not be made or the facts are missing.
std::optional<double> timeMigration(const QString &path, int lookups)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fourth"));
        db.setDatabaseName(path);
        bool made = db.open();
        for (const char *statement : FourthLayout)
            made = made && QSqlQuery(db).exec(QString::fromLatin1(statement));
        made = made && db.transaction();
        QSqlQuery insert(db);
        made = made
            && insert.prepare(QStringLiteral("INSERT INTO lookups VALUES (NULL, ?, ?, '', 1, '过期删除', '', '', ?, 0,"
                                             " 0, '', '', '', '', 'not filed', '', '')"));
        const qint64 time = QDateTime::currentMSecsSinceEpoch();
        for (int i = 0; i < lookups && made; ++i) {
            const std::string domain = "migrated" + std::to_string(i) + ".com";
            insert.bindValue(0, QString::fromStdString(domain));
            insert.bindValue(1, time + i);
            insert.bindValue(2, QString::fromStdString(SampleMarket::backorderInfoFor(domain).whois) + u'\n' + WhoisTerms);
            made = insert.exec();
        }
        made = made && db.commit();
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("fourth"));
        if (!made)
            return std::nullopt;
    }
    QElapsedTimer clock;
    clock.start();
    HistoryStore store;
    QString failure;
    if (!store.open(path, &failure)) {
        std::fprintf(stderr, "store: %s\n", qPrintable(failure));
        return std::nullopt;
    }
    const double seconds = clock.nsecsElapsed() / 1e9;
    const std::optional<LookupRecord> last = store.latestAnsweredLookup(QStringLiteral("migrated%1.com").arg(lookups - 1));
    return last && last->whois.created.isValid() && !last->whois.registrar.isEmpty() ? std::optional(seconds)
                                                                                     : std::nullopt;
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Times batch lookups, recording runs, and reading the history."));
    parser.addHelpOption();
    const auto option = [&parser](const char *name, const char *description, const char *value) {
        const QCommandLineOption added(
            QLatin1String(name), QLatin1String(description), QStringLiteral("n"), QLatin1String(value));
        parser.addOption(added);
        return added;
    };
    const QCommandLineOption rateOption
        = option("rate", "Requests a second the marketplace and the batch allow.", "50");
    const QCommandLineOption lookupsOption = option("lookups", "Lookups of the rate-limited batch.", "1000");
    const QCommandLineOption pagesOption = option("pages", "Results pages of 50 names of the recorded run.", "2000");
    const QCommandLineOption daysOption = option("days", "Days of runs in the large history.", "365");
    const QCommandLineOption perDayOption = option("names-per-day", "Names each day's run sees.", "33000");
    const QCommandLineOption memoryOption
        = option("memory-lookups", "Lookups of the batch whose memory is read.", "10000");
    const QCommandLineOption runsOption = option("runs", "Runs with and without the history each.", "5");
    const QCommandLineOption migratedOption
        = option("migrated-lookups", "Lookups of the version-4 history that is migrated.", "100000");
    const QCommandLineOption onlyMigrationOption(
        QStringLiteral("only-migration"), QStringLiteral("Time the migration of the history alone."));
    parser.addOption(onlyMigrationOption);
    parser.process(app);
    const int migrated = std::clamp(parser.value(migratedOption).toInt(), 1, 10000000);
    const int rate = std::clamp(parser.value(rateOption).toInt(), 1, 100000);
    const int lookups = std::clamp(parser.value(lookupsOption).toInt(), 1, 1000000);
    const int pages = std::clamp(parser.value(pagesOption).toInt(), 1, 30000);
    const int days = std::clamp(parser.value(daysOption).toInt(), 2, 3650);
    const int namesPerDay = std::clamp(parser.value(perDayOption).toInt(), 10, 1000000);
    const int memoryLookups = std::clamp(parser.value(memoryOption).toInt(), 1000, 1000000);
    const int runs = std::clamp(parser.value(runsOption).toInt(), 1, 20);

    const char *buildType = *BENCH_BUILD_TYPE ? BENCH_BUILD_TYPE : "unnamed";
    std::printf("store: %s build\n", buildType);
    std::fflush(stdout);
    bool measured = true;

    {
        QTemporaryDir migrationFolder;
        const std::optional<double> seconds = migrationFolder.isValid()
            ? timeMigration(migrationFolder.filePath(QStringLiteral("fourth.sqlite")), migrated)
            : std::nullopt;
        measured = measured && seconds;
        std::printf("store: migration of a version-4 history of %d lookups to version %d, the whois facts read from "
                    "each kept whois: %.2f s (target under %.0f s): %s\n",
            migrated, HistoryStore::SchemaVersion, seconds.value_or(0), MigrationTargetSeconds,
            Bench::verdict(seconds && *seconds < MigrationTargetSeconds));
        std::fflush(stdout);
        if (parser.isSet(onlyMigrationOption))
            return measured ? 0 : 1;
    }

    FakeSite site;
    QTemporaryDir folder;
    if (!Bench::startSampleMarket(site, pages, 0) || !folder.isValid()) {
        std::fprintf(stderr, "store: cannot start the sample marketplace or make a temporary folder\n");
        return 1;
    }

    // The marketplace and the ICP site are one host here: the limit holds for both together, two
    // requests a lookup.
    {
        HistoryStore store;
        QString failure;
        if (!store.open(folder.filePath(QStringLiteral("lookups.sqlite")), &failure)) {
            std::fprintf(stderr, "store: %s\n", qPrintable(failure));
            return 1;
        }
        site.setRateLimit(rate);
        BatchOptions options;
        options.politeness.requestsPerSecond = rate;
        const QStringList domains = lookupDomains(QStringLiteral("limited"), lookups);
        const BatchFigures first = runBatch(site, store, options, domains);
        const double bound = 2.0 * lookups / rate;
        const bool firstMeasured = first.finished && first.done == lookups;
        measured = measured && firstMeasured;
        std::printf("store: %d lookups, marketplace and batch limited to %d requests a second on one host (%zu "
                    "requests, bound %d x 2 / %d = %.1f s): %.2f s, %d failed (target within %.2fx the bound = %.1f "
                    "s, 0 failed): %s\n",
            lookups, rate, first.requests, lookups, rate, bound, first.seconds, first.failed, RateBoundFactor,
            RateBoundFactor * bound,
            Bench::verdict(firstMeasured && first.failed == 0 && first.seconds <= RateBoundFactor * bound));
        std::fflush(stdout);

        const BatchFigures again = runBatch(site, store, options, domains);
        const bool againMeasured = again.finished && again.done == lookups;
        measured = measured && againMeasured;
        std::printf("store: the same %d lookups again: %.3f s, %zu requests, %d from the history (target 0 "
                    "requests, under %.0f s): %s\n",
            lookups, again.seconds, again.requests, again.fromHistory, CachedTargetSeconds,
            Bench::verdict(againMeasured && again.requests == 0 && again.fromHistory == lookups
                && again.seconds < CachedTargetSeconds));
        std::fflush(stdout);
        site.setRateLimit(0);
    }

    // Runs with and without the history take turns, so that neither gets the quieter moments.
    measured = compareRecordedRuns(QString::fromStdString(site.url()), pages, runs,
                   [&folder](int i) { return folder.filePath(QStringLiteral("run%1.sqlite").arg(i)); },
                   QStringLiteral("collection run"))
        && measured;

    {
        const QString dataDir = folder.filePath(QStringLiteral("large"));
        HistoryStore store;
        QElapsedTimer clock;
        clock.start();
        const std::optional<std::pair<QDateTime, int>> built
            = store.open(HistoryStore::filePath(dataDir)) ? buildHistory(store, days, namesPerDay) : std::nullopt;
        const double buildSeconds = clock.nsecsElapsed() / 1e9;
        std::vector<double> queryMs;
        bool right = built.has_value();
        for (int i = 0; i < 5 && right; ++i) {
            clock.restart();
            const QList<HistoryStore::SeenName> names = store.namesSeenSince(built->first, true);
            queryMs.push_back(clock.nsecsElapsed() / 1e6);
            right = names.size() == built->second;
        }
        measured = measured && right;
        std::printf("store: history of %d days of %d names, %d sightings (built in %.1f s): the %d new names of the "
                    "last day (namesSeenSince, median of %zu): %.1f ms (target under %.0f ms): %s\n",
            days, namesPerDay, days * namesPerDay, buildSeconds, built ? built->second : 0, queryMs.size(),
            Bench::median(queryMs), NewNamesTargetMs,
            Bench::verdict(right && Bench::median(queryMs) < NewNamesTargetMs));
        std::fflush(stdout);

        std::vector<double> commandMs;
        for (int i = 0; i < 3 && right; ++i) {
            const std::optional<double> ms = timeHistoryCommand(dataDir, built->first);
            right = ms.has_value();
            if (ms)
                commandMs.push_back(*ms);
        }
        measured = measured && right;
        std::printf("store: the same as \"vexlon-collector history --new --since ...\", start to end, rows to "
                    "/dev/null (median of %zu): %.1f ms (target under %.0f ms): %s\n",
            commandMs.size(), Bench::median(commandMs), NewNamesTargetMs,
            Bench::verdict(right && Bench::median(commandMs) < NewNamesTargetMs));
        std::fflush(stdout);

        // As the window and every command open it at their start.
        std::vector<double> openMs;
        for (int i = 0; i < 5 && right; ++i) {
            HistoryStore another;
            clock.restart();
            right = another.open(HistoryStore::filePath(dataDir));
            openMs.push_back(clock.nsecsElapsed() / 1e6);
        }
        measured = measured && right;
        std::printf("store: opening that history (median of %zu): %.1f ms (target under %.0f ms): %s\n", openMs.size(),
            Bench::median(openMs), OpenTargetMs, Bench::verdict(right && Bench::median(openMs) < OpenTargetMs));
        const QString file = HistoryStore::filePath(dataDir);
        const double gigabytes = (QFileInfo(file).size() + QFileInfo(file + QStringLiteral("-wal")).size()) / 1e9;
        std::printf("store: its file with its journal: %.2f GB (target under %.1f GB): %s\n", gigabytes,
            FileSizeTargetGB, Bench::verdict(right && gigabytes < FileSizeTargetGB));
        std::fflush(stdout);
        measured = compareRecordedRuns(QString::fromStdString(site.url()), pages, runs,
                       [&file](int) { return file; }, QStringLiteral("collection run into that history"))
            && measured;
    }

    // Real lookups, as fast as the fake site answers, recorded in a history of their own.
    {
        HistoryStore store;
        const bool opened = store.open(folder.filePath(QStringLiteral("memory.sqlite")));
        BatchOptions options;
        options.politeness.requestsPerSecond = 1e6;
        options.politeness.requestsAtOnce = 4;
        std::optional<double> afterFew;
        std::optional<double> afterAll;
        const int few = memoryLookups / 10;
        // The fake site's request log would grow with the batch: it is not the batch's memory.
        const BatchFigures figures = opened
            ? runBatch(site, store, options, lookupDomains(QStringLiteral("memory"), memoryLookups),
                [&](int done) {
                    if (done % 500 == 0)
                        site.clearLog();
                    if (done == few)
                        afterFew = residentMB();
                    if (done == memoryLookups)
                        afterAll = residentMB();
                })
            : BatchFigures();
        const bool right
            = figures.finished && figures.done == memoryLookups && figures.failed == 0 && afterFew && afterAll;
        measured = measured && right;
        const double growth = right ? *afterAll - *afterFew : 0;
        std::printf("store: resident memory after %d lookups %.1f MB, after %d %.1f MB (%.1f s, %d failed): %+.1f MB "
                    "(target within %.0f MB): %s\n",
            few, afterFew.value_or(0), memoryLookups, afterAll.value_or(0), figures.seconds, figures.failed, growth,
            MemoryGrowthTargetMB, Bench::verdict(right && growth <= MemoryGrowthTargetMB));
    }
    return measured ? 0 : 1;
}
