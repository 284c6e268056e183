#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace platform::audio {

// Streaming MP3 encoder on LAME: 16-bit interleaved PCM in, MP3 frames out, constant bit rate.
// The stream starts with a placeholder frame; once Finish has run, TagFrame gives the LAME tag
// frame that belongs in its place, which carries the exact frame and sample counts, so players
// know the length and can seek without scanning.
class CMp3Encoder {
public:
    CMp3Encoder();
    ~CMp3Encoder();
    CMp3Encoder(const CMp3Encoder&) = delete;
    CMp3Encoder& operator=(const CMp3Encoder&) = delete;

    // channels 1 or 2; false (logged) when LAME refuses the settings.
    bool Begin(int sampleRate, int channels, int kbps = 128);
    // frames = samples per channel. Appends what LAME produced to out.
    bool Encode(const int16_t* interleaved, size_t frames, std::vector<uint8_t>& out);
    // Flushes the last frames into out; no Encode after it.
    bool Finish(std::vector<uint8_t>& out);
    // The tag frame for the start of the stream, empty before Finish or on failure.
    std::vector<uint8_t> TagFrame() const;

    int SampleRate() const { return m_rate; }
    int Channels() const { return m_channels; }

private:
    void* m_lame = nullptr;  // lame_global_flags*
    int m_rate = 0;
    int m_channels = 0;
    bool m_finished = false;
    std::vector<uint8_t> m_scratch;
};

// Encodes a whole clip in memory with its tag frame in place; false on failure.
bool EncodeMp3(const int16_t* interleaved, size_t frames, int sampleRate, int channels, int kbps,
               std::vector<uint8_t>& mp3);

// Writes the tag frame over the start of a finished stream in a file; false when the file cannot
// be written or the stream is shorter than the frame.
bool WriteTagFrame(const std::filesystem::path& file, const std::vector<uint8_t>& tag);

}  // namespace platform::audio
