// Domain names as they come from web pages and from users.
#pragma once

#include <QString>

#include <optional>

// The name as it is listed: every control character (U+0000-U+001F, U+007F-U+009F), line break,
// bidirectional control (U+202A-U+202E, U+2066-U+2069) and zero-width character (U+200B-U+200D,
// U+2060, U+FEFF) replaced by U+FFFD, so that a name can neither disguise itself nor break a line. The list, copy, export,
// booking page and lookups all use this form.
QString visibleName(const QString &name);

// Why a name given by a user cannot be looked up: blanks, control characters, "/", "..", longer than
// 253 characters, or no valid internationalized domain name. std::nullopt for a usable name.
std::optional<QString> unusableNameReason(const QString &name);
