#include "app/textops.h"

namespace TextOps {

std::optional<QString> pieceAt(const QString &text, const QString &marker, int k)
{
    if (text.isEmpty() || k < 0)
        return std::nullopt;
    if (marker.isEmpty())
        return k == 0 ? std::optional<QString>(text) : std::nullopt;

    qsizetype start = 0;
    for (int i = 0; i < k; ++i) {
        const qsizetype at = text.indexOf(marker, start);
        if (at < 0)
            return std::nullopt;
        start = at + marker.size();
    }
    const qsizetype end = text.indexOf(marker, start);
    return text.mid(start, end < 0 ? -1 : end - start);
}

QStringList leadingPieces(const QString &text, const QString &marker, int count)
{
    QStringList pieces;
    if (marker.isEmpty())
        return pieces;
    qsizetype at = text.indexOf(marker);
    while (at >= 0 && pieces.size() < count) {
        const qsizetype start = at + marker.size();
        at = text.indexOf(marker, start);
        pieces.append(text.mid(start, at < 0 ? -1 : at - start));
    }
    return pieces;
}

QString textUpTo(const QString &text, const QString &marker)
{
    if (marker.isEmpty())
        return QString();
    const qsizetype at = text.indexOf(marker);
    return at < 0 ? QString() : text.left(at + 1);
}

QString trimBlanks(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == u' ')
        ++first;
    while (last > first && text.at(last - 1) == u' ')
        --last;
    return text.mid(first, last - first);
}

QString valueBefore(const QString &piece, const QString &endMarker)
{
    QString value = textUpTo(piece, endMarker);
    value.remove(u'<');
    return trimBlanks(value);
}

} // namespace TextOps
