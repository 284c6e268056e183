#include "Recording.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>

#include "DiskSpace.h"
#include "Log/Log.h"
#include "SampleMath.h"
#include "ccm_util/LastResort.h"
#include "profile/ProfileText.h"

#define LOG_SOURCE "platform\\audio\\Recording"

namespace platform::audio {
namespace {
constexpr char kTag[] = "audio";
constexpr int kKbps = 128;
}  // namespace

CRecording::CRecording() = default;

CRecording::~CRecording() {
    std::string ignored;
    Finish(ignored);
}

bool CRecording::Begin(const std::filesystem::path& target, const PcmFormat& format, int gain,
                       EndHandler onEnd, std::string& error) {
    if (Begun()) {
        error = "录音已经开始";
        return false;
    }
    if (!m_encoder.Begin(format.sampleRate, format.channels, kKbps)) {
        error = "无法创建MP3编码器";
        return false;
    }
    std::u16string full;
    if (!appbase::EnoughSpaceFor(target, 0, &full)) {
        error = platform::profile::ToUtf8(full);
        return false;
    }
    std::string pattern = target.string() + ".XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    std::FILE* file = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (!file) {
        if (fd >= 0) {
            ::close(fd);
            ::unlink(pattern.c_str());
        }
        error = "无法写入录音文件：" + target.string();
        VLOG_ERROR(kTag, "CRecording::Begin", "cannot create %s", pattern.c_str());
        return false;
    }
    m_format = format;
    m_gain = gain;
    m_onEnd = std::move(onEnd);
    m_target = target;
    m_temp = pattern;
    m_file = file;
    m_thread =
        std::thread([this] { ccm_util::RunGuarded("audio CRecording", [this] { EncodeLoop(); }); });
    return true;
}

void CRecording::MarkStart(std::chrono::steady_clock::time_point at) {
    std::lock_guard lock(m_mutex);
    m_startAt = at;
}

void CRecording::EndAfter(int64_t frames) {
    {
        std::lock_guard lock(m_mutex);
        m_endFrames = std::max<int64_t>(frames, 0);
    }
    m_endWake.notify_all();
}

bool CRecording::WaitForEnd(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(m_mutex);
    m_endWake.wait_until(lock, deadline, [this] {
        return m_hurry || m_failed || m_ended ||
               (m_endFrames >= 0 && m_captured.load() >= m_endFrames);
    });
    return m_endFrames >= 0 && m_captured.load() >= m_endFrames;
}

void CRecording::Hurry() {
    {
        std::lock_guard lock(m_mutex);
        m_hurry = true;
    }
    m_endWake.notify_all();
}

void CRecording::WritePcm(const int16_t* in, size_t frames) {
    if (frames == 0) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    std::vector<int16_t> block(in, in + frames * m_format.channels);
    ApplyVolume(block.data(), frames, m_format.channels, m_gain, m_gain);
    unsigned a = 0;
    unsigned b = 0;
    PeakLevels(block.data(), frames, m_format.channels, a, b);
    m_level0 = a;
    m_level1 = b;
    {
        std::lock_guard lock(m_mutex);
        if (m_finishing || m_failed || m_diskFull) {
            return;
        }
        int64_t silence = 0;
        if (!m_firstSeen && m_startAt != std::chrono::steady_clock::time_point{}) {
            // The block was captured over its own length before it came.
            const auto heardAt = now - std::chrono::nanoseconds(static_cast<int64_t>(frames) *
                                                                1000000000 / m_format.sampleRate);
            const auto late = heardAt - m_startAt;
            if (late > kLateStart) {
                silence = std::chrono::duration_cast<std::chrono::microseconds>(late).count() *
                          m_format.sampleRate / 1000000;
                VLOG_INFO(kTag, "CRecording::WritePcm", "first frames %lld ms late: kept silent",
                          static_cast<long long>(
                              std::chrono::duration_cast<std::chrono::milliseconds>(late).count()));
            }
        }
        m_firstSeen = true;
        const int64_t room = m_endFrames < 0 ? INT64_MAX : m_endFrames - m_captured.load();
        silence = std::min(silence, std::max<int64_t>(room, 0));
        const int64_t take =
            std::min<int64_t>(static_cast<int64_t>(frames), std::max<int64_t>(room - silence, 0));
        if (silence + take == 0) {
            return;  // after the end EndAfter set
        }
        const size_t limit = kMaxQueuedSeconds * static_cast<size_t>(m_format.sampleRate);
        if (m_queuedFrames + static_cast<size_t>(silence + take) > limit) {
            // The encoder has fallen far behind; losing a block beats growing without bound.
            VLOG_ERROR(kTag, "CRecording::WritePcm", "encoder behind, %zu frames dropped", frames);
            return;
        }
        if (silence > 0) {
            m_queue.emplace_back(static_cast<size_t>(silence) * m_format.channels, int16_t{0});
        }
        if (take > 0) {
            block.resize(static_cast<size_t>(take) * m_format.channels);
            m_queue.push_back(std::move(block));
        }
        m_queuedFrames += static_cast<size_t>(silence + take);
        m_captured += silence + take;
    }
    m_wake.notify_one();
    m_endWake.notify_all();
}

void CRecording::OnDeviceError(const std::string& text) {
    EndHandler handler;
    {
        std::lock_guard lock(m_mutex);
        if (m_ended) {
            return;
        }
        m_ended = true;
        handler = m_onEnd;
    }
    m_level0 = 0;
    m_level1 = 0;
    m_endWake.notify_all();
    if (handler) {
        handler(text.empty() ? std::string("录音设备出错") : text);
    }
}

void CRecording::Fail(const std::string& text) {
    EndHandler handler;
    {
        std::lock_guard lock(m_mutex);
        m_failed = true;
        m_failure = text;
        m_queue.clear();
        m_queuedFrames = 0;
        if (!m_ended) {
            m_ended = true;
            handler = m_onEnd;
        }
    }
    m_endWake.notify_all();
    if (handler) {
        handler(text);
    }
}

void CRecording::StopForDisk() {
    EndHandler handler;
    {
        std::lock_guard lock(m_mutex);
        m_diskFull = true;
        // Frames not yet encoded were never in the file.
        m_captured -= static_cast<int64_t>(m_queuedFrames);
        m_queue.clear();
        m_queuedFrames = 0;
        if (!m_ended) {
            m_ended = true;
            handler = m_onEnd;
        }
    }
    VLOG_ERROR(kTag, "CRecording::StopForDisk", "disk nearly full: %s ended", m_target.c_str());
    m_endWake.notify_all();
    if (handler) {
        handler(platform::profile::ToUtf8(appbase::DiskFullText()));
    }
}

void CRecording::EncodeLoop() {
    std::vector<uint8_t> out;
    appbase::CDiskWatch disk(m_temp);
    size_t unchecked = 0;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_finishing || !m_queue.empty(); });
        if (m_queue.empty() || m_failed || m_diskFull) {
            break;  // finishing with nothing left
        }
        std::vector<int16_t> block = std::move(m_queue.front());
        m_queue.pop_front();
        const size_t frames = block.size() / m_format.channels;
        m_queuedFrames -= frames;
        lock.unlock();
        out.clear();
        const bool ok = m_encoder.Encode(block.data(), frames, out) &&
                        std::fwrite(out.data(), 1, out.size(), m_file) == out.size();
        lock.lock();
        if (!ok) {
            lock.unlock();
            VLOG_ERROR(kTag, "CRecording::EncodeLoop", "cannot write %s", m_temp.c_str());
            Fail("录音文件写入失败（磁盘已满？）");
            lock.lock();
            break;
        }
        unchecked += out.size();
        if (unchecked >= kDiskCheckBytes) {
            unchecked = 0;
            lock.unlock();
            const bool full = disk.Full();
            if (full) {
                StopForDisk();
            }
            lock.lock();
            if (full) {
                break;
            }
        }
    }
}

bool CRecording::Finish(std::string& error) {
    if (!m_thread.joinable()) {
        return false;
    }
    {
        std::lock_guard lock(m_mutex);
        m_finishing = true;
    }
    m_wake.notify_all();
    m_thread.join();

    bool ok;
    {
        std::lock_guard lock(m_mutex);
        ok = !m_failed;
        error = m_failure;
    }
    if (ok && m_captured.load() == 0) {
        // Nothing came from the device: an empty file must not replace the last recording.
        ok = false;
        error = "没有录到声音";
    }
    std::vector<uint8_t> out;
    if (ok) {
        ok = m_encoder.Finish(out) && std::fwrite(out.data(), 1, out.size(), m_file) == out.size();
    }
    ok = (std::fflush(m_file) == 0) && ok;
    ok = (::fsync(::fileno(m_file)) == 0) && ok;
    std::fclose(m_file);
    m_file = nullptr;
    if (ok) {
        ok = WriteTagFrame(m_temp, m_encoder.TagFrame());
    }
    std::error_code ec;
    if (ok) {
        std::filesystem::rename(m_temp, m_target, ec);
        ok = !ec;
    }
    if (!ok) {
        std::filesystem::remove(m_temp, ec);
        if (error.empty()) {
            error = "录音文件无法完成：" + m_target.string();
        }
        VLOG_ERROR(kTag, "CRecording::Finish", "recording not completed: %s", m_target.c_str());
    }
    return ok;
}

void CRecording::Levels(unsigned& first, unsigned& second) const {
    first = m_level0.load();
    second = m_level1.load();
}

}  // namespace platform::audio
