#include "ClipCache.h"

#include <sys/stat.h>

#include <cstdio>

#include "Log/Log.h"
#include "Mp3Decoder.h"
#include "ccm_util/LastResort.h"

#define LOG_SOURCE "platform\\audio\\ClipCache"

namespace platform::audio {

CClipCache::CClipCache() = default;

CClipCache::~CClipCache() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_jobs.clear();
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

CClipCache& CClipCache::Instance() {
    static CClipCache cache;
    return cache;
}

std::string CClipCache::MemoryKey(const void* data, size_t bytes) {
    char key[64];
    std::snprintf(key, sizeof key, "m:%p:%zu", data, bytes);
    return key;
}

bool CClipCache::FileKey(const std::filesystem::path& path, std::string& key) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    char tail[96];
    std::snprintf(tail, sizeof tail, ":%lld:%lld.%09ld", static_cast<long long>(st.st_size),
                  static_cast<long long>(st.st_mtim.tv_sec), st.st_mtim.tv_nsec);
    key = "f:" + path.string() + tail;
    return true;
}

void CClipCache::PreloadMemory(const void* data, size_t bytes) {
    if (!data || bytes == 0) {
        return;
    }
    Queue(Job{MemoryKey(data, bytes), data, bytes, {}});
}

void CClipCache::PreloadFile(const std::filesystem::path& path) {
    std::string key;
    if (!FileKey(path, key)) {
        return;
    }
    Queue(Job{key, nullptr, 0, path});
}

void CClipCache::Queue(Job job) {
    std::lock_guard lock(m_mutex);
    if (m_stopping) {
        return;
    }
    for (const Entry& e : m_entries) {
        if (e.key == job.key) {
            return;
        }
    }
    m_jobs.push_back(std::move(job));
    if (!m_thread.joinable()) {
        m_thread =
            std::thread([this] { ccm_util::RunGuarded("audio CClipCache", [this] { Worker(); }); });
    }
    m_wake.notify_one();
}

void CClipCache::Worker() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
        if (m_stopping) {
            return;
        }
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_busy = true;
        lock.unlock();

        CMp3Decoder decoder;
        std::string error;
        const bool open = job.data ? decoder.OpenMemory(job.data, job.bytes, error)
                                   : decoder.OpenFile(job.path, error);
        std::shared_ptr<CachedStart> start;
        if (open) {
            start = std::make_shared<CachedStart>();
            start->sampleRate = decoder.SampleRate();
            const size_t want = static_cast<size_t>(decoder.SampleRate() * kSeconds);
            start->pcm.resize(want * 2);
            bool end = false;
            size_t got = 0;
            while (got < want && !end) {
                const size_t n = decoder.Read(start->pcm.data() + got * 2, want - got, end, error);
                got += n;
                if (n == 0 && !end) {
                    break;
                }
            }
            start->pcm.resize(got * 2);
        } else {
            VLOG_WARN("audio", "CClipCache::Worker", "cannot preload: %s", error.c_str());
        }

        lock.lock();
        if (start && !start->pcm.empty() && !m_stopping) {
            lock.unlock();
            Insert(job.key, std::move(start));
            lock.lock();
        }
        m_busy = false;
        if (m_jobs.empty()) {
            m_idle.notify_all();
        }
    }
}

void CClipCache::Insert(const std::string& key, std::shared_ptr<const CachedStart> start) {
    std::lock_guard lock(m_mutex);
    const size_t bytes = start->pcm.size() * sizeof(int16_t);
    m_entries.push_front(Entry{key, std::move(start)});
    m_bytes += bytes;
    while (m_bytes > kMaxBytes && m_entries.size() > 1) {
        m_bytes -= m_entries.back().start->pcm.size() * sizeof(int16_t);
        m_entries.pop_back();
    }
}

std::shared_ptr<const CachedStart> CClipCache::Find(const std::string& key) {
    std::lock_guard lock(m_mutex);
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->key == key) {
            m_entries.splice(m_entries.begin(), m_entries, it);
            return m_entries.front().start;
        }
    }
    return nullptr;
}

std::shared_ptr<const CachedStart> CClipCache::FindMemory(const void* data, size_t bytes) {
    return Find(MemoryKey(data, bytes));
}

std::shared_ptr<const CachedStart> CClipCache::FindFile(const std::filesystem::path& path) {
    std::string key;
    return FileKey(path, key) ? Find(key) : nullptr;
}

void CClipCache::WaitIdle() {
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_stopping || (m_jobs.empty() && !m_busy); });
}

void CClipCache::Clear() {
    std::lock_guard lock(m_mutex);
    m_entries.clear();
    m_bytes = 0;
}

size_t CClipCache::BytesHeld() const {
    std::lock_guard lock(m_mutex);
    return m_bytes;
}

}  // namespace platform::audio
