#include "core/lookup/backorderpage.h"

#include "core/text/textops.h"

#include <optional>

namespace {

const QString CellMarker = QStringLiteral("<td>");
const QString CellEnd = QStringLiteral("</td>");

struct Labelled
{
    bool found = false;
    QString value;
};

Labelled labelledValue(QStringView page, QStringView startMarker, QStringView endMarker)
{
    const std::optional<QStringView> piece = TextOps::pieceView(page, startMarker, 1);
    return { piece && !piece->isEmpty(), TextOps::valueBefore(piece.value_or(QStringView()), endMarker) };
}

// A cell is what follows its "<td>", up to its own "</td>": the closing tags of the row and the
// table after the last cell are not part of it. A cell that never ends keeps everything.
QString cellText(QStringView piece)
{
    const qsizetype end = piece.indexOf(CellEnd);
    return (end < 0 ? piece : piece.left(end)).toString();
}

} // namespace

BackorderPage readBackorderPage(const QString &page)
{
    BackorderPage result;

    const Labelled deletionType = labelledValue(page, QStringLiteral("删除类型：</label>"), QStringLiteral("</p>"));
    const Labelled deletionTime = labelledValue(page, QStringLiteral("删除时间：</label>"), QStringLiteral("</p>"));
    const Labelled deadline = labelledValue(page, QStringLiteral("预订截止时间：</label>"), QStringLiteral("</p>"));
    const Labelled whois = labelledValue(page, QStringLiteral("<pre>"), QStringLiteral("</pre>"));
    result.deletionType = TextOps::atMost(deletionType.value, BackorderPage::MaxValueChars);
    result.deletionTime = TextOps::atMost(deletionTime.value, BackorderPage::MaxValueChars);
    result.deadline = TextOps::atMost(deadline.value, BackorderPage::MaxValueChars);
    result.whois = TextOps::atMost(whois.value, BackorderPage::MaxWhoisChars);
    result.whoisCut = result.whois.size() < whois.value.size();
    result.isBackorderPage = deletionType.found || deletionTime.found || deadline.found || whois.found;

    if (page.contains(QStringLiteral("该域名的预订时间已过"))) {
        result.bookingClosed = true;
        result.isBackorderPage = true;
        return result;
    }

    const std::optional<QStringView> tablePiece = TextOps::pieceView(page, u"<th>保证金</th>", 1);
    result.isBackorderPage = result.isBackorderPage || (tablePiece && !tablePiece->isEmpty());
    const QStringView table = TextOps::viewUpTo(tablePiece.value_or(QStringView()), u"</div>");
    const auto cell = [table](int k) { return TextOps::pieceView(table, CellMarker, k).value_or(QStringView()); };

    // Cell 1 is trimmed before its end is cut off, so a blank in front of "</td>" stays in it;
    // cells 2 to 4 lose it.
    const auto bounded = [](const QString &value) { return TextOps::atMost(value, BackorderPage::MaxValueChars); };
    result.platform = bounded(cellText(TextOps::trimBlanks(cell(1).toString())));
    result.price = bounded(TextOps::trimBlanks(cellText(cell(2))));
    result.rmb = bounded(TextOps::trimBlanks(cellText(cell(3))));
    result.deposit = bounded(TextOps::trimBlanks(cellText(cell(4))));
    return result;
}
