#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

// The audio engine the sound pads and the recording panel use: one object plays one clip (a file
// or MP3 data in memory) or records one capture device into an MP3 file. Calls come from the UI
// thread; decoding, encoding and the devices run on threads of the engine's own, so no call waits
// on a device or a decoder. Failures return false and leave a text for GetLastError.
namespace platform::audio {

// Length of the media a player holds.
struct MediaInfo {
    uint32_t seconds = 0;       // whole seconds
    uint32_t milliseconds = 0;  // the whole length in milliseconds
    uint32_t hours = 0;         // the length split for display
    uint32_t minutes = 0;
    uint32_t secs = 0;
};

// A player's position in its media, or a recorder's recorded time.
struct Position {
    uint32_t seconds = 0;
    uint32_t milliseconds = 0;
    uint32_t hours = 0;
    uint32_t minutes = 0;
    uint32_t secs = 0;
};

struct EngineState {
    bool running = false;    // playing or recording
    bool startable = false;  // a player holds media that Start can play again
    bool finishing = false;  // a recorder was stopped and waits for the device's last frames
};

enum SeekMode : int { kSeekMilliseconds = 1, kSeekSeconds = 2 };
enum MediaFormat : int { kFormatMp3 = 1, kFormatWave = 3, kFormatOther = 1000 };

// The player reached the end of its media, or its media was replaced by another Open.
inline constexpr uint32_t kEventEndOfMedia = 0x10000;
// The recorder's file is complete (or could not be completed: GetLastError says why); also when
// the device ended the recording by itself.
inline constexpr uint32_t kEventRecordingEnded = 0x20000;

// Configure option: a recorder keeps the recording on the clock of Start and Stop (value 1). The
// file then holds the time from Start to Stop: a device that hands over its first frames late
// leaves that time silent, and Stop returns at once while the engine waits for the frames the
// device captured before Stop and still has to hand over; kEventRecordingEnded follows.
inline constexpr int kOptionPressToPress = 4;
// Configure option: a player keeps a stream to its output device open while it lives (value 1),
// so that Start writes into a running stream (see IAudioDevices::KeepWarm).
inline constexpr int kOptionWarmOutput = 5;

// Called on a thread of the engine's, with the user pointer given to SetCallback and the event.
using EngineCallback = void (*)(void* user, uint32_t event);

class IAudioEngine {
public:
    virtual ~IAudioEngine() = default;

    // Options: recorder (1, 100) = capture at full volume, (kOptionPressToPress, 1) = see there;
    // player (2, 1) and (3, 1) = report the end of media and keep the media after it. Unknown
    // options are ignored.
    virtual void Configure(int option, int value) = 0;
    // The last failure in words for the user; empty when there was none.
    virtual std::u16string GetLastError() const = 0;

    virtual int GetOutputDeviceCount() = 0;
    // The device's name as the sound system shows it; false for an index out of range.
    virtual bool GetOutputDeviceInfo(int index, std::u16string& name) = 0;
    // -1 or an index out of range: the system's default device.
    virtual void SelectOutputDevice(int index) = 0;
    virtual int GetInputDeviceCount() = 0;
    virtual bool GetInputDeviceInfo(int index, std::u16string& name) = 0;
    virtual void SelectInputDevice(int index) = 0;

    // A player opens an MP3 file; a recorder opens its capture source
    // ("wavein:///src=line;volume=100;"). The second argument is always 1000. Opening replaces
    // the media a player held (which reports kEventEndOfMedia when it was playing).
    virtual bool Open(const std::u16string& urlOrPath, int openFlags) = 0;
    // MP3 data in memory (format kFormatMp3); the data stay valid while the engine holds them.
    virtual bool OpenMemory(int a, int b, const void* data, size_t bytes, int format) = 0;
    // Exact length: from the file's Xing/LAME tag, else a full scan of its frames, which the
    // player makes on its decoder's thread once the first buffers are ready (an estimate from the
    // first frame and the size until then; read it again while playing). A recorder
    // whose recording ended gives the length of the file it completed.
    virtual bool GetMediaInfo(MediaInfo& info) = 0;

    // Plays the opened media from its position, or records when StartRecordToFile was called.
    virtual bool Start() = 0;
    // kSeekMilliseconds: position.milliseconds; kSeekSeconds: position.seconds.
    virtual bool Seek(int mode, const Position& position, int flags) = 0;
    virtual void Stop() = 0;
    virtual bool GetPosition(Position& position) = 0;
    // 0..100 per channel.
    virtual void SetVolume(int left, int right) = 0;
    virtual bool GetState(EngineState& state) = 0;
    // The current levels of the two channels, 0..100.
    virtual bool GetLevels(unsigned& first, unsigned& second) = 0;
    // events: a mask of the events wanted (kEventEndOfMedia, kEventRecordingEnded).
    virtual void SetCallback(EngineCallback callback, uint32_t events, void* user) = 0;

    // Records the opened capture source into an MP3 file at path (flags 1, 0), written with a
    // LAME tag at the end so that its length and seeking are exact.
    virtual bool StartRecordToFile(const std::filesystem::path& path, int a, int b) = 0;
};

using AudioEngineFactory = std::function<std::unique_ptr<IAudioEngine>()>;

// Warm the start of a favourite clip, so that Open/OpenMemory followed by Start hands its first
// buffer to the device at once (a hotkey is heard without waiting on the disk or the decoder).
// Decoding happens on a background thread; the cache is bounded, and a file that changed or
// vanished since is simply decoded as usual. Memory must stay valid for the program's life (the
// built-in clips are resources).
void PreloadClipMemory(const void* data, size_t bytes);
void PreloadClipFile(const std::filesystem::path& path);

// The program installs the engine it runs with at start-up (the sound system's), tests install
// one on a fake device backend. Without a factory CreateAudioEngine returns null.
void SetAudioEngineFactory(AudioEngineFactory factory);
std::unique_ptr<IAudioEngine> CreateAudioEngine();

}  // namespace platform::audio
