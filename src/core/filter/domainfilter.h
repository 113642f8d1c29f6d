// Which names of a list to keep: by top-level domain, length, kind of name, tags, text and patterns. One
// pure filter for the command line and the domain table alike.
#pragma once

#include "core/appraise/appraisal.h"

#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// A name split where the registry's part begins: "abc.com.cn" is "abc" under ".com.cn". An ACE name
// ("xn--...") is read as the Unicode name it stands for, upper case as lower case, and a trailing dot
// is dropped.
struct DomainParts
{
    QString label; // what was registered, without the suffix
    QString suffix; // with its leading dot; empty for a name without one
};
DomainParts splitDomain(const QString &domain);

enum class NameKind {
    Any,
    DigitsOnly,
    LettersOnly, // a-z only
    DigitsAndLetters, // both, and nothing else
    WithHyphen,
    Chinese, // at least one Han character
};
// The kind a label is, most specific first (digits only, letters only, digits and letters, with a
// hyphen, Chinese); Any for anything else.
NameKind kindOf(const QString &label);
// "digits", "letters", "alnum", "hyphen", "chinese"; std::nullopt for anything else.
std::optional<NameKind> nameKindFromText(const QString &text);
QString nameKindText(NameKind kind);

// The characters of a label pattern: C a consonant (b c d f g h j k l m n p q r s t v w x y z), V a
// vowel (a e i o u), L a letter a-z, N a digit, ? any one character; a lower-case letter, a digit or
// "-" stands for itself.
QString labelPatternCharacters();
// The first character of the pattern that is none of those; std::nullopt when there is none.
std::optional<QChar> badLabelPatternCharacter(const QString &pattern);
// Whether the pattern matches the whole label, one character of it for each of its own.
bool labelMatchesPattern(QStringView label, QStringView pattern);

struct DomainFilter
{
    QStringList suffixes; // ".com", "cn", ".com.cn", ".中国": any of them; empty: any suffix
    int minLength = 0; // of the label, in characters; 0: no bound
    int maxLength = 0;
    NameKind kind = NameKind::Any;
    QString contains; // in the whole name, case-insensitive
    QString startsWith; // of the label
    QString endsWith; // of the label
    QStringList excludes; // none of these in the whole name
    QRegularExpression pattern; // matched against the whole name; an empty pattern matches all
    // Texts of the appraisal's tags (isTagText()): every required one must hold, no excluded one. A
    // required text that is no tag holds for no name.
    QStringList requiredTags;
    QStringList excludedTags;
    QString labelPattern; // see labelMatchesPattern(); empty: any label

    bool isEmpty() const;
    // An empty name never matches.
    bool matches(const QString &domain) const;
};

// What a filter reads of a name, worked out once: a table filters 100,000 names as the user types.
struct FilterKey
{
    QString name; // lower case, ACE labels decoded: the label, then the suffix
    qsizetype labelSize = 0; // characters of name before the suffix
    int length = 0; // of the label, in characters
    NameKind kind = NameKind::Any;
    NameTags tags; // of the appraisal
    // The name case-folded, for text searches without folding each character every time; the same
    // string as name when folding changes nothing, as for almost every domain name.
    QString folded;
    qsizetype foldedLabelSize = 0;
};
// appraisal: where to put the whole appraisal of the name, which the key is made from anyway.
FilterKey filterKeyOf(const QString &domain, NameAppraisal *appraisal = nullptr);

// A filter made ready for many names: its suffixes normalised and its texts case-folded once.
class PreparedFilter
{
public:
    explicit PreparedFilter(const DomainFilter &filter = DomainFilter());
    bool matches(const FilterKey &key) const;

private:
    QStringList m_suffixes; // as the keys spell them: ".com", not "COM"
    int m_minLength = 0;
    int m_maxLength = 0;
    NameKind m_kind = NameKind::Any;
    QString m_contains, m_startsWith, m_endsWith;
    QStringList m_excludes;
    QRegularExpression m_pattern;
    quint64 m_requiredTags = 0, m_excludedTags = 0; // as NameTags::bits()
    quint64 m_requiredRepeat = 0; // NameTags::repeatCode(); 0 for none
    std::vector<quint64> m_excludedRepeats;
    bool m_matchesNothing = false; // a required tag that is none, or two repeat shapes at once
    QString m_labelPattern;
};
