#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace ccm_util {

// Wait without limit.
inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;

// A waitable event with manual or automatic reset. An automatic-reset event lets exactly one
// waiter through per Set and clears itself as it does.
class CEvent {
public:
    CEvent(bool manualReset, bool initiallySet);
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;
    // True when the event was (or became) set within ms milliseconds.
    bool Wait(uint32_t ms);

private:
    const bool m_manualReset;
    bool m_set;
    mutable std::mutex m_mutex;
    std::condition_variable m_cond;
};

// Milliseconds of a monotonic clock, truncated to 32 bits like a tick count.
uint32_t GetTickCount32();

}  // namespace ccm_util
