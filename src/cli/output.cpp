#include "cli/output.h"

#include "core/export/csv.h"
#include "core/text/domainname.h"

#include <QByteArray>

std::optional<OutputFormat> outputFormatFromText(const QString &text)
{
    if (text == QLatin1String("text"))
        return OutputFormat::Text;
    if (text == QLatin1String("csv"))
        return OutputFormat::Csv;
    if (text == QLatin1String("json"))
        return OutputFormat::Json;
    return std::nullopt;
}

namespace {

// Between the items of a list value: a character no item holds, as control characters never reach the
// output as they are.
constexpr QChar ListSeparator(0x1f);

QString blankSeparated(const QString &list)
{
    return QString(list).replace(ListSeparator, u' ');
}

} // namespace

QString listValue(const QStringList &items)
{
    return items.join(ListSeparator);
}

RowWriter::RowWriter(
    OutputFormat format, const QList<Column> &columns, bool namesOnly, bool eachRowFlushed, std::FILE *out)
    : m_format(format)
    , m_columns(columns)
    , m_namesOnly(namesOnly)
    , m_eachRowFlushed(eachRowFlushed)
    , m_out(out)
{ }

bool RowWriter::flush()
{
    m_failed = m_failed || std::fflush(m_out) != 0;
    return !m_failed;
}

bool RowWriter::begin()
{
    if (m_format != OutputFormat::Csv)
        return true;
    QStringList names;
    for (const Column &column : m_columns)
        names.append(Csv::field(column.name));
    return put(QChar(0xfeff) + names.join(u',') + QLatin1String("\r\n"));
}

bool RowWriter::write(const QStringList &values)
{
    switch (m_format) {
    case OutputFormat::Text: {
        // A tab or line break inside a value would make a row of it: each becomes a blank, and every
        // other control character the replacement character.
        QStringList fields;
        for (qsizetype i = 0; i < (m_namesOnly ? 1 : values.size()); ++i) {
            const Column column = m_columns.value(i);
            if (!column.inText && !m_namesOnly)
                continue;
            QString field = column.list ? blankSeparated(values.value(i)) : values.value(i);
            for (QChar &c : field) {
                if (c == u'\t' || c == u'\r' || c == u'\n')
                    c = u' ';
            }
            fields.append(visibleName(field));
        }
        return put(fields.join(u'\t') + u'\n');
    }
    case OutputFormat::Csv: {
        QStringList fields;
        for (qsizetype i = 0; i < values.size(); ++i)
            fields.append(Csv::field(m_columns.value(i).list ? blankSeparated(values[i]) : values[i]));
        return put(fields.join(u',') + QLatin1String("\r\n"));
    }
    case OutputFormat::Json: {
        QString line = QStringLiteral("{");
        for (qsizetype i = 0; i < m_columns.size(); ++i) {
            const QString value = values.value(i);
            line += (i ? QLatin1String(",") : QLatin1String("")) + jsonString(m_columns[i].name) + u':';
            if (m_columns[i].nullWhenEmpty && value.isEmpty()) {
                line += QLatin1String("null");
                continue;
            }
            if (m_columns[i].list) {
                QStringList items;
                for (const QString &item : value.split(ListSeparator, Qt::SkipEmptyParts))
                    items.append(jsonString(item));
                line += u'[' + items.join(u',') + u']';
                continue;
            }
            bool isNumber = false;
            if (m_columns[i].numeric)
                value.toLongLong(&isNumber);
            line += isNumber ? value : jsonString(value);
        }
        return put(line + QLatin1String("}\n"));
    }
    }
    return false;
}

bool RowWriter::put(const QString &line)
{
    if (m_failed)
        return false;
    const QByteArray bytes = line.toUtf8();
    m_failed = std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), m_out) != std::size_t(bytes.size())
        || (m_eachRowFlushed && std::fflush(m_out) != 0);
    return !m_failed;
}
