#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "MoodItem.h"

namespace platform::profile {
class CProfileBatch;
}

namespace sound {

// What the sound-pad store has to write: each part, when set, is the latest state of its
// sections. Parts left unset stay in the file as they are.
struct MoodChanges {
    struct Lists {
        std::vector<MoodItem> favourites;
        std::vector<MoodItem> local;
        std::vector<MoodItem> downloaded;
    };
    std::optional<Lists> lists;
    std::optional<int> volume;
    std::optional<bool> hotkeysEnabled;
    std::optional<MoodItem> lastPlayed;
    std::optional<std::u16string> lastPlayedLength;

    bool Empty() const;
    // The newer changes win part by part.
    void Merge(MoodChanges&& newer);
    void AddTo(platform::profile::CProfileBatch& batch) const;
};

// Writes the store's changes to the sound-pad file. At once on the caller's thread by default;
// after Coalesce, on a thread of its own, at most one write per interval: a change waits up to
// an interval for the ones that follow it (a pad press, a volume drag) and they reach the file
// in one atomic, flushed write. Nothing pending is dropped: Flush and the destructor write it.
class CMoodWriter {
public:
    CMoodWriter() = default;
    // Writes what is pending, then ends the thread.
    ~CMoodWriter();
    CMoodWriter(const CMoodWriter&) = delete;
    CMoodWriter& operator=(const CMoodWriter&) = delete;

    // From now on writes wait up to interval for the next changes (interval > 0), on a thread.
    void Coalesce(std::chrono::milliseconds interval);
    bool Coalescing() const { return m_thread.joinable(); }

    // At once: the write's result. Coalescing: true, the changes are queued for file (a change
    // of file writes the old file's pending changes first).
    bool Write(const std::filesystem::path& file, MoodChanges changes);
    // Writes what is pending now and waits for it. False when a write failed since the last
    // flush (its changes stay pending and are tried again).
    bool Flush();
    // Whether changes wait to be written (tests).
    bool Pending() const;
    // Writes that reached the file so far (tests and benchmarks).
    uint64_t WritesDone() const;

private:
    bool Ended() const;
    static bool Commit(const std::filesystem::path& file, const MoodChanges& changes);
    void Loop();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::chrono::milliseconds m_interval{0};
    std::filesystem::path m_file;
    MoodChanges m_pending;
    std::chrono::steady_clock::time_point m_due{};
    bool m_writing = false;
    bool m_flushAsked = false;
    bool m_stopping = false;
    bool m_failed = false;  // since the last Flush
    bool m_ended = false;   // the thread is gone (a last-resort catch ended it)
    uint64_t m_writes = 0;
    uint64_t m_attempts = 0;
    std::thread m_thread;  // last: it uses the members above until joined
};

}  // namespace sound
