// Whether names exist in DNS: an NS query for each, through c-ares driven from the Qt event loop
// (its sockets through QSocketNotifier, its time-outs through a timer), never a blocking call.
// Politely: at most so many queries a second and so many in flight, every retry included.
#pragma once

#include "core/dns/elsewhere.h"

#include <QObject>
#include <QString>

#include <memory>


struct DnsSettings
{
    // "HOST:PORT" (or "HOST"); empty: the system's resolvers from /etc/resolv.conf.
    QString server;
    int queriesPerSecond = 20;
    int inFlight = 4;
    int timeoutMs = 2000; // each try
    int retries = 2; // more tries after a time-out
};

// What an answer says of a name, from the whole DNS message as received (header, question,
// answer and authority sections). Pure: for the client and its tests.
DnsPresence presenceFromAnswer(const unsigned char *message, int length);

class NameServerQuery : public QObject
{
    Q_OBJECT

public:
    explicit NameServerQuery(const DnsSettings &settings, QObject *parent = nullptr);
    ~NameServerQuery() override;

    // False when c-ares could not start or the server override is not HOST:PORT; then every name
    // asked is answered Unknown.
    bool isReady(QString *error = nullptr) const;

    // Queues an NS query for the name ("abc.com"); answered() follows, never from within this call.
    void ask(const QString &name);
    // Names asked and not yet answered.
    int pendingCount() const;

signals:
    void answered(const QString &name, DnsPresence presence);
    // Every name asked so far has been answered.
    void finished();

private:
    struct Channel;
    std::unique_ptr<Channel> m_channel;
};
