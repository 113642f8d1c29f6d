// The text operations every page reader is built from.
#include "app/textops.h"

#include <QTest>

class TstTextOps : public QObject
{
    Q_OBJECT
private slots:
    void pieceAt_data();
    void pieceAt();
    void leadingPieces_data();
    void leadingPieces();
    void textUpTo_data();
    void textUpTo();
    void trimBlanks_data();
    void trimBlanks();
    void valueBefore_data();
    void valueBefore();
};

void TstTextOps::pieceAt_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("marker");
    QTest::addColumn<int>("k");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QString>("piece");

    const QString label = QStringLiteral("删除类型：</label>");
    QTest::newRow("marker once: piece 1 runs to the end") << QStringLiteral("<p><label>删除类型：</label>过期删除</p>")
                                                          << label << 1 << true << QStringLiteral("过期删除</p>");
    QTest::newRow("marker once: piece 0 is the text before it")
        << QStringLiteral("<p><label>删除类型：</label>过期删除</p>") << label << 0 << true
        << QStringLiteral("<p><label>");
    QTest::newRow("marker twice: piece 1 stops at the second")
        << QStringLiteral("a删除类型：</label>first</p>删除类型：</label>second</p>") << label << 1 << true
        << QStringLiteral("first</p>");
    QTest::newRow("marker twice: piece 2 runs to the end")
        << QStringLiteral("a删除类型：</label>first</p>删除类型：</label>second</p>") << label << 2 << true
        << QStringLiteral("second</p>");
    QTest::newRow("marker twice: no piece 3")
        << QStringLiteral("a删除类型：</label>first删除类型：</label>second") << label << 3 << false << QString();
    QTest::newRow("marker missing: no piece 1")
        << QStringLiteral("<p>过期删除</p>") << label << 1 << false << QString();
    QTest::newRow("marker missing: piece 0 is the whole text")
        << QStringLiteral("<p>过期删除</p>") << label << 0 << true << QStringLiteral("<p>过期删除</p>");
    QTest::newRow("empty text: no piece 0") << QString() << label << 0 << false << QString();
    QTest::newRow("empty text: no piece 1") << QString() << label << 1 << false << QString();
    QTest::newRow("marker at the end: piece 1 exists and is empty")
        << QStringLiteral("abc<td>") << QStringLiteral("<td>") << 1 << true << QString();
    QTest::newRow("adjacent markers: empty piece between")
        << QStringLiteral("<td><td>x") << QStringLiteral("<td>") << 1 << true << QString();
    QTest::newRow("matching is case-sensitive")
        << QStringLiteral("<TD>x</TD>") << QStringLiteral("<td>") << 1 << false << QString();
    QTest::newRow("occurrences do not overlap")
        << QStringLiteral("aaab") << QStringLiteral("aa") << 1 << true << QStringLiteral("ab");
    QTest::newRow("negative piece number")
        << QStringLiteral("a<td>b") << QStringLiteral("<td>") << -1 << false << QString();
}

void TstTextOps::pieceAt()
{
    QFETCH(QString, text);
    QFETCH(QString, marker);
    QFETCH(int, k);
    QFETCH(bool, exists);
    QFETCH(QString, piece);

    const std::optional<QString> result = TextOps::pieceAt(text, marker, k);
    QCOMPARE(result.has_value(), exists);
    if (exists)
        QCOMPARE(*result, piece);
}

void TstTextOps::leadingPieces_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("pieces");

    const QString rows = QStringLiteral("head<tr>a<tr>b<tr>c");
    QTest::newRow("fewer occurrences than asked: all pieces after the first marker")
        << rows << 5 << QStringList { QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c") };
    QTest::newRow("as many as asked") << rows << 3
                                      << QStringList { QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c") };
    QTest::newRow("fewer asked: the last one stops at the next marker")
        << rows << 2 << QStringList { QStringLiteral("a"), QStringLiteral("b") };
    QTest::newRow("none asked") << rows << 0 << QStringList();
    QTest::newRow("negative count") << rows << -1 << QStringList();
    QTest::newRow("marker missing") << QStringLiteral("head") << 3 << QStringList();
    QTest::newRow("empty text") << QString() << 3 << QStringList();
    QTest::newRow("marker at the end: one empty piece") << QStringLiteral("a<tr>") << 3 << QStringList { QString() };
    QTest::newRow("adjacent markers: empty pieces")
        << QStringLiteral("<tr><tr><tr>x") << 3 << QStringList { QString(), QString(), QStringLiteral("x") };
    QTest::newRow("matching is case-sensitive")
        << QStringLiteral("<TR>a<tr>b") << 3 << QStringList { QStringLiteral("b") };
}

void TstTextOps::leadingPieces()
{
    QFETCH(QString, text);
    QFETCH(int, count);
    QFETCH(QStringList, pieces);

    const QString marker = QStringLiteral("<tr>");
    QCOMPARE(TextOps::leadingPieces(text, marker, count), pieces);
    // Each piece is the one pieceAt() gives.
    for (int k = 1; k <= pieces.size(); ++k)
        QCOMPARE(TextOps::pieceAt(text, marker, k), std::optional<QString>(pieces.at(k - 1)));
}

void TstTextOps::textUpTo_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("marker");
    QTest::addColumn<QString>("expected");

    const QString div = QStringLiteral("</div>");
    QTest::newRow("includes the marker's first character")
        << QStringLiteral("<td>99</td></div>rest") << div << QStringLiteral("<td>99</td><");
    QTest::newRow("cut at the first occurrence") << QStringLiteral("a</div>b</div>") << div << QStringLiteral("a<");
    QTest::newRow("marker missing gives the empty text") << QStringLiteral("<td>99</td>") << div << QString();
    QTest::newRow("marker at the start gives its first character")
        << QStringLiteral("</div>x") << div << QStringLiteral("<");
    QTest::newRow("empty text") << QString() << div << QString();
    QTest::newRow("nothing is trimmed") << QStringLiteral("  a \n</div>") << div << QStringLiteral("  a \n<");
}

void TstTextOps::textUpTo()
{
    QFETCH(QString, text);
    QFETCH(QString, marker);
    QFETCH(QString, expected);
    QCOMPARE(TextOps::textUpTo(text, marker), expected);
}

void TstTextOps::trimBlanks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("spaces at both ends") << QStringLiteral("   国际通道  ") << QStringLiteral("国际通道");
    QTest::newRow("inner spaces stay") << QStringLiteral(" US$ 9.90 ") << QStringLiteral("US$ 9.90");
    QTest::newRow("tabs stay") << QStringLiteral("\tx\t") << QStringLiteral("\tx\t");
    QTest::newRow("line breaks stay") << QStringLiteral("\r\nx\n") << QStringLiteral("\r\nx\n");
    QTest::newRow("spaces outside line breaks go") << QStringLiteral("  \nx\n  ") << QStringLiteral("\nx\n");
    QTest::newRow("no-break and ideographic spaces stay")
        << QStringLiteral("\u00a0x\u3000") << QStringLiteral("\u00a0x\u3000");
    QTest::newRow("only spaces") << QStringLiteral("    ") << QString();
    QTest::newRow("empty") << QString() << QString();
}

void TstTextOps::trimBlanks()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(TextOps::trimBlanks(text), expected);
}

void TstTextOps::valueBefore_data()
{
    QTest::addColumn<QString>("piece");
    QTest::addColumn<QString>("endMarker");
    QTest::addColumn<QString>("expected");

    const QString p = QStringLiteral("</p>");
    QTest::newRow("plain value") << QStringLiteral("过期删除</p>\r\n<p>") << p << QStringLiteral("过期删除");
    QTest::newRow("spaces trimmed") << QStringLiteral("  过期删除 </p>") << p << QStringLiteral("过期删除");
    QTest::newRow("end marker missing gives the empty text") << QStringLiteral("过期删除</div>") << p << QString();
    QTest::newRow("end marker twice: the first counts") << QStringLiteral("a</p>b</p>") << p << QStringLiteral("a");
    QTest::newRow("inner tags lose only their '<'")
        << QStringLiteral("<b>过期</b>删除</p>") << p << QStringLiteral("b>过期/b>删除");
    QTest::newRow("line breaks around the value stay")
        << QStringLiteral("\r\n2024-06-01\r\n</p>") << p << QStringLiteral("\r\n2024-06-01\r\n");
    QTest::newRow("tabs stay, spaces outside them go")
        << QStringLiteral("  \t2024-06-01\t  </p>") << p << QStringLiteral("\t2024-06-01\t");
    QTest::newRow("empty value") << QStringLiteral("</p>") << p << QString();
    QTest::newRow("empty piece") << QString() << p << QString();
    QTest::newRow("licence cell") << QStringLiteral(" 京ICP备12345678号-1 </td></tr>") << QStringLiteral("</td>")
                                  << QStringLiteral("京ICP备12345678号-1");
}

void TstTextOps::valueBefore()
{
    QFETCH(QString, piece);
    QFETCH(QString, endMarker);
    QFETCH(QString, expected);
    QCOMPARE(TextOps::valueBefore(piece, endMarker), expected);
}

QTEST_MAIN(TstTextOps)
#include "tst_textops.moc"
