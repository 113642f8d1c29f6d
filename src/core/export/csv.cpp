#include "core/export/csv.h"

#include <algorithm>

namespace Csv {

QString field(const QString &value)
{
    const bool plain = std::none_of(
        value.cbegin(), value.cend(), [](QChar c) { return c == u',' || c == u'"' || c == u'\r' || c == u'\n'; });
    if (plain)
        return value;
    QString quoted = value;
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

ExportResult writeCsv(const QString &path, const QStringList &header, const QList<QStringList> &rows)
{
    return saveExport(path, Csv::encode(header, rows));
}
