// What a whois text says of a domain: when it was registered, until when, who sponsors it, the
// registry's status codes and its name servers. Read from the registry's answer, not from an IANA
// referral in front of it nor from a registrar's answer after it. What cannot be read stays unknown.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

struct WhoisFacts
{
    // Only dates from these years are taken; anything else is a misreading.
    static constexpr int EarliestYear = 1985;
    static constexpr int LatestYear = 2100;
    static constexpr qsizetype MaxRegistrarChars = 200;

    QDateTime created; // in UTC; invalid when unknown
    QDateTime expires;
    QDateTime updated;
    QString registrar; // empty when unknown
    QStringList statuses; // the codes ("clientHold"), without their links
    QStringList nameServers; // in lower case

    bool operator==(const WhoisFacts &other) const
    {
        return created == other.created && expires == other.expires && updated == other.updated
            && registrar == other.registrar && statuses == other.statuses && nameServers == other.nameServers;
    }
};

WhoisFacts readWhoisFacts(const QString &whoisText);

// Whole years from created to now; std::nullopt when created is unknown or after now.
std::optional<int> wholeYearsSince(const QDateTime &created, const QDateTime &now);

// The ages a filter lets through, in whole years; a bound left out holds for any age. An unknown age
// passes only a range without bounds.
struct YearsRange
{
    std::optional<int> least;
    std::optional<int> most;

    bool isOpen() const { return !least && !most; }
    bool contains(std::optional<int> years) const
    {
        return isOpen() || (years && (!least || *years >= *least) && (!most || *years <= *most));
    }
};
