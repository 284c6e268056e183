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

    // Before opening: a stream without a length tag is opened without counting its frames, so
    // opening a long file costs no full read; the length is then an estimate until ScanLength.
    void DeferLengthScan(bool defer) { m_deferScan = defer; }
    // Counts every frame for the exact length; the read position stays. False when it failed
    // (the estimate stays).
    bool ScanLength();
    bool LengthExact() const { return m_lengthExact; }

    // False with a text for the user when the input is missing, empty or not MP3.
    bool OpenFile(const std::filesystem::path& path, std::string& error);
    // The bytes must stay valid while the decoder is open.
    bool OpenMemory(const void* data, size_t bytes, std::string& error);
    void Close();
    bool IsOpen() const { return m_handle != nullptr; }

    int SampleRate() const { return m_rate; }
    // The exact length in frames (samples per channel): from the LAME tag when the stream has
    // one, else from a scan of every frame header (an estimate while a deferred scan is due).
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
    bool m_deferScan = false;
    bool m_lengthExact = false;
};

}  // namespace platform::audio
