// ConnectionThreads - the threads the panel's HTTP server serves its
// connections on: each connection gets a thread of its own, made when none
// is free, up to a bound; past the bound a connection waits for a thread.
// A connection that is held open (an event stream, a slow client) so holds
// only its own thread, never the one another request is answered on.
#pragma once

#include <httplib.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace wqhost {

class ConnectionThreads : public httplib::TaskQueue {
public:
    explicit ConnectionThreads(size_t maxThreads);
    ~ConnectionThreads() override;

    void enqueue(std::function<void()> fn) override;
    // Runs what is queued, then ends and joins every thread.
    void shutdown() override;

    size_t threadCount() const;

private:
    void work();

    const size_t m_max;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    std::vector<std::thread> m_threads;
    size_t m_idle = 0;
    bool m_stopping = false;
};

} // namespace wqhost
