#pragma once

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "profile/Profile.h"

namespace profile_test {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "velora-profile-XXXXXX").string();
        const char* made = ::mkdtemp(pattern.data());
        if (made != nullptr) {
            m_path = made;
            // Readable by the unprivileged child of the permission tests.
            fs::permissions(m_path, fs::perms::owner_all | fs::perms::group_read |
                                        fs::perms::group_exec | fs::perms::others_read |
                                        fs::perms::others_exec);
        }
        platform::profile::ClearReadCache();
    }
    ~TempDir() {
        std::error_code ec;
        // Give back write access so that everything can be removed.
        for (auto it = fs::recursive_directory_iterator(m_path, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (it->is_directory(ec) && !it->is_symlink(ec)) {
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
            }
        }
        fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& path() const { return m_path; }
    fs::path operator/(const fs::path& name) const { return m_path / name; }

private:
    fs::path m_path;
};

inline void WriteBytes(const fs::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// UTF-16LE bytes of text, without a byte-order mark.
inline std::string Le(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char16_t c : text) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
    return out;
}

inline std::string Bom() {
    return std::string("\xFF\xFE", 2);
}

// A file as Windows writes it: byte-order mark, UTF-16LE, every line ended by CR LF.
inline std::string WindowsFile(std::initializer_list<std::u16string_view> lines) {
    std::string out = Bom();
    for (std::u16string_view line : lines) {
        out += Le(line);
        out += Le(u"\r\n");
    }
    return out;
}

inline std::vector<std::string> FolderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

// Runs fn in a child process as the unprivileged user "nobody" (65534), so that permission bits
// apply even though the tests run as root. The child's result, or nothing when it could not
// drop its privileges.
inline std::optional<bool> RunAsNobody(const std::function<bool()>& fn) {
    const pid_t pid = ::fork();
    if (pid < 0) {
        return std::nullopt;
    }
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
            ::setresuid(65534, 65534, 65534) != 0) {
            ::_exit(3);
        }
        ::_exit(fn() ? 0 : 1);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return std::nullopt;
    }
    if (WEXITSTATUS(status) == 0) {
        return true;
    }
    if (WEXITSTATUS(status) == 1) {
        return false;
    }
    return std::nullopt;
}

// Runs fn in a child process (to keep a resource limit or signal setting away from the test
// process); its result, or nothing when the child died.
inline std::optional<bool> RunInChild(const std::function<bool()>& fn) {
    const pid_t pid = ::fork();
    if (pid < 0) {
        return std::nullopt;
    }
    if (pid == 0) {
        ::_exit(fn() ? 0 : 1);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return std::nullopt;
    }
    return WEXITSTATUS(status) == 0;
}

}  // namespace profile_test
