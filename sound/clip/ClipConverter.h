#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "WaveFile.h"

namespace sound::clip {

// Converts PCM samples of format to the card's 44 100 Hz mono 16-bit samples: channels mixed to
// one, the rate changed by soxr at high quality, no dither (silence stays silence). Only whole
// sample frames of the n bytes count. Empty when there is nothing to convert or the format is
// unusable.
std::vector<uint8_t> ConvertToCardFormat(const WaveFormat& format, const uint8_t* samples,
                                         size_t n);

// Decoded WAV file to the bytes the card's image holds: the first maxSeconds of it converted.
// Empty when the file cannot be read or yields nothing.
std::vector<uint8_t> ConvertWaveFile(CWaveFile& file, int maxSeconds);

}  // namespace sound::clip
