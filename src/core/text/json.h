// JSON written by hand, where the order of keys or a line's layout matters (the commands' JSON Lines, the
// webhooks' bodies): the one escaping of a string.
#pragma once

#include <QString>

// The value as a JSON string, quotes included. Control characters are escaped, and so are the two line
// separators, so that a JavaScript reader of a line never sees a line break in it.
QString jsonString(const QString &value);
