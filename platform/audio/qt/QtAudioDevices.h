#pragma once

#include <QAudioDevice>
#include <QAudioFormat>
#include <QList>
#include <QObject>
#include <QThread>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "AudioDevices.h"

class QMediaDevices;

// The devices of the desktop's sound server through Qt Multimedia (PulseAudio or PipeWire
// underneath, so the card is shared with other programs). Every sink and source lives on one
// thread of its own with its own event loop: the UI thread only asks for streams and never waits
// on the sound server; the device list is kept up to date there too. A device that fails, is
// removed or stops moving data fails its streams with a text.
namespace platform::audio {

class CPulseWarmStream;
struct QtStreamShared;

// The devices as the audio thread last saw them; read by any thread without waiting on it.
struct QtDeviceList {
    std::mutex mutex;
    std::condition_variable ready;
    bool known = false;
    QList<QAudioDevice> outputs;
    QList<QAudioDevice> inputs;
    QAudioDevice defaultOutput;
    QAudioDevice defaultInput;
};

class CQtAudioDevices : public IAudioDevices {
public:
    CQtAudioDevices();
    ~CQtAudioDevices() override;
    CQtAudioDevices(const CQtAudioDevices&) = delete;
    CQtAudioDevices& operator=(const CQtAudioDevices&) = delete;

    std::vector<std::string> OutputNames() override;
    std::vector<std::string> InputNames() override;
    std::unique_ptr<IAudioStream> OpenOutput(int index, const PcmFormat& format, IPcmSource& source,
                                             std::string& error) override;
    std::unique_ptr<IAudioStream> OpenInput(int index, const PcmFormat& format, IPcmSink& sink,
                                            std::string& error) override;
    void KeepWarm(int index, const PcmFormat& format) override;
    void StopWarm() override;

private:
    QAudioDevice Find(bool output, int index) const;
    static QAudioFormat ToQt(const PcmFormat& format);
    std::unique_ptr<IAudioStream> Open(bool output, int index, const PcmFormat& format,
                                       IPcmSource* source, IPcmSink* sink, std::string& error);

    std::shared_ptr<QtDeviceList> m_list = std::make_shared<QtDeviceList>();
    QThread m_thread;
    QObject* m_context = nullptr;  // lives on m_thread; owns the streams' Qt objects
    // The pads' stream, on the server's own protocol: Qt's streams wake 50 times a second.
    std::unique_ptr<CPulseWarmStream> m_warm;
};

}  // namespace platform::audio
