#pragma once

#include <string>

// One user of a card at a time: an exclusive flock on the card's device node (or, for a virtual
// card, on a lock file beside its socket). flock works across users and runtime folders, and the
// kernel lets go of it when the holder ends, however it ends.
class CDeviceLock {
public:
    CDeviceLock() = default;
    ~CDeviceLock() { Release(); }
    CDeviceLock(const CDeviceLock&) = delete;
    CDeviceLock& operator=(const CDeviceLock&) = delete;

    // Takes the lock on fd (an open descriptor of the node or lock file, which this object then
    // owns) without waiting. Returns 0, EBUSY when another open holds it (Holder() names it), or
    // the errno of the open when fd is -1.
    int TryLock(int fd);
    void Release();
    bool Held() const { return m_fd >= 0; }
    // "velora (pid 123)" for the process that held the lock when TryLock found it busy, or empty.
    const std::string& Holder() const { return m_holder; }

    // Who holds a flock on the file open as fd, from /proc/locks; empty when nobody (or unknown).
    static std::string FindHolder(int fd);

private:
    int m_fd = -1;
    std::string m_holder;
};
