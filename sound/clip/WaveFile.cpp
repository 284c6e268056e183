#include "WaveFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "Log/Log.h"

#define LOG_SOURCE "sound\\clip\\WaveFile"

namespace sound::clip {

namespace {

void Put16(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    v[at] = static_cast<uint8_t>(x);
    v[at + 1] = static_cast<uint8_t>(x >> 8);
}
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    Put16(v, at, x);
    Put16(v, at + 2, x >> 16);
}
uint32_t Get16(const uint8_t* p) {
    return static_cast<uint32_t>(p[0] | (p[1] << 8));
}
uint32_t Get32(const uint8_t* p) {
    return Get16(p) | (Get16(p + 2) << 16);
}

constexpr uint32_t kMinRate = 8000;
constexpr uint32_t kMaxRate = 192000;

bool WriteAll(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

}  // namespace

std::vector<uint8_t> MakeWaveHeader(const WaveFormat& format, uint32_t dataLength) {
    std::vector<uint8_t> h(kWaveHeaderBytes, 0);
    std::memcpy(&h[0], "RIFF", 4);
    Put32(h, 4, dataLength + 36);
    std::memcpy(&h[8], "WAVE", 4);
    std::memcpy(&h[12], "fmt ", 4);
    Put32(h, 16, 16);
    Put16(h, 20, 1);
    Put16(h, 22, format.channels);
    Put32(h, 24, format.sampleRate);
    Put32(h, 28, format.BytesPerSecond());
    Put16(h, 32, format.BlockAlign());
    Put16(h, 34, format.bitsPerSample);
    std::memcpy(&h[36], "data", 4);
    Put32(h, 40, dataLength);
    return h;
}

CWaveFile::~CWaveFile() {
    Close();
}

bool CWaveFile::OpenRead(const std::filesystem::path& path) {
    Close();
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
        VLOG_ERROR("clip", "CWaveFile::OpenRead", "cannot open %s", path.c_str());
        Close();
        return false;
    }
    m_mapLength = static_cast<size_t>(st.st_size);
    m_map = ::mmap(nullptr, m_mapLength, PROT_READ, MAP_PRIVATE, m_fd, 0);
    if (m_map == MAP_FAILED) {
        m_map = nullptr;
        Close();
        return false;
    }
    if (!Parse()) {
        VLOG_ERROR("clip", "CWaveFile::OpenRead", "%s is no usable PCM WAV file", path.c_str());
        Close();
        return false;
    }
    return true;
}

bool CWaveFile::Parse() {
    const auto* p = static_cast<const uint8_t*>(m_map);
    const size_t n = m_mapLength;
    if (n < 12 || std::memcmp(p, "RIFF", 4) != 0 || std::memcmp(p + 8, "WAVE", 4) != 0) {
        return false;
    }
    bool haveFormat = false;
    size_t at = 12;
    while (at + 8 <= n) {
        const uint8_t* id = p + at;
        const size_t length = Get32(p + at + 4);
        const size_t body = at + 8;
        if (length > n - body) {
            return false;  // a chunk that claims more than the file holds
        }
        if (std::memcmp(id, "fmt ", 4) == 0) {
            if (length < 16 || Get16(p + body) != 1) {
                return false;
            }
            m_format.channels = static_cast<uint16_t>(Get16(p + body + 2));
            m_format.sampleRate = Get32(p + body + 4);
            m_format.bitsPerSample = static_cast<uint16_t>(Get16(p + body + 14));
            const uint32_t align = Get16(p + body + 12);
            const bool bitsOk = m_format.bitsPerSample == 8 || m_format.bitsPerSample == 16 ||
                                m_format.bitsPerSample == 32;
            if ((m_format.channels != 1 && m_format.channels != 2) || !bitsOk ||
                m_format.sampleRate < kMinRate || m_format.sampleRate > kMaxRate ||
                align != m_format.BlockAlign()) {
                return false;
            }
            haveFormat = true;
        } else if (std::memcmp(id, "data", 4) == 0) {
            if (!haveFormat) {
                return false;
            }
            m_samples = p + body;
            // Whole sample frames only.
            m_sampleBytes = length - length % m_format.BlockAlign();
            return true;
        }
        at = body + length + (length & 1);
    }
    return false;
}

bool CWaveFile::Create(const std::filesystem::path& path, const WaveFormat& format) {
    Close();
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0) {
        VLOG_ERROR("clip", "CWaveFile::Create", "cannot create %s", path.c_str());
        return false;
    }
    m_writing = true;
    m_format = format;
    m_sampleBytes = 0;
    const std::vector<uint8_t> header = MakeWaveHeader(format, 0);
    if (!WriteAll(m_fd, header.data(), header.size())) {
        Close();
        return false;
    }
    return true;
}

bool CWaveFile::Write(const uint8_t* bytes, size_t n) {
    if (!m_writing || !WriteAll(m_fd, bytes, n)) {
        return false;
    }
    m_sampleBytes += n;
    return true;
}

bool CWaveFile::Close() {
    bool ok = true;
    if (m_map) {
        ::munmap(m_map, m_mapLength);
        m_map = nullptr;
    }
    if (m_fd >= 0) {
        if (m_writing) {
            const std::vector<uint8_t> header =
                MakeWaveHeader(m_format, static_cast<uint32_t>(m_sampleBytes));
            ok = ::pwrite(m_fd, header.data(), header.size(), 0) ==
                 static_cast<ssize_t>(header.size());
        }
        ok = ::close(m_fd) == 0 && ok;
        m_fd = -1;
    }
    m_writing = false;
    m_samples = nullptr;
    m_mapLength = 0;
    return ok;
}

}  // namespace sound::clip
