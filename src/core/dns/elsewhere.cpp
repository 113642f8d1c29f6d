#include "core/dns/elsewhere.h"

#include <QRegularExpression>

QString presenceText(DnsPresence presence)
{
    switch (presence) {
    case DnsPresence::Taken:
        return QStringLiteral("taken");
    case DnsPresence::NotInDns:
        return QStringLiteral("not_in_dns");
    case DnsPresence::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

std::optional<DnsPresence> presenceFromText(const QString &text)
{
    for (const DnsPresence presence : { DnsPresence::Taken, DnsPresence::NotInDns, DnsPresence::Unknown }) {
        if (text == presenceText(presence))
            return presence;
    }
    return std::nullopt;
}

QString ElsewhereResult::summary() const
{
    QStringList parts = taken;
    for (const QString &suffix : unknown)
        parts << suffix + u'?';
    return parts.join(u' ');
}

QStringList defaultOtherSuffixes()
{
    return { QStringLiteral("com"), QStringLiteral("net"), QStringLiteral("cn"), QStringLiteral("com.cn"),
        QStringLiteral("org") };
}

std::optional<QStringList> otherSuffixesFrom(const QString &text, QString *error)
{
    if (text.trimmed().compare(QLatin1String("default"), Qt::CaseInsensitive) == 0)
        return defaultOtherSuffixes();
    static const QRegularExpression suffixForm(QStringLiteral("^[a-z0-9-]{1,63}(\\.[a-z0-9-]{1,63}){0,3}$"));
    QStringList suffixes;
    for (QString part : text.split(u',')) {
        part = part.trimmed().toLower();
        if (part.startsWith(u'.'))
            part.remove(0, 1);
        if (!suffixForm.match(part).hasMatch() || part.startsWith(u'-') || part.endsWith(u'-')) {
            if (error)
                *error = QStringLiteral("\"%1\" is not a suffix like .com or .com.cn").arg(part);
            return std::nullopt;
        }
        if (!suffixes.contains(part))
            suffixes << part;
    }
    return suffixes;
}

std::pair<QString, QString> labelAndSuffix(const QString &domain)
{
    const qsizetype dot = domain.indexOf(u'.');
    if (dot <= 0)
        return {};
    return { domain.left(dot).toLower(), domain.mid(dot + 1).toLower() };
}
