#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "AudioDevices.h"

// A sound system for tests. Output streams are pulled either by the test (PumpOutput, exact and
// repeatable) or by a clock thread in real time; what they play is kept. Input streams deliver
// a chosen sine. Devices can refuse formats or disappear, to test the failure paths.
namespace platform::audio {

class CFakeAudioDevices : public IAudioDevices {
public:
    struct Signal {
        double hz = 440.0;
        double amplitude = 0.5;  // of full scale
    };

    CFakeAudioDevices(std::vector<std::string> outputs, std::vector<std::string> inputs);
    ~CFakeAudioDevices() override;

    // A clock thread that pulls and pushes 10 ms blocks in real time; off: the test pumps.
    void SetRealTime(bool on);
    void SetInputSignal(Signal signal);
    // Sample rates the devices accept; empty: any. A refused format fails when the stream
    // starts, the way a sound server answers later.
    void SetAcceptedRates(std::vector<int> rates);
    // Every open stream fails with the error; new streams fail too until Reappear.
    void Disappear(const std::string& error = "设备已移除");
    void Reappear();

    // Pulls up to `frames` frames from every open output stream and keeps them. Waits (up to
    // 2 s) for a slow decoder, so the result does not depend on timing. Returns frames played.
    size_t PumpOutput(size_t frames);
    // Pushes frames of the input signal into every open input stream.
    void PumpInput(size_t frames);

    // Everything played since the last call (interleaved stereo), and the stream's index.
    std::vector<int16_t> TakePlayed();
    int LastOutputIndex() const;
    int LastInputIndex() const;
    size_t OpenOutputCount() const;
    bool OutputEnded() const;  // the latest output stream said its media ended
    // When the latest output stream was opened and when its first frames were handed over.
    std::chrono::steady_clock::time_point OutputOpenedAt() const;
    std::chrono::steady_clock::time_point FirstFramesAt() const;

    std::vector<std::string> OutputNames() override;
    std::vector<std::string> InputNames() override;
    std::unique_ptr<IAudioStream> OpenOutput(int index, const PcmFormat& format, IPcmSource& source,
                                             std::string& error) override;
    std::unique_ptr<IAudioStream> OpenInput(int index, const PcmFormat& format, IPcmSink& sink,
                                            std::string& error) override;

    struct StreamState;  // shared between a stream and the fake

private:
    void Clock();
    void PullOnce(StreamState& s, size_t frames, bool wait);
    void PushOnce(StreamState& s, size_t frames);
    bool Accepts(const PcmFormat& format) const;

    const std::vector<std::string> m_outputs;
    const std::vector<std::string> m_inputs;
    mutable std::mutex m_mutex;
    std::vector<std::shared_ptr<StreamState>> m_streams;
    std::vector<int16_t> m_played;
    Signal m_signal;
    std::vector<int> m_rates;
    std::string m_gone;
    int m_lastOutput = -2;
    int m_lastInput = -2;
    bool m_ended = false;
    std::chrono::steady_clock::time_point m_openedAt;
    std::chrono::steady_clock::time_point m_firstAt;
    bool m_realTime = false;
    bool m_stopping = false;
    std::thread m_clock;
};

}  // namespace platform::audio
