#include "PanelLock.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <string>

namespace platform::instance {

std::filesystem::path PanelLockPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime == '/') {
        return std::filesystem::path(runtime) / "velora.lock";
    }
    return std::filesystem::temp_directory_path() /
           ("velora-" + std::to_string(::getuid()) + ".lock");
}

bool IsPanelRunning() {
    // The lock file's first line is the holder's process id; a crashed holder leaves a stale one.
    std::ifstream in(PanelLockPath());
    long pid = 0;
    if (!(in >> pid) || pid <= 0 || pid == ::getpid()) {
        return false;
    }
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

std::filesystem::path PanelSocketPath() { return PanelLockPath().parent_path() / "velora.sock"; }

bool SendToPanel(uint32_t msg, uint64_t wParam, int64_t lParam) {
    const std::string path = PanelSocketPath().string();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) {
        return false;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    bool sent = false;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        std::string line = std::to_string(msg) + " " + std::to_string(wParam) + " " +
                           std::to_string(lParam) + "\n";
        sent = ::send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size());
    }
    ::close(fd);
    return sent;
}

}  // namespace platform::instance
