// A raw TCP connection to 127.0.0.1 for the panel's server tests: to hold a
// connection open, send half a request, or read what the server does with
// it. Every wait is bounded.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace wqtest {

class TestSocket {
public:
    explicit TestSocket(int port) {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~TestSocket() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    TestSocket(const TestSocket &) = delete;
    TestSocket &operator=(const TestSocket &) = delete;

    bool connected() const { return m_fd >= 0; }

    bool send(const std::string &data) {
        return m_fd >= 0 && ::send(m_fd, data.data(), data.size(), MSG_NOSIGNAL) ==
                                static_cast<ssize_t>(data.size());
    }

    // Ends what is sent (the server reads the end of the body).
    void shutdownWrite() {
        if (m_fd >= 0)
            ::shutdown(m_fd, SHUT_WR);
    }

    // Reads until `until` has arrived, the server closes, or `ms` pass.
    // Returns what arrived.
    std::string read(const std::string &until, int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (m_fd >= 0 && (until.empty() || m_received.find(until) == std::string::npos)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  end - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0)
                break;
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0)
                break;
            char buffer[4096];
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                m_closed = true;
                break;
            }
            m_received.append(buffer, static_cast<size_t>(n));
        }
        return m_received;
    }

    // True when the server closed the connection within `ms`.
    bool closedWithin(int ms) {
        read(std::string(1, '\0') + "never", ms);
        return m_closed;
    }

private:
    int m_fd = -1;
    std::string m_received;
    bool m_closed = false;
};

} // namespace wqtest
