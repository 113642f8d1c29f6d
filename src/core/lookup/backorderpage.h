// Reads a domain's backorder page on the marketplace: deletion type, deletion time, booking
// deadline, whois record and the price row.
#pragma once

#include <QString>

// Every value is read on its own: a marker that is missing empties only the value that needs it.
// Values are bounded, so that no page can hand a window, a file or the history a value of megabytes.
struct BackorderPage
{
    static constexpr qsizetype MaxValueChars = 4096;
    static constexpr qsizetype MaxWhoisChars = 64 * 1024;

    // The page holds at least one of the markers below. A page with none of them (a login, captcha
    // or maintenance page) is not the domain's page, whatever status it came with.
    bool isBackorderPage = false;

    QString deletionType;
    QString deletionTime;
    QString deadline;
    QString whois;
    bool whoisCut = false; // the page's whois was longer than MaxWhoisChars

    // The page says booking has closed: the price table is not read at all.
    bool bookingClosed = false;
    QString platform;
    QString price;
    QString rmb;
    QString deposit;
};

BackorderPage readBackorderPage(const QString &page);
