#include "FlushTimerThread.h"

#include <chrono>
#include <map>
#include <mutex>

#include "ccm_util/Dispatcher.h"
#include "ccm_util/LastResort.h"

using Clock = std::chrono::steady_clock;

struct CFlushTimerThread::Shared {
    struct Timer {
        Clock::time_point due;
        uint64_t generation = 0;
        bool armed = false;
    };
    std::mutex mutex;
    std::condition_variable wake;
    std::map<uint32_t, Timer> timers;
    // What the thread sleeps until; a timer due later needs no wake-up.
    Clock::time_point sleepingUntil = Clock::time_point::max();
    bool stopping = false;
    bool alive = true;  // cleared on the UI thread when the owner goes
    FireFn onFire;
};

CFlushTimerThread::CFlushTimerThread(FireFn onFire) : m_shared(std::make_shared<Shared>()) {
    m_shared->onFire = std::move(onFire);
    m_thread =
        std::thread([this] { ccm_util::RunGuarded("CFlushTimerThread", [this] { Loop(); }); });
}

CFlushTimerThread::~CFlushTimerThread() {
    {
        std::lock_guard<std::mutex> guard(m_shared->mutex);
        m_shared->stopping = true;
        m_shared->alive = false;
    }
    m_shared->wake.notify_all();
    m_thread.join();
}

void CFlushTimerThread::StartTimer(uint32_t timerId, uint32_t periodMs) {
    const Clock::time_point due = Clock::now() + std::chrono::milliseconds(periodMs);
    bool wake = false;
    {
        std::lock_guard<std::mutex> guard(m_shared->mutex);
        Shared::Timer& t = m_shared->timers[timerId];
        t.due = due;
        t.armed = true;
        ++t.generation;
        wake = due < m_shared->sleepingUntil;
    }
    if (wake) {
        m_shared->wake.notify_all();
    }
}

void CFlushTimerThread::StopTimer(uint32_t timerId) {
    std::lock_guard<std::mutex> guard(m_shared->mutex);
    auto it = m_shared->timers.find(timerId);
    if (it != m_shared->timers.end()) {
        it->second.armed = false;
        ++it->second.generation;
    }
}

void CFlushTimerThread::Loop() {
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    while (!m_shared->stopping) {
        auto next = m_shared->timers.end();
        for (auto it = m_shared->timers.begin(); it != m_shared->timers.end(); ++it) {
            if (it->second.armed &&
                (next == m_shared->timers.end() || it->second.due < next->second.due)) {
                next = it;
            }
        }
        if (next == m_shared->timers.end()) {
            m_shared->sleepingUntil = Clock::time_point::max();
            m_shared->wake.wait(lock);
            continue;
        }
        if (Clock::now() < next->second.due) {
            m_shared->sleepingUntil = next->second.due;
            m_shared->wake.wait_until(lock, next->second.due);
            continue;
        }
        // One shot per start, as the owner restarts it for the next round.
        next->second.armed = false;
        const uint32_t id = next->first;
        const uint64_t generation = next->second.generation;
        std::weak_ptr<Shared> weak = m_shared;
        lock.unlock();
        ccm_util::DispatchToUi([weak, id, generation] {
            std::shared_ptr<Shared> shared = weak.lock();
            if (!shared) {
                return;
            }
            {
                std::lock_guard<std::mutex> guard(shared->mutex);
                auto it = shared->timers.find(id);
                if (!shared->alive || it == shared->timers.end() ||
                    it->second.generation != generation) {
                    return;
                }
            }
            shared->onFire(id);
        });
        lock.lock();
    }
}
