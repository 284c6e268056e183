#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "WaveFile.h"

struct soxr;

namespace sound::clip {

// Converts PCM samples of format to the card's 44 100 Hz mono 16-bit samples: channels mixed to
// one, the rate changed by soxr at high quality, no dither (silence stays silence). Only whole
// sample frames of the n bytes count. Empty when there is nothing to convert or the format is
// unusable.
std::vector<uint8_t> ConvertToCardFormat(const WaveFormat& format, const uint8_t* samples,
                                         size_t n);

// The card's image built as the decoder's samples come, without holding them: each block is
// mixed and resampled (soxr streaming, same settings) and appended after room for the header.
// The image is byte for byte what BuildClipImage(ConvertToCardFormat(...)) gives for the first
// maxSeconds of the whole input.
class CCardImageBuilder {
public:
    CCardImageBuilder() = default;
    ~CCardImageBuilder();
    CCardImageBuilder(const CCardImageBuilder&) = delete;
    CCardImageBuilder& operator=(const CCardImageBuilder&) = delete;

    // Starts an image from samples of format; false when the format is unusable or soxr cannot
    // start.
    bool Begin(const WaveFormat& format, int maxSeconds);
    // Takes the whole frames of the n bytes; those past maxSeconds are left out. False when soxr
    // failed.
    bool Push(const uint8_t* samples, size_t n);
    // maxSeconds of input taken: more would be left out.
    bool Full() const { return m_framesLeft == 0; }
    // Frames of the source taken into the image so far.
    size_t FramesTaken() const { return m_framesTaken; }
    // Ends the stream (soxr's tail) and hands out the image; empty when no sample was taken or
    // soxr failed.
    std::vector<uint8_t> Finish();

private:
    bool Resample(const float* mono, size_t frames);
    void Reset();

    WaveFormat m_format;
    size_t m_framesLeft = 0;
    size_t m_framesTaken = 0;
    ::soxr* m_soxr = nullptr;
    bool m_failed = false;
    std::vector<float> m_mono;
    std::vector<uint8_t> m_image;
};

}  // namespace sound::clip
