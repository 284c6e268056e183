#pragma once

#include <QObject>
#include <QThread>

#include <memory>
#include <string>
#include <vector>

#include "AudioDevices.h"

class QMediaDevices;

// The devices of the desktop's sound server through Qt Multimedia (PulseAudio or PipeWire
// underneath, so the card is shared with other programs). Every sink and source lives on one
// thread of its own with its own event loop: the UI thread only asks for streams and never waits
// on the sound server. A device that fails or is removed fails its streams with a text.
namespace platform::audio {

struct QtStreamShared;

class CQtAudioDevices : public IAudioDevices {
public:
    CQtAudioDevices();
    ~CQtAudioDevices() override;
    CQtAudioDevices(const CQtAudioDevices&) = delete;
    CQtAudioDevices& operator=(const CQtAudioDevices&) = delete;

    std::vector<std::string> OutputNames() override;
    std::vector<std::string> InputNames() override;
    std::unique_ptr<IAudioStream> OpenOutput(int index, const PcmFormat& format,
                                             IPcmSource& source, std::string& error) override;
    std::unique_ptr<IAudioStream> OpenInput(int index, const PcmFormat& format, IPcmSink& sink,
                                            std::string& error) override;

private:
    std::unique_ptr<IAudioStream> Open(bool output, int index, const PcmFormat& format,
                                       IPcmSource* source, IPcmSink* sink, std::string& error);

    QThread m_thread;
    QObject* m_context = nullptr;  // lives on m_thread; owns the streams' Qt objects
};

}  // namespace platform::audio
