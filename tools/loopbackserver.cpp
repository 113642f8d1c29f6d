#include "tools/loopbackserver.h"

#include <httplib.h>

#include <chrono>

#include <sys/socket.h>

LoopbackServer::LoopbackServer()
    : m_server(std::make_unique<httplib::Server>())
{
    // One request per connection: a kept-alive connection holds its worker, and so stop(), for
    // up to the keep-alive time-out after the last answer.
    m_server->set_keep_alive_max_count(1);
    // Headers and body go out in two writes: without this, Nagle's algorithm holds the body
    // back until the client's delayed acknowledgement.
    m_server->set_tcp_nodelay(true);
    // The pool size is compiled into the installed library: only a queue of our own changes it.
    m_server->new_task_queue = [] { return new httplib::ThreadPool(ThreadCount); };
    m_server->set_socket_options([this](socket_t socket) {
        httplib::default_socket_options(socket);
        m_listeningSocket = socket;
    });
    m_server->set_pre_routing_handler([this](const httplib::Request &request, httplib::Response &) {
        LoggedRequest entry;
        entry.method = request.method;
        entry.path = request.path;
        entry.target = request.target;
        entry.version = request.version;
        entry.hasIfModifiedSince = request.has_header("If-Modified-Since");
        if (entry.hasIfModifiedSince)
            entry.ifModifiedSince = request.get_header_value("If-Modified-Since");
        std::function<void(const LoggedRequest &)> observer;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_log.push_back(entry);
            observer = m_observer;
        }
        if (observer)
            observer(entry);
        // cpp-httplib decides on compression from this header alone.
        if (!m_compressionAllowed)
            const_cast<httplib::Request &>(request).headers.erase("Accept-Encoding");
        return httplib::Server::HandlerResponse::Unhandled;
    });
}

LoopbackServer::~LoopbackServer()
{
    stop();
}

void LoopbackServer::get(const std::string &pattern, Handler handler)
{
    m_server->Get(pattern, std::move(handler));
}

void LoopbackServer::post(const std::string &pattern, Handler handler)
{
    m_server->Post(pattern, std::move(handler));
}

int LoopbackServer::start(int port)
{
    if (port == 0)
        m_port = m_server->bind_to_any_port("127.0.0.1");
    else
        m_port = m_server->bind_to_port("127.0.0.1", port) ? port : -1;
    if (m_port < 0)
        return -1;
    // The library listens with a backlog of 5: connections coming in a burst beyond that are
    // dropped, and their clients try again only a second later.
    ::listen(m_listeningSocket, SOMAXCONN);
    m_listenReturned = false;
    m_thread = std::thread([this] {
        m_server->listen_after_bind();
        m_listenReturned = true;
    });
    return m_port;
}

void LoopbackServer::stop()
{
    if (!m_thread.joinable())
        return;
    // httplib::Server::stop() does nothing until the accept loop has begun, and a server stopped
    // right after start() would then listen for ever: wait (briefly) for the loop first.
    while (!m_server->is_running() && !m_listenReturned)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    m_server->stop();
    m_thread.join();
}

std::string LoopbackServer::baseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(m_port);
}

std::vector<LoopbackServer::LoggedRequest> LoopbackServer::requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_log;
}

std::vector<std::string> LoopbackServer::requestedTargets() const
{
    std::vector<std::string> targets;
    for (const LoggedRequest &entry : requests())
        targets.push_back(entry.target);
    return targets;
}

void LoopbackServer::clearLog()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_log.clear();
}

void LoopbackServer::setRequestObserver(std::function<void(const LoggedRequest &)> observer)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_observer = std::move(observer);
}
