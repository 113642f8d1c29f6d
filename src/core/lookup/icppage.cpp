#include "core/lookup/icppage.h"

#include "core/text/textops.h"

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
    const QString cellEnd = QStringLiteral("</td>");
    // A licence cell that never ends is a page cut short: that says nothing about the filing.
    if (TextOps::textUpTo(*piece, cellEnd).isEmpty())
        return result;
    result.licence = TextOps::atMost(TextOps::valueBefore(*piece, cellEnd), IcpPage::MaxLicenceChars);
    result.filing = result.licence.isEmpty() ? IcpFiling::NotFiled : IcpFiling::Filed;
    return result;
}

QString icpFilingName(IcpFiling filing)
{
    switch (filing) {
    case IcpFiling::Filed:
        return QStringLiteral("filed");
    case IcpFiling::NotFiled:
        return QStringLiteral("not filed");
    case IcpFiling::Unknown:
        break;
    }
    return QStringLiteral("failed");
}

IcpFiling icpFilingNamed(const QString &name)
{
    if (name == QLatin1String("filed"))
        return IcpFiling::Filed;
    return name == QLatin1String("not filed") ? IcpFiling::NotFiled : IcpFiling::Unknown;
}
