#include "core/text/textops.h"

#include <algorithm>

namespace TextOps {

std::optional<QString> pieceAt(const QString &text, const QString &marker, int k)
{
    const std::optional<QStringView> piece = pieceView(text, marker, k);
    return piece ? std::optional<QString>(piece->toString()) : std::nullopt;
}

std::optional<QStringView> pieceView(QStringView text, QStringView marker, int k)
{
    if (text.isEmpty() || k < 0)
        return std::nullopt;
    if (marker.isEmpty())
        return k == 0 ? std::optional<QStringView>(text) : std::nullopt;

    qsizetype start = 0;
    for (int i = 0; i < k; ++i) {
        const qsizetype at = text.indexOf(marker, start);
        if (at < 0)
            return std::nullopt;
        start = at + marker.size();
    }
    const qsizetype end = text.indexOf(marker, start);
    return text.mid(start, end < 0 ? text.size() - start : end - start);
}

QList<QStringView> leadingPieces(QStringView text, QStringView marker, int count)
{
    QList<QStringView> pieces;
    if (marker.isEmpty())
        return pieces;
    qsizetype at = text.indexOf(marker);
    while (at >= 0 && pieces.size() < count) {
        const qsizetype start = at + marker.size();
        at = text.indexOf(marker, start);
        pieces.append(text.mid(start, at < 0 ? text.size() - start : at - start));
    }
    return pieces;
}

QString textUpTo(const QString &text, const QString &marker)
{
    return viewUpTo(text, marker).toString();
}

QStringView viewUpTo(QStringView text, QStringView marker)
{
    if (marker.isEmpty())
        return QStringView();
    const qsizetype at = text.indexOf(marker);
    return at < 0 ? QStringView() : text.left(at + 1);
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

QString valueBefore(QStringView piece, QStringView endMarker)
{
    QString value = viewUpTo(piece, endMarker).toString();
    value.remove(u'<');
    return trimBlanks(value);
}

QString atMost(const QString &text, qsizetype maxChars)
{
    if (text.size() <= maxChars)
        return text;
    qsizetype end = std::max<qsizetype>(0, maxChars);
    if (end > 0 && text.at(end - 1).isHighSurrogate())
        --end;
    return text.left(end);
}

QString oneLine(const QString &text)
{
    const auto isLineBreak = [](QChar c) { return c == u'\r' || c == u'\n'; };
    const auto isBlank = [](QChar c) { return c == u' ' || c == u'\t'; };
    if (std::none_of(text.begin(), text.end(), isLineBreak))
        return text;

    QString line;
    line.reserve(text.size());
    qsizetype at = 0;
    const qsizetype size = text.size();
    while (at < size) {
        // A run of blanks that touches a line break goes with it; other blanks stay as they are.
        qsizetype end = at;
        while (end < size && isBlank(text.at(end)))
            ++end;
        bool breaks = false;
        while (end < size && (isLineBreak(text.at(end)) || isBlank(text.at(end)))) {
            breaks = breaks || isLineBreak(text.at(end));
            ++end;
        }
        if (!breaks) {
            line += text.mid(at, end - at);
            at = end;
            while (at < size && !isBlank(text.at(at)) && !isLineBreak(text.at(at)))
                line += text.at(at++);
            continue;
        }
        if (!line.isEmpty() && end < size)
            line += u' ';
        at = end;
    }
    return line;
}

} // namespace TextOps
