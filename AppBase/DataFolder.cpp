#include "DataFolder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Log/Log.h"

#define LOG_SOURCE "AppBase\\DataFolder"

namespace appbase {

namespace {

std::filesystem::path HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return home;
    }
    // No usable HOME (a service started without one): ask the password database.
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    struct passwd pw {};
    struct passwd* result = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buffer.data(), buffer.size(), &result) == 0 &&
        result != nullptr && result->pw_dir != nullptr && result->pw_dir[0] == '/') {
        return result->pw_dir;
    }
    return {};
}

}  // namespace

std::filesystem::path DataFolderPath() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        return std::filesystem::path(xdg) / "Velora";
    }
    const std::filesystem::path home = HomeFolder();
    if (home.empty()) {
        return {};
    }
    return home / ".local" / "share" / "Velora";
}

bool CreateFolders(const std::filesystem::path& path, unsigned mode) {
    if (path.empty()) {
        return false;
    }
    std::filesystem::path prefix;
    for (const auto& part : path.lexically_normal()) {
        if (part.empty()) {
            continue;  // the empty last element of a path ending in '/'
        }
        prefix /= part;
        if (::mkdir(prefix.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST) {
            VLOG_ERROR("appbase", "appbase::CreateFolders", "cannot create folder %s: %s",
                       prefix.c_str(), std::strerror(errno));
            return false;
        }
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::filesystem::path DataFolder() {
    std::filesystem::path folder = DataFolderPath();
    if (folder.empty()) {
        VLOG_ERROR("appbase", "appbase::DataFolder", "no home folder: no data folder");
        return folder;
    }
    if (!CreateFolders(folder)) {
        VLOG_ERROR("appbase", "appbase::DataFolder", "data folder %s is not usable",
                   folder.c_str());
    }
    return folder;
}

std::filesystem::path DataSubFolder(const std::filesystem::path& name) {
    const std::filesystem::path folder = DataFolder();
    if (folder.empty()) {
        return folder;
    }
    std::filesystem::path sub = folder / name;
    CreateFolders(sub);
    return sub;
}

}  // namespace appbase
