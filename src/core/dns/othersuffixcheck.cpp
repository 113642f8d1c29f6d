#include "core/dns/othersuffixcheck.h"

#include "core/store/historystore.h"

#include <QTimer>

OtherSuffixCheck::OtherSuffixCheck(const OtherSuffixOptions &options, const HistoryStore *cache, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_cache(cache)
    , m_query(options.dns)
{
    connect(&m_query, &NameServerQuery::answered, this, &OtherSuffixCheck::answered);
}

OtherSuffixCheck::~OtherSuffixCheck() = default;

bool OtherSuffixCheck::isReady(QString *error) const
{
    return m_query.isReady(error);
}

void OtherSuffixCheck::check(const QString &domain)
{
    const QString key = domain.toLower();
    if (m_waiting.contains(key))
        return;
    const auto [label, ownSuffix] = labelAndSuffix(key);
    Waiting waiting;
    waiting.label = label;
    for (const QString &suffix : m_options.suffixes) {
        if (suffix != ownSuffix && !label.isEmpty())
            waiting.suffixes << suffix;
    }
    if (m_cache && !m_options.refresh && !label.isEmpty()) {
        const QDateTime since = QDateTime::currentDateTimeUtc().addSecs(-m_options.maxAgeSeconds);
        for (const ElsewhereState &state : m_cache->elsewhereOf(label, since)) {
            if (waiting.suffixes.contains(state.suffix) && state.presence != DnsPresence::Unknown)
                waiting.known.insert(state.suffix, state.presence);
        }
    }
    m_waiting.insert(key, waiting);
    for (const QString &suffix : std::as_const(waiting.suffixes)) {
        if (waiting.known.contains(suffix))
            continue;
        const QString name = label + u'.' + suffix;
        QStringList &domains = m_askedFor[name];
        domains << key;
        if (domains.size() == 1)
            m_query.ask(name);
    }
    // Answered from the history alone (or nothing to ask): still from the event loop.
    QTimer::singleShot(0, this, [this, key] { finishIfComplete(key); });
}

void OtherSuffixCheck::answered(const QString &name, DnsPresence presence)
{
    const QStringList domains = m_askedFor.take(name);
    const qsizetype dot = name.indexOf(u'.');
    const QString suffix = name.mid(dot + 1);
    for (const QString &domain : domains) {
        const auto found = m_waiting.find(domain);
        if (found == m_waiting.end())
            continue;
        found->known.insert(suffix, presence);
        if (presence != DnsPresence::Unknown)
            found->fresh.append({ found->label, suffix, presence, QDateTime::currentDateTimeUtc() });
        finishIfComplete(domain);
    }
}

void OtherSuffixCheck::finishIfComplete(const QString &domain)
{
    const auto found = m_waiting.constFind(domain);
    if (found == m_waiting.constEnd() || found->known.size() < found->suffixes.size())
        return;
    const Waiting waiting = m_waiting.take(domain);
    ElsewhereResult result;
    for (const QString &suffix : waiting.suffixes) {
        switch (waiting.known.value(suffix, DnsPresence::Unknown)) {
        case DnsPresence::Taken:
            result.taken << suffix;
            break;
        case DnsPresence::NotInDns:
            result.notInDns << suffix;
            break;
        case DnsPresence::Unknown:
            result.unknown << suffix;
            break;
        }
    }
    emit checked(domain, result, waiting.fresh);
    if (m_waiting.isEmpty())
        emit finished();
}
