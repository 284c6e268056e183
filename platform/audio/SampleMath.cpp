#include "SampleMath.h"

#include <algorithm>
#include <cstdlib>

namespace platform::audio {
namespace {

// Fixed point with 2^15 as unity keeps the loop free of floating point and exact at 100.
int Gain(int volume) {
    return std::clamp(volume, 0, 100) * 32768 / 100;
}

int16_t Scale(int16_t sample, int gain) {
    return static_cast<int16_t>((static_cast<int32_t>(sample) * gain) >> 15);
}

unsigned Percent(int peak) {
    return static_cast<unsigned>((peak * 100 + 16383) / 32767);
}

}  // namespace

void ApplyVolume(int16_t* samples, size_t frames, int channels, int left, int right) {
    const int gl = Gain(left);
    const int gr = Gain(right);
    if (gl == 32768 && (gr == 32768 || channels < 2)) {
        return;
    }
    if (channels < 2) {
        for (size_t i = 0; i < frames; ++i) {
            samples[i] = Scale(samples[i], gl);
        }
        return;
    }
    for (size_t i = 0; i < frames; ++i) {
        int16_t* f = samples + i * channels;
        f[0] = Scale(f[0], gl);
        f[1] = Scale(f[1], gr);
    }
}

void PeakLevels(const int16_t* samples, size_t frames, int channels, unsigned& first,
                unsigned& second) {
    int p0 = 0;
    int p1 = 0;
    if (channels < 2) {
        for (size_t i = 0; i < frames; ++i) {
            p0 = std::max(p0, std::abs(static_cast<int>(samples[i])));
        }
        p1 = p0;
    } else {
        for (size_t i = 0; i < frames; ++i) {
            const int16_t* f = samples + i * channels;
            p0 = std::max(p0, std::abs(static_cast<int>(f[0])));
            p1 = std::max(p1, std::abs(static_cast<int>(f[1])));
        }
    }
    first = std::min(100u, Percent(p0));
    second = std::min(100u, Percent(p1));
}

}  // namespace platform::audio
