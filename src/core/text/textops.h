// The text operations that every page reader is built from. Pages are searched by fixed,
// case-sensitive substrings; nothing here parses HTML.
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

namespace TextOps {

// Piece k of text split at every occurrence of marker (pieces counted from 0): the text between
// the k-th and the (k+1)-th occurrence, or to the end. std::nullopt when there is no such piece,
// which includes every piece of the empty text.
std::optional<QString> pieceAt(const QString &text, const QString &marker, int k);
// The same as a view into text, for pages of megabytes: nothing is copied. The view lives as long as
// the text it looks into.
std::optional<QStringView> pieceView(QStringView text, QStringView marker, int k);

// Pieces 1 to count, in order, each as pieceAt() gives it; fewer when the marker occurs fewer
// times. The search stops at the (count+1)-th occurrence: what follows it is never read, so the
// work does not grow with the length of the rest of the text.
// Views into text, so that a row followed by megabytes costs nothing.
QList<QStringView> leadingPieces(QStringView text, QStringView marker, int count);

// The text up to the first occurrence of marker, including the marker's first character;
// empty when the marker does not occur.
QString textUpTo(const QString &text, const QString &marker);
QStringView viewUpTo(QStringView text, QStringView marker);

// Removes leading and trailing U+0020 only: tabs and line breaks stay.
QString trimBlanks(const QString &text);

// The value of a piece before an end marker: textUpTo(), then every '<' removed, then blanks trimmed.
QString valueBefore(QStringView piece, QStringView endMarker);

// The text cut to at most maxChars characters, never inside a surrogate pair.
QString atMost(const QString &text, qsizetype maxChars);

// The text as one line: every line break, with the blanks and tabs around it, becomes one space, and
// none is left at either end. For values shown in a one-line label.
QString oneLine(const QString &text);

} // namespace TextOps
