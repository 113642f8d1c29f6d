// Where the program reaches the outside world, and how long it waits there. Every address can be
// overridden on the command line; the compiled-in defaults point at hosts of the reserved .example
// domain, so a build never talks to a real third-party host by accident.
#pragma once

#include "core/net/pagefetcher.h"
#include "core/version.h"

#include <QString>

struct AppConfig
{
    // Scheme and host (no trailing slash): "/search?p=" and "/backorder/" are appended.
    QString marketUrl = QStringLiteral("http://www.market.example");
    // The ICP lookup site: "/" and the domain are appended.
    QString icpUrl = QStringLiteral("http://icp.lookup.example");
    // The maker's update server: "/version/main.txt" is appended.
    QString updateUrl = QStringLiteral("http://update.vexlon.example");
    QString forumUrl = QStringLiteral("http://bbs.vexlon.example");
    QString homeUrl = QStringLiteral("http://www.vexlon.example");
    // The DNS server asked whether a name is taken under other suffixes, "HOST:PORT"; empty: the
    // system's resolvers (/etc/resolv.conf).
    QString dnsServer;

    // Every request gives up after this long; the backorder page asked for from the domain list's
    // menu may take longer, as it always could.
    int requestTimeoutMs = DefaultRequestTimeoutMs;
    int menuLookupTimeoutMs = 60 * 1000;
    qint64 maxBodyBytes = DefaultMaxBodyBytes;

    // A request to url with this configuration's limits.
    PageRequest request(const QUrl &url, bool bypassCaches) const
    {
        return { url, bypassCaches, requestTimeoutMs, maxBodyBytes };
    }
};

// The version this build announces and compares with the published one.
inline constexpr char ProgramVersion[] = "V" VEXLON_VERSION;
