#include "host/panel/BoundedHttpServer.h"

#include "host/panel/ConnectionThreads.h"

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace wqhost {

namespace {

using Clock = std::chrono::steady_clock;

// How often a waiting connection looks whether the server is stopping.
constexpr auto kSlice = std::chrono::milliseconds(100);

thread_local bool t_closeAfterAnswer = false;
thread_local socket_t t_socket = INVALID_SOCKET; // of the connection this thread serves

// Waits until `sock` is ready for `events`, the deadline passes or the
// server stops. True when ready.
bool waitFor(socket_t sock, short events, Clock::time_point deadline,
             const std::atomic<socket_t> &listening) {
    for (;;) {
        if (listening == INVALID_SOCKET)
            return false;
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero())
            return false;
        const auto wait = std::min<Clock::duration>(left, kSlice);
        pollfd p{sock, events, 0};
        const int n = ::poll(
            &p, 1,
            static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(wait).count()) +
                1);
        if (n > 0)
            return true;
        if (n < 0 && errno != EINTR)
            return false;
    }
}

void addressOf(bool peer, socket_t sock, std::string &ip, int &port) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    const int got = peer ? ::getpeername(sock, reinterpret_cast<sockaddr *>(&address), &length)
                         : ::getsockname(sock, reinterpret_cast<sockaddr *>(&address), &length);
    ip.clear();
    port = 0;
    if (got != 0)
        return;
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto *in = reinterpret_cast<const sockaddr_in *>(&address);
        ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        port = ntohs(in->sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto *in = reinterpret_cast<const sockaddr_in6 *>(&address);
        ::inet_ntop(AF_INET6, &in->sin6_addr, text, sizeof text);
        port = ntohs(in->sin6_port);
    }
    ip = text;
}

// A connection's socket as httplib reads and writes it, every read against
// the deadline of the part of the request being read.
class DeadlineStream : public httplib::Stream {
public:
    DeadlineStream(socket_t sock, const BoundedHttpServer::Limits &limits,
                   const std::atomic<socket_t> &listening)
        : m_sock(sock), m_limits(limits), m_listening(listening) {}

    void setDeadline(Clock::time_point deadline) { m_deadline = deadline; }

    // Waits up to the idle limit for the next request to begin.
    bool waitForRequest() {
        return m_off < m_len || waitFor(m_sock, POLLIN, Clock::now() + m_limits.idle, m_listening);
    }

    bool is_readable() const override {
        return m_off < m_len || waitFor(m_sock, POLLIN, m_deadline, m_listening);
    }
    bool is_writable() const override {
        return waitFor(m_sock, POLLOUT, Clock::now() + m_limits.write, m_listening);
    }

    ssize_t read(char *ptr, size_t size) override {
        if (m_off >= m_len) {
            if (!is_readable())
                return -1;
            ssize_t n;
            do
                n = ::recv(m_sock, m_buffer, sizeof m_buffer, 0);
            while (n < 0 && errno == EINTR);
            if (n <= 0)
                return n;
            m_off = 0;
            m_len = static_cast<size_t>(n);
        }
        const size_t n = std::min(size, m_len - m_off);
        std::memcpy(ptr, m_buffer + m_off, n);
        m_off += n;
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char *ptr, size_t size) override {
        if (!is_writable())
            return -1;
        ssize_t n;
        do
            n = ::send(m_sock, ptr, size, MSG_NOSIGNAL);
        while (n < 0 && errno == EINTR);
        return n;
    }

    void get_remote_ip_and_port(std::string &ip, int &port) const override {
        addressOf(true, m_sock, ip, port);
    }
    void get_local_ip_and_port(std::string &ip, int &port) const override {
        addressOf(false, m_sock, ip, port);
    }
    socket_t socket() const override { return m_sock; }

private:
    socket_t m_sock;
    const BoundedHttpServer::Limits &m_limits;
    const std::atomic<socket_t> &m_listening;
    Clock::time_point m_deadline = Clock::now();
    char m_buffer[4096];
    size_t m_off = 0;
    size_t m_len = 0;
};

// SO_REUSEADDR lets a restarted server take its port again at once; without
// SO_REUSEPORT no second server can listen on it beside this one.
void exclusivePort(socket_t sock) {
    const int yes = 1;
    ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

void refuseBusy(socket_t sock, size_t max) {
    const std::string body = "{\"error\":\"the panel serves at most " + std::to_string(max) +
                             " connections at once; try again when some have closed\"}\n";
    const std::string answer = "HTTP/1.1 503 Service Unavailable\r\nContent-Type: "
                               "application/json\r\nRetry-After: 1\r\nConnection: close\r\n"
                               "Content-Length: " +
                               std::to_string(body.size()) + "\r\n\r\n" + body;
    ::send(sock, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

} // namespace

BoundedHttpServer::BoundedHttpServer(Limits limits) : m_limits(limits) {
    // A few threads beyond the bound only answer 503, so that a full server
    // still says why.
    new_task_queue = [this] { return new ConnectionThreads(m_limits.maxConnections + 4); };
    set_socket_options(exclusivePort);
}

void BoundedHttpServer::closeAfterAnswer() { t_closeAfterAnswer = true; }

bool BoundedHttpServer::clientGone() {
    if (t_socket == INVALID_SOCKET)
        return false;
    char byte;
    const ssize_t n = ::recv(t_socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

bool BoundedHttpServer::process_and_close_socket(socket_t sock) {
    if (m_open.fetch_add(1) >= m_limits.maxConnections)
        refuseBusy(sock, m_limits.maxConnections);
    else
        serveConnection(sock);
    --m_open;
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return true;
}

void BoundedHttpServer::serveConnection(socket_t sock) {
    DeadlineStream stream(sock, m_limits, svr_sock_);
    t_socket = sock;
    while (svr_sock_ != INVALID_SOCKET && stream.waitForRequest()) {
        stream.setDeadline(Clock::now() + m_limits.head);
        t_closeAfterAnswer = false;
        bool closed = false;
        const bool ok = process_request(stream, false, closed, [&](httplib::Request &) {
            stream.setDeadline(Clock::now() + m_limits.body);
        });
        if (!ok || closed || t_closeAfterAnswer)
            break;
    }
    t_socket = INVALID_SOCKET;
}

} // namespace wqhost
