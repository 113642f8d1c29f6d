#include "actions/domainexport.h"

#include <QSaveFile>
#include <QStringEncoder>

std::optional<QByteArray> encodeDomainList(const QStringList &names)
{
    QStringEncoder encoder("GB18030");
    if (!encoder.isValid())
        return std::nullopt;

    static const QString lineEnd = QStringLiteral("\r\n");
    QString text;
    qsizetype length = 0;
    for (const QString &name : names)
        length += name.size() + lineEnd.size();
    text.reserve(length);
    for (const QString &name : names) {
        text += name;
        text += lineEnd;
    }

    return QByteArray(encoder.encode(text));
}

ExportResult writeDomainList(const QStringList &names, const QString &path)
{
    const std::optional<QByteArray> bytes = encodeDomainList(names);
    if (!bytes)
        return { false, QStringLiteral("GB18030 encoder unavailable") };

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return { false, file.errorString() };
    // A write that only reached the buffer fails at the flush, and commit() does not tell (Qt 6.4):
    // flush here and look.
    if (file.write(*bytes) != bytes->size() || !file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return { false, reason };
    }
    if (!file.commit())
        return { false, file.errorString() };
    return { true, QString() };
}
