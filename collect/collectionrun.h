// The bookkeeping of a collection run: which results pages are in flight, and which have
// arrived early and wait until every earlier page has been handed to the list.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <deque>
#include <optional>

class FetchJob;
class Form1;

class CollectionRun : public QObject
{
    Q_OBJECT
public:
    // Requests of one run in flight at once: enough to hide the marketplace's latency, few
    // enough not to burden it.
    static constexpr int MaxPagesInFlight = 4;
    // Pages that arrived while an earlier one is still outstanding are held back, at most this
    // many requested-but-not-listed pages in all: a stalled page cannot make the run buffer
    // without end.
    static constexpr int MaxPagesHeldBack = 8 * MaxPagesInFlight;

    explicit CollectionRun(Form1 &form);

    bool isActive() const { return m_active; }
    int failedPages() const { return m_failed; }
    // Requested pages not handed over yet: in flight, or arrived early.
    int pagesOutstanding() const { return int(m_pages.size()); }
    int pagesInFlight() const;
    int pagesHeldBack() const { return pagesOutstanding() - pagesInFlight(); }

    // For measurements only: how many requests may be in flight (1 fetches page after page).
    void setWindowSize(int pages);
    int windowSize() const { return m_windowSize; }

    // Start click on an idle run: the list is emptied and the timer paces the run.
    void start();
    // Start click on a running run: requests in flight are aborted and nothing of them is listed.
    void stop();
    // A tick: reads the page count afresh, fills the window and ends the run after its last page.
    void advance();

    // Shows a status text of the collection and reports it.
    void showStatus(const QString &text);

signals:
    // Every status text of the collection, in order (the status line keeps only the last).
    void statusShown(const QString &text);
    // The run has ended by itself, after its last page's names.
    void finished();

private:
    struct Page
    {
        qint16 number = 0;
        QPointer<FetchJob> job;
        bool arrived = false;
        // The page text; std::nullopt when it could not be fetched.
        std::optional<QString> text;
    };

    void requestPage(qint16 number);
    void onPageFetched(FetchJob *job);
    void handOverArrivedPages();
    void abortPagesInFlight();
    void finish();

    Form1 &m_form;
    std::deque<Page> m_pages; // in page order
    int m_windowSize = MaxPagesInFlight;
    int m_failed = 0;
    bool m_active = false;
    bool m_advancing = false;
};
