// The results of a command on stdout: one row at a time, as UTF-8 whatever the locale, flushed as it is
// written so that a pipe sees each row as it comes. Nothing else ever goes to stdout.
#pragma once

#include "core/text/json.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <optional>

enum class OutputFormat {
    Text, // one name per line, or one tab-separated row per line
    Csv, // UTF-8 with a byte order mark, a header row, RFC 4180 quoting, CRLF
    Json, // JSON Lines: one object per line
};
// "text", "csv", "json"; std::nullopt for anything else.
std::optional<OutputFormat> outputFormatFromText(const QString &text);

struct Column
{
    QString name;
    bool numeric = false; // a JSON number rather than a string
    bool list = false; // items made one value by listValue(): a JSON array; blank-separated in text and CSV
    bool inText = true; // the text format writes it too, when it writes more than the names
    bool nullWhenEmpty = false; // an empty value is unknown: JSON's null (empty in text and CSV)
};

// The value of a list column, as RowWriter::write() takes it.
QString listValue(const QStringList &items);


class RowWriter
{
public:
    // namesOnly: the text format writes the first column alone, one name per line. eachRowFlushed: rows
    // that come one by one go out one by one; rows written all at once go out in large writes.
    RowWriter(OutputFormat format, const QList<Column> &columns, bool namesOnly, bool eachRowFlushed,
        std::FILE *out = stdout);
    // What is written and not yet out.
    bool flush();

    // The byte order mark and header row of CSV; nothing for the other formats.
    bool begin();
    // False once stdout does not take what is written (a closed pipe, a full disk).
    bool write(const QStringList &values);
    bool failed() const { return m_failed; }

private:
    bool put(const QString &line);

    const OutputFormat m_format;
    const QList<Column> m_columns;
    const bool m_namesOnly;
    const bool m_eachRowFlushed;
    std::FILE *const m_out;
    bool m_failed = false;
};
