#pragma once

#include <QAudioDevice>
#include <QAudioFormat>
#include <QByteArray>
#include <QList>
#include <QObject>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "AudioDevices.h"

class QAudioSink;
class QIODevice;
class QTimer;

// One push-mode output stream kept open to the card while the program runs, so a pad starts by
// writing samples into a stream the sound server has already set up (setting one up is most of
// a pad's latency). Idle, it sits empty and nothing of ours runs for it; after a clip a fresh
// one replaces it, off the path of the next press. Lives on the audio thread; clips attach from
// any thread.
namespace platform::audio {

// What the stream shares with the threads that attach clips. The source is called only under
// `mutex`, and a lease clears it under it, so no call reaches a source after its lease is gone.
struct QtWarmShared {
    std::mutex mutex;
    IPcmSource* source = nullptr;
    bool ready = false;  // open and healthy: a clip may attach
    bool busy = false;   // a lease holds it
    QByteArray deviceId;
    int sampleRate = 0;
    int channels = 0;
};

class CQtWarmStream : public QObject {
public:
    // A stream that is fed moves data at least this often, or it has lost its device.
    static constexpr int64_t kQuietMs = 4000;
    static constexpr int kBufferMs = 50;  // what the server holds ahead: a replaced clip's tail
    static constexpr int kFeedMs = 10;
    static constexpr int kRetryMs = 1000;

    explicit CQtWarmStream(QObject* parent);
    ~CQtWarmStream() override;

    const std::shared_ptr<QtWarmShared>& Shared() const { return m_shared; }

    // Audio thread. Opens the stream to the device in the format (again when either changed).
    void Want(const QAudioDevice& device, const QAudioFormat& format);
    void Drop();
    // A clip attached: write its first samples at once.
    void Kick();
    // The device list changed: a stream whose device went is closed (its clip fails), and
    // opened again once the device is back.
    void DevicesChanged(const QList<QAudioDevice>& outputs);
    bool IsOpen() const { return m_sink != nullptr; }

private:
    void Open(const QAudioDevice& device);
    // Closes the stream; a clip attached to it fails with the text.
    void Close(const std::string& text = "播放设备已关闭");
    void CloseSink();  // the Qt objects only; an attached clip stays
    void Renew();      // a fresh stream to the same device
    void Feed();

    std::shared_ptr<QtWarmShared> m_shared = std::make_shared<QtWarmShared>();
    bool m_wanted = false;
    QAudioDevice m_device;
    QAudioFormat m_format;
    QAudioSink* m_sink = nullptr;
    QIODevice* m_io = nullptr;  // the sink's
    QTimer* m_feed = nullptr;
    QTimer* m_retry = nullptr;
    QTimer* m_renew = nullptr;
    bool m_wrote = false;      // this stream has played: it may have run dry
    bool m_announced = false;  // logged once per device, not per fresh stream
    int64_t m_lastMoved = 0;  // steady ms of the last write with a clip attached
    std::vector<int16_t> m_buffer;
};

// Attaches source to the warm stream when it is open on this device in this format and free;
// null otherwise (the caller opens a stream of its own). Any thread.
std::unique_ptr<IAudioStream> AttachWarm(CQtWarmStream& warm, const QByteArray& deviceId,
                                         const PcmFormat& format, IPcmSource& source);

}  // namespace platform::audio
