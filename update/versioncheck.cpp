#include "update/versioncheck.h"

#include "app/textops.h"

namespace {
const QString ProductKey = QStringLiteral("qvrt:");
const QString EndMark = QStringLiteral("|");
} // namespace

QString readPublishedVersion(const QString &body)
{
    const std::optional<QString> entry = TextOps::pieceAt(body, ProductKey, 1);
    if (!entry)
        return QString();
    // textUpTo keeps the end mark's first character: drop it.
    const QString upToMark = TextOps::textUpTo(*entry, EndMark);
    return upToMark.isEmpty() ? QString() : upToMark.chopped(1);
}

VersionVerdict judgeVersionFile(const QString &body, const QString &programVersion)
{
    const QString published = readPublishedVersion(body);
    if (published.isEmpty())
        return { VersionVerdict::Failed, QString() };
    if (published == programVersion)
        return { VersionVerdict::Current, published };
    return { VersionVerdict::Newer, published };
}
