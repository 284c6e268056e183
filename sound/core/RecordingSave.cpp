#include "RecordingSave.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "Log/Log.h"

#define LOG_SOURCE "sound\\core\\RecordingSave"

namespace sound {

namespace {

std::filesystem::path EnvPath(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? std::filesystem::path(value) : std::filesystem::path();
}

// The value of XDG_MUSIC_DIR in a user-dirs.dirs file: "$HOME/Music" or an absolute path, in
// double quotes. Empty when the file does not name it.
std::filesystem::path MusicDirFromUserDirs(const std::filesystem::path& file,
                                           const std::filesystem::path& home) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        const std::string key = "XDG_MUSIC_DIR=";
        const size_t at = line.find_first_not_of(" \t");
        if (at == std::string::npos || line.compare(at, key.size(), key) != 0) {
            continue;
        }
        std::string value = line.substr(at + key.size());
        if (value.size() < 2 || value.front() != '"' || value.find('"', 1) == std::string::npos) {
            return {};
        }
        value = value.substr(1, value.find('"', 1) - 1);
        if (value.rfind("$HOME", 0) == 0) {
            const std::string rest = value.substr(5);
            if (!rest.empty() && rest.front() != '/') {
                return {};
            }
            return rest.empty() ? home : home / rest.substr(1);
        }
        return value.front() == '/' ? std::filesystem::path(value) : std::filesystem::path();
    }
    return {};
}

std::u16string Ascii(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

}  // namespace

std::filesystem::path MusicFolder() {
    const std::filesystem::path home = EnvPath("HOME");
    if (home.empty()) {
        return {};
    }
    std::filesystem::path config = EnvPath("XDG_CONFIG_HOME");
    if (config.empty()) {
        config = home / ".config";
    }
    std::error_code ec;
    const std::filesystem::path named = MusicDirFromUserDirs(config / "user-dirs.dirs", home);
    // A music folder set to the home folder itself means the user has none of its own.
    if (!named.empty() && std::filesystem::is_directory(named, ec)) {
        return named;
    }
    if (std::filesystem::is_directory(home / "Music", ec)) {
        return home / "Music";
    }
    return home;
}

std::u16string ProposedRecordingName(const std::tm& local) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d_%02d%02d%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return u"录音_" + Ascii(stamp) + u".mp3";
}

std::filesystem::path WithMp3Extension(const std::filesystem::path& path) {
    std::string ext = path.extension().string();
    for (char& c : ext) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    if (ext == ".mp3" || path.filename().empty()) {
        return path;
    }
    std::filesystem::path out = path;
    out += ".mp3";
    return out;
}

bool SaveRecordingCopy(const std::filesystem::path& recording, const std::filesystem::path& target,
                       std::error_code& ec) {
    ec.clear();
    if (std::filesystem::equivalent(recording, target, ec)) {
        ec = std::make_error_code(std::errc::file_exists);
        return false;
    }
    ec.clear();
    std::ifstream in(recording, std::ios::binary);
    if (!in) {
        ec = std::make_error_code(std::errc::no_such_file_or_directory);
        return false;
    }
    // Written beside the target and renamed over it once complete, so a failed copy never
    // leaves a cut file or spoils one the user had there. 0666: the umask makes it the mode the
    // user's other new files get.
    static unsigned counter = 0;
    std::filesystem::path partial = target;
    partial += ".partial-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
    const int fd = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        ec = std::error_code(errno, std::generic_category());
        VLOG_ERROR("sound", "SaveRecordingCopy", "cannot create %s: %s", partial.c_str(),
                   ec.message().c_str());
        return false;
    }
    bool ok = true;
    std::vector<char> buffer(1 << 16);
    while (ok && in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const char* p = buffer.data();
        for (std::streamsize left = in.gcount(); left > 0;) {
            const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                ec = std::error_code(n < 0 ? errno : ENOSPC, std::generic_category());
                ok = false;
                break;
            }
            p += n;
            left -= n;
        }
    }
    if (ok && in.bad()) {
        ec = std::make_error_code(std::errc::io_error);
        ok = false;
    }
    if (ok && ::fsync(fd) != 0) {
        ec = std::error_code(errno, std::generic_category());
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        ec = std::error_code(errno, std::generic_category());
        ok = false;
    }
    if (ok && ::rename(partial.c_str(), target.c_str()) != 0) {
        ec = std::error_code(errno, std::generic_category());
        ok = false;
    }
    if (!ok) {
        VLOG_ERROR("sound", "SaveRecordingCopy", "copy to %s failed: %s", target.c_str(),
                   ec.message().c_str());
        std::error_code ignored;
        std::filesystem::remove(partial, ignored);
    }
    return ok;
}

}  // namespace sound
