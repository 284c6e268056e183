#include "MoodWriter.h"

#include <algorithm>
#include <string>

#include "Log/Log.h"
#include "MoodFile.h"
#include "ccm_util/LastResort.h"
#include "profile/Profile.h"

#define LOG_SOURCE "sound\\core\\MoodWriter"

namespace sound {

namespace mf = mood_file;

namespace {

constexpr const char* kTag = "mood";
// A write that failed (full disk, read-only folder) is tried again, less and less often.
constexpr std::chrono::seconds kMaxRetryDelay{30};

}  // namespace

bool MoodChanges::Empty() const {
    return !lists && !volume && !hotkeysEnabled && !lastPlayed && !lastPlayedLength;
}

void MoodChanges::Merge(MoodChanges&& newer) {
    if (newer.lists) {
        lists = std::move(newer.lists);
    }
    if (newer.volume) {
        volume = newer.volume;
    }
    if (newer.hotkeysEnabled) {
        hotkeysEnabled = newer.hotkeysEnabled;
    }
    if (newer.lastPlayed) {
        lastPlayed = newer.lastPlayed;
    }
    if (newer.lastPlayedLength) {
        lastPlayedLength = std::move(newer.lastPlayedLength);
    }
}

void MoodChanges::AddTo(platform::profile::CProfileBatch& batch) const {
    if (lists) {
        for (const mf::ListSections* list :
             {&mf::kFavourites, &mf::kLocalClips, &mf::kDownloaded}) {
            batch.DeleteSection(list->items).DeleteSection(list->paths);
        }
        mf::WriteList(batch, mf::kFavourites, lists->favourites);
        mf::WriteList(batch, mf::kLocalClips, lists->local);
        mf::WriteList(batch, mf::kDownloaded, lists->downloaded);
    }
    if (volume) {
        batch.WriteString(mf::kConfig, mf::kVolume, std::to_string(*volume));
    }
    if (hotkeysEnabled) {
        batch.WriteString(mf::kConfig, mf::kEnableHotKey, *hotkeysEnabled ? u"1" : u"0");
    }
    if (lastPlayed) {
        mf::WriteLastPlayed(batch, *lastPlayed);
    }
    if (lastPlayedLength) {
        batch.WriteString(mf::kLastPlayMoodTotal, mf::kMoodTotalTime, *lastPlayedLength);
    }
}

CMoodWriter::~CMoodWriter() {
    if (!m_thread.joinable()) {
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void CMoodWriter::Coalesce(std::chrono::milliseconds interval) {
    std::lock_guard lock(m_mutex);
    m_interval = std::max(interval, std::chrono::milliseconds(1));
    if (!m_thread.joinable()) {
        m_thread = std::thread([this] {
            ccm_util::RunGuarded("sound CMoodWriter", [this] { Loop(); });
            std::lock_guard ended(m_mutex);
            m_ended = true;
            m_done.notify_all();
        });
    }
}

bool CMoodWriter::Commit(const std::filesystem::path& file, const MoodChanges& changes) {
    platform::profile::CProfileBatch batch;
    changes.AddTo(batch);
    if (!batch.Commit(file)) {
        VLOG_ERROR(kTag, "CMoodWriter", "cannot write %s", file.c_str());
        return false;
    }
    return true;
}

bool CMoodWriter::Write(const std::filesystem::path& file, MoodChanges changes) {
    if (file.empty() || changes.Empty()) {
        return !file.empty();
    }
    if (!Coalescing() || Ended()) {
        const bool ok = Commit(file, changes);
        std::lock_guard lock(m_mutex);
        m_writes += ok ? 1 : 0;
        return ok;
    }
    if (!m_file.empty() && file != m_file) {
        Flush();  // the old file's changes go to the old file
    }
    {
        std::lock_guard lock(m_mutex);
        if (m_pending.Empty() && !m_writing) {
            m_due = std::chrono::steady_clock::now() + m_interval;
        }
        m_file = file;
        m_pending.Merge(std::move(changes));
    }
    m_wake.notify_all();
    return true;
}

bool CMoodWriter::Flush() {
    std::unique_lock lock(m_mutex);
    if (!m_thread.joinable()) {
        return true;
    }
    const uint64_t attempts = m_attempts;
    if (!m_pending.Empty()) {
        m_flushAsked = true;
        m_wake.notify_all();
    }
    // Until nothing is pending, or a write tried after the call failed.
    m_done.wait(lock, [&] {
        return (m_pending.Empty() && !m_writing) || (m_failed && m_attempts > attempts) ||
               m_ended;
    });
    const bool ok = !m_failed && m_pending.Empty();
    m_failed = false;
    return ok;
}

bool CMoodWriter::Ended() const {
    std::lock_guard lock(m_mutex);
    return m_ended;
}

bool CMoodWriter::Pending() const {
    std::lock_guard lock(m_mutex);
    return !m_pending.Empty() || m_writing;
}

uint64_t CMoodWriter::WritesDone() const {
    std::lock_guard lock(m_mutex);
    return m_writes;
}

void CMoodWriter::Loop() {
    std::chrono::milliseconds retry = m_interval;
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_pending.Empty()) {
            if (m_stopping) {
                return;
            }
            m_wake.wait(lock);
            continue;
        }
        if (!m_flushAsked && !m_stopping && std::chrono::steady_clock::now() < m_due) {
            m_wake.wait_until(lock, m_due);
            continue;
        }
        MoodChanges work = std::move(m_pending);
        m_pending = MoodChanges{};
        const std::filesystem::path file = m_file;
        m_writing = true;
        lock.unlock();
        const bool ok = Commit(file, work);
        lock.lock();
        m_writing = false;
        m_flushAsked = false;
        ++m_attempts;
        if (ok) {
            ++m_writes;
            retry = m_interval;
            m_due = std::chrono::steady_clock::now() + m_interval;
        } else {
            // Kept, under whatever came meanwhile, for the next try.
            work.Merge(std::move(m_pending));
            m_pending = std::move(work);
            m_failed = true;
            retry = std::min<std::chrono::milliseconds>(retry * 2, kMaxRetryDelay);
            m_due = std::chrono::steady_clock::now() + retry;
            if (m_stopping) {
                VLOG_ERROR(kTag, "CMoodWriter", "sound-pad changes not written at exit");
                m_done.notify_all();
                return;
            }
        }
        m_done.notify_all();
    }
}

}  // namespace sound
