#include "collect/resultspage.h"

#include "app/textops.h"

ResultsPage readResultsPage(const QString &pageText)
{
    ResultsPage page;
    const std::optional<QString> piece = TextOps::pieceAt(pageText, ResultsMarkers::Results, 1);
    if (!piece)
        return page;
    page.hasResultsMarker = true;
    page.resultsPiece = *piece;
    page.tableRegion = TextOps::textUpTo(page.resultsPiece, ResultsMarkers::Pagination);
    page.names = extractDomainNames(page.tableRegion);
    return page;
}

QStringList extractDomainNames(const QString &tableRegion)
{
    // Piece i is row i, starting with the name. Rows past the limit are not even split off, however
    // many the page holds.
    const QStringList rows = TextOps::leadingPieces(tableRegion, ResultsMarkers::Row, ResultsMarkers::RowLimit);
    QStringList names;
    names.reserve(rows.size());
    for (const QString &row : rows) {
        QString name = TextOps::textUpTo(row, ResultsMarkers::NameEnd);
        name.chop(ResultsMarkers::NameEnd.size()); // textUpTo keeps the quote itself
        names.append(name);
    }
    return names;
}
