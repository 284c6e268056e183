#pragma once

#include <cstddef>
#include <cstdint>

// Volume and level arithmetic on 16-bit interleaved PCM, shared by playback and capture.
namespace platform::audio {

// Scales channel 0 by left/100 and channel 1 by right/100 (mono: by left); 100 leaves the
// samples as they are, 0 gives silence.
void ApplyVolume(int16_t* samples, size_t frames, int channels, int left, int right);

// Peak of each channel on 0..100 (full scale 100); mono reports the same value twice.
void PeakLevels(const int16_t* samples, size_t frames, int channels, unsigned& first,
                unsigned& second);

}  // namespace platform::audio
