// A domain lookup: the domain's backorder page on the marketplace, then its ICP filing status. The
// steps exist once, in lookUp(): the window's lookup and the batch's both run them, each with its own
// way of sending requests.
#pragma once

#include "core/config.h"
#include "core/lookup/lookuprecord.h"

#include <QObject>
#include <QPointer>

#include <functional>

enum class LookupTrigger {
    Menu, // waits longer for the page and shows the bare captions when it does not come
    DoubleClick,
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

// Sends a request and hands its result to onFinished on context's thread, unless context is gone.
using SendRequest = std::function<void(const PageRequest &request, QObject *context,
                                       std::function<void(const FetchResult &)> onFinished)>;

struct LookupSteps
{
    // The backorder page is read; pageCame: some page text came at all.
    std::function<void(const LookupRecord &record, bool pageCame)> backorderRead;
    std::function<void(const LookupRecord &record)> finished;
};

// One lookup: the backorder page, read off the asking thread when it is large, then the ICP page.
// Nothing more happens once context is gone: its requests are abandoned, its reads dropped.
void lookUp(const SendRequest &send, const AppConfig &config, const QString &domain, LookupTrigger trigger,
            QObject *context, const LookupSteps &steps);

class DomainLookup : public QObject
{
    Q_OBJECT
public:
    DomainLookup(PageFetcher &fetcher, const AppConfig &config, QObject *parent = nullptr);

    // A lookup under way is overtaken: nothing more of it is reported.
    void start(const QString &domain, LookupTrigger trigger);

signals:
    void started(const QString &domain);
    // The domain info area is to show these values. Not emitted when a double-click's page did not
    // come: the area then keeps what it showed.
    void backorderShown(const BackorderPage &values);
    void finished(const LookupRecord &record, LookupTrigger trigger);

private:
    PageFetcher &m_fetcher;
    const AppConfig m_config;
    QPointer<QObject> m_current; // the context of the lookup under way
};
