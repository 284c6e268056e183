#include "QtAudioDevices.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QAudioSource>
#include <QIODevice>
#include <QMediaDevices>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <set>

#include "Log/Log.h"
#include "PulseWarmStream.h"

#define LOG_SOURCE "platform\\audio\\qt\\QtAudioDevices"

namespace platform::audio {

// What a stream and its Qt objects share. The clients are only called under `mutex`, and the
// stream's destructor clears them under it, so no call reaches a client after its stream is gone.
struct QtStreamShared {
    std::mutex mutex;
    IPcmSource* source = nullptr;
    IPcmSink* sink = nullptr;
    bool failed = false;
    int bytesPerFrame = 4;
    int channels = 2;
    QByteArray deviceId;
    // When data last moved (steady clock, ms); the watchdog fails a stream that went quiet.
    std::atomic<int64_t> lastActive{0};
    std::atomic<bool> ended{false};
    // Audio thread only:
    int64_t startedAt = 0;
    QAudioSink* audioSink = nullptr;
    QAudioSource* audioSource = nullptr;
    QIODevice* io = nullptr;

    void Fail(const std::string& text) {
        std::lock_guard lock(mutex);
        if (failed) {
            return;
        }
        failed = true;
        if (source) {
            source->OnDeviceError(text);
        }
        if (sink) {
            sink->OnDeviceError(text);
        }
    }
};

namespace {

constexpr char kTag[] = "audio";
// A stream that moves no data for this long has lost its device (the server killed it, the
// card went away) even when no error arrives: it is failed instead of hanging.
constexpr int64_t kQuietMs = 4000;  // a null sink asks for data only every 2 s
constexpr int64_t kFirstDataMs = 6000;

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The PCM side of a sink (read) or a source (write), on the audio thread.
class CPcmIo : public QIODevice {
public:
    explicit CPcmIo(std::shared_ptr<QtStreamShared> shared) : m_shared(std::move(shared)) {}
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxlen) override {
        std::lock_guard lock(m_shared->mutex);
        if (!m_shared->source || m_shared->failed || m_ended) {
            return 0;
        }
        const size_t frames = static_cast<size_t>(maxlen / m_shared->bytesPerFrame);
        m_shared->lastActive = NowMs();
        bool ended = false;
        const size_t got =
            m_shared->source->ReadPcm(reinterpret_cast<int16_t*>(data), frames, ended);
        if (ended) {
            m_ended = true;
            m_shared->ended = true;
            return static_cast<qint64>(got) * m_shared->bytesPerFrame;
        }
        // The decoder is behind: silence keeps the stream running instead of an underrun.
        std::memset(data + got * m_shared->bytesPerFrame, 0,
                    (frames - got) * m_shared->bytesPerFrame);
        return static_cast<qint64>(frames) * m_shared->bytesPerFrame;
    }
    qint64 writeData(const char* data, qint64 len) override {
        std::lock_guard lock(m_shared->mutex);
        m_shared->lastActive = NowMs();
        if (m_shared->sink && !m_shared->failed) {
            m_shared->sink->WritePcm(reinterpret_cast<const int16_t*>(data),
                                     static_cast<size_t>(len / m_shared->bytesPerFrame));
        }
        return len;
    }

private:
    std::shared_ptr<QtStreamShared> m_shared;
    bool m_ended = false;
};

std::string ErrorText(QAudio::Error error, bool output) {
    switch (error) {
        case QAudio::OpenError:
            return output ? "播放设备无法打开" : "录音设备无法打开（格式不被支持？）";
        case QAudio::IOError:
            return output ? "播放设备读写出错" : "录音设备读写出错";
        case QAudio::FatalError:
            return output ? "播放设备已不可用" : "录音设备已不可用";
        default:
            return output ? "播放设备出错" : "录音设备出错";
    }
}

// Closes a stream's Qt objects; on the audio thread.
void CloseQt(QtStreamShared& s) {
    if (s.audioSink) {
        s.audioSink->disconnect();
        s.audioSink->stop();
        delete s.audioSink;
        s.audioSink = nullptr;
    }
    if (s.audioSource) {
        s.audioSource->disconnect();
        s.audioSource->stop();
        delete s.audioSource;
        s.audioSource = nullptr;
    }
    delete s.io;
    s.io = nullptr;
}

// Lives on the audio thread: the streams' Qt objects and the watch for removed devices.
class CAudioContext : public QObject {
public:
    explicit CAudioContext(std::shared_ptr<QtDeviceList> list) : m_list(std::move(list)) {}
    ~CAudioContext() override {
        for (const auto& s : m_live) {
            CloseQt(*s);
        }
    }

    void Watch() {
        m_devices = new QMediaDevices(this);
        QObject::connect(m_devices, &QMediaDevices::audioOutputsChanged, this, [this] {
            Refresh();
            CheckGone(true);
        });
        QObject::connect(m_devices, &QMediaDevices::audioInputsChanged, this, [this] {
            Refresh();
            CheckGone(false);
        });
        // Runs only while streams of their own are open: an idle panel wakes for nothing.
        m_watchdog = new QTimer(this);
        QObject::connect(m_watchdog, &QTimer::timeout, this, [this] { CheckQuiet(); });
        Refresh();
    }

    void Refresh() {
        auto outputs = QMediaDevices::audioOutputs();
        auto inputs = QMediaDevices::audioInputs();
        auto defaultOutput = QMediaDevices::defaultAudioOutput();
        auto defaultInput = QMediaDevices::defaultAudioInput();
        {
            std::lock_guard lock(m_list->mutex);
            m_list->outputs = std::move(outputs);
            m_list->inputs = std::move(inputs);
            m_list->defaultOutput = defaultOutput;
            m_list->defaultInput = defaultInput;
            m_list->known = true;
        }
        m_list->ready.notify_all();
    }

    void Start(const std::shared_ptr<QtStreamShared>& s, const QAudioDevice& device,
               const QAudioFormat& format, bool output) {
        m_live.insert(s);
        if (m_watchdog && !m_watchdog->isActive()) {
            m_watchdog->start(250);
        }
        s->startedAt = NowMs();
        s->io = new CPcmIo(s);
        s->io->open(output ? QIODevice::ReadOnly : QIODevice::WriteOnly);
        std::weak_ptr<QtStreamShared> weak = s;
        auto onState = [weak, output](QAudio::State state, QAudio::Error error) {
            if (error == QAudio::NoError || error == QAudio::UnderrunError) {
                return;
            }
            if (auto shared = weak.lock()) {
                VLOG_ERROR(kTag, "CQtAudioDevices", "stream failed: state %d, error %d",
                           static_cast<int>(state), static_cast<int>(error));
                shared->Fail(ErrorText(error, output));
            }
        };
        if (output) {
            s->audioSink = new QAudioSink(device, format, this);
            // Small enough that a pad is heard at once, large enough to ride out scheduling.
            s->audioSink->setBufferSize(format.bytesForDuration(60000));
            QAudioSink* sink = s->audioSink;
            QObject::connect(sink, &QAudioSink::stateChanged, this,
                             [sink, onState](QAudio::State st) { onState(st, sink->error()); });
            sink->start(s->io);
            onState(sink->state(), sink->error());
        } else {
            s->audioSource = new QAudioSource(device, format, this);
            s->audioSource->setBufferSize(format.bytesForDuration(40000));
            QAudioSource* source = s->audioSource;
            QObject::connect(source, &QAudioSource::stateChanged, this,
                             [source, onState](QAudio::State st) { onState(st, source->error()); });
            source->start(s->io);
            onState(source->state(), source->error());
        }
    }

    void Close(const std::shared_ptr<QtStreamShared>& s) {
        CloseQt(*s);
        m_live.erase(s);
        if (m_live.empty() && m_watchdog) {
            m_watchdog->stop();
        }
    }

private:
    void CheckQuiet() {
        const int64_t now = NowMs();
        for (const auto& s : m_live) {
            if (s->ended || s->failed) {
                continue;
            }
            const int64_t last = s->lastActive;
            if ((last == 0 && now - s->startedAt > kFirstDataMs) ||
                (last != 0 && now - last > kQuietMs)) {
                VLOG_ERROR(kTag, "CQtAudioDevices", "stream moved no data for %lld ms",
                           static_cast<long long>(now - (last ? last : s->startedAt)));
                s->Fail(s->audioSink ? "播放设备已断开" : "录音设备已断开");
            }
        }
    }

    void CheckGone(bool outputs) {
        const QList<QAudioDevice> now =
            outputs ? QMediaDevices::audioOutputs() : QMediaDevices::audioInputs();
        for (const auto& s : m_live) {
            const bool isOutput = s->audioSink != nullptr;
            if (isOutput != outputs || s->deviceId.isEmpty()) {
                continue;
            }
            const bool present = std::any_of(now.begin(), now.end(), [&](const QAudioDevice& d) {
                return d.id() == s->deviceId;
            });
            if (!present) {
                s->Fail(outputs ? "播放设备已移除" : "录音设备已移除");
            }
        }
    }

    std::shared_ptr<QtDeviceList> m_list;
    QMediaDevices* m_devices = nullptr;
    QTimer* m_watchdog = nullptr;
    std::set<std::shared_ptr<QtStreamShared>> m_live;
};

class CQtStream : public IAudioStream {
public:
    CQtStream(std::shared_ptr<QtStreamShared> shared, CAudioContext* context)
        : m_shared(std::move(shared)), m_context(context) {}
    ~CQtStream() override {
        {
            std::lock_guard lock(m_shared->mutex);
            m_shared->source = nullptr;
            m_shared->sink = nullptr;
        }
        // The Qt objects go on their own thread; nobody waits for it.
        auto shared = m_shared;
        CAudioContext* context = m_context;
        QMetaObject::invokeMethod(
            context, [context, shared] { context->Close(shared); }, Qt::QueuedConnection);
    }

private:
    std::shared_ptr<QtStreamShared> m_shared;
    CAudioContext* m_context;
};

std::vector<std::string> Names(const QList<QAudioDevice>& devices) {
    std::vector<std::string> names;
    names.reserve(devices.size());
    for (const QAudioDevice& d : devices) {
        names.push_back(d.description().toStdString());
    }
    return names;
}

}  // namespace

CQtAudioDevices::CQtAudioDevices() : m_warm(std::make_unique<CPulseWarmStream>()) {
    m_thread.setObjectName(QStringLiteral("audio devices"));
    auto* context = new CAudioContext(m_list);
    context->moveToThread(&m_thread);
    m_context = context;
    m_thread.start();
    QMetaObject::invokeMethod(
        context, [context] { context->Watch(); }, Qt::QueuedConnection);
    // Once, at start-up: the first list, so the first pad finds the card. Bounded; a sound
    // server that does not answer leaves the list empty and the default device in use.
    std::unique_lock lock(m_list->mutex);
    m_list->ready.wait_for(lock, std::chrono::seconds(2), [this] { return m_list->known; });
}

CQtAudioDevices::~CQtAudioDevices() {
    m_warm.reset();
    QObject* context = m_context;
    // Every stream is gone (engines hold the devices), so only the context is left to close.
    QMetaObject::invokeMethod(
        context, [context] { delete context; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

std::vector<std::string> CQtAudioDevices::OutputNames() {
    std::lock_guard lock(m_list->mutex);
    return Names(m_list->outputs);
}

std::vector<std::string> CQtAudioDevices::InputNames() {
    std::lock_guard lock(m_list->mutex);
    return Names(m_list->inputs);
}

std::unique_ptr<IAudioStream> CQtAudioDevices::OpenOutput(int index, const PcmFormat& format,
                                                          IPcmSource& source, std::string& error) {
    return Open(true, index, format, &source, nullptr, error);
}

std::unique_ptr<IAudioStream> CQtAudioDevices::OpenInput(int index, const PcmFormat& format,
                                                         IPcmSink& sink, std::string& error) {
    return Open(false, index, format, nullptr, &sink, error);
}

QAudioDevice CQtAudioDevices::Find(bool output, int index) const {
    std::lock_guard lock(m_list->mutex);
    const QList<QAudioDevice>& devices = output ? m_list->outputs : m_list->inputs;
    if (index >= 0 && index < devices.size()) {
        return devices[index];
    }
    return output ? m_list->defaultOutput : m_list->defaultInput;
}

QAudioFormat CQtAudioDevices::ToQt(const PcmFormat& format) {
    QAudioFormat qformat;
    qformat.setSampleRate(format.sampleRate);
    qformat.setChannelCount(format.channels);
    qformat.setSampleFormat(QAudioFormat::Int16);
    return qformat;
}

void CQtAudioDevices::KeepWarm(int index, const PcmFormat& format) {
    const QAudioDevice device = Find(true, index);
    if (device.isNull()) {
        return;  // no output at all: every clip reports it when it starts
    }
    // Qt names a sound server's device by the server's own name for it.
    m_warm->Want(device.id().toStdString(), device.description().toStdString(), format);
}

void CQtAudioDevices::StopWarm() {
    m_warm->Drop();
}

std::unique_ptr<IAudioStream> CQtAudioDevices::Open(bool output, int index, const PcmFormat& format,
                                                    IPcmSource* source, IPcmSink* sink,
                                                    std::string& error) {
    const QAudioDevice device = Find(output, index);
    if (output && source && !device.isNull()) {
        if (auto warm = m_warm->Attach(device.id().toStdString(), format, *source)) {
            return warm;
        }
    }
    if (device.isNull()) {
        error = output ? "没有可用的播放设备" : "没有可用的录音设备";
        return nullptr;
    }
    const QAudioFormat qformat = ToQt(format);
    auto shared = std::make_shared<QtStreamShared>();
    shared->source = source;
    shared->sink = sink;
    shared->channels = format.channels;
    shared->bytesPerFrame = format.channels * 2;
    shared->deviceId = device.id();
    auto* context = static_cast<CAudioContext*>(m_context);
    QMetaObject::invokeMethod(
        context,
        [context, shared, device, qformat, output] {
            context->Start(shared, device, qformat, output);
        },
        Qt::QueuedConnection);
    return std::make_unique<CQtStream>(shared, context);
}

}  // namespace platform::audio
