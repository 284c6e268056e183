#include "Event.h"

#include <chrono>

namespace ccm_util {

CEvent::CEvent(bool manualReset, bool initiallySet)
    : m_manualReset(manualReset), m_set(initiallySet) {}

void CEvent::Set() {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_set = true;
    }
    if (m_manualReset) {
        m_cond.notify_all();
    } else {
        m_cond.notify_one();
    }
}

void CEvent::Reset() {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_set = false;
}

bool CEvent::IsSet() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_set;
}

bool CEvent::Wait(uint32_t ms) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (ms == kInfinite) {
        m_cond.wait(lock, [this] { return m_set; });
    } else if (!m_cond.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_set; })) {
        return false;
    }
    if (!m_manualReset) {
        m_set = false;
    }
    return true;
}

uint32_t GetTickCount32() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace ccm_util
