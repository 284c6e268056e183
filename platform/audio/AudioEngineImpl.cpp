#include "AudioEngineImpl.h"

#include <algorithm>

#include "ClipCache.h"
#include "Log/Log.h"
#include "profile/ProfileText.h"

#define LOG_SOURCE "platform\\audio\\AudioEngineImpl"

namespace platform::audio {
namespace {

constexpr char kTag[] = "audio";
constexpr std::u16string_view kCapturePrefix = u"wavein:";
constexpr PcmFormat kCaptureFormat{44100, 2};
// How long a stopped recording waits for frames the device captured before the stop. A sound
// server hands them over within its latency; a null sink's monitor only every 2 s.
constexpr auto kDrainLimit = std::chrono::milliseconds(2500);

template <typename T>
void Split(uint32_t ms, T& out) {
    out.milliseconds = ms;
    out.seconds = ms / 1000;
    out.hours = out.seconds / 3600;
    out.minutes = out.seconds / 60 % 60;
    out.secs = out.seconds % 60;
}

uint32_t FramesToMs(int64_t frames, int rate) {
    return rate > 0 ? static_cast<uint32_t>(frames * 1000 / rate) : 0;
}

}  // namespace

CAudioEngine::CAudioEngine(std::shared_ptr<IAudioDevices> devices)
    : m_devices(std::move(devices)) {}

CAudioEngine::~CAudioEngine() {
    {
        // A recording that waits for its last frames is completed now with what it has.
        std::lock_guard lock(m_mutex);
        if (m_recording) {
            m_recording->Hurry();
        }
    }
    m_notices.Drain();
    std::unique_ptr<IAudioStream> stream;
    std::unique_ptr<CRecording> recording;
    std::unique_ptr<CPlayback> playback;
    {
        std::lock_guard lock(m_mutex);
        stream = std::move(m_stream);
        recording = std::move(m_recording);
        playback = std::move(m_playback);
        ++m_generation;
    }
    // The stream first: once it is gone nothing calls the playback or the recording any more.
    stream.reset();
    if (m_warmHeld) {
        m_devices->StopWarm();
    }
    recording.reset();
    playback.reset();
}

void CAudioEngine::Configure(int option, int value) {
    std::lock_guard lock(m_mutex);
    if (option == 1) {
        m_captureGain = std::clamp(value, 0, 100);
    } else if (option == kOptionPressToPress) {
        m_pressToPress = value != 0;
    } else if (option == kOptionWarmOutput) {
        m_warm = value != 0;
        UpdateWarmLocked();
    }
    // 2 and 3 ask for end notices and for keeping the media after its end: always so here.
}

std::u16string CAudioEngine::GetLastError() const {
    std::lock_guard lock(m_mutex);
    return m_lastError;
}

void CAudioEngine::Fail(const std::string& text) {
    VLOG_ERROR(kTag, "CAudioEngine", "%s", text.c_str());
    std::lock_guard lock(m_mutex);
    m_lastError = profile::FromUtf8(text);
}

int CAudioEngine::GetOutputDeviceCount() {
    return static_cast<int>(m_devices->OutputNames().size());
}

bool CAudioEngine::GetOutputDeviceInfo(int index, std::u16string& name) {
    const auto names = m_devices->OutputNames();
    if (index < 0 || index >= static_cast<int>(names.size())) {
        return false;
    }
    name = profile::FromUtf8(names[index]);
    return true;
}

void CAudioEngine::SelectOutputDevice(int index) {
    std::lock_guard lock(m_mutex);
    m_outputIndex = index;
    if (m_warm) {
        UpdateWarmLocked();
    }
}

void CAudioEngine::UpdateWarmLocked() {
    if (m_warm) {
        m_devices->KeepWarm(m_outputIndex, m_warmFormat);
        m_warmHeld = true;
    } else if (m_warmHeld) {
        m_devices->StopWarm();
        m_warmHeld = false;
    }
}

int CAudioEngine::GetInputDeviceCount() {
    return static_cast<int>(m_devices->InputNames().size());
}

bool CAudioEngine::GetInputDeviceInfo(int index, std::u16string& name) {
    const auto names = m_devices->InputNames();
    if (index < 0 || index >= static_cast<int>(names.size())) {
        return false;
    }
    name = profile::FromUtf8(names[index]);
    return true;
}

void CAudioEngine::SelectInputDevice(int index) {
    std::lock_guard lock(m_mutex);
    m_inputIndex = index;
}

void CAudioEngine::ReplaceMediaLocked() {
    if (m_playback && m_running && !m_endReported) {
        m_endReported = true;
        m_notices.Post([this] { Notify(); });
    }
    m_running = false;
    m_stream.reset();
    m_playback.reset();
    ++m_generation;
}

bool CAudioEngine::Open(const std::u16string& urlOrPath, int /*openFlags*/) {
    if (urlOrPath.starts_with(kCapturePrefix)) {
        std::lock_guard lock(m_mutex);
        if (m_recording) {
            m_lastError = u"录音已经开始";
            return false;
        }
        ReplaceMediaLocked();
        m_captureOpen = true;
        return true;
    }
    {
        std::lock_guard lock(m_mutex);
        ReplaceMediaLocked();
    }
    const std::filesystem::path path(profile::ToUtf8(urlOrPath));
    auto decoder = std::make_unique<CMp3Decoder>();
    // A file without a length tag is counted on the decoder's thread, not in the caller's.
    decoder->DeferLengthScan(true);
    std::string error;
    if (!decoder->OpenFile(path, error)) {
        Fail(error);
        return false;
    }
    return OpenDecoder(std::move(decoder), CClipCache::Instance().FindFile(path));
}

bool CAudioEngine::OpenMemory(int /*a*/, int /*b*/, const void* data, size_t bytes, int format) {
    {
        std::lock_guard lock(m_mutex);
        ReplaceMediaLocked();
    }
    if (format != kFormatMp3) {
        Fail("不支持的音频格式（只能播放MP3）");
        return false;
    }
    auto decoder = std::make_unique<CMp3Decoder>();
    decoder->DeferLengthScan(true);
    std::string error;
    if (!decoder->OpenMemory(data, bytes, error)) {
        Fail(error);
        return false;
    }
    return OpenDecoder(std::move(decoder), CClipCache::Instance().FindMemory(data, bytes));
}

bool CAudioEngine::OpenDecoder(std::unique_ptr<CMp3Decoder> decoder,
                               std::shared_ptr<const CachedStart> start) {
    std::lock_guard lock(m_mutex);
    ReplaceMediaLocked();
    const uint64_t generation = m_generation;
    m_playback = std::make_unique<CPlayback>(
        std::move(decoder), std::move(start),
        [this, generation](const std::string& error) { OnPlaybackEnded(generation, error); });
    m_playback->SetVolume(m_left, m_right);
    m_endReported = false;
    m_lastError.clear();
    return true;
}

bool CAudioEngine::GetMediaInfo(MediaInfo& info) {
    std::lock_guard lock(m_mutex);
    if (!m_playback && !m_recording && m_recordedFrames >= 0) {
        Split(FramesToMs(m_recordedFrames, m_recordedRate), info);
        return true;
    }
    if (!m_playback) {
        return false;
    }
    Split(FramesToMs(m_playback->LengthFrames(), m_playback->SampleRate()), info);
    return true;
}

bool CAudioEngine::Start() {
    std::lock_guard lock(m_mutex);
    if (m_running) {
        return true;
    }
    std::string error;
    if (m_playback) {
        if (m_playback->Finished()) {
            m_playback->Seek(0);  // played to its end before: from the top again
        }
        m_stream.reset();
        const PcmFormat format{m_playback->SampleRate(), CMp3Decoder::kChannels};
        m_stream = m_devices->OpenOutput(m_outputIndex, format, *m_playback, error);
        if (m_warm && format.sampleRate != m_warmFormat.sampleRate) {
            // This clip's rate went the slow way; the next clip at it finds the stream warm.
            m_warmFormat = format;
            UpdateWarmLocked();
        }
    } else if (m_recording && !m_finishing) {
        m_recordStart = std::chrono::steady_clock::now();
        if (m_pressToPress) {
            m_recording->MarkStart(m_recordStart);
        }
        m_stream = m_devices->OpenInput(m_inputIndex, kCaptureFormat, *m_recording, error);
    } else {
        error = m_captureOpen ? "没有设置录音文件" : "没有可播放的媒体";
    }
    if (!m_stream) {
        m_lastError = profile::FromUtf8(error.empty() ? std::string("音频设备无法打开") : error);
        VLOG_ERROR(kTag, "CAudioEngine::Start", "%s", error.c_str());
        return false;
    }
    m_running = true;
    m_endReported = false;
    return true;
}

bool CAudioEngine::Seek(int mode, const Position& position, int /*flags*/) {
    std::lock_guard lock(m_mutex);
    if (!m_playback) {
        return false;
    }
    const int64_t ms =
        mode == kSeekSeconds ? int64_t{position.seconds} * 1000 : int64_t{position.milliseconds};
    m_playback->Seek(ms * m_playback->SampleRate() / 1000);
    return true;
}

void CAudioEngine::Stop() {
    std::unique_ptr<IAudioStream> stream;
    std::unique_ptr<CRecording> recording;
    {
        std::lock_guard lock(m_mutex);
        if (m_finishing) {
            return;  // completing already
        }
        if (m_recording && m_running && m_pressToPress) {
            // The device hands frames over a while after it heard them: the stream stays until
            // the recording holds the time up to now.
            const auto elapsed = std::chrono::steady_clock::now() - m_recordStart;
            const int64_t frames =
                std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count() *
                m_recording->SampleRate() / 1000000;
            m_recording->EndAfter(frames);
            m_running = false;
            m_finishing = true;
            const uint64_t generation = m_generation;
            m_notices.Post([this, generation] { FinishRecording(generation); });
            return;
        }
        stream = std::move(m_stream);
        recording = std::move(m_recording);
        m_running = false;
        if (recording) {
            ++m_generation;
        }
    }
    stream.reset();
    if (recording) {
        std::string error;
        const int64_t frames = recording->FramesCaptured();
        if (!recording->Finish(error)) {
            Fail(error);
        } else {
            std::lock_guard lock(m_mutex);
            m_recordedFrames = frames;
            m_recordedRate = recording->SampleRate();
        }
    }
}

void CAudioEngine::FinishRecording(uint64_t generation) {
    CRecording* waiting = nullptr;
    {
        std::lock_guard lock(m_mutex);
        if (generation != m_generation || !m_recording || !m_finishing) {
            return;  // the device ended it first
        }
        waiting = m_recording.get();
    }
    // Only this thread takes the recording away while m_finishing holds.
    const bool complete = waiting->WaitForEnd(std::chrono::steady_clock::now() + kDrainLimit);
    std::unique_ptr<IAudioStream> stream;
    std::unique_ptr<CRecording> recording;
    {
        std::lock_guard lock(m_mutex);
        stream = std::move(m_stream);
        recording = std::move(m_recording);
        ++m_generation;
    }
    stream.reset();
    if (!complete) {
        VLOG_ERROR(kTag, "CAudioEngine::FinishRecording",
                   "the device did not hand over the last frames in time");
    }
    std::string error;
    const int64_t frames = recording->FramesCaptured();
    const bool ok = recording->Finish(error);
    {
        std::lock_guard lock(m_mutex);
        m_finishing = false;
        if (ok) {
            m_recordedFrames = frames;
            m_recordedRate = recording->SampleRate();
        } else {
            m_lastError = profile::FromUtf8(error);
        }
    }
    if (!ok) {
        VLOG_ERROR(kTag, "CAudioEngine::FinishRecording", "%s", error.c_str());
    }
    recording.reset();
    Notify(kEventRecordingEnded);
}

bool CAudioEngine::GetPosition(Position& position) {
    std::lock_guard lock(m_mutex);
    if (m_playback) {
        Split(FramesToMs(m_playback->PositionFrames(), m_playback->SampleRate()), position);
        return true;
    }
    if (m_recording) {
        Split(FramesToMs(m_recording->FramesCaptured(), m_recording->SampleRate()), position);
        return true;
    }
    position = Position{};
    return false;
}

void CAudioEngine::SetVolume(int left, int right) {
    std::lock_guard lock(m_mutex);
    m_left = std::clamp(left, 0, 100);
    m_right = std::clamp(right, 0, 100);
    if (m_playback) {
        m_playback->SetVolume(m_left, m_right);
    }
}

bool CAudioEngine::GetState(EngineState& state) {
    std::lock_guard lock(m_mutex);
    state.running = m_running;
    state.startable = m_playback != nullptr;
    state.finishing = m_finishing;
    return true;
}

bool CAudioEngine::GetLevels(unsigned& first, unsigned& second) {
    std::lock_guard lock(m_mutex);
    first = 0;
    second = 0;
    if (!m_running) {
        return true;
    }
    if (m_playback) {
        m_playback->Levels(first, second);
    } else if (m_recording) {
        m_recording->Levels(first, second);
    }
    return true;
}

void CAudioEngine::SetCallback(EngineCallback callback, uint32_t events, void* user) {
    std::lock_guard lock(m_mutex);
    m_callback = callback;
    m_events = events;
    m_user = user;
}

bool CAudioEngine::StartRecordToFile(const std::filesystem::path& path, int /*a*/, int /*b*/) {
    std::lock_guard lock(m_mutex);
    if (!m_captureOpen) {
        m_lastError = u"没有打开录音源";
        return false;
    }
    if (m_recording) {
        m_lastError = u"录音已经开始";
        return false;
    }
    auto recording = std::make_unique<CRecording>();
    std::string error;
    const uint64_t generation = ++m_generation;
    if (!recording->Begin(
            path, kCaptureFormat, m_captureGain,
            [this, generation](const std::string& text) { OnRecordingEnded(generation, text); },
            error)) {
        m_lastError = profile::FromUtf8(error);
        VLOG_ERROR(kTag, "CAudioEngine::StartRecordToFile", "%s", error.c_str());
        return false;
    }
    m_recording = std::move(recording);
    m_recordPath = path;
    m_recordedFrames = -1;
    return true;
}

void CAudioEngine::OnPlaybackEnded(uint64_t generation, const std::string& error) {
    // On the device's thread: hand over to the notice thread, which may stop the stream.
    m_notices.Post([this, generation, error] {
        std::unique_ptr<IAudioStream> stream;
        {
            std::lock_guard lock(m_mutex);
            if (generation != m_generation || !m_running || m_endReported) {
                return;
            }
            m_running = false;
            m_endReported = true;
            stream = std::move(m_stream);
            if (!error.empty()) {
                m_lastError = profile::FromUtf8(error);
            }
        }
        if (!error.empty()) {
            VLOG_ERROR(kTag, "CAudioEngine", "playback ended: %s", error.c_str());
        }
        stream.reset();
        Notify();
    });
}

void CAudioEngine::OnRecordingEnded(uint64_t generation, const std::string& error) {
    m_notices.Post([this, generation, error] {
        std::unique_ptr<IAudioStream> stream;
        std::unique_ptr<CRecording> recording;
        {
            std::lock_guard lock(m_mutex);
            if (generation != m_generation || !m_recording || m_finishing) {
                return;  // a stopped recording is completed by FinishRecording
            }
            m_running = false;
            stream = std::move(m_stream);
            recording = std::move(m_recording);
            m_lastError = profile::FromUtf8(error);
            ++m_generation;
        }
        VLOG_ERROR(kTag, "CAudioEngine", "recording ended: %s", error.c_str());
        stream.reset();
        std::string ignored;
        const int64_t frames = recording->FramesCaptured();
        if (recording->Finish(ignored)) {  // keep what was recorded up to the failure
            std::lock_guard lock(m_mutex);
            m_recordedFrames = frames;
            m_recordedRate = recording->SampleRate();
        }
        Notify(kEventRecordingEnded);
    });
}

int64_t CAudioEngine::FirstFramesAtNs() const {
    std::lock_guard lock(m_mutex);
    return m_playback ? m_playback->FirstFramesAtNs() : 0;
}

void CAudioEngine::Notify(uint32_t event) {
    EngineCallback callback;
    void* user;
    {
        std::lock_guard lock(m_mutex);
        if (!m_callback || !(m_events & event)) {
            return;
        }
        callback = m_callback;
        user = m_user;
    }
    callback(user, event);
}

}  // namespace platform::audio
