#include "core/collect/resultspage.h"

#include "core/text/domainname.h"
#include "core/text/textops.h"

ResultsPage readResultsPage(const QString &pageText)
{
    ResultsPage page;
    // Views only: a results page may be megabytes, and nothing but its names is kept.
    const std::optional<QStringView> piece = TextOps::pieceView(pageText, ResultsMarkers::Results, 1);
    if (!piece)
        return page;
    page.hasResultsMarker = true;
    const QStringView tableRegion = TextOps::viewUpTo(*piece, ResultsMarkers::Pagination);
    page.hasTable = !tableRegion.isEmpty();
    page.names = extractDomainNames(tableRegion);
    return page;
}

QStringList extractDomainNames(QStringView tableRegion)
{
    // Piece i is row i, starting with the name. Rows past the limit are not even split off, however
    // many the page holds.
    const QList<QStringView> rows
        = TextOps::leadingPieces(tableRegion, ResultsMarkers::Row, ResultsMarkers::RowLimit);
    QStringList names;
    names.reserve(rows.size());
    for (const QStringView row : rows) {
        QStringView name = TextOps::viewUpTo(row, ResultsMarkers::NameEnd);
        if (!name.isEmpty())
            name.chop(ResultsMarkers::NameEnd.size()); // viewUpTo keeps the quote itself
        // Listed as it can be seen: no name can hide characters or break a line.
        names.append(visibleName(name.toString()));
    }
    return names;
}
