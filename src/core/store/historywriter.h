// The one writer of the history: every run, page and lookup that the windows and the commands record
// goes through it, as values, to a thread of its own with a connection of its own, so that recording
// never slows down or freezes what is being recorded.
//
// What it promises:
// - A page is kept as soon as the writer reaches it, in a transaction that costs the same however
//   large the history is (pages that come less than 20 ms apart share one); a lookup, a run's start
//   and its end each in one of their own. A killed program loses at most the item in flight.
// - A write that fails (the history locked by another program, a full disk) is kept and tried again
//   until the history takes writes again; what waits is bounded in memory, and what could not be
//   recorded in the end is counted.
// - finish() and the destructor write everything that is still waiting.
#pragma once

#include "core/dns/elsewhere.h"
#include "core/lookup/lookuprecord.h"
#include "core/watch/watch.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>

class QThread;

class HistoryWriter : public QObject
{
    Q_OBJECT
public:
    // At most this many pages and lookups wait for a history that takes no writes; beyond it, the
    // oldest waiting page is given up and counted as not recorded.
    static constexpr int MostWaiting = 20000;

    // Opens its own connection to the history at storePath, on its own thread.
    explicit HistoryWriter(const QString &storePath, QObject *parent = nullptr);
    // Writes everything still waiting (trying a locked history for a while), then ends its thread.
    ~HistoryWriter() override;

    // A run is named by the number this returns; the history's own id is the writer's business.
    int beginRun(const QString &marketUrl, int firstPage, int lastPage,
                 const QDateTime &started = QDateTime::currentDateTimeUtc());
    void recordPage(int run, int page, const QStringList &names,
                    const QDateTime &seen = QDateTime::currentDateTimeUtc());
    void endRun(int run, int pagesFailed, bool stopped, const QDateTime &ended = QDateTime::currentDateTimeUtc());
    void recordLookup(const LookupRecord &record);
    // What DNS said of labels under other suffixes (one transaction for them all); a cache for later lookups.
    void recordElsewhere(const QList<ElsewhereState> &states);

    // Watches are kept, renamed and removed in the order asked, like everything else; watchChanged()
    // answers with the number these return. A history that takes no writes answers Failed (after the
    // store's busy wait) rather than making the change wait.
    int addWatch(const Watch &watch);
    int renameWatch(const QString &name, const QString &newName);
    int removeWatch(const QString &name);

    // Writes everything recorded so far at once; finished() follows once it is in the history, or
    // has been given up after ten seconds of a history that takes no writes. Recording may go on.
    void finish();
    // Items that could not be recorded, and were given up, so far.
    int unrecorded() const { return m_unrecorded.load(); }

signals:
    // A write failed; it is kept and tried again. Once per spell of failures.
    void writeFailed(const QString &reason);
    // Writes go through again after a failure.
    void writesResumed();
    // A run ended and is in the history: what it found for each watch that matched any of the names it
    // saw first. Once per run; a run that never ended (a killed program) tells nothing.
    void watchesMatched(int run, const QList<WatchAlert> &alerts);
    // reason: why it failed, for WatchChange::Failed.
    void watchChanged(int request, WatchChange outcome, const QString &reason);
    // After finish(): the items given up since the writer was made.
    void finished(int unrecorded);

private:
    struct Item;
    class Worker;

    void post(Item item);

    QThread *m_thread;
    Worker *m_worker;
    int m_lastRun = 0;
    int m_lastWatchRequest = 0;
    std::atomic<int> m_unrecorded { 0 };
};
