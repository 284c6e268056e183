#include "Mp3Decoder.h"

#include <fcntl.h>
#include <mpg123.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "Log/Log.h"

#define LOG_SOURCE "platform\\audio\\Mp3Decoder"

namespace platform::audio {
namespace {

constexpr char kTag[] = "audio";

mpg123_handle* H(void* p) {
    return static_cast<mpg123_handle*>(p);
}

bool LibraryReady() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] {
#if MPG123_API_VERSION < 46
        ok = mpg123_init() == MPG123_OK;
#else
        ok = true;
#endif
    });
    return ok;
}

ssize_t ReadInput(void* handle, void* buffer, size_t bytes) {
    auto* in = static_cast<CMp3Decoder::Input*>(handle);
    if (in->offset >= in->size) {
        return 0;
    }
    const size_t n = static_cast<size_t>(std::min<int64_t>(bytes, in->size - in->offset));
    if (in->data) {
        std::memcpy(buffer, in->data + in->offset, n);
        in->offset += static_cast<int64_t>(n);
        return static_cast<ssize_t>(n);
    }
    ssize_t got;
    do {
        got = ::pread(in->fd, buffer, n, in->offset);
    } while (got < 0 && errno == EINTR);
    if (got > 0) {
        in->offset += got;
    }
    return got;
}

off_t SeekInput(void* handle, off_t offset, int whence) {
    auto* in = static_cast<CMp3Decoder::Input*>(handle);
    int64_t target;
    switch (whence) {
        case SEEK_SET:
            target = offset;
            break;
        case SEEK_CUR:
            target = in->offset + offset;
            break;
        case SEEK_END:
            target = in->size + offset;
            break;
        default:
            return -1;
    }
    if (target < 0 || target > in->size) {
        return -1;
    }
    in->offset = target;
    return static_cast<off_t>(target);
}

// Frames of silence or noise that merely look like MP3 are common in foreign files; a stream
// must hold this many real frames before it counts as MP3.
constexpr int64_t kMinFrames = 2;

}  // namespace

CMp3Decoder::CMp3Decoder() = default;

CMp3Decoder::~CMp3Decoder() {
    Close();
}

void CMp3Decoder::Close() {
    if (m_handle) {
        mpg123_delete(H(m_handle));
        m_handle = nullptr;
    }
    if (m_input.fd >= 0) {
        ::close(m_input.fd);
    }
    m_input = Input{};
    m_rate = 0;
    m_length = 0;
    m_position = 0;
    m_lengthExact = false;
}

bool CMp3Decoder::ScanLength() {
    if (!m_handle || m_lengthExact) {
        return m_lengthExact;
    }
    if (mpg123_scan(H(m_handle)) != MPG123_OK) {
        VLOG_ERROR(kTag, "CMp3Decoder::ScanLength", "scan: %s", mpg123_strerror(H(m_handle)));
        return false;
    }
    const off_t samples = mpg123_length(H(m_handle));
    if (samples <= 0) {
        return false;
    }
    m_length = samples;
    m_lengthExact = true;
    return true;
}

bool CMp3Decoder::OpenFile(const std::filesystem::path& path, std::string& error) {
    Close();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "无法打开文件：" + path.string() + "（" + std::strerror(errno) + "）";
        return false;
    }
    m_input.fd = fd;
    m_input.size = ::lseek(fd, 0, SEEK_END);
    if (m_input.size <= 0) {
        error = "文件是空的：" + path.string();
        Close();
        return false;
    }
    if (!Prepare(error)) {
        error += "：" + path.string();
        Close();
        return false;
    }
    return true;
}

bool CMp3Decoder::OpenMemory(const void* data, size_t bytes, std::string& error) {
    Close();
    if (!data || bytes == 0) {
        error = "没有音频数据";
        return false;
    }
    m_input.data = static_cast<const uint8_t*>(data);
    m_input.size = static_cast<int64_t>(bytes);
    if (!Prepare(error)) {
        Close();
        return false;
    }
    return true;
}

bool CMp3Decoder::Prepare(std::string& error) {
    error = "不是有效的MP3文件";
    if (!LibraryReady()) {
        VLOG_ERROR(kTag, "CMp3Decoder::Prepare", "libmpg123 did not start");
        return false;
    }
    int err = MPG123_OK;
    mpg123_handle* mh = mpg123_new(nullptr, &err);
    if (!mh) {
        VLOG_ERROR(kTag, "CMp3Decoder::Prepare", "mpg123_new: %d", err);
        return false;
    }
    m_handle = mh;
    mpg123_param(mh, MPG123_FLAGS,
                 MPG123_QUIET | MPG123_GAPLESS | MPG123_FORCE_STEREO | MPG123_NO_FRANKENSTEIN, 0);
    mpg123_format_none(mh);
    const long* rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; ++i) {
        mpg123_format(mh, rates[i], MPG123_STEREO, MPG123_ENC_SIGNED_16);
    }
    if (mpg123_replace_reader_handle(mh, ReadInput, SeekInput, nullptr) != MPG123_OK ||
        mpg123_open_handle(mh, &m_input) != MPG123_OK) {
        VLOG_ERROR(kTag, "CMp3Decoder::Prepare", "open: %s", mpg123_strerror(mh));
        return false;
    }
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(mh, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 ||
        encoding != MPG123_ENC_SIGNED_16) {
        return false;
    }
    mpg123_frameinfo info{};
    if (mpg123_info(mh, &info) != MPG123_OK || info.layer != 3) {
        return false;
    }
    // Without a LAME tag the length is only an estimate until every frame has been counted.
    long delay = -1;
    double unused = 0;
    mpg123_getstate(mh, MPG123_ENC_DELAY, &delay, &unused);
    m_lengthExact = delay >= 0;
    if (!m_lengthExact && !m_deferScan) {
        if (mpg123_scan(mh) != MPG123_OK) {
            return false;
        }
        m_lengthExact = true;
    }
    const off_t frames = mpg123_framelength(mh);
    const off_t samples = mpg123_length(mh);
    if (frames < kMinFrames || samples <= 0) {
        return false;
    }
    m_rate = static_cast<int>(rate);
    m_length = samples;
    m_position = 0;
    if (mpg123_seek(mh, 0, SEEK_SET) < 0) {
        return false;
    }
    error.clear();
    return true;
}

size_t CMp3Decoder::Read(int16_t* out, size_t frames, bool& end, std::string& error) {
    end = false;
    if (!m_handle) {
        end = true;
        return 0;
    }
    const size_t want = frames * kChannels * sizeof(int16_t);
    size_t done = 0;
    while (done < want) {
        size_t got = 0;
        const int rc = mpg123_read(H(m_handle), reinterpret_cast<unsigned char*>(out) + done,
                                   want - done, &got);
        done += got;
        if (rc == MPG123_DONE) {
            end = true;
            break;
        }
        if (rc == MPG123_NEW_FORMAT) {
            continue;  // same format table: stereo 16-bit; only the rate could change
        }
        if (rc != MPG123_OK) {
            VLOG_ERROR(kTag, "CMp3Decoder::Read", "decode: %s", mpg123_strerror(H(m_handle)));
            if (done == 0) {
                error = "MP3数据已损坏，无法解码";
                // Data past the damage is lost; end the stream cleanly.
                end = true;
                return 0;
            }
            break;
        }
        if (got == 0) {
            end = true;
            break;
        }
    }
    const size_t got = done / (kChannels * sizeof(int16_t));
    m_position += static_cast<int64_t>(got);
    return got;
}

bool CMp3Decoder::SeekFrame(int64_t frame) {
    if (!m_handle) {
        return false;
    }
    // An estimated length may be short of the real one: only an exact one bounds the seek.
    frame = m_lengthExact ? std::clamp<int64_t>(frame, 0, m_length) : std::max<int64_t>(frame, 0);
    const off_t at = mpg123_seek(H(m_handle), static_cast<off_t>(frame), SEEK_SET);
    if (at < 0) {
        VLOG_ERROR(kTag, "CMp3Decoder::SeekFrame", "seek: %s", mpg123_strerror(H(m_handle)));
        return false;
    }
    m_position = at;
    return true;
}

}  // namespace platform::audio
