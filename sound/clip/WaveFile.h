#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace sound::clip {

// PCM format of a WAV file.
struct WaveFormat {
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint16_t bitsPerSample = 0;

    uint16_t BlockAlign() const { return static_cast<uint16_t>(channels * bitsPerSample / 8); }
    uint32_t BytesPerSecond() const { return sampleRate * BlockAlign(); }
    bool operator==(const WaveFormat&) const = default;
};

inline constexpr size_t kWaveHeaderBytes = 44;

// The 44-byte header of a PCM WAV file of dataLength sample bytes.
std::vector<uint8_t> MakeWaveHeader(const WaveFormat& format, uint32_t dataLength);

// A WAV file, read through a memory mapping or written sample block after sample block.
class CWaveFile {
public:
    CWaveFile() = default;
    ~CWaveFile();
    CWaveFile(const CWaveFile&) = delete;
    CWaveFile& operator=(const CWaveFile&) = delete;

    // Maps the file and finds its "fmt " and "data" chunks. Only PCM with 1 or 2 channels of 8,
    // 16 or 32 bits at 8 000 to 192 000 Hz opens; anything else, a chunk that runs past the end
    // of the file or a missing chunk fails.
    bool OpenRead(const std::filesystem::path& path);
    // Creates (or empties) the file and writes a header for format; samples follow with Write.
    bool Create(const std::filesystem::path& path, const WaveFormat& format);
    bool Write(const uint8_t* bytes, size_t n);
    // A written file gets its lengths in the header; either way the file is released. False
    // when the header could not be completed.
    bool Close();

    const WaveFormat& Format() const { return m_format; }
    const uint8_t* Samples() const { return m_samples; }
    size_t SampleBytes() const { return m_sampleBytes; }

private:
    bool Parse();

    int m_fd = -1;
    void* m_map = nullptr;
    size_t m_mapLength = 0;
    bool m_writing = false;
    WaveFormat m_format;
    const uint8_t* m_samples = nullptr;
    size_t m_sampleBytes = 0;
};

}  // namespace sound::clip
