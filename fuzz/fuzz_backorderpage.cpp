// readBackorderPage() on any page: each value cut from its own piece of the page, the labelled
// values and the whois without '<' and without blanks at their ends, nothing of the price table
// read once the page says booking has closed.
#include "detail/backorderpage.h"
#include "fuzzcheck.h"

namespace {

const QString ClosedNotice = QStringLiteral("该域名的预订时间已过");
const QString DepositHeader = QStringLiteral("<th>保证金</th>");
const QString TableEnd = QStringLiteral("</div>");
const QString Cell = QStringLiteral("<td>");

// A value read by valueBefore() from the piece after startMarker.
void checkLabelled(const QString &page, const QString &startMarker, const QString &piece, const QString &value)
{
    if (!page.contains(startMarker)) {
        FUZZ_CHECK(piece.isEmpty() && value.isEmpty());
        return;
    }
    FUZZ_CHECK(page.contains(startMarker + piece));
    FUZZ_CHECK(!piece.contains(startMarker));
    FUZZ_CHECK(!value.contains(u'<'));
    FUZZ_CHECK(Fuzz::isTrimmed(value));
    FUZZ_CHECK(value.size() <= piece.size());
}

// Cells 2 to 4: a piece of the price table between two cell markers, blanks trimmed.
void checkCell(const QString &table, const QString &cell, const QString &value)
{
    FUZZ_CHECK(table.contains(cell));
    FUZZ_CHECK(!cell.contains(Cell));
    FUZZ_CHECK(Fuzz::isTrimmed(value));
    FUZZ_CHECK(value.size() <= cell.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    for (const QString &page : Fuzz::pageTexts(data, size)) {
        const BackorderPage read = readBackorderPage(page);
        checkLabelled(page, QStringLiteral("删除类型：</label>"), read.deletionTypePiece, read.deletionType);
        checkLabelled(page, QStringLiteral("删除时间：</label>"), read.deletionTimePiece, read.deletionTime);
        checkLabelled(page, QStringLiteral("预订截止时间：</label>"), read.deadlinePiece, read.deadline);
        checkLabelled(page, QStringLiteral("<pre>"), read.whoisPiece, read.whois);

        FUZZ_CHECK(read.bookingClosed == page.contains(ClosedNotice));
        if (read.bookingClosed) {
            for (const QString *field : { &read.priceTablePiece, &read.priceTable, &read.platform, &read.priceCell,
                     &read.price, &read.rmbCell, &read.rmb, &read.depositCell, &read.deposit })
                FUZZ_CHECK(field->isEmpty());
            continue;
        }

        FUZZ_CHECK(page.contains(read.priceTablePiece));
        if (read.priceTable.isEmpty()) {
            FUZZ_CHECK(!read.priceTablePiece.contains(TableEnd));
            FUZZ_CHECK(read.platform.isEmpty() && read.price.isEmpty() && read.rmb.isEmpty() && read.deposit.isEmpty());
        } else {
            // Cut at the first "</div>", its '<' included.
            FUZZ_CHECK(read.priceTablePiece.startsWith(read.priceTable.chopped(1) + TableEnd));
            FUZZ_CHECK(!read.priceTable.chopped(1).contains(TableEnd));
        }
        checkCell(read.priceTable, read.priceCell, read.price);
        checkCell(read.priceTable, read.rmbCell, read.rmb);
        checkCell(read.priceTable, read.depositCell, read.deposit);
    }
    return 0;
}
