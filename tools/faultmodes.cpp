#include "tools/faultmodes.h"

#include "tools/samplemarket.h"

#include <QTcpServer>

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

// Byte sequences that are no UTF-8: stray continuation and lead bytes, a lead byte followed by
// ASCII, overlong and five-byte forms, an encoded surrogate and a character cut off.
const char BrokenUtf8[] = "\xff\xfe \x80\xbf \xc3\x28 \xe2\x28\xa1 \xe2\x82\x28 \xf0\x28\x8c\xbc \xf8\xa1\xa1\xa1\xa1 "
                          "\xc0\xaf \xed\xa0\x80 \xe4\xb8\r\n";

const char RateLimitPage[] = "<!DOCTYPE html>\r\n<html>\r\n<head><title>429 Too Many Requests</title></head>\r\n"
                             "<body>\r\n<h1>请求过于频繁</h1>\r\n<p>您的访问过于频繁，请一小时后再试。</p>\r\n"
                             "</body>\r\n</html>\r\n";

const char LoginPage[] = "<!DOCTYPE html>\r\n<html>\r\n<head><meta charset=\"utf-8\"><title>用户登录</title></head>\r\n"
                         "<body>\r\n<form action=\"/login\" method=\"post\">\r\n<p>请先登录后再访问该页面。</p>\r\n"
                         "<input name=\"user\"> <input name=\"password\" type=\"password\">\r\n</form>\r\n"
                         "</body>\r\n</html>\r\n";

// The page the sample marketplace serves at a path, as UTF-8 text, and whether it goes out in GBK
// (backorder and ICP pages, the version file) or in UTF-8 (results pages).
struct SamplePage
{
    std::string text;
    bool gbk = false;
    bool html = true;
};

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

int pageNumberOf(const std::string &text)
{
    if (text.empty() || text.size() > 5
        || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return 0;
    return std::atoi(text.c_str());
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

// The socket of the connection a request came on, found by its two ports (httplib does not
// hand it out); -1 when not found.
int socketOf(const httplib::Request &request)
{
    DIR *descriptors = ::opendir("/proc/self/fd");
    if (!descriptors)
        return -1;
    int found = -1;
    while (const dirent *entry = ::readdir(descriptors)) {
        const int fd = std::atoi(entry->d_name);
        sockaddr_in local {};
        sockaddr_in peer {};
        socklen_t length = sizeof local;
        if (::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &length) != 0 || local.sin_family != AF_INET
            || ntohs(local.sin_port) != request.local_port)
            continue;
        length = sizeof peer;
        if (::getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &length) != 0
            || ntohs(peer.sin_port) != request.remote_port)
            continue;
        found = fd;
        break;
    }
    ::closedir(descriptors);
    return found;
}

// Makes the closing of the connection a reset (RST) instead of an orderly end.
void resetOnClose(const httplib::Request &request)
{
    const int fd = socketOf(request);
    if (fd < 0)
        return;
    const linger abort { 1, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
}

SamplePage samplePage(const std::string &path, const std::string &pageParameter)
{
    const std::string backorder = "/backorder/";
    if (path == "/search") {
        const int pageNo = pageNumberOf(pageParameter);
        return { SampleMarket::resultsPage(
                     pageNo >= 1 ? SampleMarket::namesForPage(pageNo) : std::vector<std::string>()),
            false, true };
    }
    if (path.compare(0, backorder.size(), backorder) == 0)
        return { SampleMarket::backorderPage(SampleMarket::backorderInfoFor(path.substr(backorder.size()))), true,
            true };
    if (path == "/version/main.txt") {
        // A line of Chinese before the entry, as a maker's own file may have.
        return { "# Vexlon系列软件 版本信息\r\n" + SampleMarket::versionFile("V1.4") + "\r\n", true, false };
    }
    return { SampleMarket::icpPage(SampleMarket::icpLicenceFor(path.substr(1))), true, true };
}

} // namespace

struct FaultyMarket::State
{
    std::mutex mutex;
    std::condition_variable changed;
    bool released = false;
    std::map<std::string, Fault> faults;
    std::string baseUrl;
    std::string elsewhereUrl;

    // True when released, at once or within the limit.
    bool waitReleased(std::chrono::milliseconds limit)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, limit, [this] { return released; });
    }

    void answer(const httplib::Request &request, httplib::Response &response);
};

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
    }
    return "?";
}

std::vector<Fault> allFaults()
{
    return { Fault::ConnectionRefused, Fault::ResetMidBody, Fault::HeadersNeverCome, Fault::BodyNeverEnds,
        Fault::BodyDrips, Fault::TooManyRequests, Fault::ServerError, Fault::HugeBody, Fault::InvalidUtf8,
        Fault::GbkDeclaredUtf8, Fault::RedirectLoop, Fault::RedirectElsewhere };
}

void FaultyMarket::State::answer(const httplib::Request &request, httplib::Response &response)
{
    Fault fault = Fault::None;
    std::string base;
    std::string elsewhere;
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto found = faults.find(request.target);
        if (found != faults.end())
            fault = found->second;
        base = baseUrl;
        elsewhere = elsewhereUrl;
    }

    const SamplePage page = samplePage(request.path, request.get_param_value("p"));
    const std::string kind = page.html ? "text/html" : "text/plain";
    const std::string declared = kind + (page.gbk ? "; charset=gbk" : "; charset=utf-8");
    const std::string body = page.gbk ? SampleMarket::toGbk(page.text) : page.text;

    switch (fault) {
    case Fault::None:
    case Fault::ConnectionRefused:
        response.set_content(body, declared.c_str());
        return;
    case Fault::ServerError:
        response.status = 500;
        response.set_content(body, declared.c_str());
        return;
    case Fault::TooManyRequests:
        response.status = 429;
        response.set_header("Retry-After", "3600");
        response.set_content(RateLimitPage, "text/html; charset=utf-8");
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
    }
}

FaultyMarket::FaultyMarket()
    : m_state(std::make_shared<State>())
{
    // The faults go out byte for byte as set: nothing compressed on the way.
    m_server.setCompressionAllowed(false);
    m_elsewhere.setCompressionAllowed(false);
    const std::shared_ptr<State> state = m_state;
    m_server.get("/.*",
        [state](const httplib::Request &request, httplib::Response &response) { state->answer(request, response); });
    m_elsewhere.get("/.*", [](const httplib::Request &, httplib::Response &response) {
        response.set_content(LoginPage, "text/html; charset=utf-8");
    });
}

FaultyMarket::~FaultyMarket()
{
    releaseAll();
    m_server.stop();
    m_elsewhere.stop();
}

bool FaultyMarket::start()
{
    if (m_server.start() <= 0 || m_elsewhere.start() <= 0)
        return false;
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->baseUrl = m_server.baseUrl();
    m_state->elsewhereUrl = m_elsewhere.baseUrl();
    return true;
}

std::string FaultyMarket::baseUrl() const
{
    return m_server.baseUrl();
}

std::string FaultyMarket::closedPortUrl()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost))
        return std::string();
    const quint16 port = probe.serverPort();
    probe.close();
    return "http://127.0.0.1:" + std::to_string(port);
}

void FaultyMarket::setFault(const std::string &target, Fault fault)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->faults[target] = fault;
}

void FaultyMarket::releaseAll()
{
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->released = true;
    }
    m_state->changed.notify_all();
}

void FaultyMarket::setRequestObserver(std::function<void(const LoopbackServer::LoggedRequest &)> observer)
{
    m_server.setRequestObserver(std::move(observer));
}
