#include "PanelLock.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
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

}  // namespace platform::instance
