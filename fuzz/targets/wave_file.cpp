// WAV input of the clip path, read through its memory mapping.
#include <cstdlib>

#include "FuzzTarget.h"
#include "WaveFile.h"

VELORA_FUZZ_TARGET(wave_file) {
    const auto file = velora_fuzz::WriteInput("fuzz.wav", data, size);
    sound::clip::CWaveFile wave;
    if (!wave.OpenRead(file)) {
        return;
    }
    // Every sample byte the reader hands out must lie inside the file.
    unsigned sum = 0;
    for (size_t i = 0; i < wave.SampleBytes(); ++i) {
        sum += wave.Samples()[i];
    }
    if (wave.SampleBytes() > size) {
        std::abort();
    }
    (void)sum;
    wave.Close();
}
