// Whether a name's label is taken under other suffixes: the values that the DNS check, the history,
// the command line and the table share.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

enum class DnsPresence {
    Taken, // an answer with records, a referral, or the name exists without name servers
    NotInDns, // NXDOMAIN: likely free, or held without name servers
    Unknown, // SERVFAIL, REFUSED, time-out, a malformed answer: nothing can be said
};

// "taken", "not_in_dns", "unknown": as the history keeps it.
QString presenceText(DnsPresence presence);
std::optional<DnsPresence> presenceFromText(const QString &text);

// One answer for label.suffix, as the history caches it.
struct ElsewhereState
{
    QString label; // "abc"
    QString suffix; // "com.cn", no dot in front
    DnsPresence presence = DnsPresence::Unknown;
    QDateTime time;
};

// A domain's label under the suffixes asked, in the order asked. Suffixes without dots in front.
struct ElsewhereResult
{
    QStringList taken;
    QStringList unknown;
    QStringList notInDns;

    bool operator==(const ElsewhereResult &other) const
    {
        return taken == other.taken && unknown == other.unknown && notInDns == other.notInDns;
    }
    // "com net cn?": the taken ones, then the unknown ones with a question mark.
    QString summary() const;
};

// ".com,.net,.cn,.com.cn,.org"
QStringList defaultOtherSuffixes();
// "default", or suffixes separated by commas (a dot in front or not): lower case, without the dot,
// each once. std::nullopt with the reason when one is not a suffix.
std::optional<QStringList> otherSuffixesFrom(const QString &text, QString *error = nullptr);
// "abc.com.cn" -> { "abc", "com.cn" }; empty parts for a name without a dot.
std::pair<QString, QString> labelAndSuffix(const QString &domain);
