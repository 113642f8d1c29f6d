#include "core/appraise/appraisal.h"

#include "core/filter/domainfilter.h"

#include <QByteArray>
#include <QFile>
#include <QSet>

#include <algorithm>
#include <array>
#include <vector>

namespace {

constexpr int TagCount = int(NameTag::Count);

const std::array<const char16_t *, TagCount> &tagTextTable()
{
    static const std::array<const char16_t *, TagCount> texts { u"纯数字", u"纯字母", u"杂米", u"含横杠", u"中文",
        u"一数字", u"两数字", u"三数字", u"四数字", u"五数字", u"六数字", u"七数字", u"八数字", u"九数字", u"十数字",
        u"一字母", u"两字母", u"三字母", u"四字母", u"五字母", u"六字母", u"七字母", u"八字母", u"九字母", u"十字母",
        u"两杂", u"三杂", u"四杂", u"五杂", u"单字", u"两字", u"三字", u"四字", u"两声母", u"三声母", u"四声母",
        u"五声母", u"六声母", u"单拼", u"双拼", u"三拼", u"四拼", u"英文单词", u"顺子", u"无4", u"无04" };
    return texts;
}

NameTag offsetTag(NameTag first, int offset)
{
    return NameTag(int(first) + offset);
}

// The syllables of Mandarin without tones, ü written v (lue and nue accepted too), no interjections.
const char *const SyllableList = "a ai an ang ao "
                                 "ba bai ban bang bao bei ben beng bi bian biao bie bin bing bo bu "
                                 "ca cai can cang cao ce cen ceng cha chai chan chang chao che chen cheng chi chong "
                                 "chou chu chua chuai chuan chuang chui chun chuo ci cong cou cu cuan cui cun cuo "
                                 "da dai dan dang dao de dei den deng di dia dian diao die ding diu dong dou du duan "
                                 "dui dun duo "
                                 "e ei en eng er "
                                 "fa fan fang fei fen feng fo fou fu "
                                 "ga gai gan gang gao ge gei gen geng gong gou gu gua guai guan guang gui gun guo "
                                 "ha hai han hang hao he hei hen heng hong hou hu hua huai huan huang hui hun huo "
                                 "ji jia jian jiang jiao jie jin jing jiong jiu ju juan jue jun "
                                 "ka kai kan kang kao ke kei ken keng kong kou ku kua kuai kuan kuang kui kun kuo "
                                 "la lai lan lang lao le lei leng li lia lian liang liao lie lin ling liu lo long lou "
                                 "lu luan lue lun luo lv lve "
                                 "ma mai man mang mao me mei men meng mi mian miao mie min ming miu mo mou mu "
                                 "na nai nan nang nao ne nei nen neng ni nian niang niao nie nin ning niu nong nou nu "
                                 "nuan nue nuo nv nve "
                                 "o ou "
                                 "pa pai pan pang pao pei pen peng pi pian piao pie pin ping po pou pu "
                                 "qi qia qian qiang qiao qie qin qing qiong qiu qu quan que qun "
                                 "ran rang rao re ren reng ri rong rou ru rua ruan rui run ruo "
                                 "sa sai san sang sao se sen seng sha shai shan shang shao she shei shen sheng shi "
                                 "shou shu shua shuai shuan shuang shui shun shuo si song sou su suan sui sun suo "
                                 "ta tai tan tang tao te tei teng ti tian tiao tie ting tong tou tu tuan tui tun tuo "
                                 "wa wai wan wang wei wen weng wo wu "
                                 "xi xia xian xiang xiao xie xin xing xiong xiu xu xuan xue xun "
                                 "ya yan yang yao ye yi yin ying yo yong you yu yuan yue yun "
                                 "za zai zan zang zao ze zei zen zeng zha zhai zhan zhang zhao zhe zhei zhen zheng zhi "
                                 "zhong zhou zhu zhua zhuai zhuan zhuang zhui zhun zhuo zi zong zou zu zuan zui zun "
                                 "zuo";

// The syllables as a trie over a-z: one walk from a letter finds every syllable that begins there.
class SyllableTrie
{
public:
    SyllableTrie()
    {
        m_nodes.emplace_back();
        int node = 0;
        for (const char *c = SyllableList;; ++c) {
            if (*c == ' ' || *c == '\0') {
                m_nodes[std::size_t(node)].isEnd = true;
                node = 0;
                if (*c == '\0')
                    break;
                continue;
            }
            const std::size_t letter = std::size_t(*c - 'a');
            if (m_nodes[std::size_t(node)].children[letter] == 0) {
                m_nodes[std::size_t(node)].children[letter] = qint16(m_nodes.size());
                m_nodes.emplace_back();
            }
            node = m_nodes[std::size_t(node)].children[letter];
        }
    }

    // Calls found(length) for each syllable that begins at letters, shortest first.
    template <typename Found> void syllablesAt(const char *letters, qsizetype left, Found found) const
    {
        int node = 0;
        for (qsizetype length = 1; length <= left; ++length) {
            node = m_nodes[std::size_t(node)].children[std::size_t(letters[length - 1] - 'a')];
            if (node == 0)
                return;
            if (m_nodes[std::size_t(node)].isEnd)
                found(int(length));
        }
    }

private:
    struct Node
    {
        std::array<qint16, 26> children {};
        bool isEnd = false;
    };
    std::vector<Node> m_nodes;
};

const SyllableTrie &syllables()
{
    static const SyllableTrie trie;
    return trie;
}

// The split into the fewest syllables, ties to the longest first syllable, then second, ...: from the
// end backwards, each place keeps the best split of what follows it. Lengths of the syllables go to
// lengths; their count, or 0 when the letters do not split.
int splitPinyin(const char *letters, int size, int *counts, unsigned char *firstLengths)
{
    constexpr int None = 1 << 30;
    counts[size] = 0;
    for (int at = size - 1; at >= 0; --at) {
        counts[at] = None;
        firstLengths[at] = 0;
        syllables().syllablesAt(letters + at, size - at, [&](int length) {
            const int count = counts[at + length] + 1;
            // Longer syllables come later: "<=" keeps the longest of those with the fewest.
            if (count <= counts[at]) {
                counts[at] = count;
                firstLengths[at] = (unsigned char)length;
            }
        });
    }
    return counts[0] >= None ? 0 : counts[0];
}

QString joinedPinyin(const char *letters, int size, int syllableCount, const unsigned char *firstLengths)
{
    QString text(size + syllableCount - 1, Qt::Uninitialized);
    QChar *out = text.data();
    for (int at = 0; at < size;) {
        if (at > 0)
            *out++ = u'\'';
        for (const int end = at + firstLengths[at]; at < end; ++at)
            *out++ = QLatin1Char(letters[at]);
    }
    return text;
}

bool isCjkUnifiedIdeograph(char32_t c)
{
    return (c >= 0x4e00 && c <= 0x9fff) || (c >= 0x3400 && c <= 0x4dbf) || (c >= 0x20000 && c <= 0x2a6df)
        || (c >= 0x2a700 && c <= 0x2ee5f) || (c >= 0x30000 && c <= 0x323af);
}

bool isInitial(char c)
{
    // b p m f d t n l g k h j q x r z c s y w
    constexpr quint32 initials = [] {
        quint32 set = 0;
        for (const char letter : "bpmfdtnlgkhjqxrzcsyw")
            set |= letter ? quint32(1) << (letter - 'a') : 0;
        return set;
    }();
    return (initials >> (c - 'a')) & 1;
}

// Shapes of up to six characters, A for the first distinct one: one byte each, the first lowest.
quint64 repeatCodeOfCharacters(const char *characters, int size)
{
    if (size < 2 || size > 6)
        return 0;
    std::array<char, 6> seen {};
    int distinct = 0;
    quint64 code = 0;
    for (int i = 0; i < size; ++i) {
        int letter = 0;
        while (letter < distinct && seen[std::size_t(letter)] != characters[i])
            ++letter;
        if (letter == distinct)
            seen[std::size_t(distinct++)] = characters[i];
        code |= quint64('A' + letter) << (8 * i);
    }
    return distinct <= (size + 1) / 2 ? code : 0;
}

bool isStraight(const char *digits, int size)
{
    if (size < 3)
        return false;
    for (int i = 1; i < size; ++i) {
        if (digits[i] != digits[i - 1] + 1)
            return false;
    }
    return true;
}

QSet<QByteArray> readWordList()
{
    QSet<QByteArray> words;
    QFile file(QStringLiteral("/usr/share/dict/words"));
    if (!file.open(QIODevice::ReadOnly))
        return words;
    const QByteArray text = file.readAll();
    words.reserve(70000);
    for (const QByteArray &line : text.split('\n')) {
        if (line.size() >= 3 && std::all_of(line.cbegin(), line.cend(), [](char c) { return c >= 'a' && c <= 'z'; }))
            words.insert(line);
    }
    return words;
}

// Magic statics: the first caller reads it, any other waits for it.
const QSet<QByteArray> &wordList()
{
    static const QSet<QByteArray> words = readWordList();
    return words;
}

bool isWord(const char *letters, int size)
{
    return size >= 3 && wordList().contains(QByteArray::fromRawData(letters, size));
}

} // namespace

QString NameTags::repeatShape() const
{
    QString shape;
    for (quint64 code = m_repeat; code != 0; code >>= 8)
        shape += QLatin1Char(char(code & 0xff));
    return shape;
}

NameAppraisal appraise(const QString &domain)
{
    return appraiseLabel(splitDomain(domain).label);
}

NameAppraisal appraiseLabel(QStringView label)
{
    NameAppraisal appraisal;
    if (label.isEmpty())
        return appraisal;
    // Labels of digits, letters and hyphens are read again from a copy in bytes: DNS labels are at
    // most 63, so one on the stack almost always does.
    constexpr int StackSize = 64;
    std::array<char, StackSize> stackBytes;
    std::vector<char> heapBytes;
    char *bytes = stackBytes.data();
    if (label.size() > StackSize) {
        heapBytes.resize(std::size_t(label.size()));
        bytes = heapBytes.data();
    }

    appraisal.shape.resize(label.size());
    QChar *shape = appraisal.shape.data();
    int length = 0, digits = 0, letters = 0, hyphens = 0, ideographs = 0;
    bool four = false, zero = false, initialsOnly = true;
    for (qsizetype i = 0; i < label.size(); ++i) {
        char32_t c = label[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < label.size() && label[i + 1].isLowSurrogate())
            c = QChar::surrogateToUcs4(char16_t(c), label[++i].unicode());
        char kind = 'H';
        if (c >= '0' && c <= '9') {
            kind = 'N';
            ++digits;
            four = four || c == '4';
            zero = zero || c == '0';
        } else if (c >= 'a' && c <= 'z') {
            kind = 'L';
            ++letters;
            initialsOnly = initialsOnly && isInitial(char(c));
        } else if (c == '-') {
            kind = '-';
            ++hyphens;
        } else if (isCjkUnifiedIdeograph(c)) {
            ++ideographs;
        }
        if (kind != 'H')
            bytes[length] = char(c);
        shape[length++] = QLatin1Char(kind);
    }
    appraisal.shape.truncate(length);

    NameTags &tags = appraisal.tags;
    if (digits == length) {
        tags.insert(NameTag::DigitsOnly);
        if (length <= 10)
            tags.insert(offsetTag(NameTag::Digits1, length - 1));
        tags.setRepeatCode(repeatCodeOfCharacters(bytes, length));
        if (isStraight(bytes, length))
            tags.insert(NameTag::Straight);
        if (!four)
            tags.insert(NameTag::NoFour);
        if (!four && !zero)
            tags.insert(NameTag::NoZeroOrFour);
    } else if (letters == length) {
        tags.insert(NameTag::LettersOnly);
        if (length <= 10)
            tags.insert(offsetTag(NameTag::Letters1, length - 1));
        if (initialsOnly && length >= 2 && length <= 6)
            tags.insert(offsetTag(NameTag::Initials2, length - 2));
        std::array<int, StackSize + 1> stackCounts;
        std::array<unsigned char, StackSize> stackLengths;
        std::vector<int> heapCounts;
        std::vector<unsigned char> heapLengths;
        int *counts = stackCounts.data();
        unsigned char *firstLengths = stackLengths.data();
        if (length > StackSize) {
            heapCounts.resize(std::size_t(length) + 1);
            heapLengths.resize(std::size_t(length));
            counts = heapCounts.data();
            firstLengths = heapLengths.data();
        }
        if (const int syllableCount = splitPinyin(bytes, length, counts, firstLengths)) {
            appraisal.pinyin = joinedPinyin(bytes, length, syllableCount, firstLengths);
            if (syllableCount <= 4)
                tags.insert(offsetTag(NameTag::Syllables1, syllableCount - 1));
        }
        if (isWord(bytes, length))
            tags.insert(NameTag::EnglishWord);
        tags.setRepeatCode(repeatCodeOfCharacters(bytes, length));
    } else if (digits + letters == length && digits > 0 && letters > 0) {
        tags.insert(NameTag::DigitsAndLetters);
        if (length <= 5)
            tags.insert(offsetTag(NameTag::Mixed2, length - 2));
    } else if (hyphens > 0 && digits + letters + hyphens == length) {
        tags.insert(NameTag::WithHyphen);
    } else {
        tags.insert(NameTag::Chinese);
        if (ideographs == length && length <= 4)
            tags.insert(offsetTag(NameTag::Han1, length - 1));
    }
    return appraisal;
}

QString tagText(NameTag tag)
{
    return int(tag) < TagCount ? QString::fromUtf16(tagTextTable()[std::size_t(tag)]) : QString();
}

QStringList tagTexts(const NameTags &tags)
{
    // Texts made once: a table shows them for every row it paints.
    static const QStringList all = vocabulary();
    QStringList texts;
    for (int tag = 0; tag < TagCount; ++tag) {
        if (tag == int(NameTag::Straight) && tags.repeatCode() != 0)
            texts.append(tags.repeatShape());
        if (tags.contains(NameTag(tag)))
            texts.append(all[tag]);
    }
    return texts;
}

QStringList vocabulary()
{
    QStringList texts;
    for (int tag = 0; tag < TagCount; ++tag)
        texts.append(tagText(NameTag(tag)));
    return texts;
}

std::optional<NameTag> nameTagFromText(QStringView text)
{
    for (int tag = 0; tag < TagCount; ++tag) {
        if (text == QStringView(tagTextTable()[std::size_t(tag)]))
            return NameTag(tag);
    }
    return std::nullopt;
}

quint64 repeatCodeOf(QStringView shape)
{
    if (shape.size() < 2 || shape.size() > 6)
        return 0;
    std::array<char, 6> characters {};
    for (qsizetype i = 0; i < shape.size(); ++i) {
        if (shape[i] < u'A' || shape[i] > u'F')
            return 0;
        characters[std::size_t(i)] = char(shape[i].unicode());
    }
    // A shape is its own shape when its letters come in order: "BA" is "AB", and is none.
    const quint64 code = repeatCodeOfCharacters(characters.data(), int(shape.size()));
    NameTags asGiven;
    asGiven.setRepeatCode(code);
    return code != 0 && asGiven.repeatShape() == shape ? code : 0;
}

bool isTagText(QStringView text)
{
    return nameTagFromText(text) || repeatCodeOf(text) != 0;
}

bool isEnglishWord(QStringView label)
{
    if (label.size() < 3 || label.size() > 64)
        return false;
    std::array<char, 64> letters;
    for (qsizetype i = 0; i < label.size(); ++i) {
        if (label[i] < u'a' || label[i] > u'z')
            return false;
        letters[std::size_t(i)] = char(label[i].unicode());
    }
    return isWord(letters.data(), int(label.size()));
}
