// A small HTTP server on 127.0.0.1 with a port the OS picks, for the sample marketplace, the
// tests and the benchmarks. Handlers run on the server's own threads.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

class LoopbackServer
{
public:
    using Handler = std::function<void(const httplib::Request &, httplib::Response &)>;

    struct LoggedRequest
    {
        std::string method;
        std::string path; // without the query
        std::string target; // path and query as sent
        std::string version; // "HTTP/1.1"
        bool hasIfModifiedSince = false;
        std::string ifModifiedSince;
    };

    // Connections served at the same time. Each answer held back by a test keeps one busy, and
    // the library's own default (8 on a small machine) is far too few for that.
    static constexpr std::size_t ThreadCount = 64;

    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer &) = delete;
    LoopbackServer &operator=(const LoopbackServer &) = delete;

    // Routes are regular expressions matched against the whole path, as cpp-httplib does.
    // Register them before start().
    void get(const std::string &pattern, Handler handler);
    void post(const std::string &pattern, Handler handler);

    // Binds 127.0.0.1 (port 0: any free port) and serves on a background thread.
    // Returns the port, or -1 when it could not bind.
    int start(int port = 0);
    void stop();

    int port() const { return m_port; }
    // "http://127.0.0.1:<port>"
    std::string baseUrl() const;

    // Every request as it arrived, before it was handled.
    std::vector<LoggedRequest> requests() const;
    std::vector<std::string> requestedTargets() const;
    void clearLog();
    // Called for each request as it arrives (after it is logged), on the server's thread.
    void setRequestObserver(std::function<void(const LoggedRequest &)> observer);
    // Text replies are compressed for a client that accepts it (Qt does), as real sites do.
    // cpp-httplib compresses at its slowest setting, some 15 ms a page on a small machine:
    // the sample marketplace and the benchmarks switch it off.
    void setCompressionAllowed(bool allowed) { m_compressionAllowed = allowed; }

    httplib::Server &server() { return *m_server; }

private:
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    std::atomic<bool> m_listenReturned { false };
    std::atomic<bool> m_compressionAllowed { true };
    int m_port = -1;
    int m_listeningSocket = -1; // set while binding
    mutable std::mutex m_mutex;
    std::vector<LoggedRequest> m_log;
    std::function<void(const LoggedRequest &)> m_observer;
};
