#include "core/store/historywriter.h"

#include "core/store/historystore.h"

#include <QElapsedTimer>
#include <QHash>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <deque>

namespace {

// Pages that come closer together than this are staged together.
constexpr std::chrono::milliseconds StagingSpacing { 20 };
// Pages staged are filed once no page has come for a moment, and at the latest after a while.
constexpr std::chrono::milliseconds PageFilingPause { 250 };
constexpr std::chrono::seconds PageFilingDelay { 10 };
// After a failed write: the first wait before trying again, and the longest.
constexpr int FirstRetryMs = 200;
constexpr int LongestRetryMs = 2000;
// How long the writer's end waits for a history that takes no writes before it gives up what is left.
constexpr qint64 FinishPatienceMs = 10000;

} // namespace

struct HistoryWriter::Item
{
    enum Kind { BeginRun, Page, EndRun, Lookup, Elsewhere, ChangeWatch } kind = Page;
    int run = 0;
    QDateTime time;
    // BeginRun
    QString marketUrl;
    int firstPage = 0, lastPage = 0;
    // Page
    int page = 0;
    QStringList names;
    // EndRun
    int pagesFailed = 0;
    bool stopped = false;
    // Lookup
    LookupRecord lookup;
    // Elsewhere
    QList<ElsewhereState> elsewhere;
    // ChangeWatch: the watch to keep, or the name of the one to rename or remove
    enum class WatchStep { Add, Rename, Remove } watchStep = WatchStep::Add;
    int request = 0;
    Watch watch;
    QString newName;
};

// Lives on the writer's thread; everything below runs there, in the order it was recorded.
class HistoryWriter::Worker : public QObject
{
public:
    Worker(HistoryWriter *writer, const QString &storePath)
        : m_writer(writer)
        , m_storePath(storePath)
    {
        m_filingTimer.setSingleShot(true);
        connect(&m_filingTimer, &QTimer::timeout, this, [this] {
            m_filingDue = true;
            process();
        });
        m_nextTimer.setSingleShot(true);
        m_nextTimer.setTimerType(Qt::PreciseTimer);
        connect(&m_nextTimer, &QTimer::timeout, this, [this] { process(); });
    }

    void add(Item item)
    {
        m_queue.push_back(std::move(item));
        if (int(m_queue.size()) > MostWaiting)
            giveUpOldest();
        if (!m_nextTimer.isActive())
            process();
    }

    // Everything is written as soon as it can be; finished() once it is, or once what is left has
    // waited for a history that takes no writes for FinishPatienceMs and is given up.
    void finish()
    {
        m_finishing = true;
        m_filingDue = true;
        m_finishClock.start();
        process();
    }

    // On the way out, on this thread: the same, waiting here between tries.
    void finishNow()
    {
        finish();
        while (m_finishing) {
            QThread::msleep(std::max(m_retryMs, 10));
            m_retrying = true;
            process();
        }
    }

    void open() { usable(); }

private:
    bool usable()
    {
        if (m_store.isOpen())
            return true;
        QString reason;
        if (m_store.open(m_storePath, &reason))
            return true;
        failed(reason);
        return false;
    }

    // Writes from the front of the queue until it is empty, a write fails, or pages are to wait for
    // the next staging.
    void process()
    {
        if (m_failing && !m_retrying)
            return;
        m_retrying = false;
        while (true) {
            if (m_queue.empty() || m_queue.front().kind != Item::Page) {
                // A run's end, a lookup and the writer's end file the staged pages first.
                if ((m_filingDue || !m_queue.empty()) && !filePages())
                    break;
            }
            if (m_queue.empty())
                break;
            Item &item = m_queue.front();
            if (item.kind == Item::Page) {
                const qint64 waitMs = m_lastStaged.isValid() ? StagingSpacing.count() - m_lastStaged.elapsed() : 0;
                if (waitMs > 0 && !m_finishing) {
                    m_nextTimer.start(int(waitMs));
                    return;
                }
                if (!stagePages())
                    break;
                continue;
            }
            if (!write(item))
                break;
            m_queue.pop_front();
        }
        if (!m_finishing)
            return;
        if (m_failing && m_finishClock.elapsed() >= FinishPatienceMs)
            giveUpAll();
        if (m_queue.empty() && !m_stagedSince.isValid() && (!m_failing || m_gaveUp)) {
            m_finishing = false;
            m_gaveUp = false;
            emit m_writer->finished(m_writer->unrecorded());
        }
    }

    // The pages at the front of the queue, in one transaction.
    bool stagePages()
    {
        QList<HistoryStore::SeenPage> pages;
        std::size_t count = 0;
        for (const Item &item : m_queue) {
            if (item.kind != Item::Page)
                break;
            ++count;
            const auto id = m_runIds.constFind(item.run);
            if (id != m_runIds.constEnd())
                pages.append({ *id, item.page, item.names, item.time });
            else
                ++m_writer->m_unrecorded; // its run's start was given up
        }
        if (!usable())
            return false;
        if (!m_store.stagePages(pages))
            return failed(m_store.lastError());
        succeeded();
        m_queue.erase(m_queue.begin(), m_queue.begin() + std::ptrdiff_t(count));
        m_lastStaged.start();
        if (!m_stagedSince.isValid())
            m_stagedSince.start();
        if (std::chrono::milliseconds(m_stagedSince.elapsed()) >= PageFilingDelay)
            m_filingDue = true;
        else
            m_filingTimer.start(PageFilingPause);
        return true;
    }

    bool filePages()
    {
        // Pages a program that ended first left staged are filed by the next open.
        if (!m_stagedSince.isValid()) {
            m_filingDue = false;
            return true;
        }
        if (!usable())
            return false;
        if (!m_store.fileStagedPages())
            return failed(m_store.lastError());
        succeeded();
        m_stagedSince.invalidate();
        m_filingTimer.stop();
        m_filingDue = false;
        return true;
    }

    bool write(const Item &item)
    {
        if (item.kind == Item::ChangeWatch) {
            changeWatch(item);
            return true;
        }
        if (!usable())
            return false;
        bool written = true;
        switch (item.kind) {
        case Item::BeginRun:
            if (const std::optional<qint64> id = m_store.beginRun(item.marketUrl, item.firstPage, item.lastPage, item.time))
                m_runIds.insert(item.run, *id);
            else
                written = false;
            break;
        case Item::EndRun:
            if (const auto id = m_runIds.constFind(item.run); id != m_runIds.constEnd()) {
                written = m_store.endRun(*id, item.pagesFailed, item.stopped, item.time);
                if (written) {
                    // Its pages are filed by now, and the watches' matches with them.
                    const QList<WatchAlert> alerts = m_store.alertsOfRun(*id);
                    if (!alerts.isEmpty())
                        emit m_writer->watchesMatched(item.run, alerts);
                    m_runIds.remove(item.run);
                }
            }
            break;
        case Item::Lookup:
            written = m_store.recordLookup(item.lookup);
            break;
        case Item::Elsewhere:
            written = m_store.recordElsewhere(item.elsewhere);
            break;
        case Item::ChangeWatch:
        case Item::Page:
            break;
        }
        if (!written)
            return failed(m_store.lastError());
        succeeded();
        return true;
    }

    // A watch is the user's wish of the moment, not a recording: it is answered at once, and a history that
    // takes no writes (after waiting its while) answers that it failed.
    void changeWatch(const Item &item)
    {
        QString reason;
        WatchChange outcome = WatchChange::Failed;
        if (m_store.isOpen() || m_store.open(m_storePath, &reason)) {
            switch (item.watchStep) {
            case Item::WatchStep::Add: outcome = m_store.addWatch(item.watch); break;
            case Item::WatchStep::Rename: outcome = m_store.renameWatch(item.watch.name, item.newName); break;
            case Item::WatchStep::Remove: outcome = m_store.removeWatch(item.watch.name); break;
            }
            reason = m_store.lastError();
        }
        emit m_writer->watchChanged(item.request, outcome, outcome == WatchChange::Failed ? reason : QString());
    }

    // The write is kept and tried again after a while.
    bool failed(const QString &reason)
    {
        if (!m_failing)
            emit m_writer->writeFailed(reason);
        m_failing = true;
        m_retryMs = m_retryMs == 0 ? FirstRetryMs : std::min(2 * m_retryMs, LongestRetryMs);
        QTimer::singleShot(m_retryMs, this, [this] {
            m_retrying = true;
            process();
        });
        return false;
    }

    void succeeded()
    {
        if (m_failing)
            emit m_writer->writesResumed();
        m_failing = false;
        m_retryMs = 0;
    }

    void giveUpOldest()
    {
        for (auto it = m_queue.begin(); it != m_queue.end(); ++it) {
            if (it->kind == Item::Page || it->kind == Item::Lookup || it->kind == Item::Elsewhere) {
                m_queue.erase(it);
                ++m_writer->m_unrecorded;
                return;
            }
        }
    }

    void giveUpAll()
    {
        for (const Item &item : m_queue) {
            if (item.kind == Item::Page || item.kind == Item::Lookup || item.kind == Item::Elsewhere)
                ++m_writer->m_unrecorded;
            else if (item.kind == Item::ChangeWatch)
                emit m_writer->watchChanged(item.request, WatchChange::Failed, QStringLiteral("the program ended first"));
        }
        m_queue.clear();
        // Staged pages stay in the file: the next program to open it files them.
        m_stagedSince.invalidate();
        m_gaveUp = true;
    }

    HistoryWriter *const m_writer;
    const QString m_storePath;
    HistoryStore m_store;
    std::deque<Item> m_queue;
    QHash<int, qint64> m_runIds; // the history's id of each run begun and not ended
    QTimer m_nextTimer { this };
    QTimer m_filingTimer { this };
    QElapsedTimer m_lastStaged;
    QElapsedTimer m_stagedSince; // since the first page staged and not yet filed; invalid when none is
    QElapsedTimer m_finishClock;
    int m_retryMs = 0;
    bool m_filingDue = false;
    bool m_failing = false;
    bool m_retrying = false;
    bool m_finishing = false; // everything recorded is to be written now, then finished() told
    bool m_gaveUp = false;
};

HistoryWriter::HistoryWriter(const QString &storePath, QObject *parent)
    : QObject(parent)
    , m_thread(new QThread)
    , m_worker(new Worker(this, storePath))
{
    m_thread->setObjectName(QStringLiteral("history writer"));
    m_worker->moveToThread(m_thread);
    // Only what the machine has to spare: a fast run is not to wait for its own history, which
    // catches up as soon as there is room.
    m_thread->start(QThread::IdlePriority);
    // Opened now, so that the first page does not wait for it.
    QMetaObject::invokeMethod(m_worker, [worker = m_worker] { worker->open(); });
}

HistoryWriter::~HistoryWriter()
{
    // Whatever is still waiting is written now, at full speed.
    m_thread->setPriority(QThread::NormalPriority);
    // After everything queued before it: the worker goes on its own thread, which then ends.
    QMetaObject::invokeMethod(m_worker, [worker = m_worker] {
        worker->finishNow();
        delete worker;
        QThread::currentThread()->quit();
    });
    m_thread->wait();
    delete m_thread;
}

int HistoryWriter::beginRun(const QString &marketUrl, int firstPage, int lastPage, const QDateTime &started)
{
    Item item;
    item.kind = Item::BeginRun;
    item.run = ++m_lastRun;
    item.time = started;
    item.marketUrl = marketUrl;
    item.firstPage = firstPage;
    item.lastPage = lastPage;
    post(std::move(item));
    return m_lastRun;
}

void HistoryWriter::recordPage(int run, int page, const QStringList &names, const QDateTime &seen)
{
    Item item;
    item.run = run;
    item.time = seen;
    item.page = page;
    item.names = names;
    post(std::move(item));
}

void HistoryWriter::endRun(int run, int pagesFailed, bool stopped, const QDateTime &ended)
{
    Item item;
    item.kind = Item::EndRun;
    item.run = run;
    item.time = ended;
    item.pagesFailed = pagesFailed;
    item.stopped = stopped;
    post(std::move(item));
}

void HistoryWriter::recordLookup(const LookupRecord &record)
{
    Item item;
    item.kind = Item::Lookup;
    item.lookup = record;
    post(std::move(item));
}

void HistoryWriter::recordElsewhere(const QList<ElsewhereState> &states)
{
    if (states.isEmpty())
        return;
    Item item;
    item.kind = Item::Elsewhere;
    item.elsewhere = states;
    post(std::move(item));
}

int HistoryWriter::addWatch(const Watch &watch)
{
    Item item;
    item.kind = Item::ChangeWatch;
    item.request = ++m_lastWatchRequest;
    item.watch = watch;
    post(std::move(item));
    return m_lastWatchRequest;
}

int HistoryWriter::renameWatch(const QString &name, const QString &newName)
{
    Item item;
    item.kind = Item::ChangeWatch;
    item.watchStep = Item::WatchStep::Rename;
    item.request = ++m_lastWatchRequest;
    item.watch.name = name;
    item.newName = newName;
    post(std::move(item));
    return m_lastWatchRequest;
}

int HistoryWriter::removeWatch(const QString &name)
{
    Item item;
    item.kind = Item::ChangeWatch;
    item.watchStep = Item::WatchStep::Remove;
    item.request = ++m_lastWatchRequest;
    item.watch.name = name;
    post(std::move(item));
    return m_lastWatchRequest;
}

void HistoryWriter::finish()
{
    QMetaObject::invokeMethod(m_worker, [worker = m_worker] { worker->finish(); });
}

void HistoryWriter::post(Item item)
{
    QMetaObject::invokeMethod(m_worker, [worker = m_worker, item = std::move(item)]() mutable { worker->add(std::move(item)); });
}
