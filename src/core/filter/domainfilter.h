// Which names of a list to keep: by top-level domain, length, kind of name, text and pattern. One pure
// filter for the command line and the domain table alike.
#pragma once

#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <optional>

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
    // The name case-folded, for text searches without folding each character every time; the same
    // string as name when folding changes nothing, as for almost every domain name.
    QString folded;
    qsizetype foldedLabelSize = 0;
};
FilterKey filterKeyOf(const QString &domain);

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
};
