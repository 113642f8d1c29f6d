#include "tools/fakesite.h"

#include "tools/samplemarket.h"

#include <httplib.h>
#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Byte sequences that are no UTF-8: stray continuation and lead bytes, a lead byte followed by
// ASCII, overlong and five-byte forms, an encoded surrogate and a character cut off.
const char BrokenUtf8[] = "\xff\xfe \x80\xbf \xc3\x28 \xe2\x28\xa1 \xe2\x82\x28 \xf0\x28\x8c\xbc \xf8\xa1\xa1\xa1\xa1 "
                          "\xc0\xaf \xed\xa0\x80 \xe4\xb8\r\n";

const char RateLimitPage[] = "<!DOCTYPE html>\r\n<html>\r\n<head><title>429 Too Many Requests</title></head>\r\n"
                             "<body>\r\n<h1>请求过于频繁</h1>\r\n<p>您的访问过于频繁，请一小时后再试。</p>\r\n"
                             "</body>\r\n</html>\r\n";

const char SlowDownPage[] = "<!DOCTYPE html>\r\n<html>\r\n<head><title>429 Too Many Requests</title></head>\r\n"
                            "<body>\r\n<p>请求过于频繁，请稍后再试。</p>\r\n</body>\r\n</html>\r\n";

const char LoginPage[] = "<!DOCTYPE html>\r\n<html>\r\n<head><meta charset=\"utf-8\"><title>用户登录</title></head>\r\n"
                         "<body>\r\n<form action=\"/login\" method=\"post\">\r\n<p>请先登录后再访问该页面。</p>\r\n"
                         "<input name=\"user\"> <input name=\"password\" type=\"password\">\r\n</form>\r\n"
                         "</body>\r\n</html>\r\n";

const char HtmlUtf8[] = "text/html; charset=utf-8";

// Fault::TooManyRequests, whatever the target.
void answerRateLimited(httplib::Response &response)
{
    response.status = 429;
    response.set_header("Retry-After", "3600");
    response.set_content(RateLimitPage, HtmlUtf8);
}

// Stands in for a huge value while the page around it is made and converted to GBK: converting
// megabytes of ASCII would only cost time.
const char HugeValuePlaceholder[] = "HUGE-VALUE-GOES-HERE";

// Filler that no reader finds anything in.
std::string filler(std::size_t bytes)
{
    const std::string line = "<!-- ......................................................... -->\r\n";
    std::string text;
    text.reserve(bytes + line.size());
    while (text.size() < bytes)
        text += line;
    text.resize(bytes);
    return text;
}

// "abc...xyzabc..." without a blank, so that nothing can break it into words or lines.
std::string letters(std::size_t count)
{
    std::string text(count, 'a');
    for (std::size_t i = 0; i < count; ++i)
        text[i] = static_cast<char>('a' + i % 26);
    return text;
}

// The broken sequences before the page, after "<body>" and at its end: between lines, so that
// no marker and no row of the page is touched.
std::string withBrokenUtf8(std::string text)
{
    const std::string body = "<body>\r\n";
    const std::size_t afterBody = text.find(body);
    if (afterBody != std::string::npos)
        text.insert(afterBody + body.size(), BrokenUtf8);
    return BrokenUtf8 + text + BrokenUtf8;
}

// The backorder page of the domain, in GBK, with one of its values made huge.
std::string backorderPageWithHugeValue(
    const std::string &domain, std::string SampleMarket::BackorderInfo::*value, const std::string &hugeValue)
{
    SampleMarket::BackorderInfo info = SampleMarket::backorderInfoFor(domain);
    info.*value = HugeValuePlaceholder;
    std::string page = SampleMarket::toGbk(SampleMarket::backorderPage(info));
    const std::size_t at = page.find(HugeValuePlaceholder);
    if (at != std::string::npos)
        page.replace(at, sizeof HugeValuePlaceholder - 1, hugeValue);
    return page;
}

// Raw deflate of the bytes in a stream of their own, flushed to a byte boundary and not final:
// such pieces may follow one another in any number.
std::string deflatePiece(const std::string &bytes)
{
    z_stream stream {};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        return std::string();
    std::string out(deflateBound(&stream, static_cast<uLong>(bytes.size())) + 64, '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_SYNC_FLUSH);
    out.resize(result == Z_OK && stream.avail_in == 0 ? out.size() - stream.avail_out : 0);
    deflateEnd(&stream);
    return out;
}

void appendLittleEndian(std::string &out, uLong value)
{
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A gzip stream of the page and then GzipBombZeroBytes zeros, about 1 MB. Deflating a gibibyte
// takes seconds; one mebibyte of zeros deflated once and repeated takes milliseconds.
std::string gzipBomb(const std::string &page)
{
    constexpr uInt ZeroPieceBytes = 1 << 20;
    static const std::string zeros(ZeroPieceBytes, '\0');
    static const std::string zeroPiece = deflatePiece(zeros);
    static const uLong zeroPieceCrc = crc32(0, reinterpret_cast<const Bytef *>(zeros.data()), ZeroPieceBytes);

    std::string out("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10); // no name, no time, Unix
    out += deflatePiece(page);
    uLong crc = crc32(0, reinterpret_cast<const Bytef *>(page.data()), static_cast<uInt>(page.size()));
    for (long long zeros = 0; zeros < FakeSite::GzipBombZeroBytes; zeros += ZeroPieceBytes) {
        out += zeroPiece;
        crc = crc32_combine(crc, zeroPieceCrc, ZeroPieceBytes);
    }
    out += std::string("\x03\x00", 2); // an empty final block
    appendLittleEndian(out, crc);
    appendLittleEndian(out, static_cast<uLong>((page.size() + FakeSite::GzipBombZeroBytes) & 0xFFFFFFFFu));
    return out;
}

// The socket of the connection a request came on, found by its two ports (httplib does not
// hand it out); -1 when not found.
int socketOf(const httplib::Request &request)
{
    DIR *descriptors = ::opendir("/proc/self/fd");
    if (!descriptors)
        return -1;
    int found = -1;
    while (const dirent *entry = ::readdir(descriptors)) {
        const int descriptor = std::atoi(entry->d_name);
        sockaddr_in local {};
        sockaddr_in peer {};
        socklen_t length = sizeof local;
        if (::getsockname(descriptor, reinterpret_cast<sockaddr *>(&local), &length) != 0 || local.sin_family != AF_INET
            || ntohs(local.sin_port) != request.local_port)
            continue;
        length = sizeof peer;
        if (::getpeername(descriptor, reinterpret_cast<sockaddr *>(&peer), &length) != 0
            || ntohs(peer.sin_port) != request.remote_port)
            continue;
        found = descriptor;
        break;
    }
    ::closedir(descriptors);
    return found;
}

// Makes the closing of the connection a reset (RST) instead of an orderly end.
void resetOnClose(const httplib::Request &request)
{
    const int descriptor = socketOf(request);
    if (descriptor < 0)
        return;
    const linger abort { 1, 0 };
    ::setsockopt(descriptor, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
}

} // namespace

const char *describeFault(Fault fault)
{
    switch (fault) {
    case Fault::None:
        return "no fault";
    case Fault::ConnectionRefused:
        return "connection refused";
    case Fault::ResetMidBody:
        return "reset in the middle of the body";
    case Fault::HeadersNeverCome:
        return "headers that never come";
    case Fault::BodyNeverEnds:
        return "a body that never ends";
    case Fault::BodyDrips:
        return "a body that drips a byte a second";
    case Fault::TooManyRequests:
        return "429 with a rate-limit page";
    case Fault::ServerError:
        return "500 carrying the page itself";
    case Fault::HugeBody:
        return "a 50 MiB body";
    case Fault::InvalidUtf8:
        return "invalid UTF-8 in the page";
    case Fault::GbkDeclaredUtf8:
        return "a GBK page declared UTF-8";
    case Fault::RedirectLoop:
        return "a redirect loop";
    case Fault::RedirectElsewhere:
        return "a redirect to another site";
    case Fault::GzipBomb:
        return "a gzip bomb";
    case Fault::HugeWhois:
        return "a 15 MiB whois without a blank";
    case Fault::HugeDeletionType:
        return "a 5 MB deletion type";
    case Fault::LongVersion:
        return "a 100,000-character version";
    case Fault::HugeResultsPage:
        return "a 15 MiB results page";
    case Fault::ArrivesLate:
        return "a request that arrives late";
    }
    return "?";
}

std::vector<Fault> allFaults()
{
    return { Fault::ConnectionRefused, Fault::ResetMidBody, Fault::HeadersNeverCome, Fault::BodyNeverEnds,
        Fault::BodyDrips, Fault::TooManyRequests, Fault::ServerError, Fault::HugeBody, Fault::InvalidUtf8,
        Fault::GbkDeclaredUtf8, Fault::RedirectLoop, Fault::RedirectElsewhere, Fault::GzipBomb };
}

FakeSite::Reply FakeSite::Reply::gbkHtml(const std::string &utf8Text, int status)
{
    Reply reply;
    reply.status = status;
    reply.body = SampleMarket::toGbk(utf8Text);
    reply.contentType = "text/html; charset=gbk";
    return reply;
}

FakeSite::Reply FakeSite::Reply::utf8Html(const std::string &utf8Text, int status)
{
    Reply reply;
    reply.status = status;
    reply.body = utf8Text;
    reply.contentType = HtmlUtf8;
    return reply;
}

struct FakeSite::State
{
    mutable std::mutex mutex;
    std::condition_variable changed;

    int pageCount = 20;
    std::chrono::milliseconds latency { 0 };
    std::string publishedVersion = "V1.4";
    int rateLimit = 0;
    std::deque<Clock::time_point> admitted; // within the last second, when rateLimit is set

    std::map<std::string, Reply> replies;
    std::map<std::string, Fault> faults;
    std::map<std::string, std::deque<Answer>> nextAnswers;
    std::vector<Post> posts;

    std::set<std::string> held;
    bool holdingEverything = false;
    std::set<std::string> releasedFromEverything;
    bool releasedForGood = false;

    std::map<std::string, int> arrived; // by target, counted as the answer begins
    int answering = 0;
    int mostAnswering = 0;

    std::string url;
    std::string elsewhereUrl;
    std::function<void(const LoopbackServer::LoggedRequest &)> observer;

    // Call with the mutex locked.
    bool isHeld(const std::string &target) const
    {
        return !releasedForGood
            && (held.count(target) > 0 || (holdingEverything && releasedFromEverything.count(target) == 0));
    }

    // Call with the mutex locked. Notes the request as admitted when it is not over the limit.
    bool overRateLimit()
    {
        if (rateLimit <= 0)
            return false;
        const Clock::time_point now = Clock::now();
        while (!admitted.empty() && now - admitted.front() >= std::chrono::seconds(1))
            admitted.pop_front();
        if (static_cast<int>(admitted.size()) >= rateLimit)
            return true;
        admitted.push_back(now);
        return false;
    }

    // True when released for good, at once or within the limit.
    bool waitReleased(std::chrono::milliseconds limit)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, limit, [this] { return releasedForGood; });
    }

    void answer(const httplib::Request &request, httplib::Response &response);
    // The sample page at the request's path, or the fault set on its target instead.
    void answerWithSamplePage(Fault fault, const httplib::Request &request, httplib::Response &response);
    // "ok" to a POST, or the fault set on its target instead.
    void answerPost(Fault fault, const httplib::Request &request, httplib::Response &response);
};

void FakeSite::State::answer(const httplib::Request &request, httplib::Response &response)
{
    bool limited = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (request.method == "POST")
            posts.push_back({ request.target, request.get_header_value("Content-Type"), request.body });
        mostAnswering = std::max(mostAnswering, ++answering);
        ++arrived[request.target];
        limited = overRateLimit();
    }
    changed.notify_all();
    struct Answered
    {
        State &state;
        ~Answered()
        {
            {
                std::lock_guard<std::mutex> lock(state.mutex);
                --state.answering;
            }
            state.changed.notify_all();
        }
    } answered { *this };

    std::optional<Reply> reply;
    Fault fault = Fault::None;
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return !isHeld(request.target); });
        if (latency.count() > 0)
            changed.wait_for(lock, latency, [this] { return releasedForGood; });
        const auto next = nextAnswers.find(request.target);
        if (next != nextAnswers.end() && !next->second.empty()) {
            reply = next->second.front().reply;
            fault = next->second.front().fault;
            next->second.pop_front();
        } else {
            const auto foundReply = replies.find(request.target);
            if (foundReply != replies.end())
                reply = foundReply->second;
            const auto foundFault = faults.find(request.target);
            if (foundFault != faults.end())
                fault = foundFault->second;
        }
    }

    if (limited) {
        response.status = 429;
        response.set_header("Retry-After", "1");
        response.set_content(SlowDownPage, HtmlUtf8);
    } else if (reply) {
        response.status = reply->status;
        for (const auto &[name, value] : reply->headers)
            response.set_header(name, value);
        response.set_content(reply->body, reply->contentType.c_str());
    } else if (request.method == "POST") {
        answerPost(fault, request, response);
    } else {
        answerWithSamplePage(fault, request, response);
    }
}

void FakeSite::State::answerPost(Fault fault, const httplib::Request &request, httplib::Response &response)
{
    switch (fault) {
    case Fault::ServerError:
        response.status = 500;
        response.set_content("internal server error", "text/plain");
        return;
    case Fault::TooManyRequests:
        answerRateLimited(response);
        return;
    case Fault::HeadersNeverCome:
        waitReleased(std::chrono::minutes(2));
        response.status = 503;
        return;
    case Fault::ResetMidBody:
        response.set_content_provider(2, "text/plain", [&request](std::size_t, std::size_t, httplib::DataSink &) {
            resetOnClose(request);
            return false;
        });
        return;
    default:
        response.set_content("ok", "text/plain");
        return;
    }
}

void FakeSite::State::answerWithSamplePage(Fault fault, const httplib::Request &request, httplib::Response &response)
{
    std::string version;
    std::string base;
    std::string elsewhere;
    int pages = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        version = publishedVersion;
        base = url;
        elsewhere = elsewhereUrl;
        pages = pageCount;
    }
    if (fault == Fault::LongVersion)
        version = "V" + std::string(LongVersionCharacters - 1, '9');
    const SampleMarket::SamplePage page
        = SampleMarket::samplePageFor(request.path, request.get_param_value("p"), pages, version);
    const std::string declared = page.contentType();
    const std::string body = page.bytes();
    const std::string kind = page.html ? "text/html" : "text/plain";
    const std::string domain = request.path.substr(request.path.rfind('/') + 1);

    switch (fault) {
    case Fault::None:
    case Fault::ConnectionRefused:
    case Fault::LongVersion:
    case Fault::ArrivesLate:
        response.set_content(body, declared.c_str());
        return;
    case Fault::ServerError:
        response.status = 500;
        response.set_content(body, declared.c_str());
        return;
    case Fault::TooManyRequests:
        answerRateLimited(response);
        return;
    case Fault::InvalidUtf8:
        response.set_content(withBrokenUtf8(page.text), (kind + "; charset=utf-8").c_str());
        return;
    case Fault::GbkDeclaredUtf8:
        response.set_content(SampleMarket::toGbk(page.text), (kind + "; charset=utf-8").c_str());
        return;
    case Fault::RedirectLoop:
        response.set_redirect(base + request.target, 302);
        return;
    case Fault::RedirectElsewhere:
        response.set_redirect(elsewhere + request.target, 302);
        return;
    case Fault::HeadersNeverCome:
        waitReleased(std::chrono::minutes(2));
        response.status = 503;
        return;
    case Fault::ResetMidBody:
        response.set_content_provider(
            body.size(), declared, [body, &request](std::size_t offset, std::size_t, httplib::DataSink &sink) {
                if (offset > 0)
                    return false;
                sink.write(body.data(), body.size() / 2);
                resetOnClose(request);
                return false; // the server gives the connection up, and the close resets it
            });
        return;
    case Fault::BodyDrips:
        response.set_content_provider(
            body.size(), declared, [this, body](std::size_t offset, std::size_t, httplib::DataSink &sink) {
                if (offset > 0 && waitReleased(std::chrono::seconds(1)))
                    return false;
                return sink.write(body.data() + offset, 1);
            });
        return;
    case Fault::BodyNeverEnds:
        response.set_chunked_content_provider(declared, [this, body](std::size_t offset, httplib::DataSink &sink) {
            if (offset == 0)
                return sink.write(body.data(), body.size() / 2);
            if (waitReleased(std::chrono::milliseconds(10)))
                return false;
            const std::string more = filler(4096);
            return sink.write(more.data(), more.size());
        });
        return;
    case Fault::HugeBody:
        response.set_chunked_content_provider(declared, [this, body](std::size_t offset, httplib::DataSink &sink) {
            if (offset == 0)
                return sink.write(body.data(), body.size());
            if (waitReleased(std::chrono::milliseconds(0)))
                return false;
            if (static_cast<long long>(offset) >= HugeBodyBytes) {
                sink.done();
                return true;
            }
            static const std::string chunk = filler(64 * 1024);
            const std::size_t size
                = std::min<std::size_t>(chunk.size(), static_cast<std::size_t>(HugeBodyBytes) - offset);
            return sink.write(chunk.data(), size);
        });
        return;
    case Fault::GzipBomb: {
        // Through a provider of known length: cpp-httplib compresses only other bodies, and this
        // one must not be compressed twice.
        const std::string bomb = gzipBomb(body);
        response.set_header("Content-Encoding", "gzip");
        response.set_content_provider(
            bomb.size(), declared, [bomb](std::size_t offset, std::size_t, httplib::DataSink &sink) {
                return sink.write(bomb.data() + offset, bomb.size() - offset);
            });
        return;
    }
    case Fault::HugeWhois:
        response.set_content(
            backorderPageWithHugeValue(domain, &SampleMarket::BackorderInfo::whois, letters(HugeWhoisBytes)),
            "text/html; charset=gbk");
        return;
    case Fault::HugeResultsPage: {
        const std::string pagination = "<div class=\"pagination\">";
        const std::size_t split = body.find(pagination);
        const std::string head = body.substr(0, split == std::string::npos ? body.size() : split);
        const std::string tail = split == std::string::npos ? std::string() : body.substr(split);
        const std::size_t fillerBytes
            = HugeResultsPageBytes - std::min(HugeResultsPageBytes, head.size() + tail.size());
        response.set_content_provider(HugeResultsPageBytes, declared,
            [head, tail, fillerBytes](std::size_t offset, std::size_t, httplib::DataSink &sink) {
                static const std::string chunk = filler(64 * 1024);
                if (offset < head.size())
                    return sink.write(head.data() + offset, head.size() - offset);
                const std::size_t intoFiller = offset - head.size();
                if (intoFiller < fillerBytes)
                    return sink.write(chunk.data(), std::min(chunk.size(), fillerBytes - intoFiller));
                const std::size_t intoTail = intoFiller - fillerBytes;
                return sink.write(tail.data() + intoTail, tail.size() - intoTail);
            });
        return;
    }
    case Fault::HugeDeletionType:
        response.set_content(backorderPageWithHugeValue(
                                 domain, &SampleMarket::BackorderInfo::deletionType, letters(HugeDeletionTypeBytes)),
            "text/html; charset=gbk");
        return;
    }
}

FakeSite::FakeSite()
    : m_state(std::make_unique<State>())
{
    m_server.setCompressionAllowed(false);
    m_elsewhere.setCompressionAllowed(false);
    State *state = m_state.get();
    m_server.get(".*",
        [state](const httplib::Request &request, httplib::Response &response) { state->answer(request, response); });
    m_server.setRequestObserver([state](const LoopbackServer::LoggedRequest &request) {
        std::function<void(const LoopbackServer::LoggedRequest &)> observer;
        bool late = false;
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            observer = state->observer;
            const auto found = state->faults.find(request.target);
            late = found != state->faults.end() && found->second == Fault::ArrivesLate;
        }
        // Before the observer and the answer, which both count the arrival.
        if (late)
            state->waitReleased(std::chrono::milliseconds(LateArrivalMs));
        if (observer)
            observer(request);
    });
    m_server.post(".*",
        [state](const httplib::Request &request, httplib::Response &response) { state->answer(request, response); });
    m_elsewhere.get(
        ".*", [](const httplib::Request &, httplib::Response &response) { response.set_content(LoginPage, HtmlUtf8); });
}

FakeSite::~FakeSite()
{
    releaseAll();
    m_server.stop();
    m_elsewhere.stop();
}

bool FakeSite::start(int port)
{
    if (m_server.start(port) <= 0 || m_elsewhere.start() <= 0)
        return false;
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->url = m_server.baseUrl();
    m_state->elsewhereUrl = m_elsewhere.baseUrl();
    return true;
}

std::string FakeSite::url() const
{
    return m_server.baseUrl();
}

std::string FakeSite::closedPortUrl()
{
    // Bound and never listening, the port refuses connections; closed, it is free to be taken
    // again, which the system does not do soon.
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    if (probe < 0)
        return std::string();
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const bool bound = ::bind(probe, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && ::getsockname(probe, reinterpret_cast<sockaddr *>(&address), &length) == 0;
    ::close(probe);
    return bound ? "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) : std::string();
}

void FakeSite::setPageCount(int pages)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->pageCount = pages;
}

void FakeSite::setLatency(std::chrono::milliseconds latency)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->latency = latency;
}

void FakeSite::setPublishedVersion(const std::string &version)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->publishedVersion = version;
}

void FakeSite::setRateLimit(int requestsPerSecond)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->rateLimit = requestsPerSecond;
    m_state->admitted.clear();
}

void FakeSite::setCompression(bool allowed)
{
    m_server.setCompressionAllowed(allowed);
}

void FakeSite::setReply(const std::string &target, Reply reply)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->faults.erase(target);
    m_state->replies[target] = std::move(reply);
}

void FakeSite::setFault(const std::string &target, Fault fault)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->replies.erase(target);
    if (fault == Fault::None)
        m_state->faults.erase(target);
    else
        m_state->faults[target] = fault;
}

void FakeSite::setAnswer(const std::string &target, const Answer &answer)
{
    if (answer.reply)
        setReply(target, *answer.reply);
    else
        setFault(target, answer.fault);
}

void FakeSite::setNextAnswers(const std::string &target, const std::vector<Answer> &answers)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->nextAnswers[target].assign(answers.begin(), answers.end());
}

void FakeSite::hold(const std::string &target)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->held.insert(target);
    m_state->releasedFromEverything.erase(target);
}

void FakeSite::holdEverything()
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->holdingEverything = true;
    m_state->releasedFromEverything.clear();
}

void FakeSite::release(const std::string &target)
{
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->held.erase(target);
        m_state->releasedFromEverything.insert(target);
    }
    m_state->changed.notify_all();
}

void FakeSite::releaseAll()
{
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->releasedForGood = true;
    }
    m_state->changed.notify_all();
}

bool FakeSite::waitUntilRequested(const std::string &target, std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> lock(m_state->mutex);
    return m_state->changed.wait_for(lock, limit, [&] {
        const auto found = m_state->arrived.find(target);
        return found != m_state->arrived.end() && found->second > 0;
    });
}

bool FakeSite::waitUntilQuiet(int held, std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> lock(m_state->mutex);
    return m_state->changed.wait_for(lock, limit, [&] { return m_state->answering <= held; });
}

std::vector<LoopbackServer::LoggedRequest> FakeSite::requests() const
{
    return m_server.requests();
}

std::vector<std::string> FakeSite::requestedTargets() const
{
    return m_server.requestedTargets();
}

int FakeSite::requestCount(const std::string &target) const
{
    const std::vector<std::string> targets = m_server.requestedTargets();
    return static_cast<int>(std::count(targets.begin(), targets.end(), target));
}

std::vector<FakeSite::Post> FakeSite::posts() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->posts;
}

int FakeSite::mostAnsweredAtOnce() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->mostAnswering;
}

void FakeSite::clearLog()
{
    m_server.clearLog();
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->arrived.clear();
    m_state->posts.clear();
    m_state->mostAnswering = m_state->answering;
}

void FakeSite::setRequestObserver(std::function<void(const LoopbackServer::LoggedRequest &)> observer)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->observer = std::move(observer);
}
