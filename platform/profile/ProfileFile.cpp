#include "profile/ProfileFile.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
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

// Read cache: the parsed form of the last files read. The settings file is read some fifty times
// at start-up, one key each, and parsing it is most of a read's cost.
//
// An entry is reused without reading the file when the file's identity and times (device, inode,
// size, modification and change time) are those recorded and the file had been left alone for
// kSettleTimeNs when it was recorded: a later change of the file then necessarily gets a later
// change time, which no program can set back. A file changed more recently than that could still
// change within the same timestamp tick without its times moving, so for it the file is read and
// compared byte for byte with the recorded contents (the rule git uses for its "racily clean"
// index entries).
struct Fingerprint {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    struct timespec mtime {};
    struct timespec ctime {};

    explicit Fingerprint(const struct stat& st)
        : dev(st.st_dev), ino(st.st_ino), size(st.st_size), mtime(st.st_mtim), ctime(st.st_ctim) {}
    Fingerprint() = default;

    bool operator==(const Fingerprint& o) const {
        return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec &&
               ctime.tv_nsec == o.ctime.tv_nsec;
    }
};

// Longer than the coarsest timestamp granularity of a file system the data folder may live on
// (FAT: 2 s).
constexpr int64_t kSettleTimeNs = int64_t{3} * 1000 * 1000 * 1000;

int64_t Ns(const struct timespec& t) {
    return static_cast<int64_t>(t.tv_sec) * 1000 * 1000 * 1000 + t.tv_nsec;
}

bool IsSettled(const struct stat& st) {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return Ns(now) - Ns(st.st_ctim) >= kSettleTimeNs && Ns(now) - Ns(st.st_mtim) >= kSettleTimeNs;
}

struct CacheEntry {
    std::string path;
    std::string bytes;
    std::shared_ptr<const CProfileDocument> doc;
    Fingerprint fingerprint;
    bool settled = false;
    uint64_t lastUse = 0;
};

constexpr size_t kCacheEntries = 4;
constexpr size_t kCacheMaxBytes = size_t{4} << 20;

std::mutex g_cacheMutex;
std::vector<CacheEntry> g_cache;
uint64_t g_cacheClock = 0;

CacheEntry* FindEntry(const std::string& path) {
    for (CacheEntry& e : g_cache) {
        if (e.path == path) {
            return &e;
        }
    }
    return nullptr;
}

void StoreInCache(const std::string& path, const std::string& bytes,
                  std::shared_ptr<const CProfileDocument> doc, const struct stat& info) {
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    CacheEntry* slot = FindEntry(path);
    if (bytes.size() > kCacheMaxBytes) {
        std::erase_if(g_cache, [&](const CacheEntry& e) { return e.path == path; });
        return;
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
    slot->fingerprint = Fingerprint(info);
    slot->settled = IsSettled(info);
    slot->lastUse = ++g_cacheClock;
}

// The document of a settled entry whose file still has the recorded fingerprint.
std::shared_ptr<const CProfileDocument> FindUnchanged(const std::string& path,
                                                      const struct stat& info) {
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    CacheEntry* e = FindEntry(path);
    if (e == nullptr || !e->settled || !(e->fingerprint == Fingerprint(info))) {
        return nullptr;
    }
    e->lastUse = ++g_cacheClock;
    return e->doc;
}

// The document of an entry with exactly these contents.
std::shared_ptr<const CProfileDocument> FindSameBytes(const std::string& path,
                                                      const std::string& bytes) {
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    CacheEntry* e = FindEntry(path);
    if (e == nullptr || e->bytes != bytes) {
        return nullptr;
    }
    return e->doc;
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
        VLOG_ERROR(kTag, fn, "%s of %s failed: %s; the file is unchanged", failedStep, file.c_str(),
                   std::strerror(savedErrno));
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
    const std::string key = file.native();
    struct stat info {};
    if (::stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        if (auto doc = FindUnchanged(key, info)) {
            return doc;
        }
    }
    std::string bytes;
    const ReadStatus status = ReadFileBytes(file, kMaxFileBytes, &bytes, &info);
    if (status == ReadStatus::kMissing || status == ReadStatus::kError) {
        return empty;
    }
    if (status == ReadStatus::kTooLarge) {
        return std::make_shared<const CProfileDocument>(ParseFileBytes(bytes, true));
    }
    auto doc = FindSameBytes(key, bytes);
    if (doc == nullptr) {
        doc = std::make_shared<const CProfileDocument>(ParseFileBytes(bytes, false));
    }
    // Stored again even when the bytes were known: the fingerprint may have changed or settled.
    StoreInCache(key, bytes, doc, info);
    return doc;
}

void RememberDocument(const std::filesystem::path& file, const std::string& bytes,
                      std::shared_ptr<const CProfileDocument> doc) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) {
        return;
    }
    // Just written, so not settled: the next reads compare contents until it is.
    StoreInCache(file.native(), bytes, std::move(doc), info);
}

}  // namespace platform::profile::detail

namespace platform::profile {

void ClearReadCache() {
    std::lock_guard<std::mutex> lock(detail::g_cacheMutex);
    detail::g_cache.clear();
}

}  // namespace platform::profile
