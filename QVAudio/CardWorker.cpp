#include "CardWorker.h"

#include <chrono>

#include "ccm_util/Dispatcher.h"

namespace card {

bool CInlineCardWorker::Submit(Job job, Done done) {
    const bool ok = job && job();
    if (done) {
        done(ok);
    }
    return ok;
}

CInlineCardWorker& CInlineCardWorker::Instance() {
    static CInlineCardWorker worker;
    return worker;
}

CCardWorker::CCardWorker() { StartThread(); }

CCardWorker::~CCardWorker() {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_stopping = true;
        m_queue.clear();
    }
    m_wake.notify_all();
    StopAndJoin(5000);
    m_alive.reset();
}

bool CCardWorker::Submit(Job job, Done done) {
    if (!job) {
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_stopping) {
            return false;
        }
        m_queue.emplace_back(std::move(job), std::move(done));
    }
    m_wake.notify_one();
    return true;
}

bool CCardWorker::WaitIdle(uint32_t ms) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_idle.wait_for(lock, std::chrono::milliseconds(ms),
                           [this] { return m_queue.empty() && !m_running; });
}

size_t CCardWorker::Outstanding() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_queue.size() + (m_running ? 1 : 0);
}

int CCardWorker::Run() {
    const std::weak_ptr<int> alive = m_alive;
    for (;;) {
        std::pair<Job, Done> next;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_stopping) {
                break;
            }
            next = std::move(m_queue.front());
            m_queue.pop_front();
            m_running = true;
        }
        const bool ok = next.first();
        if (next.second) {
            ccm_util::DispatchToUi([alive, done = std::move(next.second), ok] {
                if (!alive.expired()) {
                    done(ok);
                }
            });
        }
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_running = false;
        }
        m_idle.notify_all();
    }
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_running = false;
    }
    m_idle.notify_all();
    return 0;
}

}  // namespace card
