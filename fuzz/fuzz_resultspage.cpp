// readResultsPage() on any page: at most 50 names, none holding a double quote, every piece cut from
// the page, and the names those of splitting the whole table region would give.
#include "collect/resultspage.h"
#include "fuzzcheck.h"

namespace {

// The first rows' names the plain way: split every row off, then take up to 50.
QStringList namesBySplitting(const QString &tableRegion)
{
    const QStringList pieces = tableRegion.split(ResultsMarkers::Row);
    QStringList names;
    for (qsizetype i = 1; i < pieces.size() && names.size() < ResultsMarkers::RowLimit; ++i) {
        const qsizetype quote = pieces.at(i).indexOf(ResultsMarkers::NameEnd);
        names.append(quote < 0 ? QString() : pieces.at(i).left(quote));
    }
    return names;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    for (const QString &page : Fuzz::pageTexts(data, size)) {
        const ResultsPage read = readResultsPage(page);
        FUZZ_CHECK(read.names.size() <= ResultsMarkers::RowLimit);
        FUZZ_CHECK(read.hasResultsMarker == page.contains(ResultsMarkers::Results));
        if (!read.hasResultsMarker) {
            FUZZ_CHECK(read.resultsPiece.isEmpty() && read.tableRegion.isEmpty() && read.names.isEmpty());
            continue;
        }
        FUZZ_CHECK(page.contains(ResultsMarkers::Results + read.resultsPiece));
        FUZZ_CHECK(!read.resultsPiece.contains(ResultsMarkers::Results));
        if (read.tableRegion.isEmpty()) {
            FUZZ_CHECK(!read.resultsPiece.contains(ResultsMarkers::Pagination));
        } else {
            // Up to the first pagination marker, its '<' included.
            const QString beforeMarker = read.tableRegion.chopped(1);
            FUZZ_CHECK(read.resultsPiece.startsWith(beforeMarker + ResultsMarkers::Pagination));
            FUZZ_CHECK(!beforeMarker.contains(ResultsMarkers::Pagination));
        }
        for (const QString &name : read.names) {
            FUZZ_CHECK(!name.contains(u'"'));
            FUZZ_CHECK(read.tableRegion.contains(ResultsMarkers::Row + name));
        }
        FUZZ_CHECK(read.names == namesBySplitting(read.tableRegion));
        FUZZ_CHECK(read.names == extractDomainNames(read.tableRegion));
    }
    return 0;
}
