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
    // Piece 0 is the head of the table; piece i is row i, starting with the name.
    const QStringList pieces = tableRegion.split(ResultsMarkers::Row);
    const qsizetype rows = std::min<qsizetype>(pieces.size() - 1, ResultsMarkers::RowLimit);
    QStringList names;
    names.reserve(rows);
    for (qsizetype i = 1; i <= rows; ++i) {
        QString name = TextOps::textUpTo(pieces.at(i), ResultsMarkers::NameEnd);
        name.chop(ResultsMarkers::NameEnd.size()); // textUpTo keeps the quote itself
        names.append(name);
    }
    return names;
}
