// The page count is the text of the page-count box, read as a number each time it is needed.
#pragma once

#include <QString>

#include <optional>

// The highest page a run can reach: the page counter is a 16-bit signed number.
inline constexpr int LastPossiblePage = 32767;

// The number a page-count text holds: optional blanks, an optional sign, digits with an optional
// fraction and an optional exponent, optional blanks. std::nullopt for anything else, the empty
// text included. A number too large for a double gives the infinity of its sign, one too small 0.
std::optional<double> readPageCount(const QString &text);

// The last page a run with this page count fetches: the whole pages up to the count, at most
// LastPossiblePage; 0 when the count is below 1.
int lastRunPage(double pageCount);
