// Writes what the window's operations do into the history: each run with its pages, each single page
// as a run of its own, each lookup. The writing happens on a thread of its own, through a connection of
// its own, so that recording does not slow down what is being recorded: one transaction per page (pages
// less than 20 ms apart share one) and per lookup, so that a killed program loses at most the page in
// flight. A history that fails is told about once on stderr and not used again; the operations never
// notice.
#pragma once

#include <QObject>
#include <QString>

class CollectionRun;
class DomainLookup;
class SinglePageCollection;
class QThread;

class HistoryRecorder : public QObject
{
    Q_OBJECT
public:
    // Opens its own connection to the history at storePath, on its own thread.
    HistoryRecorder(const QString &storePath, const QString &marketUrl, QObject *parent = nullptr);
    // Writes everything still to be written, then ends its thread.
    ~HistoryRecorder() override;

    void record(CollectionRun *run);
    void record(SinglePageCollection *collection);
    void record(DomainLookup *lookup);

    // Returns once everything recorded so far is in the history.
    void flush();

private:
    class Writer;

    QThread *m_thread;
    Writer *m_writer;
    const QString m_marketUrl;
};
