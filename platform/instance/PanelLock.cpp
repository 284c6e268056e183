#include "PanelLock.h"
#include "PanelRequest.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace platform::instance {

bool IsPrivateFolder(const std::filesystem::path& folder) {
    struct stat st {};
    return ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 077) == 0;
}

namespace {

// Creates folder (mode 0700) when missing; true when it then is private. A folder of ours with a
// wider mode is narrowed; anyone else's is refused.
bool MakePrivateFolder(const std::filesystem::path& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
        return false;
    }
    if ((st.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) {
        return false;
    }
    return IsPrivateFolder(folder);
}

std::filesystem::path CacheFolder() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && *cache == '/') {
        return cache;
    }
    const char* home = std::getenv("HOME");
    if (home && *home == '/') {
        return std::filesystem::path(home) / ".cache";
    }
    return {};
}

}  // namespace

std::filesystem::path RuntimeFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime == '/' && IsPrivateFolder(runtime)) {
        return runtime;
    }
    const std::string uid = std::to_string(::getuid());
    std::error_code ec;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
    if (!ec && MakePrivateFolder(temp / ("velora-" + uid))) {
        return temp / ("velora-" + uid);
    }
    // The shared name is taken by someone else: the home folder is ours alone.
    const std::filesystem::path cache = CacheFolder();
    if (!cache.empty()) {
        std::filesystem::create_directories(cache, ec);
        if (MakePrivateFolder(cache / ("velora-run-" + uid))) {
            return cache / ("velora-run-" + uid);
        }
    }
    return {};
}

std::filesystem::path PanelLockPath() {
    const std::filesystem::path folder = RuntimeFolder();
    return folder.empty() ? std::filesystem::path() : folder / "velora.lock";
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

std::filesystem::path PanelSocketPath() {
    const std::filesystem::path folder = RuntimeFolder();
    return folder.empty() ? std::filesystem::path() : folder / "velora.sock";
}

int ConnectToPanel() {
    const std::string path = PanelSocketPath().string();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) {
        return -1;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        fd = -1;
    }
    return fd;
}

std::string RefusalAnswer(const std::string& reason, int status) {
    return "{\"err\":\"" + reason + "\\n\"}\n{\"status\":" + std::to_string(status) + "}\n";
}

bool SendToPanel(uint32_t msg, uint64_t wParam, int64_t lParam) {
    int fd = ConnectToPanel();
    if (fd < 0) {
        return false;
    }
    std::string line =
        std::to_string(msg) + " " + std::to_string(wParam) + " " + std::to_string(lParam) + "\n";
    bool sent =
        ::send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size());
    ::close(fd);
    return sent;
}

}  // namespace platform::instance
