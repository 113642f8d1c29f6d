#include "core/filter/domainfilter.h"

#include <QSet>
#include <QStringView>
#include <QUrl>

#include <algorithm>

namespace {

// Suffixes of more than one label that registries sell names under; any other suffix is the last
// label alone.
const QSet<QString> &multiLabelSuffixes()
{
    static const QSet<QString> suffixes = [] {
        QSet<QString> set;
        // China: the kinds of organisation, and the provinces, regions and cities by their two-letter
        // codes, written as one run of letters and read in pairs.
        for (const char *second : { "com", "net", "org", "gov", "edu", "ac", "mil" })
            set.insert(QLatin1String(second) + QLatin1String(".cn"));
        const QLatin1String regions("bjshtjcqhesxnmlnjlhljszjahfjjxsdhahbhngdgxhiscgzynxzsngsqhnxxjtwhkmo");
        for (qsizetype at = 0; at + 1 < regions.size(); at += 2)
            set.insert(regions.sliced(at, 2) + QLatin1String(".cn"));
        for (const char *other : { "com.hk", "net.hk", "org.hk", "com.tw", "net.tw", "org.tw", "idv.tw", "com.mo",
                 "co.uk", "org.uk", "me.uk", "ltd.uk", "plc.uk" })
            set.insert(QLatin1String(other));
        return set;
    }();
    return suffixes;
}

// Lower-case Unicode, ideographic full stops read as dots, no trailing dot, ACE labels decoded.
QString normalised(const QString &name)
{
    QString text = name.trimmed().toLower();
    // Written to only when there is something to change: most names need no copy of their own.
    const auto isIdeographicStop
        = [](QChar c) { return c == QChar(0x3002) || c == QChar(0xff0e) || c == QChar(0xff61); };
    if (std::any_of(text.cbegin(), text.cend(), isIdeographicStop))
        std::replace_if(text.begin(), text.end(), isIdeographicStop, u'.');
    if (text.endsWith(u'.'))
        text.chop(1);
    if (text.contains(QLatin1String("xn--"))) {
        QStringList labels = text.split(u'.');
        for (QString &label : labels) {
            if (label.startsWith(QLatin1String("xn--"))) {
                const QString decoded = QUrl::fromAce(label.toLatin1(), QUrl::IgnoreIDNWhitelist);
                if (!decoded.isEmpty())
                    label = decoded.toLower();
            }
        }
        text = labels.join(u'.');
    }
    return text;
}

QString normalisedSuffix(const QString &suffix)
{
    const QString text = normalised(suffix);
    return text.isEmpty() || text.startsWith(u'.') ? text : u'.' + text;
}

bool isAsciiLetter(char32_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isAsciiDigit(char32_t c)
{
    return c >= '0' && c <= '9';
}

} // namespace

DomainParts splitDomain(const QString &domain)
{
    const QString name = normalised(domain);
    const qsizetype lastDot = name.lastIndexOf(u'.');
    if (lastDot < 0)
        return { name, QString() };
    const qsizetype dotBefore = lastDot > 0 ? name.lastIndexOf(u'.', lastDot - 1) : -1;
    // Every suffix of two labels ends in a label of two letters (.cn, .hk, .uk ...).
    if (dotBefore > 0 && name.size() - lastDot == 3 && multiLabelSuffixes().contains(name.mid(dotBefore + 1)))
        return { name.left(dotBefore), name.mid(dotBefore) };
    return { name.left(lastDot), name.mid(lastDot) };
}

NameKind kindOf(const QString &label)
{
    bool digits = false, letters = false, hyphen = false, han = false, other = false;
    for (const char32_t c : label.toUcs4()) {
        if (isAsciiDigit(c))
            digits = true;
        else if (isAsciiLetter(c))
            letters = true;
        else if (c == '-')
            hyphen = true;
        else if (QChar::script(c) == QChar::Script_Han)
            han = true;
        else
            other = true;
    }
    if (han)
        return NameKind::Chinese;
    if (other)
        return NameKind::Any;
    if (hyphen)
        return NameKind::WithHyphen;
    if (digits && letters)
        return NameKind::DigitsAndLetters;
    if (digits)
        return NameKind::DigitsOnly;
    return letters ? NameKind::LettersOnly : NameKind::Any;
}

std::optional<NameKind> nameKindFromText(const QString &text)
{
    for (const NameKind kind : { NameKind::DigitsOnly, NameKind::LettersOnly, NameKind::DigitsAndLetters,
             NameKind::WithHyphen, NameKind::Chinese }) {
        if (text.trimmed().compare(nameKindText(kind), Qt::CaseInsensitive) == 0)
            return kind;
    }
    return std::nullopt;
}

QString nameKindText(NameKind kind)
{
    switch (kind) {
    case NameKind::Any:
        return QString();
    case NameKind::DigitsOnly:
        return QStringLiteral("digits");
    case NameKind::LettersOnly:
        return QStringLiteral("letters");
    case NameKind::DigitsAndLetters:
        return QStringLiteral("alnum");
    case NameKind::WithHyphen:
        return QStringLiteral("hyphen");
    case NameKind::Chinese:
        return QStringLiteral("chinese");
    }
    return QString();
}

QString labelPatternCharacters()
{
    return QStringLiteral("C (a consonant), V (a vowel), L (a letter), N (a digit), ? (any one character), "
                          "and a-z, 0-9 and - for themselves");
}

std::optional<QChar> badLabelPatternCharacter(const QString &pattern)
{
    for (const QChar c : pattern) {
        if (!QStringView(u"CVLN?-").contains(c) && !(c >= u'a' && c <= u'z') && !(c >= u'0' && c <= u'9'))
            return c;
    }
    return std::nullopt;
}

bool labelMatchesPattern(QStringView label, QStringView pattern)
{
    const auto isVowel = [](char32_t c) { return c == 'a' || c == 'e' || c == 'i' || c == 'o' || c == 'u'; };
    qsizetype at = 0;
    for (const QChar wanted : pattern) {
        if (at == label.size())
            return false;
        char32_t c = label[at++].unicode();
        if (QChar::isHighSurrogate(c) && at < label.size() && label[at].isLowSurrogate())
            c = QChar::surrogateToUcs4(char16_t(c), label[at++].unicode());
        const bool letter = c >= 'a' && c <= 'z';
        switch (wanted.unicode()) {
        case 'C':
            if (!letter || isVowel(c))
                return false;
            break;
        case 'V':
            if (!isVowel(c))
                return false;
            break;
        case 'L':
            if (!letter)
                return false;
            break;
        case 'N':
            if (!isAsciiDigit(c))
                return false;
            break;
        case '?':
            break;
        default:
            if (c != wanted.unicode())
                return false;
        }
    }
    return at == label.size();
}

bool DomainFilter::isEmpty() const
{
    return suffixes.isEmpty() && minLength <= 0 && maxLength <= 0 && kind == NameKind::Any && contains.isEmpty()
        && startsWith.isEmpty() && endsWith.isEmpty() && excludes.isEmpty() && pattern.pattern().isEmpty()
        && requiredTags.isEmpty() && excludedTags.isEmpty() && labelPattern.isEmpty();
}

bool DomainFilter::matches(const QString &domain) const
{
    return PreparedFilter(*this).matches(filterKeyOf(domain));
}

FilterKey filterKeyOf(const QString &domain, NameAppraisal *appraisal)
{
    FilterKey key;
    const DomainParts parts = splitDomain(domain);
    key.labelSize = parts.label.size();
    key.name = parts.label + parts.suffix;
    if (key.name == domain)
        key.name = domain; // one string for both
    key.folded = key.name.toCaseFolded();
    key.foldedLabelSize = key.labelSize;
    if (key.folded == key.name)
        key.folded = key.name;
    else
        key.foldedLabelSize = parts.label.toCaseFolded().size();
    key.length = int(parts.label.toUcs4().size());
    key.kind = kindOf(parts.label);
    if (appraisal) {
        *appraisal = appraiseLabel(parts.label);
        key.tags = appraisal->tags;
    } else {
        key.tags = appraiseLabel(parts.label).tags;
    }
    return key;
}

PreparedFilter::PreparedFilter(const DomainFilter &filter)
    : m_minLength(filter.minLength)
    , m_maxLength(filter.maxLength)
    , m_kind(filter.kind)
    , m_contains(filter.contains.toCaseFolded())
    , m_startsWith(filter.startsWith.toCaseFolded())
    , m_endsWith(filter.endsWith.toCaseFolded())
    , m_pattern(filter.pattern)
    , m_labelPattern(filter.labelPattern)
{
    for (const QString &text : filter.requiredTags) {
        if (const std::optional<NameTag> tag = nameTagFromText(text)) {
            m_requiredTags |= quint64(1) << int(*tag);
        } else if (const quint64 repeat = repeatCodeOf(text)) {
            m_matchesNothing = m_matchesNothing || (m_requiredRepeat != 0 && m_requiredRepeat != repeat);
            m_requiredRepeat = repeat;
        } else {
            m_matchesNothing = true;
        }
    }
    for (const QString &text : filter.excludedTags) {
        if (const std::optional<NameTag> tag = nameTagFromText(text))
            m_excludedTags |= quint64(1) << int(*tag);
        else if (const quint64 repeat = repeatCodeOf(text))
            m_excludedRepeats.push_back(repeat);
    }
    for (const QString &suffix : filter.suffixes)
        m_suffixes.append(normalisedSuffix(suffix));
    for (const QString &excluded : filter.excludes) {
        if (!excluded.isEmpty())
            m_excludes.append(excluded.toCaseFolded());
    }
}

bool PreparedFilter::matches(const FilterKey &key) const
{
    if (key.labelSize == 0)
        return false;
    const QStringView name(key.name);
    if (!m_suffixes.isEmpty()) {
        const QStringView suffix = name.mid(key.labelSize);
        if (std::none_of(m_suffixes.cbegin(), m_suffixes.cend(), [suffix](const QString &s) { return s == suffix; }))
            return false;
    }
    if ((m_minLength > 0 && key.length < m_minLength) || (m_maxLength > 0 && key.length > m_maxLength))
        return false;
    if (m_kind != NameKind::Any && key.kind != m_kind)
        return false;
    const quint64 tags = key.tags.bits();
    if (m_matchesNothing || (tags & m_requiredTags) != m_requiredTags || (tags & m_excludedTags) != 0
        || (m_requiredRepeat != 0 && key.tags.repeatCode() != m_requiredRepeat))
        return false;
    for (const quint64 repeat : m_excludedRepeats) {
        if (key.tags.repeatCode() == repeat)
            return false;
    }
    if (!m_labelPattern.isEmpty() && !labelMatchesPattern(name.left(key.labelSize), m_labelPattern))
        return false;
    // Any case: both sides folded once, then compared as they are.
    const QStringView folded(key.folded);
    const QStringView foldedLabel = folded.left(key.foldedLabelSize);
    if (!folded.contains(m_contains) || !foldedLabel.startsWith(m_startsWith) || !foldedLabel.endsWith(m_endsWith))
        return false;
    for (const QString &excluded : m_excludes) {
        if (folded.contains(excluded))
            return false;
    }
    return m_pattern.pattern().isEmpty() || m_pattern.match(key.name).hasMatch();
}
