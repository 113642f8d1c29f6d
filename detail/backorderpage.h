// Reads a domain's backorder page on the marketplace: deletion type, deletion time, booking
// deadline, whois record and the price row, each with the page piece it was cut from.
#pragma once

#include <QString>

// Every value is read on its own: a marker that is missing empties only the value that needs it.
struct BackorderPage
{
    QString deletionTypePiece; // after "删除类型：</label>"
    QString deletionType;
    QString deletionTimePiece; // after "删除时间：</label>"
    QString deletionTime;
    QString deadlinePiece; // after "预订截止时间：</label>"
    QString deadline;
    QString whoisPiece; // after "<pre>"
    QString whois;

    // The page says booking has closed: the price table is not read at all.
    bool bookingClosed = false;
    QString priceTablePiece; // after "<th>保证金</th>"
    QString priceTable; // that piece cut at "</div>", the '<' of it included
    QString platform; // cell 1
    QString priceCell; // cells 2 to 4 as cut, then their values
    QString price;
    QString rmbCell;
    QString rmb;
    QString depositCell;
    QString deposit;
};

BackorderPage readBackorderPage(const QString &page);
