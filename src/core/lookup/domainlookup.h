// A domain lookup: the domain's backorder page on the marketplace, then its ICP filing status.
// The domain list's menu and a double-click both start one; they differ in three small ways,
// kept here so that the window only moves values.
#pragma once

#include "core/config.h"
#include "core/lookup/backorderpage.h"
#include "core/lookup/icppage.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>

enum class LookupTrigger {
    Menu, // waits longer for the page, shows the bare captions when it does not come, and says "已备案"
    DoubleClick,
};

// What one lookup found, failures included.
struct LookupRecord
{
    QString domain;
    QDateTime time;
    // The backorder page came and holds at least one of its markers.
    bool backorderRead = false;
    QString backorderFailure; // why not, when it was not read
    BackorderPage values;
    IcpFiling filing = IcpFiling::Unknown;
    QString licence;
    QString icpFailure; // why the filing is unknown
};

// The two requests of a lookup. Only the ICP page asks caches for a fresh copy.
PageRequest backorderPageRequest(const AppConfig &config, const QString &domain, LookupTrigger trigger);
PageRequest icpPageRequest(const AppConfig &config, const QString &domain);

// Fills the record's backorder part from the fetched page, which is GBK whatever it declares. An
// error status brings an error page, not the domain's: it counts as no page. False when no page
// text came at all.
bool readBackorderAnswer(const FetchResult &result, LookupRecord &record);
// Fills the record's ICP part. A rate-limit or error page says nothing about the filing.
void readIcpAnswer(const FetchResult &result, LookupRecord &record);

// The caption of the ICP filing label after a lookup.
QString icpFilingCaption(const LookupRecord &record, LookupTrigger trigger);

class DomainLookup : public QObject
{
    Q_OBJECT
public:
    DomainLookup(PageFetcher &fetcher, const AppConfig &config, QObject *parent = nullptr);

    void start(const QString &domain, LookupTrigger trigger);

signals:
    void statusChanged(const QString &text);
    // The domain info area is to show these values. Not emitted when a double-click's page did not
    // come: the area then keeps what it showed.
    void backorderShown(const BackorderPage &values);
    void icpFilingShown(const QString &caption);
    void finished(const LookupRecord &record);

private:
    void backorderFetched(const FetchResult &result);
    void icpFetched(const FetchResult &result);
    void icpRead(const LookupRecord &record);

    PageFetcher &m_fetcher;
    const AppConfig m_config;
    LookupTrigger m_trigger = LookupTrigger::DoubleClick;
    LookupRecord m_record;
    QPointer<PendingFetch> m_fetch;
    // Counts starts: what is read for a lookup that a newer one overtook is dropped.
    int m_lookupNumber = 0;
};
