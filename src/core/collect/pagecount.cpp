#include "core/collect/pagecount.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>

std::optional<double> readPageCount(const QString &text)
{
    // \z, not $: $ also matches before a line break at the end.
    static const QRegularExpression number(
        QStringLiteral("^ *[+-]?(?:[0-9]+\\.?[0-9]*|\\.[0-9]+)(?:[eE][+-]?[0-9]+)? *\\z"));
    if (!number.match(text).hasMatch())
        return std::nullopt;
    // The syntax is right, so a failed conversion is a number out of range, for which Qt gives the
    // signed infinity of an overflow or the zero of an underflow. The sign of the exponent does not
    // tell which: "1000...0e-1" overflows, "0.000...1e+5" underflows.
    return QLocale::c().toDouble(text.trimmed());
}

int lastRunPage(double pageCount)
{
    if (!(pageCount >= 1))
        return 0;
    if (pageCount >= LastPossiblePage)
        return LastPossiblePage;
    return int(std::floor(pageCount));
}
