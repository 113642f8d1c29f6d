// The page-count text read as a number, and the last page a run with that count fetches.
#include "core/collect/pagecount.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace Qt::Literals::StringLiterals;

class TstPageCount : public QObject
{
    Q_OBJECT
private slots:
    void readPageCount_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<double>>("count");

        const double infinity = std::numeric_limits<double>::infinity();
        const std::optional<double> refused;
        QTest::newRow("zero") << u"0"_s << std::optional(0.0);
        QTest::newRow("negative") << u"-3"_s << std::optional(-3.0);
        QTest::newRow("plus sign") << u"+4"_s << std::optional(4.0);
        QTest::newRow("fraction") << u"2.5"_s << std::optional(2.5);
        QTest::newRow("leading point") << u".5"_s << std::optional(0.5);
        QTest::newRow("trailing point") << u"5."_s << std::optional(5.0);
        QTest::newRow("exponent") << u"1e2"_s << std::optional(100.0);
        QTest::newRow("signed exponent in capitals") << u"25E-1"_s << std::optional(2.5);
        QTest::newRow("blanks around") << u"  7 "_s << std::optional(7.0);
        QTest::newRow("huge negative") << u"-1e999"_s << std::optional(-infinity);
        QTest::newRow("too many digits despite a negative exponent")
            << (u"1"_s + QString(400, u'0') + u"e-1"_s) << std::optional(infinity);
        QTest::newRow("too small despite a positive exponent")
            << (u"0."_s + QString(400, u'0') + u"1e+5"_s) << std::optional(0.0);
        QTest::newRow("empty") << QString() << refused;
        QTest::newRow("blanks only") << u"  "_s << refused;
        QTest::newRow("digit and letter") << u"1a"_s << refused;
        QTest::newRow("sign alone") << u"-"_s << refused;
        QTest::newRow("point alone") << u"."_s << refused;
        QTest::newRow("two points") << u"1.2.3"_s << refused;
        QTest::newRow("exponent without digits") << u"1e"_s << refused;
        QTest::newRow("hexadecimal") << u"0x10"_s << refused;
        QTest::newRow("group separator") << u"1,000"_s << refused;
        QTest::newRow("decimal comma") << u"2,5"_s << refused;
        QTest::newRow("infinity word") << u"inf"_s << refused;
        QTest::newRow("blank inside") << u"1 2"_s << refused;
        QTest::newRow("line break after the number") << u"1\n"_s << refused;
        QTest::newRow("tab after the number") << u"1\t"_s << refused;
        QTest::newRow("full-width digit") << u"\uFF11"_s << refused;
    }

    void readPageCount()
    {
        QFETCH(QString, text);
        QFETCH(std::optional<double>, count);
        QCOMPARE(::readPageCount(text), count);
    }

    void lastRunPage_data()
    {
        QTest::addColumn<double>("count");
        QTest::addColumn<int>("lastPage");

        QTest::newRow("2.5: the whole pages up to it") << 2.5 << 2;
        QTest::newRow("1") << 1.0 << 1;
        QTest::newRow("just below 1") << 0.999 << 0;
        QTest::newRow("negative") << -4.0 << 0;
        QTest::newRow("not a number") << std::nan("") << 0;
        QTest::newRow("32767") << 32767.0 << 32767;
        QTest::newRow("32767.5") << 32767.5 << 32767;
        QTest::newRow("32768: capped") << 32768.0 << 32767;
        QTest::newRow("infinity: capped") << std::numeric_limits<double>::infinity() << 32767;
    }

    void lastRunPage()
    {
        QFETCH(double, count);
        QFETCH(int, lastPage);
        QCOMPARE(::lastRunPage(count), lastPage);
    }
};

QTEST_GUILESS_MAIN(TstPageCount)
#include "tst_pagecount.moc"
