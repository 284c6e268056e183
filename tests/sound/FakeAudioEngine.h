#pragma once

// A stand-in audio engine for the pages' tests: opens what it is told to accept, reports the
// length it is given, runs until told it ended, and calls back as the real engine does. Every
// engine the factory makes is recorded in the shared log, so a test can see what the pages did.
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "AudioEngine.h"

namespace fake_audio {

namespace pa = platform::audio;

struct Log {
    uint32_t lengthMs = 3000;          // what GetMediaInfo reports
    std::set<std::u16string> refused;  // paths Open fails on
    bool refuseStart = false;
    bool refuseRecordStart = false;
    std::vector<std::u16string> outputs{u"Built-in Audio", u"Orin LYNT! Analog Stereo"};
    std::vector<std::u16string> inputs{u"Orin LYNT! Analog Stereo"};
    // What happened, in order: "open:<path>", "memory:<bytes>", "start", "stop", "volume:<l>",
    // "select-out:<i>", "select-in:<i>", "record:<path>", "seek:<ms or s>".
    std::vector<std::string> calls;
    int alive = 0;
    class Engine* last = nullptr;
};

inline std::string Narrow(const std::u16string& s) {
    std::string out;
    for (char16_t c : s)
        out.push_back(c < 0x80 ? char(c) : '?');
    return out;
}

class Engine : public pa::IAudioEngine {
public:
    explicit Engine(std::shared_ptr<Log> log) : m_log(std::move(log)) {
        ++m_log->alive;
        m_log->last = this;
    }
    ~Engine() override {
        --m_log->alive;
        if (m_log->last == this)
            m_log->last = nullptr;
    }
    void Configure(int, int) override {}
    std::u16string GetLastError() const override { return m_error; }
    int GetOutputDeviceCount() override { return int(m_log->outputs.size()); }
    bool GetOutputDeviceInfo(int i, std::u16string& name) override {
        if (i < 0 || size_t(i) >= m_log->outputs.size())
            return false;
        name = m_log->outputs[size_t(i)];
        return true;
    }
    void SelectOutputDevice(int i) override { Note("select-out:" + std::to_string(i)); }
    int GetInputDeviceCount() override { return int(m_log->inputs.size()); }
    bool GetInputDeviceInfo(int i, std::u16string& name) override {
        if (i < 0 || size_t(i) >= m_log->inputs.size())
            return false;
        name = m_log->inputs[size_t(i)];
        return true;
    }
    void SelectInputDevice(int i) override { Note("select-in:" + std::to_string(i)); }
    bool Open(const std::u16string& path, int) override {
        Note("open:" + Narrow(path));
        if (m_log->refused.count(path)) {
            m_error = u"不支持的文件格式";
            return false;
        }
        ReplaceMedia();
        return true;
    }
    bool OpenMemory(int, int, const void*, size_t bytes, int) override {
        Note("memory:" + std::to_string(bytes));
        ReplaceMedia();
        return true;
    }
    bool GetMediaInfo(pa::MediaInfo& info) override {
        info.milliseconds = m_log->lengthMs;
        info.seconds = m_log->lengthMs / 1000;
        info.hours = info.seconds / 3600;
        info.minutes = info.seconds / 60 % 60;
        info.secs = info.seconds % 60;
        return true;
    }
    bool Start() override {
        Note("start");
        if (m_recording ? m_log->refuseRecordStart : m_log->refuseStart) {
            m_error = u"设备不支持此格式";
            return false;
        }
        running = true;
        return true;
    }
    bool Seek(int mode, const pa::Position& p, int) override {
        Note("seek:" + std::to_string(mode == pa::kSeekMilliseconds ? p.milliseconds : p.seconds));
        return true;
    }
    void Stop() override {
        Note("stop");
        running = false;
    }
    bool GetPosition(pa::Position& p) override {
        p = position;
        return true;
    }
    void SetVolume(int l, int) override { Note("volume:" + std::to_string(l)); }
    bool GetState(pa::EngineState& s) override {
        s.running = running;
        s.startable = m_opened;
        return true;
    }
    bool GetLevels(unsigned& a, unsigned& b) override {
        a = 30;
        b = 70;
        return true;
    }
    void SetCallback(pa::EngineCallback cb, uint32_t, void* user) override {
        m_callback = cb;
        m_user = user;
    }
    bool StartRecordToFile(const std::filesystem::path& path, int, int) override {
        Note("record:" + path.filename().string());
        m_recording = true;
        return true;
    }

    // The media played to its end.
    void End() {
        running = false;
        if (m_callback)
            m_callback(m_user, pa::kEventEndOfMedia);
    }
    void Fail(std::u16string error) {
        running = false;
        m_error = std::move(error);
    }

    bool running = false;
    pa::Position position;

private:
    void Note(std::string call) { m_log->calls.push_back(std::move(call)); }
    void ReplaceMedia() {
        // As the real engine: media that was playing reports its end when replaced.
        if (running)
            End();
        m_opened = true;
    }

    std::shared_ptr<Log> m_log;
    std::u16string m_error;
    pa::EngineCallback m_callback = nullptr;
    void* m_user = nullptr;
    bool m_opened = false;
    bool m_recording = false;
};

// Installs the fake as the program's engine; the log it returns sees every engine made.
inline std::shared_ptr<Log> Install() {
    auto log = std::make_shared<Log>();
    pa::SetAudioEngineFactory([log] { return std::make_unique<Engine>(log); });
    return log;
}

}  // namespace fake_audio
