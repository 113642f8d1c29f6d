// Reading the maker's version file: which version it publishes for this product, and what that
// means for the running program.
#pragma once

#include <QString>

// The text between the first "qvrt:" and the next "|", unaltered. Empty when the key is missing,
// no "|" follows it, or a second key comes before the "|".
QString readPublishedVersion(const QString &body);

struct VersionVerdict
{
    enum Kind {
        Failed, // no answer, or an answer without a usable entry
        Current,
        Newer,
    };
    Kind kind = Failed;
    // The published version, as the file spells it; set for Newer.
    QString version;
};

// An empty published version counts as a failed check: an error page or a broken file must not
// announce a newer version "[]".
VersionVerdict judgeVersionFile(const QString &body, const QString &programVersion);
