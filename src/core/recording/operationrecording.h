// What the window's operations hand the history writer: each collection run with its pages, each single
// page as a run of its own (numbered as the page-count box reads), each lookup. The operations know
// nothing of the history, and the writer only gets values.
#pragma once

#include <QString>

class CollectionRun;
class DomainLookup;
class HistoryWriter;
class SinglePageCollection;

namespace OperationRecording {

void recordRuns(HistoryWriter *writer, const QString &marketUrl, CollectionRun *run);
void recordSinglePages(HistoryWriter *writer, const QString &marketUrl, SinglePageCollection *collection);
void recordLookups(HistoryWriter *writer, DomainLookup *lookup);

} // namespace OperationRecording
