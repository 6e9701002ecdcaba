#include "host/panel/ConnectionThreads.h"

namespace wqhost {

ConnectionThreads::ConnectionThreads(size_t maxThreads) : m_max(maxThreads ? maxThreads : 1) {}

ConnectionThreads::~ConnectionThreads() { shutdown(); }

void ConnectionThreads::enqueue(std::function<void()> fn) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_jobs.push_back(std::move(fn));
        // A waiting thread takes each job; one more is made only when every
        // thread is busy.
        if (m_jobs.size() > m_idle && m_threads.size() < m_max)
            m_threads.emplace_back([this] { work(); });
    }
    m_wake.notify_one();
}

void ConnectionThreads::shutdown() {
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        threads.swap(m_threads);
    }
    m_wake.notify_all();
    for (std::thread &t : threads)
        t.join();
}

size_t ConnectionThreads::threadCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_threads.size();
}

void ConnectionThreads::work() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            ++m_idle;
            m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            --m_idle;
            if (m_jobs.empty())
                return; // stopping, nothing left
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job();
    }
}

} // namespace wqhost
