#include "Dispatcher.h"

#include <atomic>
#include <chrono>

namespace ccm_util {

namespace {
std::mutex g_dispatcherMutex;
IDispatcher* g_dispatcher = nullptr;
}  // namespace

void InstallDispatcher(IDispatcher* dispatcher) {
    std::lock_guard<std::mutex> guard(g_dispatcherMutex);
    g_dispatcher = dispatcher;
}

IDispatcher* CurrentDispatcher() {
    std::lock_guard<std::mutex> guard(g_dispatcherMutex);
    return g_dispatcher;
}

bool DispatchToUi(std::function<void()> fn) {
    std::lock_guard<std::mutex> guard(g_dispatcherMutex);
    if (!g_dispatcher) {
        return false;
    }
    g_dispatcher->Dispatch(std::move(fn));
    return true;
}

void CManualDispatcher::Dispatch(std::function<void()> fn) {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_queue.push_back(std::move(fn));
    }
    m_cond.notify_all();
}

size_t CManualDispatcher::Pump() {
    size_t ran = 0;
    for (;;) {
        std::function<void()> fn;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            if (m_queue.empty()) {
                return ran;
            }
            fn = std::move(m_queue.front());
            m_queue.pop_front();
        }
        fn();
        ++ran;
    }
}

size_t CManualDispatcher::PumpFor(uint32_t ms) {
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cond.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !m_queue.empty(); });
    }
    return Pump();
}

bool CManualDispatcher::PumpUntil(const std::function<bool()>& pred, uint32_t ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        Pump();
        if (pred()) {
            return true;
        }
        auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return false;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cond.wait_for(lock, std::min(left, std::chrono::milliseconds(50)),
                        [this] { return !m_queue.empty(); });
    }
}

size_t CManualDispatcher::Pending() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_queue.size();
}

CScopedDispatcher::CScopedDispatcher(IDispatcher* dispatcher) : m_previous(CurrentDispatcher()) {
    InstallDispatcher(dispatcher);
}

CScopedDispatcher::~CScopedDispatcher() { InstallDispatcher(m_previous); }

}  // namespace ccm_util
