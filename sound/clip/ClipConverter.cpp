#include "ClipConverter.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>

#include "ClipSlots.h"
#include "Log/Log.h"

#define LOG_SOURCE "sound\\clip\\ClipConverter"

namespace sound::clip {

namespace {

float SampleAt(const uint8_t* p, uint16_t bits) {
    switch (bits) {
        case 8:
            return (static_cast<float>(p[0]) - 128.0f) / 128.0f;
        case 16:
            return static_cast<float>(static_cast<int16_t>(p[0] | (p[1] << 8))) / 32768.0f;
        default: {
            const uint32_t u = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                               (static_cast<uint32_t>(p[2]) << 16) |
                               (static_cast<uint32_t>(p[3]) << 24);
            return static_cast<float>(static_cast<int32_t>(u)) / 2147483648.0f;
        }
    }
}

void PutSample(uint8_t* out, float v) {
    // Round half away from zero without lrint's call; the clamp keeps it in 16 bits.
    const float x = std::clamp(v * 32768.0f, -32768.0f, 32767.0f);
    const int s = static_cast<int>(x < 0 ? x - 0.5f : x + 0.5f);
    out[0] = static_cast<uint8_t>(s & 0xFF);
    out[1] = static_cast<uint8_t>((s >> 8) & 0xFF);
}

}  // namespace

std::vector<uint8_t> ConvertToCardFormat(const WaveFormat& format, const uint8_t* samples,
                                         size_t n) {
    const size_t align = format.BlockAlign();
    if (!samples || align == 0 || format.sampleRate == 0 || format.channels == 0) {
        return {};
    }
    const size_t frames = n / align;
    if (frames == 0) {
        return {};
    }
    std::vector<float> mono(frames);
    if (format.bitsPerSample == 16) {
        // The decoder's own format: one tight loop, no per-sample dispatch.
        const float scale = 1.0f / (32768.0f * static_cast<float>(format.channels));
        for (size_t i = 0; i < frames; ++i) {
            const uint8_t* p = samples + i * align;
            int sum = 0;
            for (uint16_t c = 0; c < format.channels; ++c, p += 2) {
                sum += static_cast<int16_t>(p[0] | (p[1] << 8));
            }
            mono[i] = static_cast<float>(sum) * scale;
        }
    } else {
        const size_t width = format.bitsPerSample / 8;
        for (size_t i = 0; i < frames; ++i) {
            const uint8_t* p = samples + i * align;
            float sum = 0;
            for (uint16_t c = 0; c < format.channels; ++c) {
                sum += SampleAt(p + c * width, format.bitsPerSample);
            }
            mono[i] = sum / static_cast<float>(format.channels);
        }
    }
    if (format.sampleRate == kCardRate) {
        std::vector<uint8_t> out(frames * 2);
        for (size_t i = 0; i < frames; ++i) {
            PutSample(&out[2 * i], mono[i]);
        }
        return out;
    }
    const double ratio = static_cast<double>(kCardRate) / format.sampleRate;
    const size_t capacity =
        static_cast<size_t>(std::ceil(static_cast<double>(frames) * ratio)) + 16;
    std::vector<int16_t> resampled(capacity);
    soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_INT16_I);
    io.flags |= SOXR_NO_DITHER;  // dither belongs to the output side; silence must stay 0
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    size_t done = 0;
    const soxr_error_t error =
        soxr_oneshot(format.sampleRate, kCardRate, 1, mono.data(), frames, nullptr,
                     resampled.data(), capacity, &done, &io, &quality, nullptr);
    if (error) {
        VLOG_ERROR("clip", "ConvertToCardFormat", "soxr: %s", error);
        return {};
    }
    std::vector<uint8_t> out(done * 2);
    for (size_t i = 0; i < done; ++i) {
        out[2 * i] = static_cast<uint8_t>(resampled[i] & 0xFF);
        out[2 * i + 1] = static_cast<uint8_t>((resampled[i] >> 8) & 0xFF);
    }
    return out;
}

std::vector<uint8_t> ConvertWaveFile(CWaveFile& file, int maxSeconds) {
    const WaveFormat& format = file.Format();
    const size_t limit = static_cast<size_t>(std::max(maxSeconds, 0)) * format.BytesPerSecond();
    const size_t n = std::min(file.SampleBytes(), limit);
    return ConvertToCardFormat(format, file.Samples(), n);
}

}  // namespace sound::clip
