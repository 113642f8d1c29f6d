#include "core/export/listexport.h"

#include "core/failure.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringEncoder>

#include <cerrno>

namespace {

// The reason for a failed write or open, from the system's error number.
QString reasonOf(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("磁盘空间不足");
    case EFBIG:
        return QStringLiteral("文件过大，超出了系统允许的大小");
    case EACCES:
    case EPERM:
        return QStringLiteral("没有写入权限");
    case EROFS:
        return QStringLiteral("磁盘是只读的");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("文件夹不存在");
    case EISDIR:
        return QStringLiteral("同名的文件夹已存在");
    default:
        return QStringLiteral("无法写入文件");
    }
}

// Why a file cannot even be opened at path: told by looking at the path where that is certain.
QString openFailureReason(const QString &path, int error)
{
    const QFileInfo target(path);
    if (target.isDir())
        return reasonOf(EISDIR);
    if (!target.absoluteDir().exists())
        return reasonOf(ENOENT);
    return reasonOf(error);
}

} // namespace

QByteArray encodeDomainList(const QStringList &names)
{
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
    QStringEncoder encoder("GB18030");
    return encoder.encode(text);
}

bool writeDomainList(const QStringList &names, const QString &path, QString *error)
{
    return saveExport(path, encodeDomainList(names), error);
}

bool saveExport(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly))
        return fail(error, openFailureReason(path, errno));
    // A write that only reached the buffer fails at the flush, and commit() does not tell (Qt 6.4):
    // flush here and look.
    errno = 0;
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const int number = errno;
        file.cancelWriting();
        return fail(error, reasonOf(number));
    }
    errno = 0;
    if (!file.commit())
        return fail(error, reasonOf(errno));
    return true;
}
