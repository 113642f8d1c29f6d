// Every URL the program builds from page text goes through here: text taken from a web page is
// percent-encoded before it becomes part of an address, so a name can never change the path,
// add a query or smuggle in a fragment.
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

namespace Urls {

// Percent-encodes everything a path cannot carry literally; '/' stays '/'.
QByteArray encodePathPart(const QString &text);
// Percent-encodes everything that is not an unreserved character.
QByteArray encodeQueryValue(const QString &text);

// base (scheme and host, maybe a path, no trailing slash needed) followed by an already encoded tail.
QUrl join(const QString &base, const QByteArray &encodedTail);

QUrl resultsPage(const QString &marketUrl, const QString &pageNumberText);
// The domain is the rest of the path after "/backorder/" (or "/"). A '/' in it stays, unless the
// domain holds a "." or ".." segment that would lead the request out of that folder: then every
// '/' is encoded too. An invalid QUrl for the domains "." and "..", which no request can carry.
QUrl backorderPage(const QString &marketUrl, const QString &domain);
QUrl icpPage(const QString &icpUrl, const QString &domain);
QUrl versionFile(const QString &updateUrl);

// True for an absolute http or https URL with a host.
bool isWebUrl(const QString &text);

} // namespace Urls
