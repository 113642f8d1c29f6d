// The local history: every collection run, the names each run saw, and every lookup, in one SQLite
// file that the window and the command line can use at the same time.
#pragma once

#include "core/dns/elsewhere.h"
#include "core/lookup/lookuprecord.h"
#include "core/watch/watch.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class HistoryStore
{
public:
    // Written into the file; a file of a newer version is refused, an older one is migrated.
    static constexpr int SchemaVersion = 6;

    HistoryStore();
    ~HistoryStore();
    HistoryStore(const HistoryStore &) = delete;
    HistoryStore &operator=(const HistoryStore &) = delete;

    // The file in the user's data folder, or in dataDir when one is given.
    static QString filePath(const QString &dataDir = QString());

    // Opens the store at path, creating the file and its folder when missing; false, with the reason in
    // error, when it cannot be used. A file that is corrupt, not ours, of a newer version or read-only is
    // never written, moved or deleted, and nothing is made beside it. Names are kept in lower case.
    bool open(const QString &path, QString *error = nullptr);
    bool isOpen() const;
    // The file it opened last.
    QString path() const;
    // How long a write waits for another writer (the window, a command) before it fails; 5 s.
    void setBusyTimeout(int milliseconds);
    // Why the last call failed.
    QString lastError() const;

    // A collection run: begun, its pages as they are handed on, ended.
    std::optional<qint64> beginRun(const QString &marketUrl, int firstPage, int lastPage,
                                   const QDateTime &started = QDateTime::currentDateTimeUtc());
    // One page in a transaction of its own.
    bool recordPage(qint64 run, int page, const QStringList &names,
                    const QDateTime &seen = QDateTime::currentDateTimeUtc());
    struct SeenPage
    {
        qint64 run = 0;
        int page = 0;
        QStringList names;
        QDateTime seen;
    };
    // Several pages in one transaction: all of them are kept, or none.
    bool recordPages(const QList<SeenPage> &pages);
    // Pages kept as they came, in one small transaction that costs about the same however large the
    // history: their names are filed under the history's indexes by the next fileStagedPages(), which
    // takes every page staged by then in one transaction. Until then no query sees them. Opening a
    // history files what a program that ended first left staged.
    bool stagePages(const QList<SeenPage> &pages);
    bool fileStagedPages();
    bool endRun(qint64 run, int pagesFailed, bool stopped, const QDateTime &ended = QDateTime::currentDateTimeUtc());

    // One transaction per lookup.
    bool recordLookup(const LookupRecord &record);
    // The newest lookup of the domain that got both its answers (failed ones are not kept as answers).
    std::optional<LookupRecord> latestAnsweredLookup(const QString &domain) const;

    // What DNS said of labels under other suffixes, all in one transaction; a newer answer replaces an older.
    bool recordElsewhere(const QList<ElsewhereState> &states);
    // The answers kept for the label at or after since, any suffix.
    QList<ElsewhereState> elsewhereOf(const QString &label, const QDateTime &since) const;

    struct SeenName
    {
        QString domain;
        QDateTime firstSeen; // the first time any run saw it
        QDateTime lastSeen;
    };
    // The names runs saw at or after since, each once, oldest first seen first. newOnly keeps those
    // no run saw before since.
    QList<SeenName> namesSeenSince(const QDateTime &since, bool newOnly) const;

    struct RunSummary
    {
        qint64 id = 0;
        QString marketUrl;
        QDateTime started;
        QDateTime ended; // invalid while running or when the program ended first
        int firstPage = 0;
        int lastPage = 0;
        int pagesFailed = 0;
        bool stopped = false;
    };
    // The runs started from from to to, both included, oldest first; an invalid time leaves that end open.
    QList<RunSummary> runsBetween(const QDateTime &from, const QDateTime &to) const;
    // The names of one run, in the order seen.
    QStringList namesOfRun(qint64 run) const;

    // The names of every run started from from to to, both included: run by run in the order they began,
    // each run's in the order seen, repeats kept.
    QStringList namesSeenBetween(const QDateTime &from, const QDateTime &to) const;
    // When the history first saw each of these names; a name it never saw is left out.
    QHash<QString, QDateTime> firstSeenOf(const QStringList &names) const;

    // Watches. Every page filed tests the names no run saw before against every watch and keeps the
    // matches; a name a watch matched once is not new to it again.
    WatchChange addWatch(const Watch &watch);
    WatchChange removeWatch(const QString &name);
    // Failed: why is in lastError().
    WatchChange renameWatch(const QString &name, const QString &newName);
    // Every watch, in the order they were made; a filter this version cannot read is an empty one.
    QList<Watch> watches() const;
    std::optional<Watch> watchNamed(const QString &name) const;
    struct WatchMatch
    {
        QString domain;
        QDateTime matched; // when the run saw it
        qint64 run = 0;
    };
    // The watch's matches at or after since, newest first.
    QList<WatchMatch> matchesOf(const QString &watch, const QDateTime &since) const;
    // How many names each watch matched at or after since, by the watch's name; watches without any are
    // left out.
    QHash<QString, int> matchCountsSince(const QDateTime &since) const;
    // What the run found for each watch that matched any of its names, watches in the order they were made.
    QList<WatchAlert> alertsOfRun(qint64 run) const;

private:
    struct Private;
    Private *d;
};
