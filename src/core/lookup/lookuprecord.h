// What one lookup of a domain found, failures included: a plain value that the window shows, the
// history keeps and the command line writes. Its fields are described once, in lookupfields.h.
#pragma once

#include "core/lookup/backorderpage.h"
#include "core/lookup/icppage.h"
#include "core/lookup/whoisfacts.h"

#include <QDateTime>
#include <QString>

struct LookupRecord
{
    QString domain;
    QDateTime time;
    QString backorderFailure; // why the backorder page was not read, when it was not
    BackorderPage values;
    WhoisFacts whois; // read from values.whois
    IcpFiling filing = IcpFiling::Unknown;
    QString licence;
    QString icpFailure; // why the filing is unknown

    // The backorder page came and holds at least one of its markers.
    bool backorderRead() const { return values.isBackorderPage; }
    // Failed: the backorder page could not be read, or the ICP filing is unknown.
    bool failed() const { return !backorderRead() || filing == IcpFiling::Unknown; }
};
