#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>

// Downloads and recordings ask before they write, so a full disk is a clear message instead of
// a half-written file and a system that cannot save anything else.
namespace appbase {

// What a write must leave free for the rest of the desktop.
inline constexpr uint64_t kDiskReserveBytes = 64ull * 1024 * 1024;

// Bytes this user may still write on the file system that holds path (or the nearest folder
// above it that exists). False when that cannot be told.
bool FreeBytes(const std::filesystem::path& path, uint64_t& bytes);

// True when bytes more can be written at path and kDiskReserveBytes stay free. When not (or when
// the space cannot be told, which is let through), why gets a text for the user.
bool EnoughSpaceFor(const std::filesystem::path& path, uint64_t bytes, std::u16string* why);

// The user's text for a refused write.
std::u16string DiskFullText();

// A file that grows while it is written (a download, a recording) asks again as it goes: Full()
// looks at the disk each time it is called and remembers a refusal. Any thread may call it.
class CDiskWatch {
public:
    explicit CDiskWatch(std::filesystem::path path) : m_path(std::move(path)) {}
    // True once fewer than kDiskReserveBytes are left at the path.
    bool Full();
    // A refusal seen by an earlier Full(), without looking again.
    bool WasFull() const { return m_full.load(); }

private:
    const std::filesystem::path m_path;
    std::atomic<bool> m_full{false};
};

}  // namespace appbase
