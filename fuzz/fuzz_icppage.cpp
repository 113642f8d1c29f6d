// readIcpPage() on any page: the not-filed text wins wherever it stands, a licence is only ever read
// from a whole cell, and a filed answer always comes with a licence number.
#include "core/lookup/icppage.h"
#include "fuzzcheck.h"

namespace {
const QString NotFiledText = QStringLiteral("未备案");
const QString LicenceMarker = QStringLiteral("网站备案/许可证号</td><td>");
const QString CellEnd = QStringLiteral("</td>");
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    for (const QString &page : Fuzz::pageTexts(data, size)) {
        const IcpPage read = readIcpPage(page);
        if (page.contains(NotFiledText)) {
            FUZZ_CHECK(read.filing == IcpFiling::NotFiled && read.licence.isEmpty());
            continue;
        }
        // The cell after the first marker, the plain way.
        const QStringList pieces = page.split(LicenceMarker);
        const bool wholeCell = pieces.size() > 1 && pieces.at(1).contains(CellEnd);
        switch (read.filing) {
        case IcpFiling::Unknown:
            FUZZ_CHECK(read.licence.isEmpty() && !wholeCell);
            break;
        case IcpFiling::NotFiled:
            FUZZ_CHECK(read.licence.isEmpty() && wholeCell);
            break;
        case IcpFiling::Filed:
            FUZZ_CHECK(wholeCell && !read.licence.isEmpty());
            FUZZ_CHECK(!read.licence.contains(u'<'));
            FUZZ_CHECK(Fuzz::isTrimmed(read.licence));
            // The number comes from before the first cell end.
            FUZZ_CHECK(read.licence.size() <= pieces.at(1).indexOf(CellEnd));
            break;
        }
    }
    return 0;
}
