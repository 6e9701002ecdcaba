// The panel's HTTP server under clients that hold, dribble or flood: every
// connection on a thread of its own up to the bound, half requests and idle
// connections closed at their deadlines, the port taken exclusively.
#include "host/panel/BoundedHttpServer.h"
#include "host/panel/ConnectionThreads.h"

#include "TestSocket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using wqhost::BoundedHttpServer;
using wqtest::TestSocket;

BoundedHttpServer::Limits shortLimits() {
    BoundedHttpServer::Limits limits;
    limits.maxConnections = 12;
    limits.idle = 400ms;
    limits.head = 600ms;
    limits.body = 600ms;
    limits.write = 600ms;
    return limits;
}

// A server with "/" answering "hello" and "/hold" answering after `release`.
class RunningServer {
public:
    explicit RunningServer(BoundedHttpServer::Limits limits = shortLimits()) : server(limits) {
        server.Get("/", [](const httplib::Request &, httplib::Response &res) {
            res.set_content("hello", "text/plain");
        });
        server.Get("/hold", [this](const httplib::Request &, httplib::Response &res) {
            for (int i = 0; i < 200 && !release; ++i)
                std::this_thread::sleep_for(10ms);
            res.set_content("held", "text/plain");
        });
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { server.listen_after_bind(); });
        for (int i = 0; i < 200 && !server.is_running(); ++i)
            std::this_thread::sleep_for(5ms);
    }
    ~RunningServer() {
        release = true;
        server.stop();
        thread.join();
    }

    // GET / on a fresh connection (given up after 2 s): how long it took, or
    // -1 without "hello".
    double timedGet() {
        const auto start = std::chrono::steady_clock::now();
        httplib::Client client("127.0.0.1", port);
        client.set_connection_timeout(2);
        client.set_read_timeout(2);
        auto res = client.Get("/");
        if (!res || res->body != "hello")
            return -1;
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

    BoundedHttpServer server;
    std::atomic<bool> release{false};
    std::thread thread;
    int port = 0;
};

TEST(BoundedHttpServer, HalfRequestsDoNotDelayOthersAndAreClosedAtTheirDeadline) {
    RunningServer s;
    // Each half request dribbles a header line now and then; the idle ones
    // send nothing at all.
    std::vector<std::unique_ptr<TestSocket>> dribbling, idle;
    for (int i = 0; i < 4; ++i) {
        dribbling.push_back(std::make_unique<TestSocket>(s.port));
        ASSERT_TRUE(dribbling.back()->send("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n"));
        idle.push_back(std::make_unique<TestSocket>(s.port));
    }
    for (int round = 0; round < 3; ++round) {
        EXPECT_GE(s.timedGet(), 0.0);
        if (round == 0) {
            // Answered while every half request is still open: it did not
            // wait for their deadlines.
            for (auto &d : dribbling)
                EXPECT_FALSE(d->closedWithin(0)) << "answered only once the half requests went";
        }
        for (auto &d : dribbling)
            d->send("X-Slow: " + std::to_string(round) + "\r\n");
        std::this_thread::sleep_for(100ms);
    }
    for (auto &d : dribbling)
        EXPECT_TRUE(d->closedWithin(1500)) << "a half request outlived its deadline";
    for (auto &i : idle)
        EXPECT_TRUE(i->closedWithin(1500)) << "an idle connection outlived its deadline";
    EXPECT_EQ(s.server.openConnections(), 0u);
}

TEST(BoundedHttpServer, AHeldRequestHoldsOnlyItsOwnThread) {
    RunningServer s;
    std::vector<std::unique_ptr<TestSocket>> held;
    for (int i = 0; i < 8; ++i) {
        held.push_back(std::make_unique<TestSocket>(s.port));
        held.back()->send("GET /hold HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    }
    std::this_thread::sleep_for(100ms);
    // Answered while all eight are held: a server that served them in turn
    // would answer none before the client gives up.
    EXPECT_GE(s.timedGet(), 0.0);
    s.release = true;
    for (auto &h : held)
        EXPECT_NE(h->read("held", 2000).find("held"), std::string::npos);
}

TEST(BoundedHttpServer, PastTheBoundAConnectionIsToldTheServerIsBusy) {
    RunningServer s;
    std::vector<std::unique_ptr<TestSocket>> held;
    for (size_t i = 0; i < s.server.limits().maxConnections; ++i) {
        held.push_back(std::make_unique<TestSocket>(s.port));
        held.back()->send("GET /hold HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    }
    for (int i = 0; i < 100 && s.server.openConnections() < held.size(); ++i)
        std::this_thread::sleep_for(10ms);
    TestSocket extra(s.port);
    const std::string answer = extra.read("}", 1000);
    EXPECT_EQ(answer.rfind("HTTP/1.1 503", 0), 0u) << answer;
    EXPECT_NE(answer.find("at most 12 connections"), std::string::npos) << answer;
    s.release = true;
    for (auto &h : held)
        h->read("held", 2000);
    // Once they are answered and gone, a new client is served again.
    for (int i = 0; i < 150 && s.server.openConnections() > 0; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_GE(s.timedGet(), 0.0);
}

TEST(BoundedHttpServer, TakesItsPortExclusively) {
    RunningServer first;
    BoundedHttpServer second(shortLimits());
    EXPECT_FALSE(second.bind_to_port("127.0.0.1", first.port));
    EXPECT_GE(first.timedGet(), 0.0);
}

TEST(BoundedHttpServer, APortIsFreeAgainAtOnceAfterTheServerStops) {
    int port = 0;
    {
        RunningServer first;
        port = first.port;
        EXPECT_GE(first.timedGet(), 0.0); // leaves a closed connection behind
    }
    BoundedHttpServer again(shortLimits());
    EXPECT_TRUE(again.bind_to_port("127.0.0.1", port));
}

TEST(ConnectionThreads, RunsJobsSideBySideUpToItsBoundThenQueuesThem) {
    wqhost::ConnectionThreads threads(3);
    std::atomic<int> running{0}, most{0}, done{0};
    std::atomic<bool> go{false};
    for (int i = 0; i < 5; ++i)
        threads.enqueue([&] {
            const int now = ++running;
            for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);)
                ;
            for (int k = 0; k < 300 && !go; ++k)
                std::this_thread::sleep_for(5ms);
            --running;
            ++done;
        });
    for (int k = 0; k < 100 && running < 3; ++k)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(running, 3);
    EXPECT_EQ(threads.threadCount(), 3u);
    go = true;
    threads.shutdown();
    EXPECT_EQ(done, 5);
    EXPECT_EQ(most, 3);
}

} // namespace
