#include "FirmwareWriterLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "FirmwareTexts.h"
#include "Log/Log.h"
#include "PanelLock.h"

#define LOG_SOURCE "firmware\\core\\FirmwareWriterLock"

namespace firmware {

namespace {

std::filesystem::path LockPath() {
    const std::filesystem::path folder = platform::instance::RuntimeFolder();
    return folder.empty() ? std::filesystem::path() : folder / "velora-firmware.lock";
}

int OpenLockFile(const std::filesystem::path& path) {
    return ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

// "已有程序正在写入声卡固件（<name>，进程 <pid>）", from what the holder wrote into the file.
std::string BusyReason(const std::filesystem::path& path) {
    std::ifstream in(path);
    long pid = 0;
    std::string name;
    std::string reason = kErrOtherWriter;
    if (in >> pid >> name && pid > 0 && name.size() < 64) {
        reason += "（" + name + "，进程 " + std::to_string(pid) + "）";
    }
    return reason;
}

std::string ProgramName() {
    char buffer[256] = {0};
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::filesystem::path(std::string(buffer, static_cast<size_t>(n)))
                       .filename()
                       .string()
                 : std::string("velora");
}

}  // namespace

CFirmwareWriterLock::~CFirmwareWriterLock() { Release(); }

bool CFirmwareWriterLock::TryAcquire(std::string& reason) {
    if (m_fd >= 0) {
        return true;
    }
    const std::filesystem::path path = LockPath();
    const int fd = path.empty() ? -1 : OpenLockFile(path);
    if (fd < 0) {
        VLOG_ERROR("firmware", "CFirmwareWriterLock::TryAcquire", "no lock file %s: %s",
                   path.c_str(), std::strerror(errno));
        reason = kErrNoWriterLock;
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        reason = BusyReason(path);
        VLOG_WARN("firmware", "CFirmwareWriterLock::TryAcquire", "%s", reason.c_str());
        return false;
    }
    // Who writes, for the other's refusal.
    const std::string holder = std::to_string(::getpid()) + " " + ProgramName() + "\n";
    if (::ftruncate(fd, 0) != 0 ||
        ::pwrite(fd, holder.data(), holder.size(), 0) != static_cast<ssize_t>(holder.size())) {
        VLOG_WARN("firmware", "CFirmwareWriterLock::TryAcquire", "cannot name the holder: %s",
                  std::strerror(errno));
    }
    m_fd = fd;
    return true;
}

void CFirmwareWriterLock::Release() {
    if (m_fd >= 0) {
        ::close(m_fd);  // the lock goes with the descriptor
        m_fd = -1;
    }
}

bool CFirmwareWriterLock::HeldElsewhere(std::string& reason) {
    const std::filesystem::path path = LockPath();
    if (path.empty() || !std::filesystem::exists(path)) {
        return false;
    }
    const int fd = OpenLockFile(path);
    if (fd < 0) {
        return false;
    }
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    if (!free) {
        reason = BusyReason(path);
    }
    return !free;
}

}  // namespace firmware
