#pragma once

#include <mutex>

namespace ccm_util {

// A critical section: recursive, like the one the rest of the code was written against.
class CLock {
public:
    CLock() = default;
    virtual ~CLock() = default;
    CLock(const CLock&) = delete;
    CLock& operator=(const CLock&) = delete;

    void Enter() { m_mutex.lock(); }
    void Leave() { m_mutex.unlock(); }

    // Lets CLock stand wherever a BasicLockable is expected (std::lock_guard, std::unique_lock).
    void lock() { Enter(); }
    void unlock() { Leave(); }

private:
    std::recursive_mutex m_mutex;
};

class CAutoLock {
public:
    explicit CAutoLock(CLock& lock) : m_lock(lock) { m_lock.Enter(); }
    ~CAutoLock() { m_lock.Leave(); }
    CAutoLock(const CAutoLock&) = delete;
    CAutoLock& operator=(const CAutoLock&) = delete;

private:
    CLock& m_lock;
};

}  // namespace ccm_util
