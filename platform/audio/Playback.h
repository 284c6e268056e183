#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "AudioDevices.h"
#include "ClipCache.h"
#include "Mp3Decoder.h"

// One opened clip on its way to the device: a decoder thread keeps a ring of PCM about a second
// ahead, and the device's thread takes from the ring, applies the volume and measures the levels.
// A preloaded start goes into the ring at once, so the first buffer never waits on the decoder.
namespace platform::audio {

class CPlayback : public IPcmSource {
public:
    // Called once, on the device's thread, when the clip has played to its end (error empty) or
    // the device failed (error says why). Must not block.
    using EndHandler = std::function<void(const std::string& error)>;

    CPlayback(std::unique_ptr<CMp3Decoder> decoder, std::shared_ptr<const CachedStart> start,
              EndHandler onEnd);
    ~CPlayback() override;
    CPlayback(const CPlayback&) = delete;
    CPlayback& operator=(const CPlayback&) = delete;

    int SampleRate() const { return m_rate; }
    // Exact once the decoder knows it (a file without a length tag is counted on the decoder's
    // thread after the first buffers); an estimate until then.
    int64_t LengthFrames() const { return m_length.load(); }
    // Frames handed to the device since the start or the last seek; 0 once the clip has ended.
    int64_t PositionFrames() const;
    bool Finished() const;
    void Seek(int64_t frame);
    void SetVolume(int left, int right);
    void Levels(unsigned& first, unsigned& second) const;
    // When the device first got frames of this clip (steady clock, ns; 0: not yet).
    int64_t FirstFramesAtNs() const { return m_firstFramesAt.load(); }

    size_t ReadPcm(int16_t* out, size_t frames, bool& ended) override;
    void OnDeviceError(const std::string& text) override;

private:
    void DecodeLoop();
    size_t RingFree() const { return m_capacity - m_count; }
    void RingPush(const int16_t* in, size_t frames);
    size_t RingPop(int16_t* out, size_t frames);

    std::unique_ptr<CMp3Decoder> m_decoder;  // the decoder thread's alone once it runs
    const int m_rate;
    std::atomic<int64_t> m_length;
    bool m_lengthExact = false;  // under m_mutex
    EndHandler m_onEnd;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<int16_t> m_ring;
    size_t m_capacity = 0;  // frames
    size_t m_head = 0;
    size_t m_count = 0;
    bool m_decoderEnded = false;
    std::string m_decodeError;
    bool m_finished = false;
    bool m_seekPending = false;
    int64_t m_seekTarget = 0;
    uint64_t m_seekGeneration = 0;
    int64_t m_positionBase = 0;
    int64_t m_consumed = 0;
    bool m_stopping = false;

    std::atomic<int> m_left{100};
    std::atomic<int> m_right{100};
    std::atomic<unsigned> m_level0{0};
    std::atomic<unsigned> m_level1{0};
    std::atomic<int64_t> m_firstFramesAt{0};

    std::thread m_thread;
};

}  // namespace platform::audio
