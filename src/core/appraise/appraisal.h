// What a Chinese domain buyer reads in a name at a glance: the shape of its label, its pinyin, and the
// tags the buyers' drop-list sites sort names by (纯数字, 四声母, 双拼, AABB, 无4, ...). A pure function of
// the name, fast enough to run over every name of a day's lists.
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

// The vocabulary, in its order. A repeat shape ("AABB") is a tag too; it sits between EnglishWord and
// Straight in that order but is no member here, as there are many of them.
enum class NameTag : quint8 {
    DigitsOnly, // 纯数字; exactly one of these five holds for every label that is not empty
    LettersOnly, // 纯字母
    DigitsAndLetters, // 杂米
    WithHyphen, // 含横杠
    Chinese, // 中文: anything else
    Digits1, // 一数字 ... 十数字
    Digits10 = Digits1 + 9,
    Letters1, // 一字母 ... 十字母
    Letters10 = Letters1 + 9,
    Mixed2, // 两杂 ... 五杂
    Mixed5 = Mixed2 + 3,
    Han1, // 单字 ... 四字
    Han4 = Han1 + 3,
    Initials2, // 两声母 ... 六声母
    Initials6 = Initials2 + 4,
    Syllables1, // 单拼 ... 四拼
    Syllables4 = Syllables1 + 3,
    EnglishWord, // 英文单词
    Straight, // 顺子
    NoFour, // 无4
    NoZeroOrFour, // 无04
    Count
};
static_assert(int(NameTag::Count) <= 64);

// The tags of a name: a set of the vocabulary's and at most one repeat shape, small enough to keep for
// each of 100,000 rows and to test with a mask.
class NameTags
{
public:
    bool contains(NameTag tag) const { return (m_bits >> int(tag)) & 1; }
    void insert(NameTag tag) { m_bits |= quint64(1) << int(tag); }
    quint64 bits() const { return m_bits; }
    // "AABB"; empty when the name has none.
    QString repeatShape() const;
    // The repeat shape packed into a number, 0 for none: what a filter compares.
    quint64 repeatCode() const { return m_repeat; }
    void setRepeatCode(quint64 code) { m_repeat = code; }
    bool isEmpty() const { return m_bits == 0 && m_repeat == 0; }
    friend bool operator==(const NameTags &a, const NameTags &b)
    {
        return a.m_bits == b.m_bits && a.m_repeat == b.m_repeat;
    }
    friend bool operator!=(const NameTags &a, const NameTags &b) { return !(a == b); }

private:
    quint64 m_bits = 0;
    quint64 m_repeat = 0;
};

struct NameAppraisal
{
    // One character per character of the label: N a digit, L a letter a-z, - the hyphen, H any other.
    QString shape;
    // The split into the fewest pinyin syllables, joined by "'" ("zhong'guo"); empty when the label
    // does not split.
    QString pinyin;
    NameTags tags;
};

// Of the name's label, as splitDomain() gives it (lower case, ACE labels decoded).
NameAppraisal appraise(const QString &domain);
// Of a label as splitDomain() gives it; upper-case letters are characters of no kind here.
NameAppraisal appraiseLabel(QStringView label);

// "纯数字", "两杂", ...
QString tagText(NameTag tag);
// The tags' texts in the vocabulary's order, the repeat shape among them.
QStringList tagTexts(const NameTags &tags);
// Every text of the vocabulary in its order, repeat shapes left out.
QStringList vocabulary();
std::optional<NameTag> nameTagFromText(QStringView text);
// The code of a repeat shape that a name of 2 to 6 characters can have ("AAB", "ABAB", not "ABC" nor
// "BA"); 0 for any other text.
quint64 repeatCodeOf(QStringView shape);
// Whether the text names a tag: one of the vocabulary or a repeat shape.
bool isTagText(QStringView text);

// Whether the label is a word of the system's English word list (its lower-case a-z entries of three
// letters or more), read once when first asked. Never true when the list is missing.
bool isEnglishWord(QStringView label);
