#include "ClipConverter.h"

#include <soxr.h>

#include <algorithm>
#include <bit>
#include <cmath>

#include "ClipSlots.h"
#include "Prefault.h"
#include "WaveFile.h"
#include "Log/Log.h"

#define LOG_SOURCE "sound\\clip\\ClipConverter"

namespace sound::clip {

static_assert(std::endian::native == std::endian::little, "the image holds host-order samples");

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

void MixToMono(const WaveFormat& format, const uint8_t* samples, size_t frames, float* mono) {
    const size_t align = format.BlockAlign();
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
        return;
    }
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

soxr_io_spec_t IoSpec() {
    soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_INT16_I);
    io.flags |= SOXR_NO_DITHER;  // dither belongs to the output side; silence must stay 0
    return io;
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
    MixToMono(format, samples, frames, mono.data());
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
    const soxr_io_spec_t io = IoSpec();
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

CCardImageBuilder::~CCardImageBuilder() {
    Reset();
}

void CCardImageBuilder::Reset() {
    if (m_soxr) {
        soxr_delete(m_soxr);
        m_soxr = nullptr;
    }
    m_framesLeft = 0;
    m_framesTaken = 0;
    m_failed = false;
}

bool CCardImageBuilder::Begin(const WaveFormat& format, int maxSeconds) {
    Reset();
    m_image.clear();
    if (format.BlockAlign() == 0 || format.sampleRate == 0 || format.channels == 0 ||
        maxSeconds <= 0) {
        return false;
    }
    m_format = format;
    m_framesLeft = static_cast<size_t>(maxSeconds) * format.sampleRate;
    if (format.sampleRate != kCardRate) {
        const soxr_io_spec_t io = IoSpec();
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        soxr_error_t error = nullptr;
        m_soxr = soxr_create(format.sampleRate, kCardRate, 1, &error, &io, &quality, nullptr);
        if (error || !m_soxr) {
            VLOG_ERROR("clip", "CCardImageBuilder::Begin", "soxr: %s", error ? error : "none");
            Reset();
            return false;
        }
    }
    // The whole image in one buffer, the header's room first: no copy at the end.
    m_image.reserve(kWaveHeaderBytes + static_cast<size_t>(maxSeconds) * kCardBytesPerSecond +
                    4096);
    m_image.resize(kWaveHeaderBytes);
    PrefaultForWriting(m_image.data(), m_image.capacity());
    return true;
}

bool CCardImageBuilder::Push(const uint8_t* samples, size_t n) {
    if (m_failed || !samples || m_image.empty()) {
        return false;
    }
    const size_t frames = std::min(n / m_format.BlockAlign(), m_framesLeft);
    if (frames == 0) {
        return true;
    }
    m_framesLeft -= frames;
    m_framesTaken += frames;
    m_mono.resize(frames);
    MixToMono(m_format, samples, frames, m_mono.data());
    if (!m_soxr) {
        const size_t at = m_image.size();
        m_image.resize(at + frames * 2);
        for (size_t i = 0; i < frames; ++i) {
            PutSample(&m_image[at + 2 * i], m_mono[i]);
        }
        return true;
    }
    return Resample(m_mono.data(), frames);
}

bool CCardImageBuilder::Resample(const float* mono, size_t frames) {
    // frames == 0 with no input asks soxr for its tail.
    const bool flush = mono == nullptr;
    for (;;) {
        const size_t room = flush ? 4096 : static_cast<size_t>(std::ceil(
                                               static_cast<double>(frames) * kCardRate /
                                               m_format.sampleRate)) + 64;
        const size_t at = m_image.size();
        m_image.resize(at + room * 2);
        // soxr writes host-order samples straight into the image (little-endian, asserted).
        size_t used = 0;
        size_t made = 0;
        const soxr_error_t error =
            soxr_process(m_soxr, mono, frames, flush ? nullptr : &used,
                         reinterpret_cast<int16_t*>(m_image.data() + at), room, &made);
        m_image.resize(at + made * 2);
        if (error) {
            VLOG_ERROR("clip", "CCardImageBuilder::Resample", "soxr: %s", error);
            m_failed = true;
            return false;
        }
        if (flush) {
            if (made == 0) {
                return true;
            }
            continue;
        }
        if (used == 0 && made == 0) {
            VLOG_ERROR("clip", "CCardImageBuilder::Resample", "soxr takes no more samples");
            m_failed = true;
            return false;
        }
        mono += used;
        frames -= used;
        if (frames == 0) {
            return true;
        }
    }
}

std::vector<uint8_t> CCardImageBuilder::Finish() {
    std::vector<uint8_t> image;
    if (!m_failed && m_framesTaken > 0 && (!m_soxr || Resample(nullptr, 0)) &&
        m_image.size() > kWaveHeaderBytes) {
        const WaveFormat card{kCardChannels, kCardRate, kCardBits};
        const std::vector<uint8_t> header =
            MakeWaveHeader(card, static_cast<uint32_t>(m_image.size() - kWaveHeaderBytes));
        std::copy(header.begin(), header.end(), m_image.begin());
        image = std::move(m_image);
    }
    m_image = {};
    Reset();
    return image;
}

}  // namespace sound::clip
