// Reads an ICP lookup page: whether the domain's website is filed, and its licence number.
#pragma once

#include <QString>

enum class IcpFiling {
    // Neither the not-filed text nor a whole licence-number row: no page, an error, rate-limit or
    // captcha page, or a page cut short inside the row. Nothing can be said about the domain.
    Unknown,
    NotFiled,
    Filed,
};

struct IcpPage
{
    static constexpr qsizetype MaxLicenceChars = 4096;

    IcpFiling filing = IcpFiling::Unknown;
    QString licence;
};

IcpPage readIcpPage(const QString &page);

// The state as the history and the command line write it: "filed", "not filed" or "failed" (a
// lookup whose answer did not come); and back.
QString icpFilingName(IcpFiling filing);
IcpFiling icpFilingNamed(const QString &name);
