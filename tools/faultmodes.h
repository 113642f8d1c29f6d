// What hostile web servers do to a scraper, chosen per request: a server that plays the sample
// marketplace, the ICP lookup site and the update server with the sample marketplace's own pages,
// and answers the targets it is told with a fault instead. For the tests.
#pragma once

#include "tools/loopbackserver.h"

#include <memory>
#include <string>
#include <vector>

enum class Fault {
    None, // the page, as the sample marketplace serves it
    // Nothing listens. A property of a whole site, not of a path: point the program at
    // FaultyMarket::closedPortUrl().
    ConnectionRefused,
    ResetMidBody, // half the page of an announced length, then the connection is reset
    HeadersNeverCome, // the request is taken and nothing is ever sent back
    BodyNeverEnds, // half the page, then filler without end (chunked, no length)
    BodyDrips, // the page one byte a second
    TooManyRequests, // 429 with a rate-limit notice in HTML
    // 500 carrying the page itself, as a broken back end or a stale cache sends it: a reader that
    // looked only at the body would take it.
    ServerError,
    HugeBody, // the page, then filler up to 50 MiB, chunked, no length announced
    InvalidUtf8, // the page in UTF-8, declared so, with broken byte sequences around its lines
    GbkDeclaredUtf8, // the page in GBK under "charset=utf-8"
    RedirectLoop, // 302 to the same target, for ever
    RedirectElsewhere, // 302 to another site (127.0.0.1 on another port), which shows a login page
};

// For test row names: "reset in the middle of the body" ...
const char *describeFault(Fault fault);
// Every fault, None excepted, in declaration order.
std::vector<Fault> allFaults();

class FaultyMarket
{
public:
    // The size of Fault::HugeBody.
    static constexpr long long HugeBodyBytes = 50LL * 1024 * 1024;

    FaultyMarket();
    // Releases every answer still held back, then stops both sites.
    ~FaultyMarket();
    FaultyMarket(const FaultyMarket &) = delete;
    FaultyMarket &operator=(const FaultyMarket &) = delete;

    // Starts the marketplace and the other site. False when either could not bind.
    bool start();
    std::string baseUrl() const;
    // An address on 127.0.0.1 where nothing listens any more.
    static std::string closedPortUrl();

    // The answer to this target (path and query as the program sends them: "/search?p=2",
    // "/backorder/a.com", "/a.com", "/version/main.txt") becomes the fault. Set before requests come.
    void setFault(const std::string &target, Fault fault);
    // Ends every answer that is held back (stalls, drips, endless bodies) now, and every later
    // one at once: the server can stop without waiting for them.
    void releaseAll();

    std::vector<std::string> requestedTargets() const { return m_server.requestedTargets(); }
    // Called on the server's thread for each request as it arrives.
    void setRequestObserver(std::function<void(const LoopbackServer::LoggedRequest &)> observer);

private:
    struct State;

    LoopbackServer m_server;
    LoopbackServer m_elsewhere;
    std::shared_ptr<State> m_state;
};
