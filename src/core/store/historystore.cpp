#include "core/store/historystore.h"

#include "core/lookup/lookupfields.h"
#include "core/watch/watch.h"

#include <QAtomicInteger>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QThread>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QVariant>

#include <limits>

namespace {

// "VXLN": tells our files from other programs' SQLite databases.
constexpr int ApplicationId = 0x56584C4E;
constexpr int DefaultBusyTimeoutMs = 5000;
// Less room than this on the history's disk, and a failed write is taken for a full disk.
constexpr qint64 MinimumFreeBytes = 1024 * 1024;

// What DNS said of a label under another suffix: a cache, the newest answer only. Added to files of the
// current version too when they lack it (see open()), so it needs no version of its own.
const char ElsewhereTable[] = "CREATE TABLE IF NOT EXISTS elsewhere ("
                              " label TEXT NOT NULL,"
                              " suffix TEXT NOT NULL,"
                              " state TEXT NOT NULL,"
                              " time INTEGER NOT NULL,"
                              " PRIMARY KEY (label, suffix)) WITHOUT ROWID";

// The current layout. Times are milliseconds since 1970 UTC. The domains table holds each name once
// with the first time a run saw it, kept up to date as pages are recorded, so that "new since" reads
// one index instead of every sighting; the last time comes from the sightings' index, and what was seen
// since a time from the runs that went on since then. Every statement may be run again: a migration
// runs them all after moving the tables it rebuilds out of the way.
const char *const CurrentLayout[] = {
    "CREATE TABLE IF NOT EXISTS runs ("
    " id INTEGER PRIMARY KEY,"
    " market_url TEXT NOT NULL,"
    " started INTEGER NOT NULL,"
    " ended INTEGER," // NULL while running, or when the program ended first
    " first_page INTEGER NOT NULL,"
    " last_page INTEGER NOT NULL,"
    " pages_failed INTEGER NOT NULL DEFAULT 0,"
    " stopped INTEGER NOT NULL DEFAULT 0)",
    "CREATE INDEX IF NOT EXISTS runs_started ON runs (started)",
    "CREATE TABLE IF NOT EXISTS domains ("
    " id INTEGER PRIMARY KEY,"
    " name TEXT NOT NULL UNIQUE,"
    " first_seen INTEGER NOT NULL)",
    "CREATE INDEX IF NOT EXISTS domains_first_seen ON domains (first_seen)",
    // Kept in the order of their runs' pages, which is how they are read back, without a row id or an
    // index of their own: a year of daily runs holds some twelve million.
    "CREATE TABLE IF NOT EXISTS sightings ("
    " run INTEGER NOT NULL REFERENCES runs (id),"
    " page INTEGER NOT NULL,"
    " position INTEGER NOT NULL," // 1 for the page's first name
    " domain INTEGER NOT NULL REFERENCES domains (id),"
    " seen INTEGER NOT NULL,"
    " PRIMARY KEY (run, page, position)) WITHOUT ROWID",
    "CREATE INDEX IF NOT EXISTS sightings_domain ON sightings (domain, seen)",
    nullptr, // the lookups table, made from the fields of a lookup record
    "CREATE INDEX IF NOT EXISTS lookups_domain ON lookups (domain, time)",
    // Pages kept as they came (names as a JSON array), not yet filed under the indexes above.
    "CREATE TABLE IF NOT EXISTS staged_pages ("
    " id INTEGER PRIMARY KEY,"
    " run INTEGER NOT NULL REFERENCES runs (id),"
    " page INTEGER NOT NULL,"
    " names TEXT NOT NULL,"
    " seen INTEGER NOT NULL)",
    ElsewhereTable,
    // The watches, and the names each matched when a run first saw them: a name is new to a watch once.
    "CREATE TABLE IF NOT EXISTS watches ("
    " id INTEGER PRIMARY KEY,"
    " name TEXT NOT NULL UNIQUE,"
    " filter TEXT NOT NULL," // a JSON object (filterToJson())
    " webhook TEXT NOT NULL DEFAULT '',"
    " webhook_format TEXT NOT NULL DEFAULT 'generic',"
    " created INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS watch_matches ("
    " watch INTEGER NOT NULL REFERENCES watches (id) ON DELETE CASCADE,"
    " domain INTEGER NOT NULL REFERENCES domains (id),"
    " run INTEGER NOT NULL REFERENCES runs (id),"
    " matched INTEGER NOT NULL,"
    " PRIMARY KEY (watch, domain)) WITHOUT ROWID",
    "CREATE INDEX IF NOT EXISTS watch_matches_run ON watch_matches (run)",
    "CREATE INDEX IF NOT EXISTS watch_matches_time ON watch_matches (watch, matched)",
};

// Version 3 also kept "backorder_read", always the same as "backorder_page", after "time"; names in
// the case the page gave them; and sightings with row ids and two more indexes (by run, by time). Its
// migration drops the column, merges names that differ only in case and rebuilds the sightings.
const char *const FromVersion3[] = {
    "ALTER TABLE lookups DROP COLUMN backorder_read",
    "DROP INDEX IF EXISTS sightings_run",
    "DROP INDEX IF EXISTS sightings_domain",
    "DROP INDEX IF EXISTS sightings_seen",
    "ALTER TABLE sightings RENAME TO sightings_v3",
    nullptr, // the current layout
    "INSERT INTO domains (name, first_seen) SELECT lower(name), min(first_seen) FROM domains"
    " WHERE name <> lower(name) GROUP BY lower(name) ORDER BY min(first_seen)"
    " ON CONFLICT (name) DO UPDATE SET first_seen = min(first_seen, excluded.first_seen)",
    "INSERT OR IGNORE INTO sightings (run, page, position, domain, seen)"
    " SELECT s.run, s.page, s.position, iif(d.name = lower(d.name), d.id,"
    " (SELECT l.id FROM domains l WHERE l.name = lower(d.name))), s.seen"
    " FROM sightings_v3 s JOIN domains d ON d.id = s.domain",
    "DROP TABLE sightings_v3",
    "DELETE FROM domains WHERE name <> lower(name)",
    "UPDATE lookups SET domain = lower(domain) WHERE domain <> lower(domain)",
};

// Version 5 is the current layout without the watches, whose tables the layout's statements make.
// Version 2 is the version 3 layout without staged pages; its migration makes the missing table.
// Version 1 had the same runs and lookups, and sightings that held the domain's text:
//   sightings (id, run, domain TEXT, page, position, seen), indexed sightings_run (run, page,
//   position) and sightings_domain (domain, seen).
// Its sightings move aside, the current layout is made, and the names move into domains.
const char *const FromVersion1[] = {
    "DROP INDEX IF EXISTS sightings_run",
    "DROP INDEX IF EXISTS sightings_domain",
    "ALTER TABLE sightings RENAME TO sightings_v1",
    nullptr, // the current layout
    "INSERT INTO domains (name, first_seen)"
    " SELECT domain, min(seen) FROM sightings_v1 GROUP BY domain ORDER BY min(seen), min(id)",
    "INSERT OR IGNORE INTO sightings (run, domain, page, position, seen)"
    " SELECT s.run, d.id, s.page, s.position, s.seen FROM sightings_v1 s JOIN domains d ON d.name = s.domain",
    "DROP TABLE sightings_v1",
};

// The lookups table: the record's domain and time, then one column a field.
QString lookupsTable()
{
    QString statement = QStringLiteral("CREATE TABLE IF NOT EXISTS lookups (id INTEGER PRIMARY KEY,"
                                       " domain TEXT NOT NULL, time INTEGER");
    for (const LookupField &field : lookupFields()) {
        if (field.isKept())
            statement += QStringLiteral(", %1 %2").arg(field.storeColumn, field.storeType());
    }
    return statement + u')';
}

QString lookupColumns()
{
    QStringList columns { QStringLiteral("domain"), QStringLiteral("time") };
    for (const LookupField &field : lookupFields()) {
        if (field.isKept())
            columns.append(field.storeColumn);
    }
    return columns.join(QLatin1String(", "));
}

// A text column holds no NULL.
QVariant storedValue(const LookupField &field, const LookupRecord &record)
{
    const QVariant value = field.value(record);
    return value.typeId() == QMetaType::QString && value.toString().isNull() ? QVariant(QStringLiteral("")) : value;
}

// The fields a lookup keeps, in the order of lookupColumns() after the domain and the time.
QList<LookupField> keptFields()
{
    QList<LookupField> kept;
    for (const LookupField &field : lookupFields()) {
        if (field.isKept())
            kept.append(field);
    }
    return kept;
}

QVariant timeValue(const QDateTime &time)
{
    return time.isValid() ? QVariant(time.toMSecsSinceEpoch()) : QVariant(QMetaType::fromType<qint64>());
}

// A JSON array of strings, in lower case, written directly: a page's worth of names is staged in the
// time the general-purpose document would take to build its values.
QString namesAsJson(const QStringList &names)
{
    qsizetype length = 2;
    for (const QString &name : names)
        length += name.size() + 3;
    QString json;
    json.reserve(length);
    json += u'[';
    for (const QString &given : names) {
        const QString name = given.toLower();
        if (json.size() > 1)
            json += u',';
        json += u'"';
        for (const QChar c : name) {
            if (c == u'"' || c == u'\\') {
                json += u'\\';
                json += c;
            } else if (c.unicode() < 0x20) {
                json += QStringLiteral("\\u%1").arg(int(c.unicode()), 4, 16, QLatin1Char('0'));
            } else {
                json += c;
            }
        }
        json += u'"';
    }
    json += u']';
    return json;
}

QDateTime timeOf(const QVariant &value)
{
    return value.isNull() ? QDateTime() : QDateTime::fromMSecsSinceEpoch(value.toLongLong(), Qt::UTC);
}

} // namespace

struct HistoryStore::Private
{
    const QString connection = QStringLiteral("vexlon-history-%1").arg(nextConnection.fetchAndAddRelaxed(1));
    QSqlDatabase db;
    QString path;
    bool ready = false;
    int busyTimeoutMs = DefaultBusyTimeoutMs;
    QString error;
    // Prepared once: a page's names are written through them, all of the page in each statement.
    std::optional<QSqlQuery> addNames;
    std::optional<QSqlQuery> addSightings;
    std::optional<QSqlQuery> stagePage;
    std::optional<QSqlQuery> begin;
    std::optional<QSqlQuery> commit;
    std::optional<QSqlQuery> newNames;
    std::optional<QSqlQuery> addMatch;
    // The watches, their filters made ready once: read again in every transaction that files pages, as
    // another program may have changed them; a filter whose text did not change is not made again.
    struct PreparedWatch
    {
        qint64 id = 0;
        QString filterText;
        PreparedFilter names;
        YearsRange age;
    };
    std::vector<PreparedWatch> watchFilters;
    bool watchesRead = false; // in this transaction

    int lastCode = 0; // SQLite's primary result code of the last failure
    bool lastUnique = false; // and whether it was a unique constraint
    static inline QAtomicInteger<quint64> nextConnection;

    static int primaryCodeOf(const QSqlError &error) { return error.nativeErrorCode().toInt() & 0xff; }

    // What SQLite said, and what that means for the user.
    QString reasonOf(const QSqlError &error) const
    {
        const QString said = error.databaseText().isEmpty() ? error.text() : error.databaseText();
        switch (primaryCodeOf(error)) {
        case 5: // SQLITE_BUSY
        case 6: // SQLITE_LOCKED
            return QStringLiteral("another program kept the history locked for more than %1 ms (%2)")
                .arg(busyTimeoutMs)
                .arg(said);
        case 8: // SQLITE_READONLY
            return QStringLiteral("the history cannot be written (%1)").arg(said);
        case 11: // SQLITE_CORRUPT
        case 26: // SQLITE_NOTADB
            return QStringLiteral("the file is damaged or no database (%1); it is left as it is").arg(said);
        case 10: // SQLITE_IOERR: a write that found no room is told as what it is
            if (!path.isEmpty() && QStorageInfo(QFileInfo(path).absolutePath()).bytesAvailable() < MinimumFreeBytes)
                return QStringLiteral("the disk is full (%1)").arg(said);
            return said;
        case 13: // SQLITE_FULL
            return QStringLiteral("the disk is full (%1)").arg(said);
        case 14: // SQLITE_CANTOPEN
            return QStringLiteral("the history, or the journal beside it, cannot be opened (%1)").arg(said);
        default:
            return said;
        }
    }

    bool fail(const QString &what, const QSqlError &sqlError)
    {
        lastCode = primaryCodeOf(sqlError);
        lastUnique = sqlError.nativeErrorCode() == QLatin1String("2067"); // SQLITE_CONSTRAINT_UNIQUE
        error = what + QStringLiteral(": ") + reasonOf(sqlError);
        return false;
    }

    bool exec(QSqlQuery &query, const QString &what) { return query.exec() || fail(what, query.lastError()); }

    // The names a query gives in its first column, in its order; none when it fails.
    QStringList namesOf(const QString &statement, const QVariantList &values, const QString &what)
    {
        QStringList names;
        error.clear();
        if (!ready)
            return names;
        QSqlQuery query(db);
        query.setForwardOnly(true);
        query.prepare(statement);
        for (const QVariant &value : values)
            query.addBindValue(value);
        if (!exec(query, what))
            return names;
        while (query.next())
            names.append(query.value(0).toString());
        return names;
    }

    bool exec(const QString &statement, const QString &what)
    {
        QSqlQuery query(db);
        return query.exec(statement) || fail(what, query.lastError());
    }

    // A value a statement without parameters reads, or an invalid QVariant after setting the error.
    QVariant valueOf(const QString &statement, const QString &what)
    {
        QSqlQuery query(db);
        if (query.exec(statement) && query.next())
            return query.value(0);
        fail(what, query.lastError());
        return QVariant();
    }

    // Writes take the lock at once, so that a busy store makes them wait, and fail as a whole.
    template <typename Writes> bool transaction(const QString &what, Writes writes)
    {
        if (!ready) {
            error = what + QStringLiteral(": the history is not open");
            return false;
        }
        error.clear();
        watchesRead = false;
        if (!exec(*begin, what))
            return false;
        if (writes() && exec(*commit, what))
            return true;
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return false;
    }

    bool openFile(const QString &path);
    bool createOrMigrate(int version);
    bool addLaterFields(int version);
    // Files one page's names (a JSON array) under the indexes, inside the caller's transaction.
    bool filePage(qint64 run, int page, const QString &names, const QVariant &seen, const QString &what)
    {
        addNames->bindValue(0, seen);
        addNames->bindValue(1, names);
        if (!exec(*addNames, what))
            return false;
        addSightings->bindValue(0, run);
        addSightings->bindValue(1, page);
        addSightings->bindValue(2, seen);
        addSightings->bindValue(3, names);
        return exec(*addSightings, what) && matchWatches(run, names, seen, what);
    }
    bool loadWatches(const QString &what);
    std::optional<int> ageOf(qint64 domainId);
    // Tests the names of a page filed just now that no run saw before against every watch, and keeps
    // the matches, inside the caller's transaction.
    bool matchWatches(qint64 run, const QString &names, const QVariant &seen, const QString &what)
    {
        if (!watchesRead && !loadWatches(what))
            return false;
        watchesRead = true;
        if (watchFilters.empty())
            return true;
        newNames->bindValue(0, names);
        newNames->bindValue(1, seen);
        if (!exec(*newNames, what))
            return false;
        QList<std::pair<qint64, QString>> found;
        while (newNames->next())
            found.append({ newNames->value(0).toLongLong(), newNames->value(1).toString() });
        newNames->finish();
        for (const auto &[id, name] : std::as_const(found)) {
            const FilterKey key = filterKeyOf(name);
            std::optional<std::optional<int>> age;
            for (const PreparedWatch &watch : watchFilters) {
                if (!watch.names.matches(key))
                    continue;
                if (!watch.age.isOpen()) {
                    if (!age)
                        age = ageOf(id);
                    if (!watch.age.contains(*age))
                        continue;
                }
                addMatch->bindValue(0, watch.id);
                addMatch->bindValue(1, id);
                addMatch->bindValue(2, run);
                addMatch->bindValue(3, seen);
                if (!exec(*addMatch, what))
                    return false;
            }
        }
        return true;
    }
    void close()
    {
        watchFilters.clear();
        newNames.reset();
        addMatch.reset();
        addNames.reset();
        addSightings.reset();
        stagePage.reset();
        begin.reset();
        commit.reset();
        ready = false;
        if (db.isValid()) {
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(connection);
        }
    }
};

HistoryStore::HistoryStore()
    : d(new Private)
{ }

HistoryStore::~HistoryStore()
{
    d->close();
    delete d;
}

QString HistoryStore::filePath(const QString &dataDir)
{
    const QString folder
        = dataDir.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) : dataDir;
    return QDir(folder).filePath(QStringLiteral("history.sqlite"));
}

bool HistoryStore::open(const QString &path, QString *error)
{
    d->close();
    d->path = path;
    // Two programs that make a new history at once may each find the other half-way, and SQLite then
    // answers one of them "busy" at once instead of waiting: that one tries again, within the time a
    // write would wait.
    QElapsedTimer waited;
    waited.start();
    bool opened = d->openFile(path);
    while (!opened && (d->lastCode == 5 || d->lastCode == 6) && waited.elapsed() < d->busyTimeoutMs) {
        d->close();
        QThread::msleep(10 + QRandomGenerator::global()->bounded(30));
        opened = d->openFile(path);
    }
    if (!opened) {
        d->close();
        if (error)
            *error = d->error;
        return false;
    }
    d->ready = true;
    // What a program that ended first left staged. A history opened only for reading keeps it staged.
    fileStagedPages();
    d->error.clear();
    return true;
}

bool HistoryStore::Private::openFile(const QString &filePath)
{
    const QFileInfo file(filePath);
    const QString prefix = filePath + QStringLiteral(": ");
    if (file.isDir()) {
        error = prefix + QStringLiteral("a folder has the history's name");
        return false;
    }
    if (!QDir().mkpath(file.absolutePath())) {
        error = prefix + QStringLiteral("its folder cannot be created");
        return false;
    }
    // SQLite would open it for reading and make its journal files beside it, which a read-only file
    // keeps from being used even once it can be written again.
    if (file.exists() && !file.isWritable()) {
        lastCode = 8;
        error = prefix + QStringLiteral("the history cannot be written (the file is read-only); it is left as it is");
        return false;
    }
    db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(filePath);
    if (!db.open())
        return fail(filePath, db.lastError());
    if (!exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(busyTimeoutMs), filePath))
        return false;

    // Only read until the file is known to be ours and of a version this program knows. One statement
    // reads all three at one moment: another program may be making the file meanwhile.
    QVariant header[3];
    {
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("SELECT (SELECT application_id FROM pragma_application_id),"
                                       " (SELECT user_version FROM pragma_user_version),"
                                       " (SELECT count(*) FROM sqlite_master)"))
            || !query.next())
            return fail(filePath, query.lastError());
        for (int i = 0; i < 3; ++i)
            header[i] = query.value(i);
    }
    const int version = header[1].toInt();
    const bool empty = header[0].toInt() == 0 && version == 0 && header[2].toInt() == 0;
    if (!empty && (header[0].toInt() != ApplicationId || version < 1)) {
        error = prefix
            + QStringLiteral("not a history of vexlon-collector but another program's database; it is left as it is");
        return false;
    }
    if (version > HistoryStore::SchemaVersion) {
        error = prefix
            + QStringLiteral("the history is of version %1, written by a newer vexlon-collector (this one "
                             "reads up to version %2); it is left as it is")
                  .arg(version)
                  .arg(HistoryStore::SchemaVersion);
        return false;
    }
    // An older file is migrated in the journal mode it has, so that a failed migration leaves it as it was.
    if (!empty && version < HistoryStore::SchemaVersion && !createOrMigrate(version))
        return false;
    // The window and a command share the file: readers never wait for the writer.
    const QVariant journal = valueOf(QStringLiteral("PRAGMA journal_mode = WAL"), filePath);
    if (!journal.isValid())
        return false;
    if (journal.toString() != QLatin1String("wal")) {
        error = prefix + QStringLiteral("the history cannot be written (its journal cannot be kept)");
        return false;
    }
    // A page's names touch pages all over the name index: keep them in memory, and write the log back
    // into the file less often, so that most commits cost no sync. A statement over a page's names
    // keeps what it would take back in memory, not in a temporary file written row by row.
    if (!exec(QStringLiteral("PRAGMA cache_size = -65536"), filePath)
        || !exec(QStringLiteral("PRAGMA wal_autocheckpoint = 16384"), filePath)
        || !exec(QStringLiteral("PRAGMA synchronous = NORMAL"), filePath)
        || !exec(QStringLiteral("PRAGMA temp_store = MEMORY"), filePath)
        || !exec(QStringLiteral("PRAGMA foreign_keys = ON"), filePath) || (empty && !createOrMigrate(0)))
        return false;
    // Found unwritable now, not at the first page: a write that is taken back (SQLite reads a read-only
    // file and lets a transaction begin on it). And a file cut short shows at its tables' ends.
    const bool writable = exec(QStringLiteral("BEGIN IMMEDIATE"), filePath)
        && exec(QStringLiteral("PRAGMA user_version = %1").arg(HistoryStore::SchemaVersion), filePath);
    QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
    // A file of this version made before the cache of other suffixes gets it now; the file stays usable
    // without it (its answers are then asked again).
    if (writable)
        QSqlQuery(db).exec(QString::fromLatin1(ElsewhereTable));
    if (!writable
        || !valueOf(QStringLiteral("SELECT (SELECT max(id) FROM runs), (SELECT max(run) FROM sightings),"
                                   " (SELECT max(id) FROM lookups), (SELECT max(id) FROM domains)"),
            filePath)
                .isValid())
        return false;

    // A page's names come as one JSON array (json_each reads it), so that a page costs two statements
    // however many names it holds. A name already known keeps its row: rewriting it for every sighting
    // would touch pages all over the table. Its first sighting moves only when an older one is recorded
    // late.
    addNames.emplace(db);
    addSightings.emplace(db);
    newNames.emplace(db);
    addMatch.emplace(db);
    stagePage.emplace(db);
    begin.emplace(db);
    commit.emplace(db);
    for (auto &[query, statement] :
         { std::pair(&begin, "BEGIN IMMEDIATE"), std::pair(&commit, "COMMIT"),
             std::pair(&stagePage, "INSERT INTO staged_pages (run, page, names, seen) VALUES (?, ?, ?, ?)"),
             std::pair(&addNames,
               "INSERT INTO domains (name, first_seen) SELECT value, ?1 FROM json_each(?2) WHERE true"
               " ON CONFLICT (name) DO UPDATE SET first_seen = excluded.first_seen"
               " WHERE excluded.first_seen < first_seen"),
             std::pair(&addSightings,
                 "INSERT OR IGNORE INTO sightings (run, domain, page, position, seen)"
                 " SELECT ?1, d.id, ?2, j.key + 1, ?3 FROM json_each(?4) j JOIN domains d ON d.name = j.value"
                 " ORDER BY j.key"),
             // A name no run saw before has this page's time as its first sighting.
             std::pair(&newNames,
                 "SELECT d.id, d.name FROM json_each(?1) j JOIN domains d ON d.name = j.value"
                 " WHERE d.first_seen = ?2 ORDER BY j.key"),
             std::pair(&addMatch,
                 "INSERT OR IGNORE INTO watch_matches (watch, domain, run, matched) VALUES (?, ?, ?, ?)") }) {
        if (!(*query)->prepare(QString::fromLatin1(statement)))
            return fail(filePath, (*query)->lastError());
    }
    error.clear();
    return true;
}

// Makes a new file's layout (from version 0), or brings an older one up to date, in one transaction.
// The version is read again under the lock: another program may have done it meanwhile.
bool HistoryStore::Private::createOrMigrate(int version)
{
    if (!exec(QStringLiteral("BEGIN IMMEDIATE"), path))
        return false;
    const auto steps = [&] {
        // Read again under the lock, all at one moment: another program may have made the file meanwhile.
        QSqlQuery header(db);
        if (!header.exec(QStringLiteral("SELECT (SELECT application_id FROM pragma_application_id),"
                                        " (SELECT user_version FROM pragma_user_version),"
                                        " (SELECT count(*) FROM sqlite_master)"))
            || !header.next())
            return fail(path, header.lastError());
        const int now = header.value(1).toInt();
        if (now != version) {
            if (header.value(0).toInt() == ApplicationId && now == HistoryStore::SchemaVersion)
                return true;
            error = path + QStringLiteral(": the history changed while it was opened; try again");
            return false;
        }
        header.finish();
        // The current layout, then what brings an older file's tables up to date.
        QList<QString> statements;
        if (version == 1) {
            for (const char *statement : FromVersion1)
                statements << (statement ? QString::fromLatin1(statement) : QString());
        } else {
            statements << QString();
        }
        if (version >= 1 && version <= 3) {
            for (const char *statement : FromVersion3)
                statements << (statement ? QString::fromLatin1(statement) : QString());
        }
        for (const QString &statement : std::as_const(statements)) {
            if (!statement.isNull()) {
                if (!exec(statement, path))
                    return false;
                continue;
            }
            for (const char *layout : CurrentLayout) {
                if (!exec(layout ? QString::fromLatin1(layout) : lookupsTable(), path))
                    return false;
            }
        }
        if (version >= 1 && version <= 4 && !addLaterFields(version))
            return false;
        return exec(QStringLiteral("PRAGMA application_id = %1").arg(ApplicationId), path)
            && exec(QStringLiteral("PRAGMA user_version = %1").arg(HistoryStore::SchemaVersion), path);
    };
    if (steps() && exec(QStringLiteral("COMMIT"), path))
        return true;
    QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
    return false;
}

// Version 4 kept no whois facts: their columns are added, and each lookup's facts are read from the whois
// text it kept (every field that came since is one of them). Nothing is fetched again.
bool HistoryStore::Private::addLaterFields(int version)
{
    QList<LookupField> added;
    for (const LookupField &field : keptFields()) {
        if (field.since > version)
            added.append(field);
    }
    QStringList assignments;
    for (const LookupField &field : std::as_const(added)) {
        if (!exec(QStringLiteral("ALTER TABLE lookups ADD COLUMN %1 %2").arg(field.storeColumn, field.storeType()),
                path))
            return false;
        assignments.append(field.storeColumn + QStringLiteral(" = ?"));
    }
    if (added.isEmpty())
        return true;
    QSqlQuery stored(db);
    stored.setForwardOnly(true);
    QSqlQuery update(db);
    if (!stored.prepare(QStringLiteral("SELECT id, whois FROM lookups WHERE whois <> '' ORDER BY id"))
        || !update.prepare(QStringLiteral("UPDATE lookups SET %1 WHERE id = ?").arg(assignments.join(u',')))
        || !exec(stored, path))
        return fail(path, stored.lastError().isValid() ? stored.lastError() : update.lastError());
    while (stored.next()) {
        LookupRecord record;
        record.whois = readWhoisFacts(stored.value(1).toString());
        for (int i = 0; i < added.size(); ++i)
            update.bindValue(i, storedValue(added[i], record));
        update.bindValue(int(added.size()), stored.value(0));
        if (!exec(update, path))
            return false;
    }
    return true;
}

bool HistoryStore::Private::loadWatches(const QString &what)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT id, filter FROM watches ORDER BY id")))
        return fail(what, query.lastError());
    std::vector<PreparedWatch> loaded;
    while (query.next()) {
        const qint64 id = query.value(0).toLongLong();
        const QString text = query.value(1).toString();
        const auto known = std::find_if(watchFilters.begin(), watchFilters.end(),
            [&](const PreparedWatch &watch) { return watch.id == id && watch.filterText == text; });
        if (known != watchFilters.end()) {
            loaded.push_back(std::move(*known));
            continue;
        }
        // A filter this version cannot read matches nothing rather than everything.
        WatchFilter filter;
        if (filterFromJson(text.toUtf8(), &filter))
            loaded.push_back({ id, text, PreparedFilter(filter.names), filter.age });
    }
    watchFilters = std::move(loaded);
    return true;
}

// By the newest lookup of the name whose whois gave a registration time.
std::optional<int> HistoryStore::Private::ageOf(qint64 domainId)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT l.created FROM lookups l JOIN domains d ON l.domain = d.name"
                                 " WHERE d.id = ? AND l.created IS NOT NULL ORDER BY l.time DESC LIMIT 1"));
    query.addBindValue(domainId);
    if (!query.exec() || !query.next())
        return std::nullopt;
    return wholeYearsSince(timeOf(query.value(0)), QDateTime::currentDateTimeUtc());
}

bool HistoryStore::isOpen() const
{
    return d->ready;
}

QString HistoryStore::path() const
{
    return d->path;
}

void HistoryStore::setBusyTimeout(int milliseconds)
{
    d->busyTimeoutMs = milliseconds;
    if (d->db.isOpen())
        QSqlQuery(d->db).exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(milliseconds));
}

QString HistoryStore::lastError() const
{
    return d->error;
}

std::optional<qint64> HistoryStore::beginRun(
    const QString &marketUrl, int firstPage, int lastPage, const QDateTime &started)
{
    std::optional<qint64> run;
    const bool written = d->transaction(QStringLiteral("cannot record the start of a run"), [&] {
        QSqlQuery query(d->db);
        query.prepare(
            QStringLiteral("INSERT INTO runs (market_url, started, first_page, last_page) VALUES (?, ?, ?, ?)"));
        query.addBindValue(marketUrl);
        query.addBindValue(timeValue(started));
        query.addBindValue(firstPage);
        query.addBindValue(lastPage);
        if (!d->exec(query, QStringLiteral("cannot record the start of a run")))
            return false;
        run = query.lastInsertId().toLongLong();
        return true;
    });
    return written ? run : std::nullopt;
}

bool HistoryStore::recordPage(qint64 run, int page, const QStringList &names, const QDateTime &seen)
{
    return recordPages({ SeenPage { run, page, names, seen } });
}

bool HistoryStore::recordPages(const QList<SeenPage> &pages)
{
    if (pages.isEmpty())
        return true;
    const QString what = pages.size() == 1
        ? QStringLiteral("cannot record page %1 of run %2").arg(pages[0].page).arg(pages[0].run)
        : QStringLiteral("cannot record pages %1 to %2 of run %3").arg(pages[0].page).arg(pages.last().page).arg(pages[0].run);
    return d->transaction(what, [&] {
        return std::all_of(pages.cbegin(), pages.cend(), [&](const SeenPage &page) {
            return d->filePage(page.run, page.page, namesAsJson(page.names), timeValue(page.seen), what);
        });
    });
}

bool HistoryStore::stagePages(const QList<SeenPage> &pages)
{
    if (pages.isEmpty())
        return true;
    const QString what = QStringLiteral("cannot record page %1 of run %2").arg(pages[0].page).arg(pages[0].run);
    return d->transaction(what, [&] {
        QSqlQuery &query = *d->stagePage;
        return std::all_of(pages.cbegin(), pages.cend(), [&](const SeenPage &page) {
            query.bindValue(0, page.run);
            query.bindValue(1, page.page);
            query.bindValue(2, namesAsJson(page.names));
            query.bindValue(3, timeValue(page.seen));
            return d->exec(query, what);
        });
    });
}

bool HistoryStore::fileStagedPages()
{
    const QString what = QStringLiteral("cannot file the pages recorded");
    // Most of the time there is nothing to file: no need to wait for the writer's lock then.
    if (d->ready && !QSqlQuery(QStringLiteral("SELECT 1 FROM staged_pages LIMIT 1"), d->db).next())
        return true;
    return d->transaction(what, [&] {
        QSqlQuery staged(d->db);
        staged.setForwardOnly(true);
        if (!staged.prepare(QStringLiteral("SELECT run, page, names, seen FROM staged_pages ORDER BY id"))
            || !d->exec(staged, what))
            return false;
        while (staged.next()) {
            if (!d->filePage(staged.value(0).toLongLong(), staged.value(1).toInt(), staged.value(2).toString(),
                    staged.value(3), what))
                return false;
        }
        staged.finish();
        return d->exec(QStringLiteral("DELETE FROM staged_pages"), what);
    });
}

bool HistoryStore::endRun(qint64 run, int pagesFailed, bool stopped, const QDateTime &ended)
{
    const QString what = QStringLiteral("cannot record the end of run %1").arg(run);
    return d->transaction(what, [&] {
        QSqlQuery query(d->db);
        query.prepare(QStringLiteral("UPDATE runs SET ended = ?, pages_failed = ?, stopped = ? WHERE id = ?"));
        query.addBindValue(timeValue(ended));
        query.addBindValue(pagesFailed);
        query.addBindValue(stopped);
        query.addBindValue(run);
        if (!d->exec(query, what))
            return false;
        if (query.numRowsAffected() == 1)
            return true;
        d->error = what + QStringLiteral(": there is no such run");
        return false;
    });
}

bool HistoryStore::recordLookup(const LookupRecord &record)
{
    const QString what = QStringLiteral("cannot record the lookup of %1").arg(record.domain);
    return d->transaction(what, [&] {
        QSqlQuery query(d->db);
        const QList<LookupField> fields = keptFields();
        QStringList places(fields.size() + 2, QStringLiteral("?"));
        query.prepare(QStringLiteral("INSERT INTO lookups (%1) VALUES (%2)").arg(lookupColumns(), places.join(u',')));
        query.addBindValue(record.domain.toLower());
        query.addBindValue(timeValue(record.time));
        for (const LookupField &field : fields)
            query.addBindValue(storedValue(field, record));
        return d->exec(query, what);
    });
}

bool HistoryStore::recordElsewhere(const QList<ElsewhereState> &states)
{
    const QString what = QStringLiteral("cannot record what DNS said of other suffixes");
    return d->transaction(what, [&] {
        QSqlQuery query(d->db);
        query.prepare(QStringLiteral("INSERT INTO elsewhere (label, suffix, state, time) VALUES (?, ?, ?, ?)"
                                     " ON CONFLICT (label, suffix) DO UPDATE SET state = excluded.state,"
                                     " time = excluded.time WHERE excluded.time >= time"));
        for (const ElsewhereState &state : states) {
            query.addBindValue(state.label.toLower());
            query.addBindValue(state.suffix.toLower());
            query.addBindValue(presenceText(state.presence));
            query.addBindValue(timeValue(state.time));
            if (!d->exec(query, what))
                return false;
        }
        return true;
    });
}

QList<ElsewhereState> HistoryStore::elsewhereOf(const QString &label, const QDateTime &since) const
{
    d->error.clear();
    QList<ElsewhereState> states;
    if (!d->ready)
        return states;
    QSqlQuery query(d->db);
    query.prepare(QStringLiteral("SELECT suffix, state, time FROM elsewhere WHERE label = ? AND time >= ?"));
    query.addBindValue(label.toLower());
    query.addBindValue(timeValue(since));
    if (!d->exec(query, QStringLiteral("cannot read what DNS said of %1").arg(label)))
        return states;
    while (query.next()) {
        const std::optional<DnsPresence> presence = presenceFromText(query.value(1).toString());
        if (presence)
            states.append({ label.toLower(), query.value(0).toString(), *presence, timeOf(query.value(2)) });
    }
    return states;
}

std::optional<LookupRecord> HistoryStore::latestAnsweredLookup(const QString &domain) const
{
    d->error.clear();
    if (!d->ready)
        return std::nullopt;
    QSqlQuery query(d->db);
    query.prepare(QStringLiteral("SELECT %1 FROM lookups WHERE domain = ? AND backorder_page AND icp_state <> 'failed'"
                                 " ORDER BY time DESC, id DESC LIMIT 1")
                      .arg(lookupColumns()));
    query.addBindValue(domain.toLower());
    if (!d->exec(query, QStringLiteral("cannot read the lookups of %1").arg(domain)) || !query.next())
        return std::nullopt;
    LookupRecord record;
    record.domain = query.value(0).toString();
    record.time = timeOf(query.value(1));
    int column = 2;
    for (const LookupField &field : keptFields())
        field.setValue(record, query.value(column++));
    return record;
}

QList<HistoryStore::SeenName> HistoryStore::namesSeenSince(const QDateTime &since, bool newOnly) const
{
    QList<SeenName> names;
    d->error.clear();
    if (!d->ready)
        return names;
    QSqlQuery query(d->db);
    query.setForwardOnly(true);
    // New names come in first-seen order from their index; the others are found through the sightings of
    // the runs that went on since then. A name's last sighting is the end of its part of the sightings'
    // index.
    const QString lastSeen = QStringLiteral("(SELECT max(seen) FROM sightings WHERE domain = domains.id)");
    query.prepare(newOnly ? QStringLiteral("SELECT name, first_seen, %1 FROM domains WHERE first_seen >= ?"
                                           " ORDER BY first_seen, id")
                                .arg(lastSeen)
                          : QStringLiteral("SELECT name, first_seen, %1 FROM domains WHERE id IN"
                                           " (SELECT s.domain FROM runs r JOIN sightings s ON s.run = r.id"
                                           " WHERE (r.ended IS NULL OR r.ended >= ?) AND s.seen >= ?)"
                                           " ORDER BY first_seen, id")
                                .arg(lastSeen));
    const qint64 from = since.isValid() ? since.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
    query.addBindValue(from);
    if (!newOnly)
        query.addBindValue(from);
    if (!d->exec(query, QStringLiteral("cannot read the names seen")))
        return names;
    while (query.next())
        names.append({ query.value(0).toString(), timeOf(query.value(1)), timeOf(query.value(2)) });
    return names;
}

QList<HistoryStore::RunSummary> HistoryStore::runsBetween(const QDateTime &from, const QDateTime &to) const
{
    QList<RunSummary> runs;
    d->error.clear();
    if (!d->ready)
        return runs;
    QSqlQuery query(d->db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT id, market_url, started, ended, first_page, last_page, pages_failed, stopped"
                                 " FROM runs WHERE started BETWEEN ? AND ? ORDER BY started, id"));
    query.addBindValue(from.isValid() ? from.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min());
    query.addBindValue(to.isValid() ? to.toMSecsSinceEpoch() : std::numeric_limits<qint64>::max());
    if (!d->exec(query, QStringLiteral("cannot read the runs")))
        return runs;
    while (query.next()) {
        runs.append(
            { query.value(0).toLongLong(), query.value(1).toString(), timeOf(query.value(2)), timeOf(query.value(3)),
                query.value(4).toInt(), query.value(5).toInt(), query.value(6).toInt(), query.value(7).toBool() });
    }
    return runs;
}

QStringList HistoryStore::namesOfRun(qint64 run) const
{
    return d->namesOf(QStringLiteral("SELECT d.name FROM sightings s JOIN domains d ON d.id = s.domain WHERE s.run = ?"
                                     " ORDER BY s.page, s.position"),
        { run }, QStringLiteral("cannot read the names of run %1").arg(run));
}

QStringList HistoryStore::namesSeenBetween(const QDateTime &from, const QDateTime &to) const
{
    return d->namesOf(QStringLiteral("SELECT d.name FROM runs r JOIN sightings s ON s.run = r.id"
                                     " JOIN domains d ON d.id = s.domain WHERE r.started BETWEEN ? AND ?"
                                     " ORDER BY r.started, r.id, s.page, s.position"),
        { from.isValid() ? from.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min(),
            to.isValid() ? to.toMSecsSinceEpoch() : std::numeric_limits<qint64>::max() },
        QStringLiteral("cannot read the names of the runs"));
}

QHash<QString, QDateTime> HistoryStore::firstSeenOf(const QStringList &names) const
{
    QHash<QString, QDateTime> firstSeen;
    d->error.clear();
    if (!d->ready || names.isEmpty())
        return firstSeen;
    QSqlQuery query(d->db);
    query.setForwardOnly(true);
    // The names go in as one JSON array: one statement whatever their number.
    query.prepare(QStringLiteral("SELECT d.name, d.first_seen FROM json_each(?) j JOIN domains d ON d.name = j.value"));
    query.addBindValue(namesAsJson(names));
    if (!d->exec(query, QStringLiteral("cannot read when the names were first seen")))
        return firstSeen;
    firstSeen.reserve(names.size());
    while (query.next())
        firstSeen.insert(query.value(0).toString(), timeOf(query.value(1)));
    return firstSeen;
}

WatchChange HistoryStore::addWatch(const Watch &watch)
{
    const QString what = QStringLiteral("cannot keep the watch \"%1\"").arg(watch.name);
    if (watchNamed(watch.name))
        return WatchChange::NameTaken;
    const bool written = d->transaction(what, [&] {
        QSqlQuery query(d->db);
        query.prepare(QStringLiteral("INSERT INTO watches (name, filter, webhook, webhook_format, created)"
                                     " VALUES (?, ?, ?, ?, ?)"));
        query.addBindValue(watch.name);
        query.addBindValue(QString::fromUtf8(filterToJson(watch.filter)));
        query.addBindValue(watch.webhook.isEmpty() ? QStringLiteral("") : watch.webhook.toString(QUrl::FullyEncoded));
        query.addBindValue(webhookFormatText(watch.format));
        query.addBindValue(timeValue(watch.created.isValid() ? watch.created : QDateTime::currentDateTimeUtc()));
        return d->exec(query, what);
    });
    // Another program may have made one of that name meanwhile.
    return written ? WatchChange::Done : d->lastUnique ? WatchChange::NameTaken : WatchChange::Failed;
}

WatchChange HistoryStore::removeWatch(const QString &name)
{
    return renameWatch(name, QString());
}

// An empty new name removes the watch, and its matches with it.
WatchChange HistoryStore::renameWatch(const QString &name, const QString &newName)
{
    const QString what = newName.isEmpty() ? QStringLiteral("cannot remove the watch \"%1\"").arg(name)
                                           : QStringLiteral("cannot rename the watch \"%1\"").arg(name);
    if (!newName.isEmpty() && newName != name && watchNamed(newName))
        return WatchChange::NameTaken;
    bool found = false;
    const bool written = d->transaction(what, [&] {
        QSqlQuery query(d->db);
        query.prepare(newName.isEmpty() ? QStringLiteral("DELETE FROM watches WHERE name = ?")
                                        : QStringLiteral("UPDATE watches SET name = ? WHERE name = ?"));
        if (!newName.isEmpty())
            query.addBindValue(newName);
        query.addBindValue(name);
        if (!d->exec(query, what))
            return false;
        found = query.numRowsAffected() > 0;
        return true;
    });
    if (!written)
        return d->lastUnique ? WatchChange::NameTaken : WatchChange::Failed;
    return found ? WatchChange::Done : WatchChange::NoSuchWatch;
}

QList<Watch> HistoryStore::watches() const
{
    QList<Watch> watches;
    d->error.clear();
    if (!d->ready)
        return watches;
    QSqlQuery query(d->db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT id, name, filter, webhook, webhook_format, created FROM watches ORDER BY id"))) {
        d->fail(QStringLiteral("cannot read the watches"), query.lastError());
        return watches;
    }
    while (query.next()) {
        Watch watch;
        watch.id = query.value(0).toLongLong();
        watch.name = query.value(1).toString();
        filterFromJson(query.value(2).toString().toUtf8(), &watch.filter);
        watch.webhook = QUrl(query.value(3).toString(), QUrl::StrictMode);
        watch.format = webhookFormatFromText(query.value(4).toString()).value_or(WebhookFormat::Generic);
        watch.created = timeOf(query.value(5));
        watches.append(watch);
    }
    return watches;
}

std::optional<Watch> HistoryStore::watchNamed(const QString &name) const
{
    for (const Watch &watch : watches()) {
        if (watch.name == name)
            return watch;
    }
    return std::nullopt;
}

QList<HistoryStore::WatchMatch> HistoryStore::matchesOf(const QString &watch, const QDateTime &since) const
{
    QList<WatchMatch> matches;
    d->error.clear();
    if (!d->ready)
        return matches;
    QSqlQuery query(d->db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT d.name, m.matched, m.run FROM watches w JOIN watch_matches m ON m.watch = w.id"
                                 " JOIN domains d ON d.id = m.domain WHERE w.name = ? AND m.matched >= ?"
                                 " ORDER BY m.matched DESC, d.id DESC"));
    query.addBindValue(watch);
    query.addBindValue(since.isValid() ? since.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min());
    if (!d->exec(query, QStringLiteral("cannot read the matches of the watch \"%1\"").arg(watch)))
        return matches;
    while (query.next())
        matches.append({ query.value(0).toString(), timeOf(query.value(1)), query.value(2).toLongLong() });
    return matches;
}

QHash<QString, int> HistoryStore::matchCountsSince(const QDateTime &since) const
{
    QHash<QString, int> counts;
    d->error.clear();
    if (!d->ready)
        return counts;
    QSqlQuery query(d->db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT w.name, count(*) FROM watches w JOIN watch_matches m ON m.watch = w.id"
                                 " WHERE m.matched >= ? GROUP BY w.id"));
    query.addBindValue(since.isValid() ? since.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min());
    if (!d->exec(query, QStringLiteral("cannot count the watches' matches")))
        return counts;
    while (query.next())
        counts.insert(query.value(0).toString(), query.value(1).toInt());
    return counts;
}

QList<WatchAlert> HistoryStore::alertsOfRun(qint64 run) const
{
    QList<WatchAlert> alerts;
    d->error.clear();
    if (!d->ready)
        return alerts;
    QSqlQuery query(d->db);
    query.setForwardOnly(true);
    // Names in the order the run first saw them, which is the order their rows were made in.
    query.prepare(QStringLiteral("SELECT w.id, w.name, w.webhook, w.webhook_format, r.started,"
                                 " r.last_page - r.first_page + 1, d.name"
                                 " FROM watch_matches m JOIN watches w ON w.id = m.watch JOIN runs r ON r.id = m.run"
                                 " JOIN domains d ON d.id = m.domain WHERE m.run = ? ORDER BY w.id, d.id"));
    query.addBindValue(run);
    if (!d->exec(query, QStringLiteral("cannot read what run %1 found for the watches").arg(run)))
        return alerts;
    qint64 watch = 0;
    while (query.next()) {
        if (alerts.isEmpty() || query.value(0).toLongLong() != watch) {
            watch = query.value(0).toLongLong();
            WatchAlert alert;
            alert.watch = query.value(1).toString();
            alert.webhook = QUrl(query.value(2).toString(), QUrl::StrictMode);
            alert.format = webhookFormatFromText(query.value(3).toString()).value_or(WebhookFormat::Generic);
            alert.runStarted = timeOf(query.value(4));
            alert.pages = query.value(5).toInt();
            alerts.append(alert);
        }
        const QString domain = query.value(6).toString();
        alerts.last().names.append({ domain, tagTexts(appraise(domain).tags) });
    }
    return alerts;
}
