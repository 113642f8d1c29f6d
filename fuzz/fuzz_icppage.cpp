// readIcpPage() on any page: the not-filed text wins wherever it stands, a licence is only ever
// read from a whole cell, and a filed answer always comes with a licence number.
#include "detail/icppage.h"
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
            FUZZ_CHECK(read.filing == IcpFiling::NotFiled);
            FUZZ_CHECK(read.licencePiece.isEmpty() && read.licence.isEmpty());
            continue;
        }
        FUZZ_CHECK(page.contains(read.licencePiece));
        FUZZ_CHECK(!read.licencePiece.contains(LicenceMarker));
        switch (read.filing) {
        case IcpFiling::Unknown:
            FUZZ_CHECK(read.licence.isEmpty());
            FUZZ_CHECK(!page.contains(LicenceMarker) || !read.licencePiece.contains(CellEnd));
            break;
        case IcpFiling::NotFiled:
            FUZZ_CHECK(read.licence.isEmpty());
            FUZZ_CHECK(page.contains(LicenceMarker + read.licencePiece));
            FUZZ_CHECK(read.licencePiece.contains(CellEnd));
            break;
        case IcpFiling::Filed:
            FUZZ_CHECK(!read.licence.isEmpty());
            FUZZ_CHECK(!read.licence.contains(u'<'));
            FUZZ_CHECK(Fuzz::isTrimmed(read.licence));
            FUZZ_CHECK(page.contains(LicenceMarker + read.licencePiece));
            // The number comes from before the first cell end.
            FUZZ_CHECK(read.licence.size() <= read.licencePiece.indexOf(CellEnd));
            break;
        }
    }
    return 0;
}
