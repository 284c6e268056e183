#include "PulseWarmStream.h"

#include <pulse/pulseaudio.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>

#include "Log/Log.h"
#include "ccm_util/LastResort.h"

#define LOG_SOURCE "platform\\audio\\pulse\\PulseWarmStream"

namespace platform::audio {

// What the stream shares with the threads that attach clips. The source is called only under
// `mutex`, and a lease clears it under it, so no call reaches a source after its lease is gone.
struct PulseWarmShared {
    std::mutex mutex;
    IPcmSource* source = nullptr;
    bool ready = false;    // open and healthy: a clip may attach
    bool busy = false;     // a lease holds it
    bool fresh = false;    // attached, nothing of it written yet
    bool drained = false;  // the source said it ended
    int64_t lastMoved = 0;
    std::string sink;
    int sampleRate = 0;
    int channels = 0;
};

namespace {

constexpr char kTag[] = "audio";

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Fails the attached clip, if any, with the text; the stream takes no clip until it is ready.
void FailSource(PulseWarmShared& shared, const std::string& text) {
    std::lock_guard lock(shared.mutex);
    shared.ready = false;
    if (shared.source) {
        shared.source->OnDeviceError(text);
        shared.source = nullptr;
    }
}

timeval In(int ms) {
    timeval tv{};
    pa_timeval_add(pa_gettimeofday(&tv), static_cast<pa_usec_t>(ms) * PA_USEC_PER_MSEC);
    return tv;
}

class CPulseWarmLease : public IAudioStream {
public:
    CPulseWarmLease(std::shared_ptr<PulseWarmShared> shared, IPcmSource& source)
        : m_shared(std::move(shared)), m_source(&source) {}
    ~CPulseWarmLease() override {
        // What the server holds of the clip plays out; the stream then waits, empty.
        std::lock_guard lock(m_shared->mutex);
        if (m_shared->source == m_source) {
            m_shared->source = nullptr;
        }
        m_shared->busy = false;
    }

private:
    std::shared_ptr<PulseWarmShared> m_shared;
    IPcmSource* m_source;
};

// The loop's lock for a scope.
class CLoopLock {
public:
    explicit CLoopLock(pa_threaded_mainloop* loop) : m_loop(loop) {
        if (m_loop) {
            pa_threaded_mainloop_lock(m_loop);
        }
    }
    ~CLoopLock() {
        if (m_loop) {
            pa_threaded_mainloop_unlock(m_loop);
        }
    }
    CLoopLock(const CLoopLock&) = delete;
    CLoopLock& operator=(const CLoopLock&) = delete;

private:
    pa_threaded_mainloop* m_loop;
};

}  // namespace

CPulseWarmStream::CPulseWarmStream() : m_shared(std::make_shared<PulseWarmShared>()) {}

CPulseWarmStream::~CPulseWarmStream() {
    if (!m_loop) {
        return;
    }
    {
        CLoopLock lock(m_loop);
        m_wanted = false;
        CloseStream("播放设备已关闭");
        FreeTimer(m_watch);
        FreeTimer(m_retry);
        if (m_kick) {
            pa_threaded_mainloop_get_api(m_loop)->io_free(m_kick);
            m_kick = nullptr;
        }
        DropContext();
    }
    pa_threaded_mainloop_stop(m_loop);
    pa_threaded_mainloop_free(m_loop);
    if (m_kickFd >= 0) {
        ::close(m_kickFd);
    }
}

void CPulseWarmStream::Want(const std::string& sink, const std::string& description,
                            const PcmFormat& format) {
    if (!m_loop) {
        m_kickFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        m_loop = pa_threaded_mainloop_new();
        if (!m_loop || m_kickFd < 0) {
            VLOG_ERROR(kTag, "CPulseWarmStream", "cannot start the sound server's loop");
            return;
        }
        pa_threaded_mainloop_set_name(m_loop, "audio warm");
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(m_loop);
        m_kick = api->io_new(
            api, m_kickFd, PA_IO_EVENT_INPUT,
            [](pa_mainloop_api*, pa_io_event*, int, pa_io_event_flags_t, void* self) {
                ccm_util::RunGuarded("audio warm kick",
                                     [self] { static_cast<CPulseWarmStream*>(self)->OnKick(); });
            },
            this);
        if (pa_threaded_mainloop_start(m_loop) < 0) {
            VLOG_ERROR(kTag, "CPulseWarmStream", "cannot start the sound server's loop");
            api->io_free(m_kick);
            m_kick = nullptr;
            pa_threaded_mainloop_free(m_loop);
            m_loop = nullptr;
            return;
        }
    }
    CLoopLock lock(m_loop);
    m_wanted = true;
    const bool same = sink == m_sink && format.sampleRate == m_format.sampleRate &&
                      format.channels == m_format.channels;
    if (same && m_stream) {
        return;
    }
    CloseStream("播放设备已关闭");
    m_sink = sink;
    m_description = description;
    m_format = format;
    if (!m_context) {
        Connect();
    } else if (pa_context_get_state(m_context) == PA_CONTEXT_READY) {
        OpenStream();
    }
}

void CPulseWarmStream::Drop() {
    if (!m_loop) {
        return;
    }
    CLoopLock lock(m_loop);
    m_wanted = false;
    CloseStream("播放设备已关闭");
}

bool CPulseWarmStream::Ready() const {
    std::lock_guard lock(m_shared->mutex);
    return m_shared->ready && !m_shared->busy;
}

void CPulseWarmStream::Connect() {
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(m_loop);
    m_context = pa_context_new(api, "Velora");
    if (!m_context) {
        return;
    }
    pa_context_set_state_callback(m_context, &CPulseWarmStream::ContextStateThunk, this);
    pa_context_set_subscribe_callback(
        m_context,
        [](pa_context* c, pa_subscription_event_type_t type, uint32_t index, void* self) {
            if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SINK ||
                (type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) != PA_SUBSCRIPTION_EVENT_NEW) {
                return;
            }
            pa_operation* o = pa_context_get_sink_info_by_index(
                c, index,
                [](pa_context*, const pa_sink_info* info, int eol, void* me) {
                    if (eol == 0 && info) {
                        ccm_util::RunGuarded("audio warm sink", [me, info] {
                            static_cast<CPulseWarmStream*>(me)->OnSinkAppeared(
                                info->name ? info->name : "",
                                info->description ? info->description : "");
                        });
                    }
                },
                self);
            if (o) {
                pa_operation_unref(o);
            }
        },
        this);
    // No fail: a server that is not there yet is waited for.
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOFAIL, nullptr) < 0) {
        VLOG_ERROR(kTag, "CPulseWarmStream", "cannot reach the sound server: %s",
                   pa_strerror(pa_context_errno(m_context)));
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
        pa_context_unref(m_context);
        m_context = nullptr;
        ScheduleRetry();
    }
}

void CPulseWarmStream::ScheduleRetry() {
    if (m_retry) {
        return;
    }
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(m_loop);
    const timeval at = In(kRetryMs);
    m_retry = api->time_new(
        api, &at,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* self) {
            ccm_util::RunGuarded("audio warm retry",
                                 [self] { static_cast<CPulseWarmStream*>(self)->OnRetry(); });
        },
        this);
}

void CPulseWarmStream::FreeTimer(pa_time_event*& timer) {
    if (timer) {
        pa_threaded_mainloop_get_api(m_loop)->time_free(timer);
        timer = nullptr;
    }
}

void CPulseWarmStream::DropContext() {
    if (m_context) {
        // No callback of the old connection may come after this.
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
    }
}

void CPulseWarmStream::OnRetry() {
    FreeTimer(m_retry);
    DropContext();
    if (m_wanted) {
        Connect();
    }
}

void CPulseWarmStream::ContextStateThunk(pa_context*, void* self) {
    // The server's loop calls these: nothing may be thrown into it.
    ccm_util::RunGuarded("audio warm context",
                         [self] { static_cast<CPulseWarmStream*>(self)->OnContextState(); });
}

void CPulseWarmStream::OnContextState() {
    switch (pa_context_get_state(m_context)) {
        case PA_CONTEXT_READY: {
            pa_operation* o =
                pa_context_subscribe(m_context, PA_SUBSCRIPTION_MASK_SINK, nullptr, nullptr);
            if (o) {
                pa_operation_unref(o);
            }
            if (m_wanted && !m_stream) {
                OpenStream();
            }
            break;
        }
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED: {
            // The server went (or restarted): a new connection once a second until it is back.
            VLOG_INFO(kTag, "CPulseWarmStream", "the sound server went: %s",
                      pa_strerror(pa_context_errno(m_context)));
            CloseStream("播放设备已断开");
            ScheduleRetry();
            break;
        }
        default:
            break;
    }
}

void CPulseWarmStream::OnSinkAppeared(const std::string& name, const std::string& description) {
    if (!m_wanted || m_stream) {
        return;
    }
    // Back (a card plugged again comes with the same description, not always the same name).
    if (name == m_sink || (!m_description.empty() && description == m_description)) {
        m_sink = name;
        OpenStream();
    }
}

void CPulseWarmStream::OpenStream() {
    if (m_sink.empty() || m_format.sampleRate <= 0 || m_format.channels <= 0) {
        return;
    }
    pa_sample_spec sample{};
    sample.format = PA_SAMPLE_S16LE;
    sample.rate = static_cast<uint32_t>(m_format.sampleRate);
    sample.channels = static_cast<uint8_t>(m_format.channels);
    if (!pa_sample_spec_valid(&sample)) {
        return;
    }
    m_stream = pa_stream_new(m_context, "Velora pads", &sample, nullptr);
    if (!m_stream) {
        VLOG_ERROR(kTag, "CPulseWarmStream", "cannot make a stream: %s",
                   pa_strerror(pa_context_errno(m_context)));
        return;
    }
    m_bufferBytes = pa_usec_to_bytes(static_cast<pa_usec_t>(kBufferMs) * PA_USEC_PER_MSEC, &sample);
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = static_cast<uint32_t>(m_bufferBytes);
    attr.prebuf = static_cast<uint32_t>(-1);
    attr.minreq = static_cast<uint32_t>(-1);
    attr.fragsize = static_cast<uint32_t>(-1);
    pa_stream_set_state_callback(m_stream, &CPulseWarmStream::StreamStateThunk, this);
    pa_stream_set_write_callback(m_stream, &CPulseWarmStream::WriteThunk, this);
    // Not moved to another sink when the card goes: its pads are for the card alone.
    if (pa_stream_connect_playback(m_stream, m_sink.c_str(), &attr, PA_STREAM_DONT_MOVE, nullptr,
                                   nullptr) < 0) {
        VLOG_ERROR(kTag, "CPulseWarmStream", "cannot open a stream to %s: %s", m_sink.c_str(),
                   pa_strerror(pa_context_errno(m_context)));
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_set_write_callback(m_stream, nullptr, nullptr);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }
}

void CPulseWarmStream::StreamStateThunk(pa_stream*, void* self) {
    ccm_util::RunGuarded("audio warm stream",
                         [self] { static_cast<CPulseWarmStream*>(self)->OnStreamState(); });
}

void CPulseWarmStream::OnStreamState() {
    switch (pa_stream_get_state(m_stream)) {
        case PA_STREAM_READY: {
            {
                std::lock_guard lock(m_shared->mutex);
                m_shared->ready = true;
                m_shared->sink = m_sink;
                m_shared->sampleRate = m_format.sampleRate;
                m_shared->channels = m_format.channels;
            }
            const pa_buffer_attr* attr = pa_stream_get_buffer_attr(m_stream);
            if (!m_announced) {
                m_announced = true;
                VLOG_INFO(kTag, "CPulseWarmStream",
                          "stream kept open to %s at %d Hz (buffer %u, prebuffer %u, request %u)",
                          m_sink.c_str(), m_format.sampleRate, attr ? attr->tlength : 0,
                          attr ? attr->prebuf : 0, attr ? attr->minreq : 0);
            }
            break;
        }
        case PA_STREAM_FAILED:
        case PA_STREAM_TERMINATED: {
            // The sink went while the server stays (the server going fails the context too,
            // which says so itself); the stream is made again when the sink comes back.
            const bool serverUp = m_context && pa_context_get_state(m_context) == PA_CONTEXT_READY;
            if (serverUp) {
                VLOG_INFO(kTag, "CPulseWarmStream", "the device went: stream closed");
            }
            CloseStream(serverUp ? "播放设备已移除" : "播放设备已断开");
            break;
        }
        default:
            break;
    }
}

void CPulseWarmStream::CloseStream(const std::string& text) {
    FailSource(*m_shared, text);
    if (m_stream) {
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_set_write_callback(m_stream, nullptr, nullptr);
        if (pa_stream_get_state(m_stream) == PA_STREAM_READY) {
            pa_stream_disconnect(m_stream);
        }
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }
    FreeTimer(m_watch);
    m_announced = false;
}

std::unique_ptr<IAudioStream> CPulseWarmStream::Attach(const std::string& sink,
                                                       const PcmFormat& format,
                                                       IPcmSource& source) {
    {
        std::lock_guard lock(m_shared->mutex);
        if (!m_shared->ready || m_shared->busy || m_shared->sink != sink ||
            m_shared->sampleRate != format.sampleRate || m_shared->channels != format.channels) {
            return nullptr;
        }
        m_shared->source = &source;
        m_shared->busy = true;
        m_shared->fresh = true;
        m_shared->drained = false;
        m_shared->lastMoved = NowMs();
    }
    const uint64_t one = 1;
    if (::write(m_kickFd, &one, sizeof one) != sizeof one) {
        // Only a counter at its limit refuses, and then a wake-up is pending anyway.
        VLOG_WARN(kTag, "CPulseWarmStream", "wake-up not written");
    }
    return std::make_unique<CPulseWarmLease>(m_shared, source);
}

void CPulseWarmStream::OnKick() {
    uint64_t count = 0;
    while (::read(m_kickFd, &count, sizeof count) == sizeof count) {
    }
    if (!m_stream || pa_stream_get_state(m_stream) != PA_STREAM_READY) {
        return;
    }
    // A clip's start fills the whole buffer at once, whatever the server asked for last.
    Feed(m_bufferBytes, true);
    ArmWatch();
}

void CPulseWarmStream::WriteThunk(pa_stream*, size_t bytes, void* self) {
    ccm_util::RunGuarded("audio warm feed", [self, bytes] {
        static_cast<CPulseWarmStream*>(self)->Feed(bytes, false);
    });
}

void CPulseWarmStream::Feed(size_t bytes, bool fresh) {
    if (!m_stream || pa_stream_get_state(m_stream) != PA_STREAM_READY) {
        return;
    }
    const size_t bytesPerFrame = static_cast<size_t>(m_format.channels) * 2;
    size_t frames = 0;
    bool ended = false;
    bool replace = false;
    {
        std::lock_guard lock(m_shared->mutex);
        if (!m_shared->source || m_shared->drained || (m_shared->fresh && !fresh)) {
            return;  // idle: the server's request waits for the next clip
        }
        replace = m_shared->fresh;
        m_shared->fresh = false;
        const size_t room = std::max(bytes, replace ? m_bufferBytes : 0) / bytesPerFrame;
        if (room == 0) {
            return;
        }
        m_buffer.resize(room * static_cast<size_t>(m_format.channels));
        const size_t got = m_shared->source->ReadPcm(m_buffer.data(), room, ended);
        frames = got;
        if (ended) {
            m_shared->drained = true;
        } else if (got < room) {
            // The decoder is behind: silence keeps the stream going instead of an underrun.
            std::fill(m_buffer.begin() + static_cast<std::ptrdiff_t>(got * m_format.channels),
                      m_buffer.end(), int16_t{0});
            frames = room;
        }
        m_shared->lastMoved = NowMs();
    }
    if (frames > 0) {
        // A new clip starts from what the server plays next: the tail of the one before is
        // overwritten instead of delaying it.
        if (pa_stream_write(m_stream, m_buffer.data(), frames * bytesPerFrame, nullptr, 0,
                            replace ? PA_SEEK_RELATIVE_ON_READ : PA_SEEK_RELATIVE) < 0) {
            VLOG_ERROR(kTag, "CPulseWarmStream", "write failed: %s",
                       pa_strerror(pa_context_errno(m_context)));
        }
    }
    if (ended || replace) {
        // A start shorter than the prebuffer, or a clip's last samples, play without waiting
        // for more.
        if (pa_operation* o = pa_stream_trigger(m_stream, nullptr, nullptr)) {
            pa_operation_unref(o);
        }
    }
}

void CPulseWarmStream::ArmWatch() {
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(m_loop);
    const timeval at = In(kRetryMs);
    if (m_watch) {
        api->time_restart(m_watch, &at);
        return;
    }
    m_watch = api->time_new(
        api, &at,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* self) {
            ccm_util::RunGuarded("audio warm watch",
                                 [self] { static_cast<CPulseWarmStream*>(self)->OnWatch(); });
        },
        this);
}

void CPulseWarmStream::OnWatch() {
    // Runs only while a clip is attached: an idle stream wakes nobody.
    bool attached = false;
    {
        std::lock_guard lock(m_shared->mutex);
        if (m_shared->source && !m_shared->drained) {
            const int64_t quiet = NowMs() - m_shared->lastMoved;
            if (quiet > kQuietMs) {
                // The server takes nothing any more: the device is gone without a word.
                VLOG_ERROR(kTag, "CPulseWarmStream", "stream moved no data for %lld ms",
                           static_cast<long long>(quiet));
                m_shared->source->OnDeviceError("播放设备已断开");
                m_shared->source = nullptr;
            } else {
                attached = true;
            }
        }
    }
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(m_loop);
    if (attached) {
        const timeval at = In(kRetryMs);
        api->time_restart(m_watch, &at);
    } else {
        api->time_free(m_watch);
        m_watch = nullptr;
    }
}

}  // namespace platform::audio
