#include "detail/icppage.h"

#include "app/textops.h"

IcpPage readIcpPage(const QString &page)
{
    IcpPage result;
    // The not-filed text wins wherever it stands on the page.
    if (page.contains(QStringLiteral("未备案"))) {
        result.filing = IcpFiling::NotFiled;
        return result;
    }
    const std::optional<QString> piece = TextOps::pieceAt(page, QStringLiteral("网站备案/许可证号</td><td>"), 1);
    if (!piece)
        return result;
    result.licencePiece = *piece;
    const QString cellEnd = QStringLiteral("</td>");
    // A licence cell that never ends is a page cut short: that says nothing about the filing.
    if (TextOps::textUpTo(result.licencePiece, cellEnd).isEmpty())
        return result;
    result.licence = TextOps::valueBefore(result.licencePiece, cellEnd);
    result.filing = result.licence.isEmpty() ? IcpFiling::NotFiled : IcpFiling::Filed;
    return result;
}
