#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

// Decodes one MP3 stream, from a file or from bytes in memory, to 16-bit interleaved stereo PCM
// with libmpg123. Gapless: the encoder's delay and padding are cut, so the length is exactly the
// samples that were encoded. Not thread-safe; one thread uses it at a time.
namespace platform::audio {

class CMp3Decoder {
public:
    static constexpr int kChannels = 2;  // mono files are played on both channels

    CMp3Decoder();
    ~CMp3Decoder();
    CMp3Decoder(const CMp3Decoder&) = delete;
    CMp3Decoder& operator=(const CMp3Decoder&) = delete;

    // False with a text for the user when the input is missing, empty or not MP3.
    bool OpenFile(const std::filesystem::path& path, std::string& error);
    // The bytes must stay valid while the decoder is open.
    bool OpenMemory(const void* data, size_t bytes, std::string& error);
    void Close();
    bool IsOpen() const { return m_handle != nullptr; }

    int SampleRate() const { return m_rate; }
    // The exact length in frames (samples per channel): from the LAME tag when the stream has
    // one, else from a scan of every frame header.
    int64_t LengthFrames() const { return m_length; }

    // Decodes up to `frames` frames; returns how many, with `end` set at the end of the stream.
    // Damage the decoder cannot get past ends the stream early with `error` saying so.
    size_t Read(int16_t* out, size_t frames, bool& end, std::string& error);
    // Moves to a frame (clamped to the length); the next Read starts exactly there.
    bool SeekFrame(int64_t frame);
    int64_t TellFrame() const { return m_position; }

    // The reader state libmpg123 calls back into (public for the C callbacks only).
    struct Input {
        const uint8_t* data = nullptr;
        int fd = -1;
        int64_t size = 0;
        int64_t offset = 0;
    };

private:
    bool Prepare(std::string& error);

    void* m_handle = nullptr;  // mpg123_handle*
    Input m_input;
    int m_rate = 0;
    int64_t m_length = 0;
    int64_t m_position = 0;
};

}  // namespace platform::audio
