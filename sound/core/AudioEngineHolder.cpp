#include "AudioEngineHolder.h"

#include "Log/Log.h"

#define LOG_SOURCE "sound\\core\\AudioEngineHolder"

namespace sound {

namespace pa = platform::audio;

namespace {

std::u16string Widen(std::string_view text) {
    std::u16string out;
    for (char c : text) {
        out.push_back(char16_t(static_cast<unsigned char>(c)));
    }
    return out;
}

bool SelectOutput(pa::IAudioEngine& engine, std::u16string_view deviceName) {
    const int count = engine.GetOutputDeviceCount();
    for (int i = 0; i < count; ++i) {
        std::u16string name;
        if (engine.GetOutputDeviceInfo(i, name) && name.find(deviceName) != std::u16string::npos) {
            engine.SelectOutputDevice(i);
            return true;
        }
    }
    return false;  // the default device stays
}

bool SelectInput(pa::IAudioEngine& engine, std::u16string_view deviceName) {
    const int count = engine.GetInputDeviceCount();
    for (int i = 0; i < count; ++i) {
        std::u16string name;
        if (engine.GetInputDeviceInfo(i, name) && name.find(deviceName) != std::u16string::npos) {
            engine.SelectInputDevice(i);
            return true;
        }
    }
    return false;
}

}  // namespace

AudioEngineHolder::~AudioEngineHolder() {
    ReleaseEngines();
}

void AudioEngineHolder::TakeError(const pa::IAudioEngine& engine, const char* what) {
    m_lastError = engine.GetLastError();
    if (m_lastError.empty()) {
        m_lastError = Widen(what);
    }
    VLOG_ERROR("sound", "AudioEngineHolder", "%s failed", what);
}

bool AudioEngineHolder::OpenRecorder(std::u16string_view deviceName,
                                     const std::filesystem::path& path) {
    m_lastError.clear();
    if (!m_recorder) {
        m_recorder = pa::CreateAudioEngine();
        if (!m_recorder) {
            m_lastError = u"没有可用的音频引擎";
            VLOG_ERROR("sound", "AudioEngineHolder::OpenRecorder", "no audio engine");
            return false;
        }
        m_recorder->Configure(1, 100);
        // The file holds the time between the presses, not only what came before the second.
        m_recorder->Configure(pa::kOptionPressToPress, 1);
        m_recorder->SetCallback(&AudioEngineHolder::OnRecorderEvent, pa::kEventRecordingEnded,
                                this);
        SelectInput(*m_recorder, deviceName);
        if (!m_recorder->Open(kCaptureUrl, kOpenFlags)) {
            TakeError(*m_recorder, "open capture");
            m_recorder.reset();
            return false;
        }
    }
    if (!m_recorder->StartRecordToFile(path, 1, 0)) {
        TakeError(*m_recorder, "record to file");
        m_recorder.reset();
        return false;
    }
    return true;
}

bool AudioEngineHolder::PreparePlayer(std::u16string_view deviceName) {
    m_lastError.clear();
    if (!m_player) {
        m_player = pa::CreateAudioEngine();
        if (!m_player) {
            m_lastError = u"没有可用的音频引擎";
            VLOG_ERROR("sound", "AudioEngineHolder::PreparePlayer", "no audio engine");
            return false;
        }
        m_player->Configure(2, 1);
        m_player->Configure(3, 1);
        SelectOutput(*m_player, deviceName);
        if (m_keepWarm) {
            m_player->Configure(pa::kOptionWarmOutput, 1);
        }
        m_player->SetCallback(&AudioEngineHolder::OnEngineEvent, pa::kEventEndOfMedia, this);
    }
    // The clip being replaced reports its end: that notice is not the new clip's.
    if (m_playing.load()) {
        m_suppressEnd = true;
    }
    return true;
}

bool AudioEngineHolder::KeepOutputWarm(std::u16string_view deviceName) {
    m_keepWarm = true;
    return PreparePlayer(deviceName);
}

bool AudioEngineHolder::OpenPlayerFile(std::u16string_view deviceName,
                                       const std::filesystem::path& path) {
    if (!PreparePlayer(deviceName)) {
        return false;
    }
    if (!m_player->Open(path.u16string(), kOpenFlags)) {
        TakeError(*m_player, "open file");
        ReleasePlayer();
        return false;
    }
    return true;
}

bool AudioEngineHolder::OpenPlayerMemory(std::u16string_view deviceName, const void* data,
                                         size_t bytes) {
    if (!data || bytes == 0) {
        m_lastError = u"没有可播放的数据";
        return false;
    }
    if (!PreparePlayer(deviceName)) {
        return false;
    }
    if (!m_player->OpenMemory(1, 0, data, bytes, pa::kFormatMp3)) {
        TakeError(*m_player, "open memory");
        ReleasePlayer();
        return false;
    }
    return true;
}

bool AudioEngineHolder::StartPlayer() {
    if (!m_player) {
        return false;
    }
    if (m_player->Start()) {
        m_playing = true;
        return true;
    }
    TakeError(*m_player, "start player");
    m_playing = false;
    ReleasePlayer();
    return false;
}

void AudioEngineHolder::StopPlayer() {
    if (m_player) {
        m_playing = false;
        m_suppressEnd = false;
        m_player->Stop();
    }
}

bool AudioEngineHolder::IsPlayerRunning() const {
    pa::EngineState state;
    return m_player && m_player->GetState(state) && state.running;
}

void AudioEngineHolder::ReleasePlayer() {
    // The engine stops calling back before it is gone.
    m_player.reset();
    m_playing = false;
    m_suppressEnd = false;
}

void AudioEngineHolder::ReleaseRecorder() {
    m_recorder.reset();
}

void AudioEngineHolder::ReleaseEngines() {
    ReleaseRecorder();
    ReleasePlayer();
}

void AudioEngineHolder::OnRecorderEvent(void* user, uint32_t event) {
    if (event == pa::kEventRecordingEnded && user) {
        ccm_util::EventBus::Instance().Post(std::make_shared<EventPlaybackMsg>(user, event));
    }
}

void AudioEngineHolder::OnEngineEvent(void* user, uint32_t event) {
    if (event != pa::kEventEndOfMedia || !user) {
        return;
    }
    auto* self = static_cast<AudioEngineHolder*>(user);
    if (!self->m_suppressEnd.exchange(false)) {
        self->m_playing = false;
        ccm_util::EventBus::Instance().Post(std::make_shared<EventPlaybackMsg>(self, event));
    }
}

}  // namespace sound
