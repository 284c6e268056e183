#pragma once

#include <string>

namespace firmware {

// One writer of the card's loader per user: the panel's firmware dialog and lyntctl's upgrade
// each hold this lock (a file in the user's private runtime folder, locked with flock) while
// they write, so that neither can interleave its blocks with the other's. The lock ends with
// its holder, even when that crashes.
class CFirmwareWriterLock {
public:
    CFirmwareWriterLock() = default;
    ~CFirmwareWriterLock();
    CFirmwareWriterLock(const CFirmwareWriterLock&) = delete;
    CFirmwareWriterLock& operator=(const CFirmwareWriterLock&) = delete;

    // False, with the reason for the user, when another writer holds it or no private place
    // for it exists.
    bool TryAcquire(std::string& reason);
    void Release();
    bool Held() const { return m_fd >= 0; }

    // Another process (or another lock of this one) writes now; reason names it.
    static bool HeldElsewhere(std::string& reason);

private:
    int m_fd = -1;
};

}  // namespace firmware
