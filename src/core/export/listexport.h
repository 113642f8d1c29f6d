// Writing the domain list to a text file, one name per line, as the save button does.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// One line per name, each ended by CR LF, no header and no byte-order mark. GB18030 writes every GBK
// character with its GBK bytes and still has room for everything else, so nothing turns into "?".
QByteArray encodeDomainList(const QStringList &names);

// Replaces the file at path with the encoded list. The old file stays whole until the new content is
// complete on disk. False, with why in error in words for the user, when it could not be written.
bool writeDomainList(const QStringList &names, const QString &path, QString *error = nullptr);

// Replaces the file at path with bytes the same way; every export of the program saves through here.
bool saveExport(const QString &path, const QByteArray &bytes, QString *error = nullptr);
