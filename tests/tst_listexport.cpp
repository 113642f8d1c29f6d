// Writing the domain list and tables to a file: the bytes, replacing a file, and failing without harm.
#include "core/export/csv.h"
#include "core/export/listexport.h"
#include "tests/sitetest.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace Qt::Literals::StringLiterals;

namespace {

QStringList entries(const QTemporaryDir &dir)
{
    return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

} // namespace

class TstListExport : public QObject
{
    Q_OBJECT
private slots:
    void encodeDomainList_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QByteArray>("bytes");

        QTest::newRow("no names") << QStringList() << QByteArray();
        QTest::newRow("three names in order")
            << QStringList { u"c.cn"_s, u"a.com"_s, u"b.net"_s } << QByteArray("c.cn\r\na.com\r\nb.net\r\n");
        QTest::newRow("Chinese name in GBK bytes")
            << QStringList { u"域名.中国"_s } << QByteArray::fromHex("d3f2c3fb2ed6d0b9fa0d0a");
        QTest::newRow("blanks and case kept") << QStringList { u" Ab.COM "_s } << QByteArray(" Ab.COM \r\n");
        QTest::newRow("empty name kept as an empty line")
            << QStringList { u"a.cn"_s, QString() } << QByteArray("a.cn\r\n\r\n");
    }

    void encodeDomainList()
    {
        QFETCH(QStringList, names);
        QFETCH(QByteArray, bytes);
        QCOMPARE(::encodeDomainList(names).toHex(), bytes.toHex());
    }

    // Nothing turns into "?": the file decodes back to exactly the names, each followed by CR LF.
    void csvCellsAreNeverFormulas_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("field");
        QTest::newRow("=") << u"=1+1"_s << u"'=1+1"_s;
        QTest::newRow("+") << u"+86 10"_s << u"'+86 10"_s;
        QTest::newRow("-") << u"-1"_s << u"'-1"_s;
        QTest::newRow("@") << u"@SUM(A1)"_s << u"'@SUM(A1)"_s;
        QTest::newRow("tab") << u"\t=1"_s << u"'\t=1"_s;
        QTest::newRow("CR, quoted as well") << u"\r=1"_s << u"\"'\r=1\""_s;
        QTest::newRow("a quote, quoted as well") << u"=\"a\""_s << u"\"'=\"\"a\"\"\""_s;
        QTest::newRow("inside a value") << u"a=1-2+3@b"_s << u"a=1-2+3@b"_s;
        QTest::newRow("a blank first") << u" =1"_s << u" =1"_s;
        QTest::newRow("empty") << QString() << QString();
    }

    // In a spreadsheet's file a cell that would run as a formula is text.
    void csvCellsAreNeverFormulas()
    {
        QFETCH(QString, value);
        QFETCH(QString, field);
        QCOMPARE(Csv::encode({ u"h"_s }, { { value, u"x"_s } }), "\xEF\xBB\xBFh\r\n" + (field + u",x\r\n"_s).toUtf8());
    }

    void namesOutsideGbkRoundTrip_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("emoji and CJK extension B") << u"😀𠀀.cn"_s;
        QTest::newRow("euro sign") << u"€.net"_s;
        QTest::newRow("NUL and control characters") << (u"a"_s + QChar(u'\0') + u"\u0001\u007f\t.com"_s);
        QTest::newRow("right-to-left marks") << u"\u202Emoc.\u200Fevil\u202C.com"_s;
        QTest::newRow("64 KiB Chinese name") << QString(32 * 1024, u'中') + u".cn"_s;
    }

    void namesOutsideGbkRoundTrip()
    {
        QFETCH(QString, name);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(u"list.txt"_s);
        QString reason;
        QVERIFY2(writeDomainList({ u"a.com"_s, name }, path, &reason), qPrintable(reason));

        const QByteArray bytes = readFile(path);
        QCOMPARE(bytes, ::encodeDomainList({ u"a.com"_s, name }));
        QVERIFY2(!bytes.contains('?'), bytes.left(100).toHex().constData());
        QStringDecoder decoder("GB18030");
        QCOMPARE(QString(decoder.decode(bytes)), u"a.com\r\n"_s + name + u"\r\n"_s);
        QVERIFY(!decoder.hasError());
    }

    void writeReplacesTheFile()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(u"中文名单.txt"_s);
        const QStringList names = numberedNames(u"d"_s, 40000);

        QString reason;
        QVERIFY(writeDomainList(names, path, &reason));
        QCOMPARE(reason, QString());
        QCOMPARE(readFile(path), (names.join(u"\r\n"_s) + u"\r\n"_s).toLatin1());

        QVERIFY(writeDomainList({ u"x.cn"_s }, path));
        QCOMPARE(readFile(path), QByteArray("x.cn\r\n"));
        QCOMPARE(entries(dir), QStringList { u"中文名单.txt"_s });
    }

    void failureKeepsWhatWasThere_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("plainFile");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("reason");

        QTest::newRow("missing folder") << u"missing/list.txt"_s << QString() << QString() << u"文件夹不存在"_s;
        QTest::newRow("parent is a regular file")
            << u"plain.txt/list.txt"_s << u"plain.txt"_s << QString() << u"文件夹不存在"_s;
        QTest::newRow("target is a folder") << u"folder"_s << QString() << u"folder"_s << u"同名的文件夹已存在"_s;
    }

    void failureKeepsWhatWasThere()
    {
        QFETCH(QString, target);
        QFETCH(QString, plainFile);
        QFETCH(QString, folder);
        QFETCH(QString, reason);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray kept("keep me\r\n");
        if (!plainFile.isEmpty())
            QVERIFY(writeFile(dir.filePath(plainFile), kept));
        if (!folder.isEmpty()) {
            QVERIFY(QDir(dir.path()).mkdir(folder));
            QVERIFY(writeFile(dir.filePath(folder + u"/inside.txt"_s), kept));
        }
        const QStringList before = entries(dir);

        QString said;
        QVERIFY(!writeDomainList({ u"a.com"_s, u"b.com"_s }, dir.filePath(target), &said));
        QCOMPARE(said, reason);
        QCOMPARE(entries(dir), before);
        if (!plainFile.isEmpty())
            QCOMPARE(readFile(dir.filePath(plainFile)), kept);
        if (!folder.isEmpty())
            QCOMPARE(readFile(dir.filePath(folder + u"/inside.txt"_s)), kept);
    }

    void diskFullKeepsTheOldFile_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("limit");

        QTest::newRow("disk full while writing: more than the write buffer") << 5000 << 4096;
        QTest::newRow("disk full on commit: all in the write buffer") << 100 << 512;
    }

    void diskFullKeepsTheOldFile()
    {
        QFETCH(int, count);
        QFETCH(int, limit);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(u"old.txt"_s);
        const QByteArray old("old.com\r\nolder.com\r\n");
        QVERIFY(writeFile(path, old));
        const QStringList names = numberedNames(u"d"_s, count);

        // A file size limit stops the writing as a full disk would (tests run as root: permission bits stop
        // nothing); past it a write fails with EFBIG instead of killing the process.
        bool saved = true;
        QString reason;
        {
            rlimit usual {};
            QCOMPARE(getrlimit(RLIMIT_FSIZE, &usual), 0);
            const auto usualHandler = std::signal(SIGXFSZ, SIG_IGN);
            const auto restore = qScopeGuard([&] {
                setrlimit(RLIMIT_FSIZE, &usual);
                std::signal(SIGXFSZ, usualHandler);
            });
            rlimit lowered = usual;
            lowered.rlim_cur = rlim_t(limit);
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &lowered), 0);
            saved = writeDomainList(names, path, &reason);
        }
        QVERIFY(!saved);
        QCOMPARE(reason, u"文件过大，超出了系统允许的大小"_s);
        QCOMPARE(readFile(path), old);
        QCOMPARE(entries(dir), QStringList { u"old.txt"_s }); // no half-written copy beside it
    }
};

QTEST_GUILESS_MAIN(TstListExport)
#include "tst_listexport.moc"
