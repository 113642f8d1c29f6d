// Tables for spreadsheets: RFC 4180 fields and lines, UTF-8 with a byte order mark (without it a
// spreadsheet on a Chinese system reads the file as GBK), CR LF after every line.
#pragma once

#include "core/export/listexport.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace Csv {

// The field as written: after a leading "'" when it begins with "=", "+", "-", "@", a tab or CR (so that a
// spreadsheet takes it for text, not a formula), quoted, with its quotes doubled, when it holds a comma, a
// quote, CR or LF.
QString field(const QString &value);
// The fields joined by commas, ended by CR LF.
QString line(const QStringList &values);
// The byte order mark, the header line and one line per row.
QByteArray encode(const QStringList &header, const QList<QStringList> &rows);

} // namespace Csv

// Replaces the file at path with the encoded table, as writeDomainList does with a list.
bool writeCsv(const QString &path, const QStringList &header, const QList<QStringList> &rows, QString *error = nullptr);
