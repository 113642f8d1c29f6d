// Reading the maker's version file, and what it means for the running program.
#include "core/update/versionfile.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TstVersionFile : public QObject
{
    Q_OBJECT
private slots:
    void versionFile_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("published");
        QTest::addColumn<int>("verdict");

        const int current = VersionVerdict::Current;
        const int newer = VersionVerdict::Newer;
        const int failed = VersionVerdict::Failed;
        QTest::newRow("current") << u"qvrt:V1.4|"_s << u"V1.4"_s << current;
        QTest::newRow("entry among other lines and entries")
            << u"最新版本\r\nvexlon-other:V9.9|\r\nqvrt:V1.4|\r\n更新说明"_s << u"V1.4"_s << current;
        QTest::newRow("V1.5") << u"qvrt:V1.5|"_s << u"V1.5"_s << newer;
        QTest::newRow("only the first entry counts") << u"qvrt:V1.5|more|qvrt:V1.4|"_s << u"V1.5"_s << newer;
        // The version is taken unaltered, so any other spelling is another version.
        QTest::newRow("blank before: \" V1.4\"") << u"qvrt: V1.4|"_s << u" V1.4"_s << newer;
        QTest::newRow("small v: \"v1.4\"") << u"qvrt:v1.4|"_s << u"v1.4"_s << newer;
        QTest::newRow("markup kept as text")
            << u"qvrt:<img src=\"x.png\">V2</a>|"_s << u"<img src=\"x.png\">V2</a>"_s << newer;
        QTest::newRow("64 characters") << u"qvrt:"_s + QString(64, u'9') + u"|"_s << QString(64, u'9') << newer;
        // Read whole, but no version: a broken file must not announce a paragraph or several lines.
        QTest::newRow("65 characters") << u"qvrt:"_s + QString(65, u'9') + u"|"_s << QString(65, u'9') << failed;
        QTest::newRow("line break") << u"qvrt:V1.4\r\n|"_s << u"V1.4\r\n"_s << failed;
        QTest::newRow("tab") << u"qvrt:V1.4\t|"_s << u"V1.4\t"_s << failed;
        QTest::newRow("NUL") << u"qvrt:V1"_s + QChar(u'\0') + u"|"_s << u"V1"_s + QChar(u'\0') << failed;
        QTest::newRow("empty body") << QString() << QString() << failed;
        QTest::newRow("no key") << u"V1.4|"_s << QString() << failed;
        QTest::newRow("key in capitals") << u"QVRT:V1.4|"_s << QString() << failed;
        QTest::newRow("blank before the colon") << u"qvrt :V1.4|"_s << QString() << failed;
        QTest::newRow("key twice") << u"qvrt:qvrt:V1.4|"_s << QString() << failed;
        QTest::newRow("second key before the \"|\"") << u"qvrt:V1.4 qvrt:V1.5|"_s << QString() << failed;
        QTest::newRow("\"|\" only before the key") << u"|qvrt:V1.4"_s << QString() << failed;
        QTest::newRow("not-found page with the key and no \"|\"")
            << u"<html>qvrt: not found</html>"_s << QString() << failed;
        QTest::newRow("empty version") << u"qvrt:|"_s << QString() << failed;
    }

    void versionFile()
    {
        QFETCH(QString, body);
        QFETCH(QString, published);
        QFETCH(int, verdict);

        QCOMPARE(readPublishedVersion(body), published);
        const VersionVerdict judged = judgeVersionFile(body, u"V1.4"_s);
        QCOMPARE(int(judged.kind), verdict);
        if (judged.kind == VersionVerdict::Newer)
            QCOMPARE(judged.version, published);
    }
};

QTEST_GUILESS_MAIN(TstVersionFile)
#include "tst_versionfile.moc"
