#include "DiskSpace.h"

#include <sys/statvfs.h>

#include <system_error>

#include "Log/Log.h"

#define LOG_SOURCE "AppBase\\DiskSpace"

namespace appbase {

bool FreeBytes(const std::filesystem::path& path, uint64_t& bytes) {
    std::filesystem::path probe = path;
    std::error_code ec;
    // The file itself is usually not there yet.
    while (!probe.empty() && !std::filesystem::exists(probe, ec)) {
        const std::filesystem::path parent = probe.parent_path();
        if (parent == probe) {
            break;
        }
        probe = parent;
    }
    if (probe.empty()) {
        probe = ".";
    }
    struct statvfs info {};
    if (::statvfs(probe.c_str(), &info) != 0) {
        return false;
    }
    // f_bavail: what an unprivileged user may use, not the root reserve.
    bytes = static_cast<uint64_t>(info.f_bavail) * static_cast<uint64_t>(info.f_frsize);
    return true;
}

std::u16string DiskFullText() { return u"磁盘空间不足，请清理磁盘后重试"; }

bool EnoughSpaceFor(const std::filesystem::path& path, uint64_t bytes, std::u16string* why) {
    uint64_t free = 0;
    if (!FreeBytes(path, free)) {
        VLOG_WARN("disk", "EnoughSpaceFor", "free space at %s unknown; writing anyway",
                  path.c_str());
        return true;  // the write itself still fails cleanly if the disk is full
    }
    if (bytes > UINT64_MAX - kDiskReserveBytes || free < bytes + kDiskReserveBytes) {
        VLOG_ERROR("disk", "EnoughSpaceFor", "%llu bytes wanted at %s, %llu free",
                   static_cast<unsigned long long>(bytes), path.c_str(),
                   static_cast<unsigned long long>(free));
        if (why != nullptr) {
            *why = DiskFullText();
        }
        return false;
    }
    return true;
}

bool CDiskWatch::Full() {
    if (!m_full.load() && !EnoughSpaceFor(m_path, 0, nullptr)) {
        m_full = true;
    }
    return m_full.load();
}

}  // namespace appbase
