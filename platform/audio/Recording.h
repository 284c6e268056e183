#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "AudioDevices.h"
#include "Mp3Encoder.h"

// Capture to an MP3 file: the device's thread hands blocks over, an encoder thread turns them
// into MP3 frames and writes them. The file is written beside the target under a temporary name
// and takes the target's place only when it is complete with its tag frame, so a failed or
// crashed recording never destroys the previous one.
namespace platform::audio {

class CRecording : public IPcmSink {
public:
    // Called at most once, from the device's or the encoder's thread, when recording cannot go
    // on (the device failed, the disk is full). Must not block.
    using EndHandler = std::function<void(const std::string& error)>;

    CRecording();
    ~CRecording() override;
    CRecording(const CRecording&) = delete;
    CRecording& operator=(const CRecording&) = delete;

    // Opens the temporary file and the encoder; false with a text for the user.
    bool Begin(const std::filesystem::path& target, const PcmFormat& format, int gain,
               EndHandler onEnd, std::string& error);
    // Encodes what is queued, writes the tag frame and moves the file into place. False (with
    // the text) when the file could not be completed; the previous recording then stays.
    bool Finish(std::string& error);
    bool Begun() const { return m_file != nullptr || m_thread.joinable(); }

    // The moment recording was asked for. When the device's first frames come later than a
    // device's usual delay after it, the device had nothing to give for that time: the file
    // keeps it as silence, so that its time stays the time between the presses.
    void MarkStart(std::chrono::steady_clock::time_point at);
    // The recording ends after `frames` frames in all (silence included); later frames are left
    // out. Wakes WaitForEnd once they are there.
    void EndAfter(int64_t frames);
    // Waits until the frames EndAfter asked for are there, the recording failed, Hurry was
    // called or the deadline passed; true when the frames are all there.
    bool WaitForEnd(std::chrono::steady_clock::time_point deadline);
    // Ends WaitForEnd at once (the engine is going).
    void Hurry();

    int64_t FramesCaptured() const { return m_captured.load(); }
    int SampleRate() const { return m_format.sampleRate; }
    void Levels(unsigned& first, unsigned& second) const;

    void WritePcm(const int16_t* in, size_t frames) override;
    void OnDeviceError(const std::string& text) override;

private:
    void EncodeLoop();
    void Fail(const std::string& text);
    // The disk is about to be full: what is written stays and is completed, nothing more is
    // taken.
    void StopForDisk();

    static constexpr size_t kMaxQueuedSeconds = 20;
    // The free space is looked at after about this much MP3 (some seconds of it).
    static constexpr size_t kDiskCheckBytes = 64 * 1024;
    // A device hands its first frames over within this of the start when it has them.
    static constexpr std::chrono::milliseconds kLateStart{100};

    PcmFormat m_format;
    int m_gain = 100;
    EndHandler m_onEnd;
    std::filesystem::path m_target;
    std::filesystem::path m_temp;
    std::FILE* m_file = nullptr;
    CMp3Encoder m_encoder;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::vector<int16_t>> m_queue;
    size_t m_queuedFrames = 0;
    bool m_finishing = false;
    bool m_failed = false;
    bool m_diskFull = false;
    std::string m_failure;
    bool m_ended = false;  // the end handler was called
    std::chrono::steady_clock::time_point m_startAt{};
    bool m_firstSeen = false;
    int64_t m_endFrames = -1;  // EndAfter's frames; -1: open-ended
    bool m_hurry = false;
    std::condition_variable m_endWake;

    std::atomic<int64_t> m_captured{0};
    std::atomic<unsigned> m_level0{0};
    std::atomic<unsigned> m_level1{0};
    std::thread m_thread;
};

}  // namespace platform::audio
