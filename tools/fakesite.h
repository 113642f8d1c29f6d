// One fake site on 127.0.0.1 that plays the marketplace, the ICP lookup site and the update server
// at once, with the sample marketplace's pages (tools/samplemarket.h):
//   /search?p=N          results page, UTF-8; 50 names for pages 1..pageCount, no rows for others
//   /backorder/<domain>  backorder page, GBK
//   /version/main.txt    version file, GBK plain text: a line of Chinese, then "qvrt:<version>|"
//   /                    an index page, UTF-8
//   /<anything else>     ICP lookup page for that domain, GBK
//   POST to any target   kept with its Content-Type (posts()) and answered 200, "ok"; of the faults,
//                        ServerError answers 500, HeadersNeverCome holds the answer back, ResetMidBody
//                        resets the connection after the headers and TooManyRequests answers 429; the
//                        others are taken for None
// A test can answer any target with a reply of its own or a fault instead, hold answers back until
// it lets them go, and read what was asked. For the tests and the sample-market program. Every
// member may be called from any thread; answers are made on the server's threads.
#pragma once

#include "tools/loopbackserver.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// What hostile web servers do to a scraper.
enum class Fault {
    None, // the sample page
    // Nothing listens. A property of a whole site, not of a target: point the program at
    // FakeSite::closedPortUrl().
    ConnectionRefused,
    ResetMidBody, // half the page of an announced length, then the connection is reset
    HeadersNeverCome, // the request is taken and nothing is sent back until releaseAll()
    BodyNeverEnds, // half the page, then filler without end (chunked, no length)
    BodyDrips, // the page one byte a second
    TooManyRequests, // 429, "Retry-After: 3600", a rate-limit notice in HTML
    // 500 carrying the page itself, as a broken back end or a stale cache sends it: a reader that
    // looked only at the body would take it.
    ServerError,
    HugeBody, // the page, then filler up to 50 MiB, chunked, no length announced
    InvalidUtf8, // the page in UTF-8, declared so, with broken byte sequences around its lines
    GbkDeclaredUtf8, // the page in GBK under "charset=utf-8"
    RedirectLoop, // 302 to the same target, for ever
    RedirectElsewhere, // 302 to another site (127.0.0.1 on another port), which shows a login page
    // "Content-Encoding: gzip" on a valid gzip stream of about 1 MB that inflates to the page and
    // then 1 GiB of zeros, whatever the client asked for.
    GzipBomb,
    // The next three stand for one kind of page and answer with it on whatever target they are set.
    HugeWhois, // the backorder page of the target's domain with 15 MiB of letters, no blank, as whois
    HugeDeletionType, // the backorder page of the target's domain with 5 MB of letters as deletion type
    LongVersion, // the version file announcing a version of 100,000 characters
    // The results page of the target's page number, 15 MiB long: filler between its rows and the
    // pagination marker. Made as it goes out, so that the site itself holds none of it.
    HugeResultsPage,
    // The sample page, but the request reaches the site (its observer, its rate limit, its answer)
    // FakeSite::LateArrivalMs after it came in, as over a slow link. No failure: not in allFaults().
    ArrivesLate,
};

// For test row names: "reset in the middle of the body", "a gzip bomb" ...
const char *describeFault(Fault fault);
// Every fault that fits any target, in declaration order: None and the four that stand for one kind of
// page (HugeWhois, HugeDeletionType, LongVersion, HugeResultsPage) are left out.
std::vector<Fault> allFaults();

class FakeSite
{
public:
    static constexpr long long HugeBodyBytes = 50LL * 1024 * 1024;
    static constexpr long long GzipBombZeroBytes = 1LL << 30;
    static constexpr std::size_t HugeWhoisBytes = 15 * 1024 * 1024;
    static constexpr std::size_t HugeDeletionTypeBytes = 5 * 1000 * 1000;
    static constexpr std::size_t LongVersionCharacters = 100 * 1000;
    static constexpr std::size_t HugeResultsPageBytes = 15 * 1024 * 1024;
    static constexpr int LateArrivalMs = 45;

    // What a target answers instead of the sample page.
    struct Reply
    {
        int status = 200;
        std::string body; // bytes as sent
        std::string contentType = "text/html; charset=utf-8";
        std::vector<std::pair<std::string, std::string>> headers; // sent besides the usual ones

        // The text converted to GBK, declared "text/html; charset=gbk".
        static Reply gbkHtml(const std::string &utf8Text, int status = 200);
        static Reply utf8Html(const std::string &utf8Text, int status = 200);
    };
    // A reply or a fault, as a row of a test table gives it.
    struct Answer
    {
        Fault fault = Fault::None;
        std::optional<Reply> reply;

        Answer(Fault fault = Fault::None)
            : fault(fault)
        { }
        Answer(Reply reply)
            : reply(std::move(reply))
        { }
    };

    FakeSite();
    // Releases every answer held back, then stops.
    ~FakeSite();
    FakeSite(const FakeSite &) = delete;
    FakeSite &operator=(const FakeSite &) = delete;

    // Binds 127.0.0.1 on this port (0: any free one), and the other site of RedirectElsewhere on
    // any free port. False when either could not bind.
    bool start(int port = 0);
    // "http://127.0.0.1:<port>"
    std::string url() const;
    // An address on 127.0.0.1 where nothing listens.
    static std::string closedPortUrl();

    // Results pages with rows: 1..pages (default 20).
    void setPageCount(int pages);
    // Added to every answer; releaseAll() cuts it short.
    void setLatency(std::chrono::milliseconds latency);
    // Announced by the version file (default "V1.4").
    void setPublishedVersion(const std::string &version);
    // 0 (the default): no limit. Else a request that comes when this many were answered within
    // the last second gets 429, "Retry-After: 1" and a short notice in HTML.
    void setRateLimit(int requestsPerSecond);
    // Off by default: bodies go out byte for byte. On: text is gzipped for a client that accepts it.
    void setCompression(bool allowed);

    // A target is the path and query exactly as requested: "/search?p=2", "/backorder/a.com",
    // "/a.com", "/version/main.txt". A target has a reply or a fault, whichever was set last;
    // Fault::None brings its sample page back.
    void setReply(const std::string &target, Reply reply);
    void setFault(const std::string &target, Fault fault);
    void setAnswer(const std::string &target, const Answer &answer);

    // The next requests for the target get these answers in turn, before its own answer again: "500 twice,
    // then the page".
    void setNextAnswers(const std::string &target, const std::vector<Answer> &answers);

    // Held answers wait until they are released (a rate-limit answer too: it is decided on arrival).
    void hold(const std::string &target);
    void holdEverything();
    void release(const std::string &target); // also from holdEverything()
    // Releases everything held now and makes every later hold, stall and latency end at once, for
    // good: the server can then stop.
    void releaseAll();
    // True once a request for the target has come in (since the start or clearLog()), its answer
    // under way or held; waits at most the limit for it.
    bool waitUntilRequested(const std::string &target, std::chrono::milliseconds limit);
    // True once no more than `held` requests are still waiting for their answers to start, within
    // the limit. Blocks the calling thread: not for a thread whose events the answers wait for.
    bool waitUntilQuiet(int held, std::chrono::milliseconds limit);

    // A POST request as it arrived, body and all.
    struct Post
    {
        std::string target;
        std::string contentType;
        std::string body;
    };
    // Every POST since the start or clearLog(), oldest first, each kept before its answer is held or made.
    std::vector<Post> posts() const;

    // Every request as it arrived, oldest first.
    std::vector<LoopbackServer::LoggedRequest> requests() const;
    std::vector<std::string> requestedTargets() const;
    int requestCount(const std::string &target) const;
    // The most requests answered at the same moment since the start or clearLog(), each counted
    // from its arrival until its answer starts to go out: a client's requests in flight.
    int mostAnsweredAtOnce() const;
    void clearLog();
    // Called on the server's thread for each request as it arrives.
    void setRequestObserver(std::function<void(const LoopbackServer::LoggedRequest &)> observer);

private:
    struct State;

    std::unique_ptr<State> m_state; // outlives both servers, whose threads use it
    LoopbackServer m_server;
    LoopbackServer m_elsewhere;
};
