#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Sounds made from nothing but arithmetic: the program's built-in clips and test signals. All
// output is 16-bit interleaved PCM and the same on every run (fixed seeds), so builds and tests are
// reproducible.
namespace clipgen {

struct Pcm {
    int sampleRate = 44100;
    int channels = 2;
    std::vector<int16_t> samples;  // interleaved
    size_t Frames() const { return channels ? samples.size() / channels : 0; }
};

// The resource names of the built-in clips, in pad order.
const std::vector<std::string>& BuiltinClipNames();
// One built-in clip by resource name (44.1 kHz stereo); false for an unknown name.
bool SynthesiseBuiltin(std::string_view resource, Pcm& out);

// A sine of frequency hz at amplitude 0..1 on every channel; hz 0 gives silence.
Pcm MakeTone(double hz, double seconds, int sampleRate = 44100, int channels = 2,
             double amplitude = 0.5);

// Encodes to MP3 with the tag frame in place (see platform/audio/Mp3Encoder.h).
bool EncodeToMp3(const Pcm& pcm, std::vector<uint8_t>& mp3, int kbps = 128);
// Writes the bytes to a file (replacing it); false on any failure.
bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace clipgen
