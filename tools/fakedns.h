// A DNS server on 127.0.0.1 for the tests, the benchmarks and the sample marketplace: UDP (and TCP on
// the same port, for the retry after a truncated answer) on a port the OS picks, served by a thread
// of its own. Each name is answered in a mode of its own; every query is logged with its arrival.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FakeDnsServer
{
public:
    enum class Mode {
        NameServers, // NOERROR with two NS records
        Referral, // NOERROR, no answer, NS records in the authority section
        NxDomain,
        ServFail,
        Refused,
        Silence, // no answer at all
        Truncated, // over UDP an empty answer with the TC bit; over TCP the NS records
        Garbage, // the right id and question, then three answers' worth of nonsense
        WrongIdThenRight, // NXDOMAIN under another query id, then the NS records under the right one
        WrongIdOnly, // NXDOMAIN under another query id, nothing else
    };
    struct Query
    {
        std::string name; // lower case, no final dot
        std::chrono::steady_clock::time_point arrival;
        bool overTcp = false;
    };

    static const char *describeMode(Mode mode);

    FakeDnsServer();
    ~FakeDnsServer();
    FakeDnsServer(const FakeDnsServer &) = delete;
    FakeDnsServer &operator=(const FakeDnsServer &) = delete;

    // Binds 127.0.0.1 on this port (0: any free one) for UDP and TCP. False when it could not.
    bool start(int port = 0);
    void stop();
    int port() const { return m_port; }
    // "127.0.0.1:<port>"
    std::string address() const;

    // Names not given a mode are answered by the answerer, else in the default mode (NameServers).
    void setMode(const std::string &name, Mode mode);
    void setDefaultMode(Mode mode);
    void setAnswerer(std::function<Mode(const std::string &name)> answerer);

    std::vector<Query> queries() const;
    int queryCount(const std::string &name) const;
    void clearLog();

private:
    void serve();
    Mode modeFor(const std::string &name) const;
    void answerUdp();
    void answerTcp();

    int m_udp = -1;
    int m_tcp = -1;
    int m_wake[2] = { -1, -1 };
    int m_port = -1;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::map<std::string, Mode> m_modes;
    Mode m_defaultMode = Mode::NameServers;
    std::function<Mode(const std::string &)> m_answerer;
    std::vector<Query> m_log;
};
