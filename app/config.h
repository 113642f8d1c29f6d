// Where the program reaches the outside world. Every value can be overridden on the command
// line (see commandline.h); the compiled-in defaults point at hosts of the reserved .example
// domain, so a build never talks to a real third-party host by accident.
#pragma once

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
};

// The version this build announces and compares with the published one.
inline constexpr char ProgramVersion[] = "V1.4";
