#include "LibmadDecoder.h"

#include <fcntl.h>
#include <mad.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "ClipEvents.h"
#include "Prefault.h"
#include "Log/Log.h"

#define LOG_SOURCE "sound\\clip\\LibmadDecoder"

namespace sound::clip {

namespace {

std::atomic<uint64_t> g_nextId{1};

// Reads a whole regular file; a pipe, device or oversized file is refused rather than waited on.
// tailRoom bytes of room are kept after it, so the caller can append without a copy.
bool ReadWholeFile(const std::filesystem::path& path, size_t tailRoom,
                   std::vector<uint8_t>& bytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
              static_cast<uint64_t>(st.st_size) <= CLibmadDecoder::kMaxSourceBytes;
    if (ok) {
        bytes.reserve(static_cast<size_t>(st.st_size) + tailRoom);
        PrefaultForWriting(bytes.data(), bytes.capacity());
        bytes.resize(static_cast<size_t>(st.st_size));
        size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t r = ::read(fd, bytes.data() + got, bytes.size() - got);
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                break;  // a file that shrank meanwhile: decode what there is
            got += static_cast<size_t>(r);
        }
        bytes.resize(got);
        ok = got > 0;
    }
    ::close(fd);
    return ok;
}

// libmad's fixed point (28 fraction bits) to 16 bits, rounded and clipped.
inline int16_t RoundSample(mad_fixed_t s) {
    s += 1L << (MAD_F_FRACBITS - 16);
    s = std::clamp<mad_fixed_t>(s, -MAD_F_ONE, MAD_F_ONE - 1);
    return static_cast<int16_t>(s >> (MAD_F_FRACBITS + 1 - 16));
}

// The same, then the pad's gain.
inline int16_t ScaleSample(mad_fixed_t s, float gain) {
    return static_cast<int16_t>(static_cast<float>(RoundSample(s)) * gain);
}

}  // namespace

struct MadCallbacks {
    static mad_flow Input(void* data, mad_stream* stream) {
        auto* self = static_cast<CLibmadDecoder*>(data);
        if (self->m_inputGiven || self->m_stop.load()) {
            return MAD_FLOW_STOP;
        }
        self->m_inputGiven = true;
        mad_stream_buffer(stream, self->m_input.data(), self->m_input.size());
        return MAD_FLOW_CONTINUE;
    }
    // Every frame is counted, so that the user hears how much of the clip the slot left out;
    // past the slot's length a frame is only counted, not decoded.
    static mad_flow Header(void* data, const mad_header* header) {
        auto* self = static_cast<CLibmadDecoder*>(data);
        if (self->m_stop.load()) {
            return MAD_FLOW_STOP;
        }
        if (self->m_sourceRate == 0) {
            self->m_sourceRate = header->samplerate;
        }
        if (header->samplerate == self->m_sourceRate) {
            self->m_sourceSamples += 32u * MAD_NSBSAMPLES(header);
        }
        return self->m_frames > 0 && self->m_builder.Full() ? MAD_FLOW_IGNORE : MAD_FLOW_CONTINUE;
    }
    static mad_flow Output(void* data, const mad_header*, mad_pcm* pcm) {
        auto* self = static_cast<CLibmadDecoder*>(data);
        if (!self->TakeFrame(*pcm)) {
            return MAD_FLOW_BREAK;
        }
        return self->m_stop.load() ? MAD_FLOW_STOP : MAD_FLOW_CONTINUE;
    }
    static mad_flow Error(void* data, mad_stream* stream, mad_frame*) {
        auto* self = static_cast<CLibmadDecoder*>(data);
        // Junk before the first frame (tags, cover art) costs resynchronisation only.
        if (stream->error != MAD_ERROR_LOSTSYNC) {
            ++self->m_damaged;
        }
        return self->m_stop.load() ? MAD_FLOW_BREAK : MAD_FLOW_CONTINUE;
    }
};

CLibmadDecoder::CLibmadDecoder() : m_id(g_nextId++) {}

CLibmadDecoder::~CLibmadDecoder() {
    Stop();
}

bool CLibmadDecoder::Start(const std::u16string& source, float gain, bool fromResource,
                           int maxSeconds) {
    if (m_started || maxSeconds <= 0) {
        return false;
    }
    m_source = source;
    m_gain = std::clamp(gain, 0.0f, 1.0f);
    m_fromResource = fromResource;
    m_maxSeconds = maxSeconds;
    m_started = true;
    if (!StartThread()) {
        VLOG_ERROR("clip", "CLibmadDecoder::Start", "no decoder thread");
        m_started = false;
        return false;
    }
    return true;
}

void CLibmadDecoder::Stop() {
    m_stop = true;
    Join();
    m_input = {};
    m_frame = {};
}

bool CLibmadDecoder::LoadSource() {
    bool ok = false;
    if (m_fromResource) {
        ok = m_readResource && m_readResource(m_source, m_input) && !m_input.empty() &&
             m_input.size() <= kMaxSourceBytes;
    } else {
        ok = ReadWholeFile(std::filesystem::path(m_source), MAD_BUFFER_GUARD, m_input);
    }
    if (!ok) {
        VLOG_ERROR("clip", "CLibmadDecoder::LoadSource", "cannot read the clip %s",
                   std::filesystem::path(m_source).c_str());
        return false;
    }
    // libmad reads a little past the last frame; zeros there let it decode that frame too.
    m_input.resize(m_input.size() + MAD_BUFFER_GUARD, 0);
    return true;
}

bool CLibmadDecoder::TakeFrame(const mad_pcm& pcm) {
    const WaveFormat format{static_cast<uint16_t>(pcm.channels), pcm.samplerate, 16};
    if (format.channels < 1 || format.channels > 2 || format.sampleRate == 0) {
        m_refused = true;
        return false;
    }
    if (m_frames == 0) {
        m_format = format;
        if (!m_builder.Begin(m_format, m_maxSeconds)) {
            m_refused = true;
            return false;
        }
    } else if (!(format == m_format)) {
        VLOG_ERROR("clip", "CLibmadDecoder::TakeFrame",
                   "the stream changes from %u Hz/%u to %u Hz/%u channels at frame %llu",
                   m_format.sampleRate, m_format.channels, format.sampleRate, format.channels,
                   static_cast<unsigned long long>(m_frames));
        m_refused = true;
        return false;
    }
    const size_t n = pcm.length;
    const size_t bytes = n * format.channels * 2;
    if (bytes > m_frame.size() * sizeof(int16_t)) {
        m_refused = true;
        return false;
    }
    int16_t* out = m_frame.data();
    if (m_gain == 1.0f) {
        // Full volume: the gain would give every sample back unchanged.
        for (size_t i = 0; i < n; ++i) {
            for (unsigned c = 0; c < format.channels; ++c) {
                *out++ = RoundSample(pcm.samples[c][i]);
            }
        }
    } else {
        for (size_t i = 0; i < n; ++i) {
            for (unsigned c = 0; c < format.channels; ++c) {
                *out++ = ScaleSample(pcm.samples[c][i], m_gain);
            }
        }
    }
    // Host-order samples are the little-endian ones the converter reads (it asserts the host).
    if (!m_builder.Push(reinterpret_cast<const uint8_t*>(m_frame.data()), bytes)) {
        m_refused = true;
        return false;
    }
    ++m_frames;
    m_samples += n;
    return true;
}

bool CLibmadDecoder::Decode() {
    m_frame.assign(kFrameBufferBytes / sizeof(int16_t), 0);
    mad_decoder decoder;
    mad_decoder_init(&decoder, this, &MadCallbacks::Input, &MadCallbacks::Header, nullptr,
                     &MadCallbacks::Output, &MadCallbacks::Error, nullptr);
    mad_decoder_run(&decoder, MAD_DECODER_MODE_SYNC);
    mad_decoder_finish(&decoder);
    if (m_refused || m_stop.load() || m_samples == 0) {
        return false;
    }
    // Random data now and then looks like a frame; real clips have far more frames than damage.
    if (m_damaged > m_frames) {
        VLOG_ERROR("clip", "CLibmadDecoder::Decode", "%llu damaged frames, %llu good ones",
                   static_cast<unsigned long long>(m_damaged),
                   static_cast<unsigned long long>(m_frames));
        return false;
    }
    m_cut = m_builder.Full() && m_sourceSamples > m_builder.FramesTaken();
    m_image = m_builder.Finish();
    return !m_image.empty();
}

double CLibmadDecoder::SourceSeconds() const {
    return m_sourceRate ? static_cast<double>(m_sourceSamples) / m_sourceRate : 0.0;
}

int CLibmadDecoder::Run() {
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 10);
    const bool ok = LoadSource() && Decode();
    m_input = {};
    ccm_util::EventBus::Instance().Post(std::make_shared<EventDecoderFinsh>(m_id, ok ? 1 : 0));
    return ok ? 0 : 1;
}

}  // namespace sound::clip
