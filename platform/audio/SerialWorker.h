#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "ccm_util/LastResort.h"

namespace platform::audio {

// Runs jobs one after another on a thread of its own, in the order they were posted. The engine
// delivers its notices from here, so the device's thread never runs user code and notices never
// overtake each other. The destructor runs what is queued, then joins.
class CSerialWorker {
public:
    CSerialWorker() : m_thread([this] { Loop(); }) {}
    ~CSerialWorker() {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    CSerialWorker(const CSerialWorker&) = delete;
    CSerialWorker& operator=(const CSerialWorker&) = delete;

    void Post(std::function<void()> job) {
        {
            std::lock_guard lock(m_mutex);
            m_jobs.push_back(std::move(job));
        }
        m_wake.notify_one();
    }

    // Waits until every job posted before the call has run. Not from a job.
    void Drain() {
        std::unique_lock lock(m_mutex);
        m_idle.wait(lock, [this] { return m_jobs.empty() && !m_running; });
    }

private:
    void Loop() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            if (m_jobs.empty()) {
                return;  // stopping and drained
            }
            std::function<void()> job = std::move(m_jobs.front());
            m_jobs.pop_front();
            m_running = true;
            lock.unlock();
            // One job that throws does not end the others: it is logged and dropped.
            ccm_util::RunGuarded("audio CSerialWorker", job);
            lock.lock();
            m_running = false;
            if (m_jobs.empty()) {
                m_idle.notify_all();
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<std::function<void()>> m_jobs;
    bool m_running = false;
    bool m_stopping = false;
    std::thread m_thread;
};

}  // namespace platform::audio
