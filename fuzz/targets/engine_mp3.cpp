// MP3 input of the audio engine (libmpg123, opened from memory): length, decoding, seeking.
#include <string>
#include <vector>

#include "FuzzTarget.h"
#include "Mp3Decoder.h"

VELORA_FUZZ_TARGET(engine_mp3) {
    const std::vector<uint8_t> bytes(data, data + size);
    platform::audio::CMp3Decoder decoder;
    std::string error;
    if (!decoder.OpenMemory(bytes.data(), bytes.size(), error)) {
        return;
    }
    std::vector<int16_t> pcm(4096 * platform::audio::CMp3Decoder::kChannels);
    bool end = false;
    // Small inputs hold a few seconds at most; the cap keeps a runaway stream from hanging.
    for (int reads = 0; !end && reads < 2000; ++reads) {
        if (decoder.Read(pcm.data(), 4096, end, error) == 0 && !end) {
            break;
        }
    }
    if (decoder.SeekFrame(decoder.LengthFrames() / 2)) {
        end = false;
        (void)decoder.Read(pcm.data(), 4096, end, error);
    }
}
