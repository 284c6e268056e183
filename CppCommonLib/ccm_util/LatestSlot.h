#pragma once

#include <mutex>
#include <optional>

namespace ccm_util {

// Hands the newest of a stream of values from a producer thread to a consumer that runs later
// (the UI thread, through one posted call). Values that arrive before the consumer took the
// previous one replace it, so a busy consumer sees the latest value once instead of a backlog,
// and the producer posts only while no take is pending.
template <typename T>
class CLatestSlot {
public:
    // Stores the value; true when the caller must post a Take (none is pending).
    bool Put(const T& value) {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_value = value;
        if (m_takePending) {
            return false;
        }
        m_takePending = true;
        return true;
    }

    // The latest value, if one came since the last take; the next Put posts again.
    std::optional<T> Take() {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_takePending = false;
        std::optional<T> value;
        value.swap(m_value);
        return value;
    }

    // A post that will never run (no dispatcher took it): the next Put posts again.
    void PostFailed() {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_takePending = false;
    }

private:
    std::mutex m_mutex;
    std::optional<T> m_value;
    bool m_takePending = false;
};

}  // namespace ccm_util
