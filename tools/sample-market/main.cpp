// sample-market: serves the sample marketplace, the ICP lookup site and the update server on
// 127.0.0.1 until SIGINT or SIGTERM.
#include "tools/fakedns.h"
#include "tools/fakesite.h"
#include "tools/samplemarket.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <string>

namespace {

const char Usage[] = "usage: sample-market [--port N] [--pages N] [--latency MS] [--version-published TEXT]\n"
                     "                     [--rate-limit R] [--quiet] [--help]\n"
                     "\n"
                     "Serves on 127.0.0.1:\n"
                     "  /search?p=N          results pages (UTF-8), 50 names each for pages 1..--pages\n"
                     "  /backorder/<domain>  backorder pages (GBK)\n"
                     "  /<domain>            ICP lookup pages (GBK)\n"
                     "  /version/main.txt    the version file (GBK): a comment line, then \"qvrt:\" + version + \"|\"\n"
                     "and DNS on 127.0.0.1 (UDP and TCP, a port of its own): NS records for about three names in\n"
                     "five under any suffix, NXDOMAIN for the others. Its address is printed on the second line.\n"
                     "\n"
                     "  --port N                   port to listen on; 0 (the default) lets the system pick one\n"
                     "  --pages N                  number of results pages with rows (default 20)\n"
                     "  --latency MS               delay added to every answer (default 0)\n"
                     "  --version-published TEXT   version announced by the version file (default V1.4)\n"
                     "  --rate-limit R             answer 429 above R requests a second (default 0: no limit)\n"
                     "  --quiet                    do not log requests\n"
                     "  --help                     show this text\n";

std::optional<int> parseNumber(const std::string &text, int lowest, int highest)
{
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < lowest || value > highest)
        return std::nullopt;
    return value;
}

void logRequest(const LoopbackServer::LoggedRequest &request)
{
    static std::mutex logMutex;
    const std::string ifModifiedSince = request.hasIfModifiedSince ? "If-Modified-Since: " + request.ifModifiedSince
                                                                   : std::string("no If-Modified-Since");
    std::lock_guard<std::mutex> lock(logMutex);
    std::printf("%s %s %s  [%s]\n", request.method.c_str(), request.target.c_str(), request.version.c_str(),
        ifModifiedSince.c_str());
    std::fflush(stdout);
}

int refuse(const std::string &why)
{
    std::fprintf(stderr, "sample-market: %s\n\n%s", why.c_str(), Usage);
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    bool logRequests = true;
    int port = 0;
    int pageCount = 20;
    int latencyMs = 0;
    int rateLimit = 0;
    std::string publishedVersion = "V1.4";

    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        std::optional<std::string> inlineValue;
        const std::size_t equals = argument.find('=');
        if (argument.rfind("--", 0) == 0 && equals != std::string::npos) {
            inlineValue = argument.substr(equals + 1);
            argument.erase(equals);
        }
        const auto value = [&]() -> std::optional<std::string> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 < argc)
                return std::string(argv[++i]);
            return std::nullopt;
        };

        if (argument == "--help" || argument == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        } else if (argument == "--quiet" && !inlineValue) {
            logRequests = false;
        } else if (argument == "--port") {
            const std::optional<std::string> text = value();
            const std::optional<int> number = text ? parseNumber(*text, 0, 65535) : std::nullopt;
            if (!number)
                return refuse("--port wants a number from 0 to 65535");
            port = *number;
        } else if (argument == "--pages") {
            const std::optional<std::string> text = value();
            const std::optional<int> number = text ? parseNumber(*text, 0, 32767) : std::nullopt;
            if (!number)
                return refuse("--pages wants a number from 0 to 32767");
            pageCount = *number;
        } else if (argument == "--latency") {
            const std::optional<std::string> text = value();
            const std::optional<int> number = text ? parseNumber(*text, 0, 600000) : std::nullopt;
            if (!number)
                return refuse("--latency wants milliseconds from 0 to 600000");
            latencyMs = *number;
        } else if (argument == "--version-published") {
            const std::optional<std::string> text = value();
            if (!text)
                return refuse("--version-published wants a text");
            publishedVersion = *text;
        } else if (argument == "--rate-limit") {
            const std::optional<std::string> text = value();
            const std::optional<int> number = text ? parseNumber(*text, 0, 1000000) : std::nullopt;
            if (!number)
                return refuse("--rate-limit wants requests a second from 0 to 1000000");
            rateLimit = *number;
        } else {
            return refuse("unknown argument: " + std::string(argv[i]));
        }
    }

    // The server's threads inherit this mask, so the signals reach only sigwait() below and the
    // server is stopped from here, not from inside a signal handler.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    int received = 0;
    {
        FakeSite site;
        site.setPageCount(pageCount);
        site.setLatency(std::chrono::milliseconds(latencyMs));
        site.setPublishedVersion(publishedVersion);
        site.setRateLimit(rateLimit);
        if (logRequests)
            site.setRequestObserver(logRequest);
        if (!site.start(port)) {
            std::fprintf(stderr, "sample-market: cannot listen on 127.0.0.1:%d: %s\n", port, std::strerror(errno));
            return 1;
        }
        FakeDnsServer dns;
        dns.setAnswerer([](const std::string &name) {
            return SampleMarket::inSampleDns(name) ? FakeDnsServer::Mode::NameServers : FakeDnsServer::Mode::NxDomain;
        });
        if (!dns.start()) {
            std::fprintf(stderr, "sample-market: cannot serve DNS on 127.0.0.1: %s\n", std::strerror(errno));
            return 1;
        }
        std::printf("sample-market listening on %s\n", site.url().c_str());
        std::printf("sample-market dns on %s\n", dns.address().c_str());
        std::fflush(stdout);
        sigwait(&stopSignals, &received);
    } // the site lets answers still waiting out the latency go, then stops
    if (logRequests) {
        std::printf("sample-market stopped (%s)\n", received == SIGINT ? "SIGINT" : "SIGTERM");
        std::fflush(stdout);
    }
    return 0;
}
