// The domain filter: where a name's suffix begins, the kind of its label, and every option of the
// filter alone and combined, on IDN names, upper case, trailing dots and empty names.
#include "core/filter/domainfilter.h"
#include "tests/sitetest.h"

#include <QTest>

Q_DECLARE_METATYPE(NameKind)

class TestDomainFilter : public QObject
{
    Q_OBJECT
private slots:
    void splitDomain_data()
    {
        QTest::addColumn<QString>("domain");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("suffix");
        const auto row = [](const char *name, const char *domain, const char *label, const char *suffix) {
            QTest::newRow(name) << QString::fromUtf8(domain) << QString::fromUtf8(label) << QString::fromUtf8(suffix);
        };
        row("one label", "abc.com", "abc", ".com");
        row("upper case and a trailing dot", "ABC.Com.", "abc", ".com");
        for (const char *suffix : { ".com.cn", ".net.cn", ".org.cn", ".gov.cn", ".edu.cn", ".ac.cn", ".mil.cn",
                 ".bj.cn", ".sh.cn", ".gd.cn", ".com.hk", ".com.tw", ".co.uk" })
            QTest::addRow("under %s", suffix) << QStringLiteral("A-1") + QLatin1String(suffix).toString().toUpper()
                                              << QStringLiteral("a-1") << QString::fromLatin1(suffix);
        row("an unknown second level stays in the label", "abc.co.jp", "abc.co", ".jp");
        row("a suffix alone falls under its last label", "com.cn", "com", ".cn");
        row("Chinese label", "中文.com", "中文", ".com");
        row("ACE in upper case, trailing dot", "XN--FIQ228C.COM.", "中文", ".com");
        row("Chinese suffix", "例子.中国", "例子", ".中国");
        row("ACE label and suffix", "xn--fsqu00a.xn--fiqs8s", "例子", ".中国");
        row("ideographic full stop", "例子。中国", "例子", ".中国");
        row("no suffix", "localhost", "localhost", "");
        row("empty name", "", "", "");
    }

    void splitDomain()
    {
        QFETCH(QString, domain);
        QFETCH(QString, label);
        QFETCH(QString, suffix);
        const DomainParts parts = ::splitDomain(domain);
        QCOMPARE(parts.label, label);
        QCOMPARE(parts.suffix, suffix);
    }

    void kindOf_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<NameKind>("kind");
        QTest::newRow("digits") << QStringLiteral("8888") << NameKind::DigitsOnly;
        QTest::newRow("every digit") << QStringLiteral("0123456789") << NameKind::DigitsOnly;
        QTest::newRow("nines") << QStringLiteral("9999") << NameKind::DigitsOnly;
        QTest::newRow("letters and a nine") << QStringLiteral("z9") << NameKind::DigitsAndLetters;
        QTest::newRow("letters") << QStringLiteral("abc") << NameKind::LettersOnly;
        QTest::newRow("upper-case letters") << QStringLiteral("ABC") << NameKind::LettersOnly;
        QTest::newRow("digits and letters") << QStringLiteral("a1b2") << NameKind::DigitsAndLetters;
        QTest::newRow("hyphen") << QStringLiteral("a-1") << NameKind::WithHyphen;
        QTest::newRow("Chinese") << QStringLiteral("中文") << NameKind::Chinese;
        QTest::newRow("Chinese with digits and hyphen") << QStringLiteral("中文-88") << NameKind::Chinese;
        QTest::newRow("Han beyond the BMP counts") << QStringLiteral("\U00020000") << NameKind::Chinese;
        QTest::newRow("accented letter") << QStringLiteral("café") << NameKind::Any;
        QTest::newRow("underscore") << QStringLiteral("a_b") << NameKind::Any;
        QTest::newRow("empty") << QString() << NameKind::Any;
    }

    void kindOf()
    {
        QFETCH(QString, label);
        QFETCH(NameKind, kind);
        QCOMPARE(::kindOf(label), kind);
        // Each kind's text reads back as the kind, in any case.
        if (kind != NameKind::Any) {
            QCOMPARE(nameKindFromText(nameKindText(kind)), kind);
            QCOMPARE(nameKindFromText(nameKindText(kind).toUpper()), kind);
        }
    }

    void kindTexts()
    {
        QCOMPARE(nameKindText(NameKind::DigitsOnly), QStringLiteral("digits"));
        QCOMPARE(nameKindText(NameKind::DigitsAndLetters), QStringLiteral("alnum"));
        QCOMPARE(nameKindText(NameKind::Chinese), QStringLiteral("chinese"));
        for (const char *text : { "", "any", "digit", "chinese-ish" })
            QCOMPARE(nameKindFromText(QLatin1String(text)), std::nullopt);
    }

    void labelPatternCharacters()
    {
        QCOMPARE(badLabelPatternCharacter(QStringLiteral("CVLN?-az09")), std::nullopt);
        for (const char *pattern : { "CVX", "cv.", "A", "中" })
            QCOMPARE(badLabelPatternCharacter(QString::fromUtf8(pattern)), QString::fromUtf8(pattern).back());
    }

    void matches_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("domain");
        QTest::addColumn<bool>("kept");
        const auto row = [](const char *name, const char *filter, const char *domain, bool kept) {
            QTest::newRow(name) << QString::fromUtf8(filter) << QString::fromUtf8(domain) << kept;
        };
        const char *ace = "XN--FIQ228C.COM."; // 中文.com
        row("no option keeps a name", "", "abc.com", true);
        row("no option, empty name", "", "", false);
        row("no option, a dot alone", "", ".", false);
        row("contains, empty name", "contains=", "", false);
        row("suffix with dot", "suffix=.com", "ABC.COM.", true);
        row("suffix without dot, upper case", "suffix=COM", "abc.com", true);
        row("suffix .cn is not .com.cn", "suffix=.cn", "abc.com.cn", false);
        row("suffix .com.cn", "suffix=.net|.com.cn", "abc.com.cn", true);
        row("suffix .中国 on an ACE name", "suffix=.中国", "xn--fsqu00a.xn--fiqs8s", true);
        row("suffix in ACE on a Unicode name", "suffix=xn--fiqs8s", "例子.中国", true);
        row("Han characters count one each", "min=3 max=3", "中文网.com", true);
        row("ACE name counted in characters", "min=3", ace, false);
        row("longer than the maximum", "max=4", "abcde.com", false);
        row("the suffix is not counted", "max=3", "abc.com.cn", true);
        row("kind digits", "kind=digits", "8888.com", true);
        row("kind digits with nines", "kind=digits", "1999.com", true);
        row("kind Chinese on an ACE name", "kind=chinese", ace, true);
        row("kind letters on upper case", "kind=letters", "ABC.COM", true);
        row("contains, any case", "contains=BC", "abc.com", true);
        row("contains spans the suffix", "contains=c.co", "abc.com", true);
        row("contains Chinese in an ACE name", "contains=文", ace, true);
        row("starts with, any case", "start=AB", "abc.com", true);
        row("starts with looks at the label only", "start=com", "abc.com", false);
        row("ends with the label's end", "end=C", "abc.com", true);
        row("ends with is not the suffix's end", "end=m", "abc.com", false);
        row("excluded text present", "exclude=x|BC", "abc.com", false);
        row("excluded text absent", "exclude=x|4", "abc.com", true);
        row("pattern on the whole name", "regex=^\\d{4}\\.com$", "8888.COM.", true);
        row("pattern found inside", "regex=8{2}", "a88b.com", true);
        row("pattern sees Unicode", "regex=^中文\\.com$", ace, true);
        row("pattern sees lower case", "regex=ABC", "ABC.com", false);
        row("tag", "tag=双拼", "taobao.com", true);
        row("tag that does not hold", "tag=双拼", "zhongguoren.com", false);
        row("tags: all of them hold", "tag=纯数字|AABB|无4", "1122.cn", true);
        row("tags: one does not hold", "tag=纯数字|AABB", "1212.cn", false);
        row("two repeat shapes at once", "tag=AABB|ABAB", "1122.cn", false);
        row("a required text that is no tag", "tag=nope", "abc.com", false);
        row("tag on an ACE name", "tag=两字", "XN--FIQS8S.COM", true);
        row("excluded tag", "nottag=无4", "8848.com", true);
        row("excluded repeat shape", "nottag=ABAB|AAAA", "8888.com", false);
        row("pattern CVCV", "pattern=CVCV", "boka.com", true);
        row("pattern is the whole label", "pattern=CVCV", "bokaa.com", false);
        row("pattern with digits for themselves", "pattern=NN88", "5288.com", true);
        row("pattern: y is a consonant", "pattern=V", "y.com", false);
        row("pattern: any character and a hyphen", "pattern=L?-N", "a中-8.com", true);
        row("pattern: the label under .com.cn", "pattern=LLL", "abc.com.cn", true);
        const char *combined = "suffix=.com|.net min=4 max=5 kind=digits start=8 exclude=4";
        row("combined: kept", combined, "8888.NET", true);
        row("combined: excluded digit", combined, "8848.net", false);
        row("combined: too short", combined, "888.net", false);
        row("combined: other suffix", combined, "8888.org", false);
        row("combined: wrong start", combined, "6888.com", false);
        row("combined: not digits", combined, "8a88.com", false);
    }

    void matches()
    {
        QFETCH(QString, filter);
        QFETCH(QString, domain);
        QFETCH(bool, kept);
        QCOMPARE(filterFrom(filter).matches(domain), kept);
        // Any option with a value makes the filter non-empty.
        QCOMPARE(filterFrom(filter).isEmpty(), !filter.contains(u'=') || filter.endsWith(u'='));
    }
};

QTEST_GUILESS_MAIN(TestDomainFilter)
#include "tst_domainfilter.moc"
