#pragma once

#include <cstdint>
#include <vector>

#include "ClipSynth.h"

namespace testclip {

// A tone of the given length, rate and channels as an MP3 file's bytes.
inline std::vector<uint8_t> Mp3Tone(double seconds, int rate, int channels, double hz = 440.0) {
    std::vector<uint8_t> mp3;
    clipgen::EncodeToMp3(clipgen::MakeTone(hz, seconds, rate, channels, 0.5), mp3);
    return mp3;
}

}  // namespace testclip
