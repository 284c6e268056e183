#include "PrivateCopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "Log/Log.h"
#include "PanelLock.h"

#define LOG_SOURCE "app\\PrivateCopy"

namespace private_copy {

namespace {

struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

bool ReadAll(int fd, std::vector<char>& out) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) {
            return true;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        out.insert(out.end(), buffer, buffer + n);
    }
}

bool WriteAll(int fd, const std::vector<char>& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

std::filesystem::path PrivateFolder() {
    const std::filesystem::path runtime = platform::instance::RuntimeFolder();
    if (!runtime.empty()) {
        const std::filesystem::path folder = runtime / "velora-upgrade";
        if (::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) {
            if (platform::instance::IsPrivateFolder(folder)) {
                return folder;
            }
        }
    }
    std::error_code ec;
    std::string pattern =
        (std::filesystem::temp_directory_path(ec) / "velora-upgrade-XXXXXX").string();
    if (!ec && ::mkdtemp(pattern.data())) {
        return pattern;
    }
    VLOG_ERROR("ui", "private_copy::PrivateFolder", "no private folder for the upgrade tool");
    return {};
}

bool IsOurPrivateFile(const std::filesystem::path& path) {
    struct stat st {};
    return platform::instance::IsPrivateFolder(path.parent_path()) &&
           ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 022) == 0;
}

std::filesystem::path CopyForRun(const std::filesystem::path& source,
                                 const std::filesystem::path& folder, const std::string& name) {
    if (folder.empty() || !platform::instance::IsPrivateFolder(folder)) {
        VLOG_ERROR("ui", "private_copy::CopyForRun", "%s is not a private folder", folder.c_str());
        return {};
    }
    std::vector<char> original;
    {
        Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
        if (in.fd < 0 || !ReadAll(in.fd, original)) {
            VLOG_ERROR("ui", "private_copy::CopyForRun", "cannot read %s: %s", source.c_str(),
                       std::strerror(errno));
            return {};
        }
    }
    const std::filesystem::path target = folder / name;
    if (::unlink(target.c_str()) != 0 && errno != ENOENT) {
        VLOG_ERROR("ui", "private_copy::CopyForRun", "cannot remove %s: %s", target.c_str(),
                   std::strerror(errno));
        return {};
    }
    struct stat written {};
    {
        Fd out(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700));
        if (out.fd < 0 || !WriteAll(out.fd, original) || ::fsync(out.fd) != 0 ||
            ::fstat(out.fd, &written) != 0) {
            VLOG_ERROR("ui", "private_copy::CopyForRun", "cannot write %s: %s", target.c_str(),
                       std::strerror(errno));
            ::unlink(target.c_str());
            return {};
        }
    }
    // Read back what will run: the same file we made, with the same bytes.
    std::vector<char> copy;
    struct stat now {};
    Fd check(::open(target.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (check.fd < 0 || ::fstat(check.fd, &now) != 0 || now.st_ino != written.st_ino ||
        now.st_dev != written.st_dev || !ReadAll(check.fd, copy) || copy != original ||
        !IsOurPrivateFile(target)) {
        VLOG_ERROR("ui", "private_copy::CopyForRun", "the copy %s does not match %s",
                   target.c_str(), source.c_str());
        ::unlink(target.c_str());
        return {};
    }
    return target;
}

}  // namespace private_copy
