#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ClipSynth.h"
#include "Mp3Decoder.h"

// Generated MP3 signals and their reference decoding, shared by the audio tests.
namespace audiotest {

inline std::vector<uint8_t> ToneMp3(double hz, double seconds, int rate = 44100, int channels = 2,
                                    double amplitude = 0.5) {
    std::vector<uint8_t> mp3;
    clipgen::EncodeToMp3(clipgen::MakeTone(hz, seconds, rate, channels, amplitude), mp3);
    return mp3;
}

// Everything the decoder gives for the bytes: what a correct player must play.
inline std::vector<int16_t> DecodeAll(const std::vector<uint8_t>& mp3) {
    platform::audio::CMp3Decoder decoder;
    std::string error;
    std::vector<int16_t> pcm;
    if (!decoder.OpenMemory(mp3.data(), mp3.size(), error)) {
        return pcm;
    }
    std::vector<int16_t> block(4096 * 2);
    bool end = false;
    while (!end) {
        const size_t n = decoder.Read(block.data(), 4096, end, error);
        pcm.insert(pcm.end(), block.begin(), block.begin() + static_cast<long>(n * 2));
        if (n == 0 && !end) {
            break;
        }
    }
    return pcm;
}

inline int Peak(const std::vector<int16_t>& pcm, size_t channel) {
    int peak = 0;
    for (size_t i = channel; i < pcm.size(); i += 2) {
        peak = std::max(peak, std::abs(static_cast<int>(pcm[i])));
    }
    return peak;
}

inline void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

}  // namespace audiotest
