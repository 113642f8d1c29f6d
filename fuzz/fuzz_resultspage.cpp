// readResultsPage() on any page: at most 50 names, none holding a double quote or a hidden character,
// and the names those of splitting the whole table region the plain way would give.
#include "core/collect/resultspage.h"
#include "core/text/domainname.h"
#include "fuzzcheck.h"

namespace {

// The table region the plain way: after the first results marker, up to the second one, then up to
// the first pagination marker. std::nullopt when either marker is missing.
std::optional<QString> tableRegionBySplitting(const QString &page)
{
    const QStringList pieces = page.split(ResultsMarkers::Results);
    if (pieces.size() < 2)
        return std::nullopt;
    const qsizetype end = pieces.at(1).indexOf(ResultsMarkers::Pagination);
    return end < 0 ? std::nullopt : std::optional<QString>(pieces.at(1).left(end + 1));
}

// The first rows' names the plain way: split every row off, then take up to 50.
QStringList namesBySplitting(const QString &tableRegion)
{
    const QStringList pieces = tableRegion.split(ResultsMarkers::Row);
    QStringList names;
    for (qsizetype i = 1; i < pieces.size() && names.size() < ResultsMarkers::RowLimit; ++i) {
        const qsizetype quote = pieces.at(i).indexOf(ResultsMarkers::NameEnd);
        names.append(visibleName(quote < 0 ? QString() : pieces.at(i).left(quote)));
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
        const std::optional<QString> region = tableRegionBySplitting(page);
        FUZZ_CHECK(read.hasTable == region.has_value());
        if (!region) {
            FUZZ_CHECK(read.names.isEmpty());
            continue;
        }
        for (const QString &name : read.names) {
            FUZZ_CHECK(!name.contains(u'"') && !name.contains(u'\n') && !name.contains(u'\r'));
            FUZZ_CHECK(visibleName(name) == name);
        }
        FUZZ_CHECK(read.names == namesBySplitting(*region));
    }
    return 0;
}
