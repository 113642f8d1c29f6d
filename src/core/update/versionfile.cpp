#include "core/update/versionfile.h"

#include "core/text/textops.h"

#include <algorithm>

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
    const bool holdsControl
        = std::any_of(published.begin(), published.end(), [](QChar c) { return c.category() == QChar::Other_Control; });
    if (published.isEmpty() || published.size() > MaxVersionChars || holdsControl)
        return { VersionVerdict::Failed, QString() };
    if (published == programVersion)
        return { VersionVerdict::Current, published };
    return { VersionVerdict::Newer, published };
}
