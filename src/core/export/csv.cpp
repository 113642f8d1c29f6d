#include "core/export/csv.h"

#include <algorithm>

namespace Csv {

QString field(const QString &value)
{
    QString text = value;
    // A spreadsheet runs a cell that begins so as a formula: the apostrophe makes it text.
    if (!text.isEmpty() && QStringView(u"=+-@\t\r").contains(text.front()))
        text.prepend(u'\'');
    const bool plain = std::none_of(
        text.cbegin(), text.cend(), [](QChar c) { return c == u',' || c == u'"' || c == u'\r' || c == u'\n'; });
    if (plain)
        return text;
    QString quoted = text;
    quoted.replace(u'"', QLatin1String("\"\""));
    return u'"' + quoted + u'"';
}

QString line(const QStringList &values)
{
    QString text;
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (i > 0)
            text += u',';
        text += field(values.at(i));
    }
    text += QLatin1String("\r\n");
    return text;
}

QByteArray encode(const QStringList &header, const QList<QStringList> &rows)
{
    QByteArray bytes("\xEF\xBB\xBF");
    bytes += line(header).toUtf8();
    for (const QStringList &row : rows)
        bytes += line(row).toUtf8();
    return bytes;
}

} // namespace Csv

bool writeCsv(const QString &path, const QStringList &header, const QList<QStringList> &rows, QString *error)
{
    return saveExport(path, Csv::encode(header, rows), error);
}
