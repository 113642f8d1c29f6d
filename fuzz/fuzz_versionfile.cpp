// readPublishedVersion() and judgeVersionFile() on any body: the version is the text between a
// "qvrt:" and the next "|", holds neither, and the verdict follows from it alone: a failed check when
// it is empty, too long or holds a control character.
#include "fuzzcheck.h"
#include "core/update/versionfile.h"

#include <algorithm>

namespace {

// The same entry found another way: after the first key, up to the next key or the end, the text
// before the first '|'.
QString entryAfterFirstKey(const QString &body, const QString &key)
{
    const qsizetype at = body.indexOf(key);
    if (at < 0)
        return QString();
    QString entry = body.mid(at + key.size());
    const qsizetype nextKey = entry.indexOf(key);
    if (nextKey >= 0)
        entry.truncate(nextKey);
    const qsizetype bar = entry.indexOf(u'|');
    return bar < 0 ? QString() : entry.left(bar);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString key = QStringLiteral("qvrt:");
    const QString programVersion = QStringLiteral("V1.4");
    for (const QString &body : Fuzz::pageTexts(data, size)) {
        const QString version = readPublishedVersion(body);
        FUZZ_CHECK(!version.contains(u'|'));
        FUZZ_CHECK(!version.contains(key));
        FUZZ_CHECK(version == entryAfterFirstKey(body, key));

        const VersionVerdict verdict = judgeVersionFile(body, programVersion);
        const bool showable = !version.isEmpty() && version.size() <= MaxVersionChars
            && std::none_of(version.begin(), version.end(), [](QChar c) { return c.category() == QChar::Other_Control; });
        if (!showable) {
            FUZZ_CHECK(verdict.kind == VersionVerdict::Failed);
            FUZZ_CHECK(verdict.version.isEmpty());
        } else {
            FUZZ_CHECK(verdict.version == version);
            FUZZ_CHECK(verdict.kind == (version == programVersion ? VersionVerdict::Current : VersionVerdict::Newer));
            FUZZ_CHECK(judgeVersionFile(body, version).kind == VersionVerdict::Current);
        }
    }
    return 0;
}
