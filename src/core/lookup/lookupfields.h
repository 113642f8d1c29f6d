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
};

// Which answer a field comes from: a view shows a field of an answer that did not come as failed.
enum class FieldPart {
    BackorderPage,
    PriceRow, // not read when the page says booking has closed
    IcpPage,
};

struct LookupField
{
    QString storeColumn; // in the history's lookups table
    QString commandColumn; // in the lookup command's rows; empty when it writes none
    QString tableTitle; // of the domain table's column; empty when it shows none
    FieldKind kind = FieldKind::Text;
    FieldPart part = FieldPart::BackorderPage;
    std::function<QVariant(const LookupRecord &)> value;
    std::function<void(LookupRecord &, const QVariant &)> setValue;

    // The SQL type of its column.
    QString storeType() const;
    // The value as the command line writes it: text, "1"/"0" for a flag, the state's name for a filing.
    QString text(const LookupRecord &record) const;
};

// In the order every view shows them.
const QList<LookupField> &lookupFields();
