#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ClipConverter.h"
#include "WaveFile.h"
#include "ccm_util/ThreadObject.h"

struct mad_pcm;

namespace sound::clip {

// Decodes an MP3 clip on a thread of its own (below normal priority) straight into the card's
// image: each frame's samples, with the pad's gain applied, go to the converter as they come, and
// the input is cut after the slot's seconds. Nothing is written to disk. The end is posted as
// EventDecoderFinsh carrying Id(). A stream that changes rate or channels half-way, or that is
// more damage than frames, gives no image: it would reach the card as noise.
class CLibmadDecoder : private ccm_util::CThreadObject {
public:
    // Reads the named resource of the program into bytes; false when there is none.
    using ResourceReader =
        std::function<bool(const std::u16string& name, std::vector<uint8_t>& bytes)>;

    // Larger sources are refused: the whole source is held in memory.
    static constexpr size_t kMaxSourceBytes = 256u << 20;
    static constexpr size_t kFrameBufferBytes = 384000;

    CLibmadDecoder();
    ~CLibmadDecoder() override;

    void SetResourceReader(ResourceReader reader) { m_readResource = std::move(reader); }
    // False when no thread could be started; no event follows then.
    bool Start(const std::u16string& source, float gain, bool fromResource, int maxSeconds);
    // Ends decoding and waits for the thread.
    void Stop();

    uint64_t Id() const { return m_id; }
    // The card's image (after the thread has ended with success); empty once taken.
    std::vector<uint8_t> TakeImage() { return std::move(m_image); }
    // Samples per channel decoded (after the thread has ended).
    uint64_t SamplesDecoded() const { return m_samples; }
    // The whole source's length in seconds, frames past the slot's length included (counted from
    // their headers, not decoded), and whether the image holds less than that (after the thread
    // has ended with success).
    double SourceSeconds() const;
    bool CutToSlot() const { return m_cut; }
    const WaveFormat& Format() const { return m_format; }

private:
    int Run() override;
    bool LoadSource();
    bool Decode();

    friend struct MadCallbacks;
    bool TakeFrame(const mad_pcm& pcm);

    const uint64_t m_id;
    ResourceReader m_readResource;
    std::u16string m_source;
    bool m_fromResource = false;
    float m_gain = 1.0f;
    int m_maxSeconds = 0;
    bool m_started = false;

    std::vector<uint8_t> m_input;
    bool m_inputGiven = false;
    std::vector<int16_t> m_frame;  // one frame's samples, interleaved
    uint64_t m_samples = 0;
    uint64_t m_sourceSamples = 0;  // per channel, every frame's header counted
    unsigned m_sourceRate = 0;
    bool m_cut = false;
    uint64_t m_frames = 0;
    uint64_t m_damaged = 0;
    bool m_refused = false;
    WaveFormat m_format;
    CCardImageBuilder m_builder;
    std::vector<uint8_t> m_image;
    std::atomic<bool> m_stop{false};
};

}  // namespace sound::clip
