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

// A version longer than this is no version: nobody numbers a release with a paragraph.
inline constexpr qsizetype MaxVersionChars = 64;

// An empty published version counts as a failed check: an error page or a broken file must not
// announce a newer version "[]". So does one longer than MaxVersionChars, or one holding a line break
// or another control character.
VersionVerdict judgeVersionFile(const QString &body, const QString &programVersion);
