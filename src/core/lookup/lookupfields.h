// The fields of a lookup record, described once: the history's columns and statements, the lookup
// command's columns and the domain table's columns are all made from this one table. The domain and
// the time of a lookup name the record; every view places them itself. Adding a field is one line in
// lookupFields() plus the reader that fills it.
#pragma once

#include "core/lookup/lookuprecord.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <functional>

enum class FieldKind {
    Text,
    Number, // text that sorts by the first number in it ("US$33.96")
    Date, // text that sorts by the date in it ("2024-06-05 13:20:00")
    Flag, // a yes or no that no view shows
    Filing, // the ICP filing state
    Moment, // a time in UTC: milliseconds in the history, ISO 8601 on the command line, the day in the table
    Years, // whole years up to now, worked out from the record: not kept
    List, // items without blanks, kept separated by blanks
    TimeLeft, // the time left until the date its text gives, worked out as of now: not kept
};

// Which answer a field comes from: a view shows a field of an answer that did not come as failed.
enum class FieldPart {
    BackorderPage,
    PriceRow, // not read when the page says booking has closed
    IcpPage,
};

struct LookupField
{
    QString storeColumn; // in the history's lookups table; empty when it is not kept
    QString commandColumn; // in the lookup command's rows; empty when it writes none
    QString tableTitle; // of the domain table's column; empty when it shows none
    FieldKind kind = FieldKind::Text;
    FieldPart part = FieldPart::BackorderPage;
    // An empty value is one that could not be read: "未知" in the table, null in JSON.
    bool unknownWhenEmpty = false;
    // The history's version that brought it: an older history gets its column, and the command writes
    // it after the columns scripts knew before, so that theirs keep their places.
    int since = 1;
    std::function<QVariant(const LookupRecord &)> value;
    std::function<void(LookupRecord &, const QVariant &)> setValue;

    // The SQL type of its column.
    QString storeType() const;
    // The value as the command line writes it: text, "1"/"0" for a flag, the state's name for a filing,
    // ISO 8601 in UTC for a moment, a number for years, the items separated by blanks for a list.
    QString text(const LookupRecord &record) const;
    bool isKept() const { return !storeColumn.isEmpty(); }
};

// In the order every view shows them.
const QList<LookupField> &lookupFields();
