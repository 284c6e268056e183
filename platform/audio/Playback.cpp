#include "Playback.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "SampleMath.h"
#include "ccm_util/LastResort.h"

namespace platform::audio {
namespace {

constexpr int kChannels = CMp3Decoder::kChannels;
constexpr size_t kChunkFrames = 4608;  // four MP3 frames per decode step

}  // namespace

CPlayback::CPlayback(std::unique_ptr<CMp3Decoder> decoder, std::shared_ptr<const CachedStart> start,
                     EndHandler onEnd)
    : m_decoder(std::move(decoder)),
      m_rate(m_decoder->SampleRate()),
      m_length(m_decoder->LengthFrames()),
      m_onEnd(std::move(onEnd)) {
    // A second and a half: room for a preloaded second plus decoding ahead of it.
    m_capacity = static_cast<size_t>(m_rate) * 3 / 2 + kChunkFrames;
    m_ring.resize(m_capacity * kChannels);
    m_lengthExact = m_decoder->LengthExact();
    if (start && start->sampleRate == m_rate && !start->pcm.empty()) {
        const int64_t length = m_length.load();
        const size_t frames = m_lengthExact
                                  ? std::min<size_t>(start->Frames(), static_cast<size_t>(length))
                                  : start->Frames();
        if (m_decoder->SeekFrame(static_cast<int64_t>(frames))) {
            RingPush(start->pcm.data(), frames);
            m_decoderEnded = m_lengthExact && static_cast<int64_t>(frames) >= length;
        }
    }
    m_thread =
        std::thread([this] { ccm_util::RunGuarded("audio CPlayback", [this] { DecodeLoop(); }); });
}

CPlayback::~CPlayback() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void CPlayback::RingPush(const int16_t* in, size_t frames) {
    frames = std::min(frames, RingFree());
    size_t tail = (m_head + m_count) % m_capacity;
    size_t done = 0;
    while (done < frames) {
        const size_t n = std::min(frames - done, m_capacity - tail);
        std::memcpy(&m_ring[tail * kChannels], in + done * kChannels, n * kChannels * 2);
        done += n;
        tail = (tail + n) % m_capacity;
    }
    m_count += frames;
}

size_t CPlayback::RingPop(int16_t* out, size_t frames) {
    frames = std::min(frames, m_count);
    size_t done = 0;
    while (done < frames) {
        const size_t n = std::min(frames - done, m_capacity - m_head);
        std::memcpy(out + done * kChannels, &m_ring[m_head * kChannels], n * kChannels * 2);
        done += n;
        m_head = (m_head + n) % m_capacity;
    }
    m_count -= frames;
    return frames;
}

void CPlayback::DecodeLoop() {
    std::vector<int16_t> chunk(kChunkFrames * kChannels);
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] {
            return m_stopping || m_seekPending || (!m_decoderEnded && RingFree() >= kChunkFrames);
        });
        if (m_stopping) {
            return;
        }
        if (m_seekPending) {
            m_seekPending = false;
            const int64_t target = m_seekTarget;
            const uint64_t generation = m_seekGeneration;
            lock.unlock();
            m_decoder->SeekFrame(target);
            lock.lock();
            if (generation == m_seekGeneration) {
                m_decoderEnded = m_lengthExact && m_decoder->TellFrame() >= m_length.load();
            }
            continue;
        }
        if (!m_lengthExact && m_count >= static_cast<size_t>(m_rate) / 4) {
            // A quarter second is ready for the device: now the frames can be counted.
            m_lengthExact = true;  // tried once, whatever comes of it
            lock.unlock();
            const bool counted = m_decoder->ScanLength();
            lock.lock();
            if (counted) {
                m_length = m_decoder->LengthFrames();
            }
            continue;
        }
        const uint64_t generation = m_seekGeneration;
        lock.unlock();
        bool end = false;
        std::string error;
        const size_t n = m_decoder->Read(chunk.data(), kChunkFrames, end, error);
        lock.lock();
        if (generation != m_seekGeneration || m_seekPending) {
            continue;  // decoded from before a seek
        }
        RingPush(chunk.data(), n);
        if (end || n == 0) {
            m_decoderEnded = true;
            m_decodeError = error;
            if (!m_lengthExact && error.empty()) {
                m_length = m_decoder->TellFrame();  // decoded to its end: the length is known
                m_lengthExact = true;
            }
        }
    }
}

size_t CPlayback::ReadPcm(int16_t* out, size_t frames, bool& ended) {
    size_t n;
    bool fire = false;
    std::string error;
    {
        std::lock_guard lock(m_mutex);
        n = RingPop(out, frames);
        m_consumed += static_cast<int64_t>(n);
        ended = m_decoderEnded && m_count == 0 && !m_seekPending;
        if (ended && !m_finished) {
            m_finished = true;
            fire = true;
            error = m_decodeError;
        }
    }
    m_wake.notify_one();
    if (n > 0) {
        if (m_firstFramesAt.load() == 0) {
            m_firstFramesAt = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                  std::chrono::steady_clock::now().time_since_epoch())
                                  .count();
        }
        ApplyVolume(out, n, kChannels, m_left.load(), m_right.load());
        unsigned a = 0;
        unsigned b = 0;
        PeakLevels(out, n, kChannels, a, b);
        m_level0 = a;
        m_level1 = b;
    } else {
        m_level0 = 0;
        m_level1 = 0;
    }
    if (fire && m_onEnd) {
        m_onEnd(error);
    }
    return n;
}

void CPlayback::OnDeviceError(const std::string& text) {
    {
        std::lock_guard lock(m_mutex);
        if (m_finished) {
            return;
        }
        m_finished = true;
    }
    m_level0 = 0;
    m_level1 = 0;
    if (m_onEnd) {
        m_onEnd(text.empty() ? std::string("播放设备出错") : text);
    }
}

int64_t CPlayback::PositionFrames() const {
    std::lock_guard lock(m_mutex);
    const int64_t position = m_positionBase + m_consumed;
    return m_finished ? 0 : m_lengthExact ? std::min(m_length.load(), position) : position;
}

bool CPlayback::Finished() const {
    std::lock_guard lock(m_mutex);
    return m_finished;
}

void CPlayback::Seek(int64_t frame) {
    {
        std::lock_guard lock(m_mutex);
        frame = m_lengthExact ? std::clamp<int64_t>(frame, 0, m_length.load())
                              : std::max<int64_t>(frame, 0);
        m_seekPending = true;
        m_seekTarget = frame;
        ++m_seekGeneration;
        m_head = 0;
        m_count = 0;
        m_decoderEnded = false;
        m_decodeError.clear();
        m_finished = false;
        m_positionBase = frame;
        m_consumed = 0;
    }
    m_wake.notify_all();
}

void CPlayback::SetVolume(int left, int right) {
    m_left = std::clamp(left, 0, 100);
    m_right = std::clamp(right, 0, 100);
}

void CPlayback::Levels(unsigned& first, unsigned& second) const {
    first = m_level0.load();
    second = m_level1.load();
}

}  // namespace platform::audio
