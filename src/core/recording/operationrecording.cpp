#include "core/recording/operationrecording.h"

#include "core/collect/collectionrun.h"
#include "core/collect/pagecount.h"
#include "core/collect/singlepagecollection.h"
#include "core/lookup/domainlookup.h"
#include "core/store/historywriter.h"

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

// The run under way as the writer names it, and what it counts.
struct Recorded
{
    std::optional<int> run;
    int page = 0;
    int pagesFailed = 0;
};

} // namespace

void OperationRecording::recordRuns(HistoryWriter *writer, const QString &marketUrl, CollectionRun *run)
{
    auto recorded = std::make_shared<Recorded>();
    QObject::connect(run, &CollectionRun::started, writer, [writer, recorded, marketUrl](int first, int last) {
        // A run started over a going one abandoned it.
        if (recorded->run)
            writer->endRun(*recorded->run, recorded->pagesFailed, true);
        recorded->run = writer->beginRun(marketUrl, first, last);
        recorded->pagesFailed = 0;
    });
    QObject::connect(run, &CollectionRun::namesArrived, writer, [writer, recorded](int page, const QStringList &names) {
        if (recorded->run)
            writer->recordPage(*recorded->run, page, names);
    });
    QObject::connect(run, &CollectionRun::pageFailed, writer, [recorded] { ++recorded->pagesFailed; });
    QObject::connect(run, &CollectionRun::finished, writer, [writer, recorded](int failedPages) {
        if (recorded->run)
            writer->endRun(*std::exchange(recorded->run, std::nullopt), failedPages, false);
    });
    QObject::connect(run, &CollectionRun::stopped, writer, [writer, recorded] {
        if (recorded->run)
            writer->endRun(*std::exchange(recorded->run, std::nullopt), recorded->pagesFailed, true);
    });
}

void OperationRecording::recordSinglePages(HistoryWriter *writer, const QString &marketUrl,
                                           SinglePageCollection *collection)
{
    auto recorded = std::make_shared<Recorded>();
    QObject::connect(collection, &SinglePageCollection::started, writer,
                     [writer, recorded, marketUrl](const QString &pageNumberText) {
                         if (recorded->run)
                             writer->endRun(*recorded->run, 0, true);
                         recorded->page = pageNumberOf(pageNumberText);
                         recorded->run = writer->beginRun(marketUrl, recorded->page, recorded->page);
                     });
    QObject::connect(collection, &SinglePageCollection::namesArrived, writer,
                     [writer, recorded](const QStringList &names) {
                         if (recorded->run)
                             writer->recordPage(*recorded->run, recorded->page, names);
                     });
    QObject::connect(collection, &SinglePageCollection::finished, writer,
                     [writer, recorded](SinglePageCollection::Outcome outcome) {
                         if (recorded->run)
                             writer->endRun(*std::exchange(recorded->run, std::nullopt),
                                            outcome == SinglePageCollection::Outcome::Collected ? 0 : 1, false);
                     });
}

void OperationRecording::recordLookups(HistoryWriter *writer, DomainLookup *lookup)
{
    QObject::connect(lookup, &DomainLookup::finished, writer, &HistoryWriter::recordLookup);
}
