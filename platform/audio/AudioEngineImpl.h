#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "AudioDevices.h"
#include "AudioEngine.h"
#include "Playback.h"
#include "Recording.h"
#include "SerialWorker.h"

// The engine on a device backend: a player (MP3 file or memory through CPlayback) or a recorder
// (capture through CRecording), whichever the first Open asks for. Calls return at once; the
// device, decoder and encoder threads do the work, and notices reach the callback from the
// engine's own notice thread.
namespace platform::audio {

class CAudioEngine : public IAudioEngine {
public:
    explicit CAudioEngine(std::shared_ptr<IAudioDevices> devices);
    ~CAudioEngine() override;

    void Configure(int option, int value) override;
    std::u16string GetLastError() const override;
    int GetOutputDeviceCount() override;
    bool GetOutputDeviceInfo(int index, std::u16string& name) override;
    void SelectOutputDevice(int index) override;
    int GetInputDeviceCount() override;
    bool GetInputDeviceInfo(int index, std::u16string& name) override;
    void SelectInputDevice(int index) override;
    bool Open(const std::u16string& urlOrPath, int openFlags) override;
    bool OpenMemory(int a, int b, const void* data, size_t bytes, int format) override;
    bool GetMediaInfo(MediaInfo& info) override;
    bool Start() override;
    bool Seek(int mode, const Position& position, int flags) override;
    void Stop() override;
    bool GetPosition(Position& position) override;
    void SetVolume(int left, int right) override;
    bool GetState(EngineState& state) override;
    bool GetLevels(unsigned& first, unsigned& second) override;
    void SetCallback(EngineCallback callback, uint32_t events, void* user) override;
    bool StartRecordToFile(const std::filesystem::path& path, int a, int b) override;

    // Waits until every notice raised so far has been delivered (tests).
    void DrainNotices() { m_notices.Drain(); }
    // When the device first got frames of the current clip (steady clock, ns; 0: not yet).
    int64_t FirstFramesAtNs() const;

private:
    bool OpenDecoder(std::unique_ptr<CMp3Decoder> decoder,
                     std::shared_ptr<const CachedStart> start);
    // Ends what the engine held; a clip still playing gets its end notice. Caller holds m_mutex.
    void ReplaceMediaLocked();
    void OnPlaybackEnded(uint64_t generation, const std::string& error);
    void OnRecordingEnded(uint64_t generation, const std::string& error);
    // On the notice thread: waits for the frames a stopped recording still lacks, then
    // completes the file and reports it.
    void FinishRecording(uint64_t generation);
    void Notify(uint32_t event = kEventEndOfMedia);
    // The devices keep the output warm while the option is on. Caller holds m_mutex.
    void UpdateWarmLocked();
    void Fail(const std::string& text);

    std::shared_ptr<IAudioDevices> m_devices;
    mutable std::mutex m_mutex;
    std::u16string m_lastError;
    EngineCallback m_callback = nullptr;
    void* m_user = nullptr;
    uint32_t m_events = 0;
    int m_outputIndex = -1;
    int m_inputIndex = -1;
    int m_captureGain = 100;
    bool m_warm = false;
    bool m_warmHeld = false;
    PcmFormat m_warmFormat{44100, CMp3Decoder::kChannels};
    int m_left = 100;
    int m_right = 100;

    uint64_t m_generation = 0;  // one per opened media; stale notices are recognised by it
    bool m_running = false;
    bool m_endReported = false;
    std::unique_ptr<CPlayback> m_playback;
    bool m_captureOpen = false;
    std::unique_ptr<CRecording> m_recording;
    std::filesystem::path m_recordPath;
    bool m_pressToPress = false;
    bool m_finishing = false;       // Stop came; FinishRecording completes the file
    int64_t m_recordedFrames = -1;  // the completed recording's length; -1: none
    int m_recordedRate = 0;
    std::chrono::steady_clock::time_point m_recordStart{};
    std::unique_ptr<IAudioStream> m_stream;

    CSerialWorker m_notices;  // last: it runs jobs that use the members above until it is joined
};

}  // namespace platform::audio
