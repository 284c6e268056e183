#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The first second of decoded sound of the clips a streamer fires by hotkey, so a player can hand
// its first buffer to the device without waiting on the disk or the decoder. Filled by a thread
// of its own; bounded in memory (least recently used go first); a file that changed (size or
// time) or vanished simply misses.
namespace platform::audio {

struct CachedStart {
    int sampleRate = 0;
    std::vector<int16_t> pcm;  // stereo, interleaved
    size_t Frames() const { return pcm.size() / 2; }
};

class CClipCache {
public:
    static constexpr double kSeconds = 1.0;
    static constexpr size_t kMaxBytes = 24u << 20;

    CClipCache();
    ~CClipCache();
    CClipCache(const CClipCache&) = delete;
    CClipCache& operator=(const CClipCache&) = delete;

    static CClipCache& Instance();

    // Queue a clip for decoding. Memory must stay valid for the program's life (resources).
    void PreloadMemory(const void* data, size_t bytes);
    void PreloadFile(const std::filesystem::path& path);

    std::shared_ptr<const CachedStart> FindMemory(const void* data, size_t bytes);
    std::shared_ptr<const CachedStart> FindFile(const std::filesystem::path& path);

    // Waits until every queued clip is decoded (tests and benchmarks).
    void WaitIdle();
    void Clear();
    size_t BytesHeld() const;

private:
    struct Job {
        std::string key;
        const void* data = nullptr;
        size_t bytes = 0;
        std::filesystem::path path;
    };
    struct Entry {
        std::string key;
        std::shared_ptr<const CachedStart> start;
    };

    static std::string MemoryKey(const void* data, size_t bytes);
    static bool FileKey(const std::filesystem::path& path, std::string& key);
    void Queue(Job job);
    void Worker();
    std::shared_ptr<const CachedStart> Find(const std::string& key);
    void Insert(const std::string& key, std::shared_ptr<const CachedStart> start);

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Job> m_jobs;
    bool m_busy = false;
    bool m_stopping = false;
    std::list<Entry> m_entries;  // most recently used first
    size_t m_bytes = 0;
    std::thread m_thread;
};

}  // namespace platform::audio
