#include "core/dns/nameserverquery.h"

#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <ares.h>
#include <arpa/nameser.h>

#include <deque>
#include <mutex>
#include <utility>
#include <vector>

namespace {

// A packet sent at the end of one window must not reach the server inside the same second as the
// first of the window, whatever the scheduling on the way: the client counts over a little more.
constexpr qint64 RateWindowMs = 1025;

// Skips a name at pos (labels or a compression pointer); false when it runs past the end.
bool skipName(const unsigned char *message, int length, int &pos)
{
    for (int labels = 0; labels < 128; ++labels) {
        if (pos >= length)
            return false;
        const unsigned char size = message[pos];
        if (size == 0) {
            ++pos;
            return true;
        }
        if ((size & 0xC0) == 0xC0) {
            if (pos + 1 >= length)
                return false;
            pos += 2;
            return true;
        }
        if ((size & 0xC0) != 0)
            return false;
        pos += 1 + size;
    }
    return false;
}

int read16(const unsigned char *at)
{
    return (at[0] << 8) | at[1];
}

void initialiseLibraryOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { ares_library_init(ARES_LIB_INIT_ALL); });
}

} // namespace

DnsPresence presenceFromAnswer(const unsigned char *message, int length)
{
    if (!message || length < 12)
        return DnsPresence::Unknown;
    const bool isResponse = message[2] & 0x80;
    const bool truncated = message[2] & 0x02;
    const int rcode = message[3] & 0x0F;
    if (!isResponse)
        return DnsPresence::Unknown;
    if (rcode == ns_r_nxdomain)
        return DnsPresence::NotInDns;
    if (rcode != ns_r_noerror || truncated)
        return DnsPresence::Unknown;

    const int questions = read16(message + 4);
    const int answers = read16(message + 6);
    const int authorities = read16(message + 8);
    int pos = 12;
    for (int i = 0; i < questions; ++i) {
        if (!skipName(message, length, pos) || pos + 4 > length)
            return DnsPresence::Unknown;
        pos += 4;
    }
    int nameServersInAuthority = 0;
    for (int i = 0; i < answers + authorities; ++i) {
        if (!skipName(message, length, pos) || pos + 10 > length)
            return DnsPresence::Unknown;
        const int type = read16(message + pos);
        const int dataLength = read16(message + pos + 8);
        pos += 10;
        if (pos + dataLength > length)
            return DnsPresence::Unknown;
        if (i >= answers && type == ns_t_ns)
            ++nameServersInAuthority;
        pos += dataLength;
    }
    // Records, a referral, or the name exists without any: in every case it is in DNS.
    Q_UNUSED(nameServersInAuthority);
    return DnsPresence::Taken;
}

struct NameServerQuery::Channel
{
    struct Query
    {
        Channel *channel;
        QString name;
        int attempt;
    };
    struct Notifiers
    {
        QSocketNotifier *read = nullptr;
        QSocketNotifier *write = nullptr;
    };

    NameServerQuery *owner;
    DnsSettings settings;
    ares_channel channel = nullptr;
    QString error;
    bool destroying = false;

    std::deque<std::pair<QString, int>> waiting; // name, attempt
    int inFlight = 0;
    int pending = 0;
    std::deque<qint64> sendTimes; // within the last window
    QElapsedTimer clock;
    QTimer aresTimer; // c-ares's own time-outs
    QTimer paceTimer; // the next query allowed
    QTimer deliverTimer; // answers go out from the event loop, not from inside c-ares
    std::vector<std::pair<QString, DnsPresence>> results;
    QHash<int, Notifiers> notifiers;

    explicit Channel(NameServerQuery *owner, const DnsSettings &settings)
        : owner(owner)
        , settings(settings)
    {
        clock.start();
        aresTimer.setSingleShot(true);
        paceTimer.setSingleShot(true);
        deliverTimer.setSingleShot(true);
        deliverTimer.setInterval(0);
    }

    ~Channel()
    {
        destroying = true;
        if (channel)
            ares_destroy(channel); // calls every callback with ARES_EDESTRUCTION
        qDeleteAll(notifiersToDelete());
    }

    std::vector<QSocketNotifier *> notifiersToDelete()
    {
        std::vector<QSocketNotifier *> all;
        for (const Notifiers &pair : std::as_const(notifiers)) {
            if (pair.read)
                all.push_back(pair.read);
            if (pair.write)
                all.push_back(pair.write);
        }
        notifiers.clear();
        return all;
    }

    bool open()
    {
        initialiseLibraryOnce();
        ares_options options {};
        options.flags = ARES_FLAG_NOCHECKRESP; // a SERVFAIL or REFUSED is the answer, not a reason to ask again
        options.timeout = qMax(1, settings.timeoutMs);
        options.tries = 1; // retries are ours, so that they keep to the rate too
        options.sock_state_cb = &Channel::socketStateChanged;
        options.sock_state_cb_data = this;
        const int mask = ARES_OPT_FLAGS | ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES | ARES_OPT_SOCK_STATE_CB;
        int status = ares_init_options(&channel, &options, mask);
        if (status != ARES_SUCCESS) {
            error = QString::fromUtf8(ares_strerror(status));
            channel = nullptr;
            return false;
        }
        if (!settings.server.isEmpty()) {
            QString server = settings.server.trimmed();
            const int colon = server.lastIndexOf(QLatin1Char(':'));
            bool portIsNumber = true;
            const int port = colon > 0 ? server.mid(colon + 1).toInt(&portIsNumber) : 53;
            if (colon > 0 && (!portIsNumber || port < 1 || port > 65535)) {
                error = QStringLiteral("the DNS server's port is not a number from 1 to 65535: %1").arg(settings.server);
                return false;
            }
            if (colon < 0)
                server += QStringLiteral(":53");
            status = ares_set_servers_ports_csv(channel, server.toUtf8().constData());
            if (status != ARES_SUCCESS) {
                error = QStringLiteral("the DNS server is not an address HOST:PORT: %1").arg(settings.server);
                return false;
            }
        }
        return true;
    }

    static void socketStateChanged(void *data, ares_socket_t socket, int readable, int writable)
    {
        auto *self = static_cast<Channel *>(data);
        if (self->destroying)
            return;
        Notifiers &pair = self->notifiers[socket];
        self->setNotifier(pair.read, socket, QSocketNotifier::Read, readable);
        self->setNotifier(pair.write, socket, QSocketNotifier::Write, writable);
        if (!pair.read && !pair.write)
            self->notifiers.remove(socket);
    }

    void setNotifier(QSocketNotifier *&notifier, ares_socket_t socket, QSocketNotifier::Type type, bool wanted)
    {
        if (wanted && !notifier) {
            notifier = new QSocketNotifier(socket, type);
            QObject::connect(notifier, &QSocketNotifier::activated, owner, [this, type](QSocketDescriptor descriptor) {
                const ares_socket_t fd = static_cast<ares_socket_t>(qintptr(descriptor));
                ares_process_fd(channel, type == QSocketNotifier::Read ? fd : ARES_SOCKET_BAD,
                    type == QSocketNotifier::Write ? fd : ARES_SOCKET_BAD);
                afterAres();
            });
        } else if (!wanted && notifier) {
            // c-ares may drop a socket while its notifier is delivering.
            notifier->setEnabled(false);
            notifier->deleteLater();
            notifier = nullptr;
        }
    }

    static void answerArrived(void *data, int status, int timeouts, unsigned char *answer, int length)
    {
        Q_UNUSED(timeouts);
        auto *query = static_cast<Query *>(data);
        Channel *self = query->channel;
        const QString name = query->name;
        const int attempt = query->attempt;
        delete query;
        if (status == ARES_EDESTRUCTION || self->destroying)
            return;
        --self->inFlight;
        if (status == ARES_ETIMEOUT && attempt < self->settings.retries) {
            self->waiting.emplace_front(name, attempt + 1);
        } else {
            const DnsPresence presence = answer && length >= 12 ? presenceFromAnswer(answer, length)
                                                                 : DnsPresence::Unknown;
            self->results.emplace_back(name, presence);
            self->deliverTimer.start();
        }
        self->paceTimer.start(0);
    }

    // After every call into c-ares: its next time-out.
    void afterAres()
    {
        if (!channel)
            return;
        timeval buffer {};
        const timeval *wait = ares_timeout(channel, nullptr, &buffer);
        if (!wait) {
            aresTimer.stop();
            return;
        }
        const qint64 ms = qint64(wait->tv_sec) * 1000 + (wait->tv_usec + 999) / 1000;
        aresTimer.start(int(qBound(qint64(0), ms, qint64(600000))));
    }

    void processTimeouts()
    {
        ares_process_fd(channel, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
        afterAres();
    }

    // Sends what the rate and the in-flight bound allow; wakes itself when the window moves on.
    void sendWaiting()
    {
        const int perSecond = qMax(1, settings.queriesPerSecond);
        const int atOnce = qMax(1, settings.inFlight);
        while (!waiting.empty() && inFlight < atOnce) {
            const qint64 now = clock.elapsed();
            while (!sendTimes.empty() && sendTimes.front() <= now - RateWindowMs)
                sendTimes.pop_front();
            if (int(sendTimes.size()) >= perSecond) {
                paceTimer.start(int(sendTimes.front() + RateWindowMs - now + 1));
                return;
            }
            auto [name, attempt] = waiting.front();
            waiting.pop_front();
            sendTimes.push_back(now);
            ++inFlight;
            ares_query(channel, name.toUtf8().constData(), ns_c_in, ns_t_ns, &Channel::answerArrived,
                new Query { this, name, attempt });
        }
        afterAres();
    }

    void deliver()
    {
        QPointer<NameServerQuery> guard(owner);
        std::vector<std::pair<QString, DnsPresence>> ready;
        ready.swap(results);
        for (const auto &[name, presence] : ready) {
            if (!guard)
                return;
            --pending;
            emit owner->answered(name, presence);
        }
        if (guard && pending == 0 && waiting.empty() && ready.size() > 0)
            emit owner->finished();
    }
};

NameServerQuery::NameServerQuery(const DnsSettings &settings, QObject *parent)
    : QObject(parent)
    , m_channel(std::make_unique<Channel>(this, settings))
{
    Channel *channel = m_channel.get();
    connect(&channel->aresTimer, &QTimer::timeout, this, [channel] { channel->processTimeouts(); });
    connect(&channel->paceTimer, &QTimer::timeout, this, [channel] { channel->sendWaiting(); });
    connect(&channel->deliverTimer, &QTimer::timeout, this, [channel] { channel->deliver(); });
    if (!channel->open()) {
        if (channel->channel)
            ares_destroy(channel->channel);
        channel->channel = nullptr;
    }
}

NameServerQuery::~NameServerQuery() = default;

bool NameServerQuery::isReady(QString *error) const
{
    if (error)
        *error = m_channel->error;
    return m_channel->channel != nullptr;
}

void NameServerQuery::ask(const QString &name)
{
    ++m_channel->pending;
    if (!m_channel->channel) {
        m_channel->results.emplace_back(name, DnsPresence::Unknown);
        m_channel->deliverTimer.start();
        return;
    }
    m_channel->waiting.emplace_back(name, 0);
    m_channel->paceTimer.start(0);
}

int NameServerQuery::pendingCount() const
{
    return m_channel->pending;
}
