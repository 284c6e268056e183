#include "QtWarmStream.h"

#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#include <QTimer>

#include <algorithm>
#include <chrono>

#include "Log/Log.h"

#define LOG_SOURCE "platform\\audio\\qt\\QtWarmStream"

namespace platform::audio {
namespace {

constexpr char kTag[] = "audio";
// What the server answers for the room in a stream it has killed (the sink went): the stream
// is made again before a clip is written into it.
bool Dead(qsizetype bytesFree) {
    return bytesFree < 0 || bytesFree > (qsizetype{64} << 20);
}

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class CQtWarmLease : public IAudioStream {
public:
    CQtWarmLease(std::shared_ptr<QtWarmShared> shared, IPcmSource& source)
        : m_shared(std::move(shared)), m_source(&source) {}
    ~CQtWarmLease() override {
        // What the server holds of the clip plays out; the stream corks itself afterwards.
        std::lock_guard lock(m_shared->mutex);
        if (m_shared->source == m_source) {
            m_shared->source = nullptr;
        }
        m_shared->busy = false;
    }

private:
    std::shared_ptr<QtWarmShared> m_shared;
    IPcmSource* m_source;
};

}  // namespace

CQtWarmStream::CQtWarmStream(QObject* parent) : QObject(parent) {
    m_feed = new QTimer(this);
    m_feed->setTimerType(Qt::PreciseTimer);
    QObject::connect(m_feed, &QTimer::timeout, this, [this] { Feed(); });
    // While the device is away: looked for once a second (the device list's change signal
    // needs the main thread's loop, which a busy or absent main loop does not turn).
    m_renew = new QTimer(this);
    m_renew->setSingleShot(true);
    QObject::connect(m_renew, &QTimer::timeout, this, [this] {
        if (m_sink && !m_feed->isActive()) {
            Renew();
        }
    });
    m_retry = new QTimer(this);
    QObject::connect(m_retry, &QTimer::timeout, this,
                     [this] { DevicesChanged(QMediaDevices::audioOutputs()); });
}

CQtWarmStream::~CQtWarmStream() {
    Close();
}

void CQtWarmStream::Want(const QAudioDevice& device, const QAudioFormat& format) {
    m_wanted = true;
    if (m_sink && device.id() == m_device.id() && format == m_format) {
        return;
    }
    Close();
    m_device = device;
    m_format = format;
    if (!device.isNull()) {
        Open(device);
    }
}

void CQtWarmStream::Drop() {
    m_wanted = false;
    Close();
    m_retry->stop();
}

void CQtWarmStream::Open(const QAudioDevice& device) {
    m_device = device;
    m_sink = new QAudioSink(device, m_format, this);
    m_sink->setBufferSize(m_format.bytesForDuration(kBufferMs * 1000));
    m_io = m_sink->start();
    if (!m_io || m_sink->error() != QAudio::NoError) {
        VLOG_ERROR(kTag, "CQtWarmStream", "cannot open a stream to %s (error %d)",
                   qUtf8Printable(device.description()), static_cast<int>(m_sink->error()));
        Close();
        return;
    }
    QObject::connect(m_sink, &QAudioSink::stateChanged, this, [this](QAudio::State) {
        const QAudio::Error error = m_sink ? m_sink->error() : QAudio::NoError;
        if (error == QAudio::OpenError || error == QAudio::IOError ||
            error == QAudio::FatalError) {
            VLOG_ERROR(kTag, "CQtWarmStream", "stream failed: error %d", static_cast<int>(error));
            // Not inside the sink's own signal: the sink goes from the event loop.
            QTimer::singleShot(0, this, [this] { Close("播放设备已不可用"); });
        }
    });
    // Nothing is written until the first clip: the stream sits empty. It is never corked: a
    // cork or uncork waits on the server, and on a stream the server has killed that wait ends
    // the program (libpulse asserts), while a write just fails.
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->ready = true;
        m_shared->deviceId = device.id();
        m_shared->sampleRate = m_format.sampleRate();
        m_shared->channels = m_format.channelCount();
    }
    m_retry->stop();
    m_wrote = false;
    if (!m_announced) {
        m_announced = true;
        VLOG_INFO(kTag, "CQtWarmStream", "stream kept open to %s at %d Hz",
                  qUtf8Printable(device.description()), m_format.sampleRate());
    }
}

void CQtWarmStream::Close(const std::string& text) {
    {
        // A clip attached now would wait forever: it ends with the reason instead.
        std::lock_guard lock(m_shared->mutex);
        m_shared->ready = false;
        if (m_shared->source) {
            m_shared->source->OnDeviceError(text);
            m_shared->source = nullptr;
        }
    }
    m_feed->stop();
    m_renew->stop();
    m_announced = false;
    CloseSink();
    if (m_wanted && !m_retry->isActive()) {
        m_retry->start(kRetryMs);
    }
}

void CQtWarmStream::CloseSink() {
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->ready = false;
    }
    if (m_sink) {
        m_sink->disconnect(this);
        m_sink->stop();  // the sink owns its push device
        // From the event loop: the sound server's notices for it may still be on their way.
        m_sink->deleteLater();
        m_sink = nullptr;
    }
    m_io = nullptr;
}

void CQtWarmStream::Renew() {
    const QAudioDevice device = m_device;
    CloseSink();
    Open(device);
}

void CQtWarmStream::Kick() {
    m_renew->stop();
    if (!m_sink) {
        return;
    }
    const qsizetype free = m_sink->bytesFree();
    // Killed while idle (the server went), or run dry and no longer asking for data (PipeWire
    // stops asking for a stream that ran dry): a fresh stream for this clip.
    if (Dead(free) || (m_wrote && free == 0)) {
        Renew();
        if (!m_sink) {
            Close("播放设备已不可用");
            return;
        }
    }
    m_lastMoved = NowMs();
    Feed();
    if (m_sink && !m_feed->isActive()) {
        m_feed->start(kFeedMs);
    }
}

void CQtWarmStream::Feed() {
    if (!m_sink || !m_io) {
        return;
    }
    const qsizetype free = m_sink->bytesFree();
    if (Dead(free)) {
        Close("播放设备已断开");
        return;
    }
    const int bytesPerFrame = m_format.bytesPerFrame();
    const int channels = m_format.channelCount();
    const size_t room = static_cast<size_t>(free) / static_cast<size_t>(bytesPerFrame);
    const int64_t now = NowMs();
    size_t frames = 0;
    bool feeding = false;
    {
        std::lock_guard lock(m_shared->mutex);
        if (m_shared->source) {
            feeding = true;
            if (room > 0) {
                m_buffer.resize(room * static_cast<size_t>(channels));
                bool ended = false;
                const size_t got = m_shared->source->ReadPcm(m_buffer.data(), room, ended);
                frames = got;
                if (ended) {
                    feeding = false;  // what the server holds plays out by itself
                } else if (got < room) {
                    // The decoder is behind: a feed's worth of silence keeps the stream going.
                    const size_t pad =
                        std::min(room - got, static_cast<size_t>(m_format.sampleRate()) *
                                                 kFeedMs / 1000);
                    std::fill_n(m_buffer.begin() + static_cast<std::ptrdiff_t>(got * channels),
                                pad * static_cast<size_t>(channels), int16_t{0});
                    frames = got + pad;
                }
                m_lastMoved = now;
            } else if (now - m_lastMoved > kQuietMs) {
                // The server takes nothing any more: the device is gone without a word.
                VLOG_ERROR(kTag, "CQtWarmStream", "stream moved no data for %lld ms",
                           static_cast<long long>(now - m_lastMoved));
                m_shared->source->OnDeviceError("播放设备已断开");
                m_shared->source = nullptr;
                feeding = false;
            }
        }
    }
    if (frames > 0) {
        m_io->write(reinterpret_cast<const char*>(m_buffer.data()),
                    static_cast<qint64>(frames) * bytesPerFrame);
        m_wrote = true;
    }
    if (!feeding) {
        m_feed->stop();  // idle: no timer runs until the next clip
        if (m_wrote) {
            // Once the clip's tail has played, a fresh stream waits for the next one: a stream
            // that ran dry starts again only after a cork and a trigger, which wait on the server.
            m_renew->start(kBufferMs + 100);
        }
    }
}

void CQtWarmStream::DevicesChanged(const QList<QAudioDevice>& outputs) {
    if (!m_wanted) {
        return;
    }
    if (m_sink) {
        const bool present = std::any_of(outputs.begin(), outputs.end(),
                                         [&](const QAudioDevice& d) { return d.id() == m_device.id(); });
        if (!present) {
            VLOG_INFO(kTag, "CQtWarmStream", "the device went: stream closed");
            Close("播放设备已移除");
        }
        return;
    }
    // Back (a card plugged again comes with the same name, not always the same id).
    for (const QAudioDevice& d : outputs) {
        if (d.id() == m_device.id() || d.description() == m_device.description()) {
            Open(d);
            return;
        }
    }
}

std::unique_ptr<IAudioStream> AttachWarm(CQtWarmStream& warm, const QByteArray& deviceId,
                                         const PcmFormat& format, IPcmSource& source) {
    const std::shared_ptr<QtWarmShared>& shared = warm.Shared();
    {
        std::lock_guard lock(shared->mutex);
        if (!shared->ready || shared->busy || shared->deviceId != deviceId ||
            shared->sampleRate != format.sampleRate || shared->channels != format.channels) {
            return nullptr;
        }
        shared->source = &source;
        shared->busy = true;
    }
    auto lease = std::make_unique<CQtWarmLease>(shared, source);
    QMetaObject::invokeMethod(
        &warm, [&warm] { warm.Kick(); }, Qt::QueuedConnection);
    return lease;
}

}  // namespace platform::audio
