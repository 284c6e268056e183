#pragma once

#include <string>

namespace platform::inhibit {

// A logind inhibitor lock in "block" mode on shutdown, sleep and idle: while it is held the
// machine does not go down or to sleep on its own, and the desktop shows who holds it and why.
// The lock is a file descriptor, so it ends with its holder even when that crashes.
class CBlockInhibitor {
public:
    CBlockInhibitor() = default;
    ~CBlockInhibitor();
    CBlockInhibitor(const CBlockInhibitor&) = delete;
    CBlockInhibitor& operator=(const CBlockInhibitor&) = delete;

    // False (logged) without a system bus or when logind refuses; nothing else changes then.
    bool Take(const std::string& who, const std::string& why);
    void Release();
    bool Held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

}  // namespace platform::inhibit
