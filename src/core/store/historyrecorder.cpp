#include "core/store/historyrecorder.h"

#include "core/collect/collectionrun.h"
#include "core/collect/pagecount.h"
#include "core/collect/singlepagecollection.h"
#include "core/lookup/domainlookup.h"
#include "core/store/historystore.h"

#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <QtGlobal>

#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <utility>

namespace {

// The page a single-page collection asks for, as a number: the whole part of the text's number.
int pageNumberOf(const QString &text)
{
    const std::optional<double> count = readPageCount(text);
    if (!count)
        return 0;
    return int(qBound<double>(std::numeric_limits<int>::min(), std::trunc(*count), std::numeric_limits<int>::max()));
}

// Pages that come closer together than this are staged together.
constexpr std::chrono::milliseconds StagingSpacing { 20 };
// Pages staged are filed once no page has come for a moment, and at the latest after a while.
constexpr std::chrono::milliseconds PageFilingPause { 250 };
constexpr std::chrono::seconds PageFilingDelay { 10 };

} // namespace

// Lives on the recorder's thread; everything below runs there, in the order it was recorded.
class HistoryRecorder::Writer : public QObject
{
public:
    explicit Writer(const QString &storePath)
        : m_storePath(storePath)
    {
        m_filingTimer.setSingleShot(true);
        connect(&m_filingTimer, &QTimer::timeout, this, [this] { fileStagedPages(); });
        m_stagingTimer.setSingleShot(true);
        m_stagingTimer.setTimerType(Qt::PreciseTimer);
        connect(&m_stagingTimer, &QTimer::timeout, this, [this] { stagePages(); });
    }

    // A run of the run operation (collection) or of the single page (single).
    struct Run
    {
        std::optional<qint64> id;
        int pagesFailed = 0;
    };
    Run collection;
    Run single;

    void begin(Run &run, const QString &marketUrl, int firstPage, int lastPage, const QDateTime &started)
    {
        // A run started over a going one abandoned it.
        end(run, run.pagesFailed, true, started);
        run.pagesFailed = 0;
        if (usable())
            write((run.id = m_store.beginRun(marketUrl, firstPage, lastPage, started)).has_value());
    }
    // A page is kept as soon as the writer gets to it, as it came, in a transaction that costs the same
    // however large the history is; pages that queued up meanwhile share it, and so do pages that come
    // less than 20 ms after the last such transaction (a fast run would otherwise spend more on commits
    // than on its pages; at a real site's pace every page still has its own). Filing under the history's
    // indexes waits until the pages stop coming for a moment (ten seconds at the latest), and then files
    // them all together: a fast run does not share the machine with its own indexing, and filing one page
    // a transaction would rewrite, for every page, the index pages its names touch. A run's end, a lookup
    // and the recorder's end file what is kept at once.
    void page(Run &run, int page, const QStringList &names, const QDateTime &seen)
    {
        if (!run.id)
            return;
        m_toStage.append({ *run.id, page, names, seen });
        if (m_toStage.size() > 1)
            return;
        const qint64 waitMs = m_lastStaged.isValid() ? StagingSpacing.count() - m_lastStaged.elapsed() : 0;
        if (waitMs > 0)
            m_stagingTimer.start(int(waitMs));
        else
            QMetaObject::invokeMethod(this, [this] { stagePages(); }, Qt::QueuedConnection);
    }
    void stagePages()
    {
        if (m_toStage.isEmpty())
            return;
        if (usable())
            write(m_store.stagePages(m_toStage));
        m_toStage.clear();
        m_lastStaged.start();
        if (!m_stagedSince.isValid())
            m_stagedSince.start();
        if (std::chrono::milliseconds(m_stagedSince.elapsed()) >= PageFilingDelay)
            fileStagedPages();
        else
            m_filingTimer.start(PageFilingPause);
    }
    void end(Run &run, int pagesFailed, bool stopped, const QDateTime &ended)
    {
        fileStagedPages();
        if (run.id && usable())
            write(m_store.endRun(*std::exchange(run.id, std::nullopt), pagesFailed, stopped, ended));
    }
    void lookup(const LookupRecord &record)
    {
        fileStagedPages();
        if (usable())
            write(m_store.recordLookup(record));
    }
    void fileStagedPages()
    {
        stagePages();
        if (m_stagedSince.isValid() && usable())
            write(m_store.fileStagedPages());
        m_stagedSince.invalidate();
        m_filingTimer.stop();
    }

    void open() { usable(); }

private:
    // Opened on this thread: a connection belongs to the thread that opened it.
    bool usable()
    {
        if (m_failed)
            return false;
        if (!m_store.isOpen()) {
            if (const std::optional<QString> failure = m_store.open(m_storePath)) {
                fail(*failure);
                return false;
            }
        }
        return true;
    }

    void write(bool written)
    {
        if (!written)
            fail(m_store.lastError());
    }

    // Once a write failed the history is not used again: the runs under way are forgotten.
    void fail(const QString &reason)
    {
        m_failed = true;
        m_toStage.clear();
        collection.id.reset();
        single.id.reset();
        qWarning().noquote() << QStringLiteral("vexlon-collector: history not recorded: ") + reason;
    }

    const QString m_storePath;
    HistoryStore m_store;
    QList<HistoryStore::SeenPage> m_toStage;
    QTimer m_stagingTimer { this };
    QElapsedTimer m_lastStaged;
    QTimer m_filingTimer { this };
    QElapsedTimer m_stagedSince; // since the first page staged and not yet filed; invalid when none is
    bool m_failed = false;
};

HistoryRecorder::HistoryRecorder(const QString &storePath, const QString &marketUrl, QObject *parent)
    : QObject(parent)
    , m_thread(new QThread)
    , m_writer(new Writer(storePath))
    , m_marketUrl(marketUrl)
{
    m_thread->setObjectName(QStringLiteral("history recorder"));
    m_writer->moveToThread(m_thread);
    // Only what the machine has to spare: a fast run is not to wait for its own history, which
    // catches up as soon as there is room.
    m_thread->start(QThread::IdlePriority);
    // Opened now, so that the first page does not wait for it.
    QMetaObject::invokeMethod(m_writer, [writer = m_writer] { writer->open(); });
}

HistoryRecorder::~HistoryRecorder()
{
    // Whatever is still queued is written now, at full speed.
    m_thread->setPriority(QThread::NormalPriority);
    // After everything queued before it: the writer goes on its own thread, which then ends.
    QMetaObject::invokeMethod(m_writer, [writer = m_writer] {
        writer->fileStagedPages();
        delete writer;
        QThread::currentThread()->quit();
    });
    m_thread->wait();
    delete m_thread;
}

void HistoryRecorder::flush()
{
    QMetaObject::invokeMethod(m_writer, [writer = m_writer] { writer->fileStagedPages(); }, Qt::BlockingQueuedConnection);
}

void HistoryRecorder::record(CollectionRun *run)
{
    Writer *writer = m_writer;
    connect(run, &CollectionRun::started, this, [this, writer](int firstPage, int lastPage) {
        QMetaObject::invokeMethod(writer, [writer, url = m_marketUrl, firstPage, lastPage,
                                           now = QDateTime::currentDateTimeUtc()] {
            writer->begin(writer->collection, url, firstPage, lastPage, now);
        });
    });
    connect(run, &CollectionRun::namesArrived, this, [writer](int page, const QStringList &names) {
        QMetaObject::invokeMethod(writer, [writer, page, names, now = QDateTime::currentDateTimeUtc()] {
            writer->page(writer->collection, page, names, now);
        });
    });
    connect(run, &CollectionRun::pageFailed, this, [writer] {
        QMetaObject::invokeMethod(writer, [writer] { ++writer->collection.pagesFailed; });
    });
    connect(run, &CollectionRun::finished, this, [writer](int failedPages) {
        QMetaObject::invokeMethod(writer, [writer, failedPages, now = QDateTime::currentDateTimeUtc()] {
            writer->end(writer->collection, failedPages, false, now);
        });
    });
    connect(run, &CollectionRun::stopped, this, [writer] {
        QMetaObject::invokeMethod(writer, [writer, now = QDateTime::currentDateTimeUtc()] {
            writer->end(writer->collection, writer->collection.pagesFailed, true, now);
        });
    });
}

void HistoryRecorder::record(SinglePageCollection *collection)
{
    // The page number as the box gave it: the names that arrive belong to it.
    auto page = std::make_shared<int>(0);
    Writer *writer = m_writer;
    connect(collection, &SinglePageCollection::started, this, [this, writer, page](const QString &pageNumberText) {
        *page = pageNumberOf(pageNumberText);
        QMetaObject::invokeMethod(writer, [writer, url = m_marketUrl, number = *page,
                                           now = QDateTime::currentDateTimeUtc()] {
            writer->begin(writer->single, url, number, number, now);
        });
    });
    connect(collection, &SinglePageCollection::namesArrived, this, [writer, page](const QStringList &names) {
        QMetaObject::invokeMethod(writer, [writer, number = *page, names, now = QDateTime::currentDateTimeUtc()] {
            writer->page(writer->single, number, names, now);
        });
    });
    connect(collection, &SinglePageCollection::finished, this, [writer](bool collected) {
        QMetaObject::invokeMethod(writer, [writer, collected, now = QDateTime::currentDateTimeUtc()] {
            writer->end(writer->single, collected ? 0 : 1, false, now);
        });
    });
}

void HistoryRecorder::record(DomainLookup *lookup)
{
    Writer *writer = m_writer;
    connect(lookup, &DomainLookup::finished, this, [writer](const LookupRecord &record) {
        QMetaObject::invokeMethod(writer, [writer, record] { writer->lookup(record); });
    });
}
