#include "tools/fakedns.h"

#include <arpa/inet.h>
#include <cctype>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

using Bytes = std::string;

struct ParsedQuery
{
    bool valid = false;
    int id = 0;
    bool recursionDesired = false;
    std::string name;
    Bytes question; // the question section as sent
};

ParsedQuery parseQuery(const unsigned char *data, std::size_t length)
{
    ParsedQuery query;
    if (length < 12 || (data[2] & 0x80))
        return query;
    query.id = (data[0] << 8) | data[1];
    query.recursionDesired = data[2] & 0x01;
    std::size_t pos = 12;
    while (pos < length && data[pos] != 0) {
        const std::size_t size = data[pos];
        if ((size & 0xC0) || pos + 1 + size > length)
            return query;
        if (!query.name.empty())
            query.name += '.';
        for (std::size_t i = 0; i < size; ++i)
            query.name += char(std::tolower(data[pos + 1 + i]));
        pos += 1 + size;
    }
    if (pos + 5 > length)
        return query;
    pos += 5; // the root label, type and class
    query.question.assign(reinterpret_cast<const char *>(data) + 12, pos - 12);
    query.valid = true;
    return query;
}

void put16(Bytes &out, int value)
{
    out += char((value >> 8) & 0xFF);
    out += char(value & 0xFF);
}

Bytes encodedName(const std::string &dotted)
{
    Bytes out;
    std::size_t start = 0;
    while (start < dotted.size()) {
        std::size_t dot = dotted.find('.', start);
        if (dot == std::string::npos)
            dot = dotted.size();
        out += char(dot - start);
        out += dotted.substr(start, dot - start);
        start = dot + 1;
    }
    out += '\0';
    return out;
}

Bytes header(const ParsedQuery &query, int id, int rcode, bool truncated, int answers, int authorities)
{
    Bytes out;
    put16(out, id);
    out += char(0x80 | (truncated ? 0x02 : 0) | (query.recursionDesired ? 0x01 : 0));
    out += char(0x80 | rcode); // recursion available
    put16(out, 1);
    put16(out, answers);
    put16(out, authorities);
    put16(out, 0);
    out += query.question;
    return out;
}

Bytes nameServerRecords(const std::string &name)
{
    Bytes out;
    for (const char *host : { "ns1.fake-dns.test", "ns2.fake-dns.test" }) {
        Bytes record;
        put16(record, 0xC00C); // the question's name
        put16(record, 2); // NS
        put16(record, 1); // IN
        put16(record, 0);
        put16(record, 3600);
        const Bytes target = encodedName(host);
        put16(record, int(target.size()));
        record += target;
        out += record;
    }
    (void)name;
    return out;
}

// The answers to send, in order, for one query.
std::vector<Bytes> answersFor(const ParsedQuery &query, FakeDnsServer::Mode mode, bool overTcp)
{
    using Mode = FakeDnsServer::Mode;
    const int id = query.id;
    const int otherId = query.id ^ 0x5A5A;
    switch (mode) {
    case Mode::NameServers:
        return { header(query, id, 0, false, 2, 0) + nameServerRecords(query.name) };
    case Mode::Referral:
        return { header(query, id, 0, false, 0, 2) + nameServerRecords(query.name) };
    case Mode::NxDomain:
        return { header(query, id, 3, false, 0, 0) };
    case Mode::ServFail:
        return { header(query, id, 2, false, 0, 0) };
    case Mode::Refused:
        return { header(query, id, 5, false, 0, 0) };
    case Mode::Silence:
        return {};
    case Mode::Truncated:
        if (overTcp)
            return { header(query, id, 0, false, 2, 0) + nameServerRecords(query.name) };
        return { header(query, id, 0, true, 0, 0) };
    case Mode::Garbage:
        return { header(query, id, 0, false, 3, 0) + Bytes("\xC0\x0C\x00\x02\x00\x01\xFF\xFF\xFF", 9) };
    case Mode::WrongIdThenRight:
        return { header(query, otherId, 3, false, 0, 0), header(query, id, 0, false, 2, 0) + nameServerRecords(query.name) };
    case Mode::WrongIdOnly:
        return { header(query, otherId, 3, false, 0, 0) };
    }
    return {};
}

} // namespace

const char *FakeDnsServer::describeMode(Mode mode)
{
    switch (mode) {
    case Mode::NameServers: return "name servers in the answer";
    case Mode::Referral: return "a referral";
    case Mode::NxDomain: return "NXDOMAIN";
    case Mode::ServFail: return "SERVFAIL";
    case Mode::Refused: return "REFUSED";
    case Mode::Silence: return "silence";
    case Mode::Truncated: return "a truncated answer, then TCP";
    case Mode::Garbage: return "garbage after the question";
    case Mode::WrongIdThenRight: return "a wrong query id, then the right one";
    case Mode::WrongIdOnly: return "only a wrong query id";
    }
    return "?";
}

FakeDnsServer::FakeDnsServer() = default;

FakeDnsServer::~FakeDnsServer()
{
    stop();
}

bool FakeDnsServer::start(int port)
{
    // The OS picks a UDP port; TCP must get the same one, which may be taken: try a few.
    for (int attempt = 0; attempt < 20; ++attempt) {
        m_udp = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        m_tcp = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_udp < 0 || m_tcp < 0)
            break;
        const int yes = 1;
        setsockopt(m_tcp, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(uint16_t(port));
        socklen_t size = sizeof address;
        if (bind(m_udp, reinterpret_cast<sockaddr *>(&address), size) == 0
            && getsockname(m_udp, reinterpret_cast<sockaddr *>(&address), &size) == 0
            && bind(m_tcp, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 && listen(m_tcp, 16) == 0) {
            m_port = ntohs(address.sin_port);
            if (pipe2(m_wake, O_CLOEXEC) != 0)
                break;
            m_thread = std::thread([this] { serve(); });
            return true;
        }
        close(m_udp);
        close(m_tcp);
        m_udp = m_tcp = -1;
        if (port != 0)
            break;
    }
    if (m_udp >= 0)
        close(m_udp);
    if (m_tcp >= 0)
        close(m_tcp);
    m_udp = m_tcp = -1;
    return false;
}

void FakeDnsServer::stop()
{
    if (m_thread.joinable()) {
        const char byte = 0;
        [[maybe_unused]] const ssize_t written = write(m_wake[1], &byte, 1);
        m_thread.join();
    }
    for (int *fd : { &m_udp, &m_tcp, &m_wake[0], &m_wake[1] }) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
}

std::string FakeDnsServer::address() const
{
    return "127.0.0.1:" + std::to_string(m_port);
}

void FakeDnsServer::setMode(const std::string &name, Mode mode)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_modes[name] = mode;
}

void FakeDnsServer::setDefaultMode(Mode mode)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_defaultMode = mode;
}

void FakeDnsServer::setAnswerer(std::function<Mode(const std::string &)> answerer)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answerer = std::move(answerer);
}

std::vector<FakeDnsServer::Query> FakeDnsServer::queries() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_log;
}

int FakeDnsServer::queryCount(const std::string &name) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    int count = 0;
    for (const Query &query : m_log)
        count += query.name == name;
    return count;
}

void FakeDnsServer::clearLog()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_log.clear();
}

FakeDnsServer::Mode FakeDnsServer::modeFor(const std::string &name) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_modes.find(name);
    if (found != m_modes.end())
        return found->second;
    if (m_answerer)
        return m_answerer(name);
    return m_defaultMode;
}

void FakeDnsServer::serve()
{
    for (;;) {
        pollfd watched[3] = { { m_udp, POLLIN, 0 }, { m_tcp, POLLIN, 0 }, { m_wake[0], POLLIN, 0 } };
        if (poll(watched, 3, -1) < 0)
            continue;
        if (watched[2].revents)
            return;
        if (watched[0].revents & POLLIN)
            answerUdp();
        if (watched[1].revents & POLLIN)
            answerTcp();
    }
}

void FakeDnsServer::answerUdp()
{
    unsigned char buffer[4096];
    sockaddr_in from {};
    socklen_t fromSize = sizeof from;
    const ssize_t received = recvfrom(m_udp, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &fromSize);
    const auto arrival = std::chrono::steady_clock::now();
    if (received <= 0)
        return;
    const ParsedQuery query = parseQuery(buffer, std::size_t(received));
    if (!query.valid)
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_log.push_back({ query.name, arrival, false });
    }
    for (const Bytes &answer : answersFor(query, modeFor(query.name), false))
        sendto(m_udp, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr *>(&from), fromSize);
}

void FakeDnsServer::answerTcp()
{
    const int connection = accept4(m_tcp, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0)
        return;
    timeval limit { 2, 0 };
    setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    unsigned char buffer[4096];
    std::size_t have = 0;
    std::size_t wanted = 2;
    while (have < wanted) {
        const ssize_t got = recv(connection, buffer + have, wanted - have, 0);
        if (got <= 0) {
            close(connection);
            return;
        }
        have += std::size_t(got);
        if (have == 2 && wanted == 2)
            wanted = 2 + std::min<std::size_t>(sizeof buffer - 2, (buffer[0] << 8) | buffer[1]);
    }
    const auto arrival = std::chrono::steady_clock::now();
    const ParsedQuery query = parseQuery(buffer + 2, have - 2);
    if (query.valid) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_log.push_back({ query.name, arrival, true });
        }
        for (const Bytes &answer : answersFor(query, modeFor(query.name), true)) {
            Bytes framed;
            put16(framed, int(answer.size()));
            framed += answer;
            send(connection, framed.data(), framed.size(), MSG_NOSIGNAL);
        }
    }
    close(connection);
}
