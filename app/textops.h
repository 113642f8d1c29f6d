// The text operations that every page reader is built from. Pages are searched by fixed,
// case-sensitive substrings; nothing here parses HTML.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace TextOps {

// Piece k of text split at every occurrence of marker (pieces counted from 0): the text between
// the k-th and the (k+1)-th occurrence, or to the end. std::nullopt when there is no such piece,
// which includes every piece of the empty text.
std::optional<QString> pieceAt(const QString &text, const QString &marker, int k);

// Pieces 1 to count, in order, each as pieceAt() gives it; fewer when the marker occurs fewer
// times. The search stops at the (count+1)-th occurrence: what follows it is never read, so the
// work does not grow with the length of the rest of the text.
QStringList leadingPieces(const QString &text, const QString &marker, int count);

// The text up to the first occurrence of marker, including the marker's first character;
// empty when the marker does not occur.
QString textUpTo(const QString &text, const QString &marker);

// Removes leading and trailing U+0020 only: tabs and line breaks stay.
QString trimBlanks(const QString &text);

// The value of a piece before an end marker: textUpTo(), then every '<' removed, then blanks trimmed.
QString valueBefore(const QString &piece, const QString &endMarker);

} // namespace TextOps
