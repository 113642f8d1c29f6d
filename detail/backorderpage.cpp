#include "detail/backorderpage.h"

#include "app/textops.h"

namespace {

const QString CellMarker = QStringLiteral("<td>");
const QString CellEnd = QStringLiteral("</td>");

struct PieceAndValue
{
    QString piece;
    QString value;
};

PieceAndValue labelledValue(const QString &page, const QString &startMarker, const QString &endMarker)
{
    PieceAndValue result;
    result.piece = TextOps::pieceAt(page, startMarker, 1).value_or(QString());
    result.value = TextOps::valueBefore(result.piece, endMarker);
    return result;
}

// Cells 2 to 4: "</td>" goes first, then the blanks, so a blank before "</td>" goes too.
PieceAndValue priceCell(const QString &table, int k)
{
    PieceAndValue result;
    result.piece = TextOps::pieceAt(table, CellMarker, k).value_or(QString());
    result.value = TextOps::trimBlanks(QString(result.piece).remove(CellEnd));
    return result;
}

} // namespace

BackorderPage readBackorderPage(const QString &page)
{
    BackorderPage result;

    const PieceAndValue deletionType
        = labelledValue(page, QStringLiteral("删除类型：</label>"), QStringLiteral("</p>"));
    result.deletionTypePiece = deletionType.piece;
    result.deletionType = deletionType.value;

    const PieceAndValue deletionTime
        = labelledValue(page, QStringLiteral("删除时间：</label>"), QStringLiteral("</p>"));
    result.deletionTimePiece = deletionTime.piece;
    result.deletionTime = deletionTime.value;

    const PieceAndValue deadline
        = labelledValue(page, QStringLiteral("预订截止时间：</label>"), QStringLiteral("</p>"));
    result.deadlinePiece = deadline.piece;
    result.deadline = deadline.value;

    const PieceAndValue whois = labelledValue(page, QStringLiteral("<pre>"), QStringLiteral("</pre>"));
    result.whoisPiece = whois.piece;
    result.whois = whois.value;

    if (page.contains(QStringLiteral("该域名的预订时间已过"))) {
        result.bookingClosed = true;
        return result;
    }

    result.priceTablePiece = TextOps::pieceAt(page, QStringLiteral("<th>保证金</th>"), 1).value_or(QString());
    result.priceTable = TextOps::textUpTo(result.priceTablePiece, QStringLiteral("</div>"));

    // Cell 1 is trimmed before "</td>" goes, so a blank in front of "</td>" stays in it.
    result.platform
        = TextOps::trimBlanks(TextOps::pieceAt(result.priceTable, CellMarker, 1).value_or(QString())).remove(CellEnd);

    const PieceAndValue price = priceCell(result.priceTable, 2);
    result.priceCell = price.piece;
    result.price = price.value;
    const PieceAndValue rmb = priceCell(result.priceTable, 3);
    result.rmbCell = rmb.piece;
    result.rmb = rmb.value;
    const PieceAndValue deposit = priceCell(result.priceTable, 4);
    result.depositCell = deposit.piece;
    result.deposit = deposit.value;
    return result;
}
