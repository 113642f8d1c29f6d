// Is a domain's label taken under other suffixes? For each domain checked, an NS query for label.suffix
// under every suffix asked (its own left out), through one polite DNS client; answers younger than the
// maximum age come from the history instead. The check writes nothing: its caller records what
// checked() reports as fresh.
#pragma once

#include "core/dns/elsewhere.h"
#include "core/dns/nameserverquery.h"

#include <QHash>
#include <QObject>
#include <QSet>

class HistoryStore;

struct OtherSuffixOptions
{
    QStringList suffixes; // without dots in front
    DnsSettings dns;
    qint64 maxAgeSeconds = 12 * 60 * 60;
    bool refresh = false; // ask again whatever the history holds
};

class OtherSuffixCheck : public QObject
{
    Q_OBJECT

public:
    // cache may be null.
    OtherSuffixCheck(const OtherSuffixOptions &options, const HistoryStore *cache, QObject *parent = nullptr);
    ~OtherSuffixCheck() override;

    // False, with the reason, when the DNS server given is not usable; every suffix is then unknown.
    bool isReady(QString *error = nullptr) const;

    // checked() follows for the domain, never from within this call; a domain already waiting is not
    // asked twice.
    void check(const QString &domain);
    int pendingCount() const { return int(m_waiting.size()); }

signals:
    // fresh: the answers DNS gave now (an unknown one is not kept for later).
    void checked(const QString &domain, const ElsewhereResult &result, const QList<ElsewhereState> &fresh);
    void finished();

private:
    struct Waiting
    {
        QString label;
        QStringList suffixes; // in the order asked
        QHash<QString, DnsPresence> known; // suffix -> presence
        QList<ElsewhereState> fresh;
    };

    void answered(const QString &name, DnsPresence presence);
    void finishIfComplete(const QString &domain);

    const OtherSuffixOptions m_options;
    const HistoryStore *m_cache;
    NameServerQuery m_query;
    QHash<QString, Waiting> m_waiting; // domain -> its check
    QHash<QString, QStringList> m_askedFor; // label.suffix -> the domains waiting for it
};
