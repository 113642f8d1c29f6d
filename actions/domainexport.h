// Writing the domain list to a text file, apart from the window so that it can be tested alone.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

struct ExportResult
{
    bool saved = false;
    // Why the file could not be written; empty when it was.
    QString errorText;
};

// One line per name, each ended by CR LF, no header and no byte-order mark. GB18030 writes every
// GBK character with its GBK bytes and still has room for everything else, so nothing turns into "?".
// std::nullopt when this Qt has no GB18030 encoder.
std::optional<QByteArray> encodeDomainList(const QStringList &names);

// Replaces the file at path with the encoded list. The old file stays whole until the new content
// is complete on disk.
ExportResult writeDomainList(const QStringList &names, const QString &path);
