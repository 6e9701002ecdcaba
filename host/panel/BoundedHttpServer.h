// BoundedHttpServer - httplib's server (routing, parsing, answers) with the
// connections held to limits, so that no client can freeze the others:
//   - each connection is served on a thread of its own (ConnectionThreads),
//     at most `maxConnections` at once; one more is answered 503 and closed;
//   - a connection waits at most `idle` for a request to begin, a request's
//     head must arrive within `head` of its first byte and its body within
//     `body` of the head, whatever the client sends meanwhile; a write waits
//     at most `write` for a client that does not read;
//   - the port is taken exclusively (no second listener on it).
// POSIX sockets: the panel is built for POSIX systems only.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstddef>

namespace wqhost {

class BoundedHttpServer : public httplib::Server {
public:
    struct Limits {
        size_t maxConnections = 64;
        std::chrono::milliseconds idle{5000};
        std::chrono::milliseconds head{5000};
        std::chrono::milliseconds body{10000};
        std::chrono::milliseconds write{5000};
    };

    explicit BoundedHttpServer(Limits limits);

    const Limits &limits() const noexcept { return m_limits; }
    size_t openConnections() const noexcept { return m_open.load(); }

    // Called from a handler: the connection its request came on is closed
    // once the answer is written (the rest of a refused body is not read).
    static void closeAfterAnswer();

    // Called from a handler: whether the client of its connection has closed
    // it (a stream that sends nothing finds out so without a write).
    static bool clientGone();

private:
    bool process_and_close_socket(socket_t sock) override;
    void serveConnection(socket_t sock);

    Limits m_limits;
    std::atomic<size_t> m_open{0};
};

} // namespace wqhost
