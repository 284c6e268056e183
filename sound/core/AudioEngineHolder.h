#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "AudioEngine.h"
#include "SoundEvents.h"

namespace sound {

// One page's engines: a recorder that exists while it records and a player that plays the page's
// clips. Both are created through platform::audio::CreateAudioEngine. Every call returns at once;
// the engine decodes, encodes and talks to the devices on threads of its own.
//
// Failures leave the engine's own words in LastError for the caller to show.
class AudioEngineHolder {
public:
    // The card's capture source as the engine names it.
    static constexpr const char16_t* kCaptureUrl = u"wavein:///src=line;volume=100;";
    static constexpr int kOpenFlags = 1000;

    AudioEngineHolder() = default;
    // Releases both engines; once an engine is gone it calls nobody.
    ~AudioEngineHolder();
    AudioEngineHolder(const AudioEngineHolder&) = delete;
    AudioEngineHolder& operator=(const AudioEngineHolder&) = delete;

    // Creates the recorder on the first device whose name holds deviceName (else the default)
    // and starts writing an MP3 file at path once Start is called on it. The recording keeps the
    // time from Start to Stop; its end comes as EventPlaybackMsg(kEventRecordingEnded).
    bool OpenRecorder(std::u16string_view deviceName, const std::filesystem::path& path);
    // Creates the player now, on the device whose name holds deviceName, and has it keep a
    // stream to that device open from now on, so the first clip starts without waiting for the
    // sound server (the sound pads; not the recording page's player).
    bool KeepOutputWarm(std::u16string_view deviceName);
    // Creates the player when there is none and opens the MP3 file.
    bool OpenPlayerFile(std::u16string_view deviceName, const std::filesystem::path& path);
    // The same for MP3 data in memory, which must stay valid while the player holds them.
    bool OpenPlayerMemory(std::u16string_view deviceName, const void* data, size_t bytes);
    bool StartPlayer();
    void StopPlayer();
    bool IsPlayerRunning() const;
    void ReleasePlayer();
    void ReleaseRecorder();
    void ReleaseEngines();

    platform::audio::IAudioEngine* Player() const { return m_player.get(); }
    platform::audio::IAudioEngine* Recorder() const { return m_recorder.get(); }
    const std::u16string& LastError() const { return m_lastError; }
    void ClearError() { m_lastError.clear(); }
    bool IsPlaying() const { return m_playing.load(); }

private:
    static void OnEngineEvent(void* user, uint32_t event);
    // The recorder's end: posted as EventPlaybackMsg with code kEventRecordingEnded.
    static void OnRecorderEvent(void* user, uint32_t event);
    bool PreparePlayer(std::u16string_view deviceName);
    void TakeError(const platform::audio::IAudioEngine& engine, const char* what);

    std::unique_ptr<platform::audio::IAudioEngine> m_recorder;
    std::unique_ptr<platform::audio::IAudioEngine> m_player;
    // Written by the engine's thread in the callback and by the UI thread.
    std::atomic<bool> m_playing{false};
    std::atomic<bool> m_suppressEnd{false};
    bool m_keepWarm = false;
    std::u16string m_lastError;
};

}  // namespace sound
