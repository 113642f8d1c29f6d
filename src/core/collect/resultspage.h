// Reading one results page of the marketplace: the page is cut at fixed, case-sensitive markers,
// never parsed as HTML.
#pragma once

#include <QString>
#include <QStringList>

namespace ResultsMarkers {

// The results start after the first "booking" and end at the second, if there is one.
inline const QString Results = QStringLiteral("booking");
inline const QString Pagination = QStringLiteral("<div class=\"pagination\">");
// Every row starts with this, line break and indentation included; the name follows it.
inline const QString Row = QStringLiteral("<tr>\r\n    <td><a href=\"/backorder/");
inline const QString NameEnd = QStringLiteral("\"");
// Rows after this one are not read.
inline constexpr int RowLimit = 50;

} // namespace ResultsMarkers

struct ResultsPage
{
    // False when the page (or the empty text) holds no results marker: nothing else is set then.
    bool hasResultsMarker = false;
    // The results (after the first results marker, up to the second one or the end) hold the
    // pagination marker that ends the table of rows. Without it no row is read.
    bool hasTable = false;
    // One per row, in page order, rows 1 to 50; an empty name is kept.
    QStringList names;
};

ResultsPage readResultsPage(const QString &pageText);

// The names of rows 1 to 50 of a table region: each row's text up to its first double quote.
// A row without a double quote gives the empty name.
QStringList extractDomainNames(QStringView tableRegion);
