#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The seam between the engine and the sound system: device names, and streams of 16-bit
// interleaved PCM that the sound system pulls (playback) or pushes (capture) on a thread of its
// own. The engine never waits on a device: opening a stream returns at once and a device that
// fails later reports through the stream's client.
namespace platform::audio {

struct PcmFormat {
    int sampleRate = 44100;
    int channels = 2;
};

// Feeds a playback stream. Called on the sound system's thread.
class IPcmSource {
public:
    virtual ~IPcmSource() = default;
    // Fills up to `frames` frames and returns how many were given. Fewer than asked while the
    // decoder catches up (the stream plays silence for the rest); `ended` is set once nothing
    // more will come.
    virtual size_t ReadPcm(int16_t* out, size_t frames, bool& ended) = 0;
    // The device failed or went away; the stream delivers nothing more.
    virtual void OnDeviceError(const std::string& text) = 0;
};

// Receives a capture stream. Called on the sound system's thread.
class IPcmSink {
public:
    virtual ~IPcmSink() = default;
    virtual void WritePcm(const int16_t* in, size_t frames) = 0;
    virtual void OnDeviceError(const std::string& text) = 0;
};

// An open stream. Destroying it stops it; once the destructor has returned its client is not
// called again.
class IAudioStream {
public:
    virtual ~IAudioStream() = default;
};

class IAudioDevices {
public:
    virtual ~IAudioDevices() = default;
    virtual std::vector<std::string> OutputNames() = 0;  // UTF-8, as the sound system shows them
    virtual std::vector<std::string> InputNames() = 0;
    // index -1: the default device. Null (with error set) when the stream cannot even be asked
    // for; later failures reach the client's OnDeviceError.
    virtual std::unique_ptr<IAudioStream> OpenOutput(int index, const PcmFormat& format,
                                                     IPcmSource& source, std::string& error) = 0;
    virtual std::unique_ptr<IAudioStream> OpenInput(int index, const PcmFormat& format,
                                                    IPcmSink& sink, std::string& error) = 0;

    // Keeps one output stream to the device open in this format while the program runs, so that
    // an OpenOutput on the same device and format starts by writing into a stream that already
    // runs instead of waiting for the sound server to set one up. Idle, the stream costs nothing
    // (it is paused once it has played out); a device that goes away takes it along, and it is
    // opened again when the device comes back. Backends without a sound server ignore it.
    virtual void KeepWarm(int /*index*/, const PcmFormat& /*format*/) {}
    virtual void StopWarm() {}
};

}  // namespace platform::audio
