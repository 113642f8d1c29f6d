// The appraisal of a name: its shape, pinyin and tags for every tag at its bounds, the pinyin tie rule,
// upper case and ACE input, and the texts the tags are named by.
#include "core/appraise/appraisal.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestAppraisal : public QObject
{
    Q_OBJECT
private slots:
    void appraise_data()
    {
        QTest::addColumn<QString>("domain");
        QTest::addColumn<QString>("shape");
        QTest::addColumn<QString>("tags"); // in the vocabulary's order, blank-separated
        QTest::addColumn<QString>("pinyin");
        const auto row
            = [](const char *name, const char *domain, const char *shape, const char *tags, const char *pinyin = "") {
                  QTest::newRow(name) << QString::fromUtf8(domain) << QString::fromUtf8(shape)
                                      << QString::fromUtf8(tags) << QString::fromUtf8(pinyin);
              };
        // The examples.
        row("8888", "8888.com", "NNNN", "纯数字 四数字 AAAA 无4 无04");
        row("initials", "bjdx.com", "LLLL", "纯字母 四字母 四声母");
        row("two syllables and a word", "shanghai.cn", "LLLLLLLL", "纯字母 八字母 双拼 英文单词", "shang'hai");
        row("digits and letters", "51job.com", "NNLLL", "杂米 五杂");
        row("four syllables, no length tag past ten", "zhonghuarenmin.com", "LLLLLLLLLLLLLL", "纯字母 四拼",
            "zhong'hua'ren'min");
        row("ACE label", "xn--fiqs8s.com", "HH", "中文 两字");

        // Digits at their bounds, with and without 0 and 4.
        row("one digit", "7.com", "N", "纯数字 一数字 无4 无04");
        row("two different digits", "12.cn", "NN", "纯数字 两数字 无4 无04");
        row("two same digits", "00.cn", "NN", "纯数字 两数字 AA 无4");
        row("six digits, a straight", "123456.com", "NNNNNN", "纯数字 六数字 顺子");
        row("seven digits with a 4", "1234567.com", "NNNNNNN", "纯数字 七数字 顺子");
        row("seven same digits: no repeat shape", "1111111.com", "NNNNNNN", "纯数字 七数字 无4 无04");
        row("ten digits, a 0", "1231231230.com", "NNNNNNNNNN", "纯数字 十数字 无4");
        row("eleven digits", "55555555555.com", "NNNNNNNNNNN", "纯数字 无4 无04");
        row("straight from 0", "0123.com", "NNNN", "纯数字 四数字 顺子 无4");
        row("no straight across 9", "7890.com", "NNNN", "纯数字 四数字 无4");
        row("two digits are no straight", "45.com", "NN", "纯数字 两数字");
        row("AABB", "1122.com", "NNNN", "纯数字 四数字 AABB 无4 无04");
        row("ABAB", "1212.com", "NNNN", "纯数字 四数字 ABAB 无4 无04");
        row("AABA with a 4", "8848.com", "NNNN", "纯数字 四数字 AABA");
        row("half distinct, rounded up", "121.com", "NNN", "纯数字 三数字 ABA 无4 无04");
        row("too many distinct", "1234.com", "NNNN", "纯数字 四数字 顺子");
        row("AABBCC", "112233.com", "NNNNNN", "纯数字 六数字 AABBCC 无4 无04");
        row("ABCABC", "520520.com", "NNNNNN", "纯数字 六数字 ABCABC 无4");

        // Letters at their bounds.
        row("one letter, one syllable", "a.com", "L", "纯字母 一字母 单拼", "a");
        row("two initials", "bb.com", "LL", "纯字母 两字母 两声母 AA");
        row("six initials", "bcdfgh.com", "LLLLLL", "纯字母 六字母 六声母");
        row("seven initials: no initials tag", "bcdfghj.com", "LLLLLLL", "纯字母 七字母");
        row("a vowel is no initial", "bja.com", "LLL", "纯字母 三字母");
        row("AAA", "www.com", "LLL", "纯字母 三字母 三声母 AAA");
        row("a word, no pinyin", "apple.com", "LLLLL", "纯字母 五字母 英文单词");
        row("ten letters", "helloworld.com", "LLLLLLLLLL", "纯字母 十字母");
        row("eleven letters", "tianshangren.com", "LLLLLLLLLLLL", "纯字母 三拼", "tian'shang'ren");
        row("one syllable, not two", "xian.com", "LLLL", "纯字母 四字母 单拼", "xian");
        row("word and pinyin", "house.com", "LLLLL", "纯字母 五字母 双拼 英文单词", "hou'se");
        row("three syllables and a word", "banana.com", "LLLLLL", "纯字母 六字母 三拼 英文单词 ABCBCB", "ban'an'a");
        row("tie: longest first syllable", "fangan.com", "LLLLLL", "纯字母 六字母 双拼", "fang'an");
        row("tie again", "changan.com", "LLLLLLL", "纯字母 七字母 双拼", "chang'an");
        row("four syllables, ten letters", "wobuzhidao.com", "LLLLLLLLLL", "纯字母 十字母 四拼", "wo'bu'zhi'dao");
        row("five syllables: no syllable tag", "wobuzhidaole.com", "LLLLLLLLLLLL", "纯字母", "wo'bu'zhi'dao'le");
        row("lve", "lve.com", "LLL", "纯字母 三字母 单拼", "lve");
        row("lue", "lue.com", "LLL", "纯字母 三字母 单拼", "lue");
        row("nv", "nvren.com", "LLLLL", "纯字母 五字母 双拼", "nv'ren");
        row("upper case", "ZhongGuo.COM", "LLLLLLLL", "纯字母 八字母 双拼", "zhong'guo");

        // Mixed, hyphens, and everything else.
        row("two mixed", "a1.com", "LN", "杂米 两杂");
        row("six mixed: no length tag", "a1b2c3.com", "LNLNLN", "杂米");
        row("hyphen", "a-b.com", "L-L", "含横杠");
        row("hyphen and digits", "3d-8.com.cn", "NL-N", "含横杠");
        row("one Chinese character", "中.com", "H", "中文 单字");
        row("four Chinese characters", "中文网站.cn", "HHHH", "中文 四字");
        row("five Chinese characters", "中文网站名.cn", "HHHHH", "中文");
        row("Chinese and digits", "中文88.com", "HHNN", "中文");
        row("beyond the BMP, one character", "\xf0\xa0\x80\x80.com", "H", "中文 单字");
        row("accented letter", "café.com", "LLLH", "中文");
        row("empty label", ".com", "", "");
    }

    void appraise()
    {
        QFETCH(QString, domain);
        QFETCH(QString, shape);
        QFETCH(QString, tags);
        QFETCH(QString, pinyin);
        const NameAppraisal appraisal = ::appraise(domain);
        QCOMPARE(appraisal.shape, shape);
        QCOMPARE(tagTexts(appraisal.tags).join(u' '), tags);
        QCOMPARE(appraisal.pinyin, pinyin);
    }

    void tagNames_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("known");
        for (const char *text : { "纯数字", "两杂", "单字", "六声母", "四拼", "英文单词", "顺子", "无04", "AA", "ABA",
                 "AABBCC", "ABCABC", "AAAB" })
            QTest::newRow(text) << QString::fromUtf8(text) << true;
        for (const char *text :
            { "", "十一数字", "一杂", "七声母", "五拼", "A", "AB", "ABC", "BA", "ABCD", "AAAAAAA", "aabb", "纯数字 " })
            QTest::addRow("unknown \"%s\"", text) << QString::fromUtf8(text) << false;
    }

    // What a filter accepts as a tag: the vocabulary's texts and repeat shapes a name can have.
    void tagNames()
    {
        QFETCH(QString, text);
        QFETCH(bool, known);
        QCOMPARE(isTagText(text), known);
    }

    void vocabularyInOrder()
    {
        const QStringList texts = vocabulary();
        QCOMPARE(texts.size(), int(NameTag::Count));
        QCOMPARE(
            texts.mid(0, 6), QStringList({ u"纯数字"_s, u"纯字母"_s, u"杂米"_s, u"含横杠"_s, u"中文"_s, u"一数字"_s }));
        QCOMPARE(texts.constLast(), u"无04"_s);
        for (int tag = 0; tag < int(NameTag::Count); ++tag)
            QCOMPARE(nameTagFromText(texts[tag]), NameTag(tag));
    }
};

QTEST_GUILESS_MAIN(TestAppraisal)
#include "tst_appraisal.moc"
