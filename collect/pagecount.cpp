#include "collect/pagecount.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <limits>

std::optional<double> readPageCount(const QString &text)
{
    static const QRegularExpression number(
        QStringLiteral("^ *([+-]?)(?:[0-9]+\\.?[0-9]*|\\.[0-9]+)(?:[eE]([+-]?)[0-9]+)? *$"));
    const QRegularExpressionMatch match = number.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (ok)
        return value;
    // The syntax is right, so the value is out of range: an exponent too large or too small.
    if (match.captured(2) == QLatin1String("-"))
        return 0.0;
    const double infinity = std::numeric_limits<double>::infinity();
    return match.captured(1) == QLatin1String("-") ? -infinity : infinity;
}

int lastRunPage(double pageCount)
{
    if (!(pageCount >= 1))
        return 0;
    if (pageCount >= LastPossiblePage)
        return LastPossiblePage;
    return int(std::floor(pageCount));
}
