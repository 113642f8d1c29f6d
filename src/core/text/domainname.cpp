#include "core/text/domainname.h"

#include <QUrl>

namespace {

constexpr qsizetype MaxNameLength = 253;

bool isHiddenOrBreaking(char32_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) // U+0000-U+001F, DEL and U+0080-U+009F, line breaks among them
        || (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069) // bidirectional controls
        || (c >= 0x200b && c <= 0x200d) || c == 0x2060 || c == 0xfeff // zero-width characters
        || c == 0x2028 || c == 0x2029; // line and paragraph separators
}

} // namespace

QString visibleName(const QString &name)
{
    QString visible;
    visible.reserve(name.size());
    bool changed = false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        // Surrogate pairs are never one of the characters replaced: copy them whole.
        if (c.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            visible += c;
            visible += name.at(++i);
            continue;
        }
        if (isHiddenOrBreaking(c.unicode())) {
            visible += QChar(QChar::ReplacementCharacter);
            changed = true;
        } else {
            visible += c;
        }
    }
    return changed ? visible : name;
}

std::optional<QString> unusableNameReason(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("empty name");
    if (name.size() > MaxNameLength)
        return QStringLiteral("longer than %1 characters").arg(MaxNameLength);
    for (const QChar c : name) {
        if (c.isSpace())
            return QStringLiteral("holds a blank");
        if (isHiddenOrBreaking(c.unicode()) || c == QChar(QChar::ReplacementCharacter))
            return QStringLiteral("holds a control character");
    }
    if (name.contains(u'/'))
        return QStringLiteral("holds \"/\"");
    if (name.contains(QStringLiteral("..")))
        return QStringLiteral("holds \"..\"");
    if (QUrl::toAce(name, QUrl::AceProcessingOption::IgnoreIDNWhitelist).isEmpty())
        return QStringLiteral("not a valid internationalized domain name");
    return std::nullopt;
}
