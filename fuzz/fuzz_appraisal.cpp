// appraise() on any name, and appraiseLabel() on any text as a label: a shape of one kind letter per
// character of the label, a pinyin split that joins back to the label, and tags of the vocabulary,
// exactly one of the five kinds for a label that is not empty.
#include "core/appraise/appraisal.h"
#include "core/filter/domainfilter.h"
#include "fuzzcheck.h"

namespace {

QChar kindOf(char32_t c)
{
    if (c >= '0' && c <= '9')
        return u'N';
    if (c >= 'a' && c <= 'z')
        return u'L';
    return c == '-' ? u'-' : u'H';
}

void check(const QString &label, const NameAppraisal &appraisal)
{
    const QList<uint> characters = label.toUcs4();
    FUZZ_CHECK(appraisal.shape.size() == characters.size());
    for (qsizetype i = 0; i < characters.size(); ++i)
        FUZZ_CHECK(appraisal.shape.at(i) == kindOf(characters[i]));

    if (!appraisal.pinyin.isEmpty()) {
        FUZZ_CHECK(QString(appraisal.pinyin).remove(u'\'') == label);
        for (const QString &syllable : appraisal.pinyin.split(u'\''))
            FUZZ_CHECK(syllable.size() >= 1 && syllable.size() <= 6);
    }

    const QStringList texts = tagTexts(appraisal.tags);
    int kinds = 0;
    for (const QString &text : texts) {
        FUZZ_CHECK(isTagText(text));
        const std::optional<NameTag> tag = nameTagFromText(text);
        kinds += tag && *tag <= NameTag::Chinese;
    }
    FUZZ_CHECK(kinds == (label.isEmpty() ? 0 : 1));
    FUZZ_CHECK(texts.isEmpty() == label.isEmpty());
    FUZZ_CHECK(appraisal.pinyin.isEmpty() || appraisal.tags.contains(NameTag::LettersOnly));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(Fuzz::bytesOf(data, size));
    check(splitDomain(text).label, appraise(text));
    check(text, appraiseLabel(text));
    return 0;
}
