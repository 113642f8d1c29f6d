// readBackorderPage() on any page: the labelled values and the whois without '<' and without blanks at
// their ends, nothing read whose marker is missing, the price cells without cell tags, and nothing of
// the price table read once the page says booking has closed.
#include "core/lookup/backorderpage.h"
#include "fuzzcheck.h"

namespace {

const QString ClosedNotice = QStringLiteral("该域名的预订时间已过");
const QString DepositHeader = QStringLiteral("<th>保证金</th>");
const QString Cell = QStringLiteral("<td>");
const QString CellEnd = QStringLiteral("</td>");

void checkLabelled(const QString &page, const QString &startMarker, const QString &value)
{
    if (!page.contains(startMarker))
        FUZZ_CHECK(value.isEmpty());
    FUZZ_CHECK(!value.contains(u'<'));
    FUZZ_CHECK(Fuzz::isTrimmed(value));
}

void checkCell(const QString &page, const QString &value, bool trimmed)
{
    FUZZ_CHECK(!value.contains(Cell) && !value.contains(CellEnd));
    FUZZ_CHECK(page.contains(value));
    if (trimmed)
        FUZZ_CHECK(Fuzz::isTrimmed(value));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    for (const QString &page : Fuzz::pageTexts(data, size)) {
        const BackorderPage read = readBackorderPage(page);
        checkLabelled(page, QStringLiteral("删除类型：</label>"), read.deletionType);
        checkLabelled(page, QStringLiteral("删除时间：</label>"), read.deletionTime);
        checkLabelled(page, QStringLiteral("预订截止时间：</label>"), read.deadline);
        checkLabelled(page, QStringLiteral("<pre>"), read.whois);

        FUZZ_CHECK(read.bookingClosed == page.contains(ClosedNotice));
        if (read.bookingClosed) {
            FUZZ_CHECK(read.isBackorderPage);
            for (const QString *cell : { &read.platform, &read.price, &read.rmb, &read.deposit })
                FUZZ_CHECK(cell->isEmpty());
            continue;
        }
        if (!page.contains(DepositHeader)) {
            for (const QString *cell : { &read.platform, &read.price, &read.rmb, &read.deposit })
                FUZZ_CHECK(cell->isEmpty());
        }
        // The first cell keeps a blank before its end; the others are trimmed.
        checkCell(page, read.platform, false);
        FUZZ_CHECK(!read.platform.startsWith(u' '));
        checkCell(page, read.price, true);
        checkCell(page, read.rmb, true);
        checkCell(page, read.deposit, true);
        if (!read.isBackorderPage) {
            for (const QString *value : { &read.deletionType, &read.deletionTime, &read.deadline, &read.whois,
                     &read.platform, &read.price, &read.rmb, &read.deposit })
                FUZZ_CHECK(value->isEmpty());
        }
    }
    return 0;
}
