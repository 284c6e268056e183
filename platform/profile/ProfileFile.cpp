#include "profile/ProfileFile.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>
#include <vector>

#include "Log/Log.h"
#include "profile/Profile.h"
#include "profile/ProfileText.h"

#define LOG_SOURCE "platform\\profile\\ProfileFile"

namespace platform::profile::detail {

namespace {

constexpr const char* kTag = "profile";

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Keeps the temporary name within NAME_MAX however long the file's own name is.
std::string TempName(const std::filesystem::path& file) {
    static std::atomic<unsigned> counter{0};
    std::string base = file.filename().string();
    if (base.size() > 64) {
        base.resize(64);
    }
    return "." + base + ".tmp-" + std::to_string(::getpid()) + "-" +
           std::to_string(counter.fetch_add(1));
}

// Read cache: the last files read, compared by their whole content, so a change made by anyone
// (another process, an editor, a file put back by a test) is always seen; it saves the parsing,
// which is most of a read's cost for the large struct-heavy settings file.
struct CacheEntry {
    std::string path;
    std::string bytes;
    std::shared_ptr<const CProfileDocument> doc;
    uint64_t lastUse = 0;
};

constexpr size_t kCacheEntries = 4;
constexpr size_t kCacheMaxBytes = size_t{4} << 20;

std::mutex g_cacheMutex;
std::vector<CacheEntry> g_cache;
uint64_t g_cacheClock = 0;

void StoreInCache(const std::string& path, const std::string& bytes,
                  std::shared_ptr<const CProfileDocument> doc) {
    if (bytes.size() > kCacheMaxBytes) {
        std::lock_guard<std::mutex> lock(g_cacheMutex);
        std::erase_if(g_cache, [&](const CacheEntry& e) { return e.path == path; });
        return;
    }
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    CacheEntry* slot = nullptr;
    for (CacheEntry& e : g_cache) {
        if (e.path == path) {
            slot = &e;
            break;
        }
    }
    if (slot == nullptr) {
        if (g_cache.size() < kCacheEntries) {
            slot = &g_cache.emplace_back();
        } else {
            slot = &g_cache.front();
            for (CacheEntry& e : g_cache) {
                if (e.lastUse < slot->lastUse) {
                    slot = &e;
                }
            }
        }
        slot->path = path;
    }
    slot->bytes = bytes;
    slot->doc = std::move(doc);
    slot->lastUse = ++g_cacheClock;
}

std::shared_ptr<const CProfileDocument> FindInCache(const std::string& path,
                                                    const std::string& bytes) {
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    for (CacheEntry& e : g_cache) {
        if (e.path == path && e.bytes == bytes) {
            e.lastUse = ++g_cacheClock;
            return e.doc;
        }
    }
    return nullptr;
}

}  // namespace

ReadStatus ReadFileBytes(const std::filesystem::path& file, size_t limit, std::string* bytes,
                         struct stat* info) {
    bytes->clear();
    // O_NONBLOCK: a FIFO put in the file's place must not hang the UI thread.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return (errno == ENOENT || errno == ENOTDIR) ? ReadStatus::kMissing : ReadStatus::kError;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return ReadStatus::kError;
    }
    if (info != nullptr) {
        *info = st;
    }
    const size_t expected = static_cast<size_t>(st.st_size);
    bytes->resize(std::min(expected, limit));
    size_t got = 0;
    ReadStatus status = ReadStatus::kOk;
    for (;;) {
        if (got == bytes->size()) {
            if (got >= limit) {
                // Full up to the limit: one more byte tells whether the file goes on.
                char probe = 0;
                ssize_t n;
                do {
                    n = ::read(fd, &probe, 1);
                } while (n < 0 && errno == EINTR);
                if (n > 0) {
                    status = ReadStatus::kTooLarge;
                } else if (n < 0) {
                    status = ReadStatus::kError;
                }
                break;
            }
            // The file grew since fstat.
            bytes->resize(std::min(limit, bytes->size() + 65536));
        }
        const ssize_t n = ::read(fd, bytes->data() + got, bytes->size() - got);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            status = ReadStatus::kError;
            break;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    bytes->resize(got);
    if (status == ReadStatus::kError) {
        bytes->clear();
    }
    return status;
}

bool ReplaceFileAtomically(const std::filesystem::path& file, const std::string& data,
                           const struct stat* original) {
    const char* fn = "platform::profile::ReplaceFileAtomically";
    std::filesystem::path folder = file.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    std::filesystem::path temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder / TempName(file);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        VLOG_ERROR(kTag, fn, "cannot create a temporary file in %s: %s", folder.c_str(),
                   std::strerror(errno));
        return false;
    }
    if (original != nullptr) {
        // Keep the file's mode and, where allowed, its owner; failures here do not matter.
        (void)::fchmod(fd, original->st_mode & 07777);
        if (original->st_uid != ::geteuid() || original->st_gid != ::getegid()) {
            (void)::fchown(fd, original->st_uid, original->st_gid);
        }
    }
    const char* failedStep = nullptr;
    if (!WriteAll(fd, data.data(), data.size())) {
        failedStep = "write";
    } else if (::fsync(fd) != 0) {
        failedStep = "fsync";
    }
    int savedErrno = errno;
    if (::close(fd) != 0 && failedStep == nullptr) {
        failedStep = "close";
        savedErrno = errno;
    }
    if (failedStep == nullptr && ::rename(temp.c_str(), file.c_str()) != 0) {
        failedStep = "rename";
        savedErrno = errno;
    }
    if (failedStep != nullptr) {
        ::unlink(temp.c_str());
        VLOG_ERROR(kTag, fn, "%s of %s failed: %s; the file is unchanged", failedStep,
                   file.c_str(), std::strerror(savedErrno));
        return false;
    }
    // The rename itself is durable only once the folder is flushed.
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        if (::fsync(dirFd) != 0 && errno != EINVAL) {
            VLOG_WARN(kTag, fn, "fsync of folder %s failed: %s", folder.c_str(),
                      std::strerror(errno));
        }
        ::close(dirFd);
    }
    return true;
}

CProfileDocument ParseFileBytes(const std::string& bytes, bool truncated) {
    DecodedText decoded = DecodeFileBytes(bytes);
    if (truncated) {
        const size_t lf = decoded.text.rfind(u'\n');
        decoded.text.resize(lf == std::u16string::npos ? 0 : lf + 1);
    }
    return CProfileDocument::Parse(decoded.text);
}

std::shared_ptr<const CProfileDocument> LoadDocument(const std::filesystem::path& file) {
    static const auto empty = std::make_shared<const CProfileDocument>();
    if (file.empty()) {
        return empty;
    }
    std::string bytes;
    const ReadStatus status = ReadFileBytes(file, kMaxFileBytes, &bytes, nullptr);
    if (status == ReadStatus::kMissing || status == ReadStatus::kError) {
        return empty;
    }
    const std::string key = file.native();
    if (auto cached = FindInCache(key, bytes)) {
        return cached;
    }
    auto doc = std::make_shared<const CProfileDocument>(
        ParseFileBytes(bytes, status == ReadStatus::kTooLarge));
    if (status == ReadStatus::kOk) {
        StoreInCache(key, bytes, doc);
    }
    return doc;
}

void RememberDocument(const std::filesystem::path& file, const std::string& bytes,
                      std::shared_ptr<const CProfileDocument> doc) {
    StoreInCache(file.native(), bytes, std::move(doc));
}

}  // namespace platform::profile::detail

namespace platform::profile {

void ClearReadCache() {
    std::lock_guard<std::mutex> lock(detail::g_cacheMutex);
    detail::g_cache.clear();
}

}  // namespace platform::profile
