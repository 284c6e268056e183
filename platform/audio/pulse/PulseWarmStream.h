#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "AudioDevices.h"

struct pa_context;
struct pa_io_event;
struct pa_stream;
struct pa_threaded_mainloop;
struct pa_time_event;

// One push-mode output stream kept open to the card's sink while the program runs, so a pad
// starts by writing samples into a stream the sound server has already set up (setting one up
// is most of a pad's latency). It talks to the server's native protocol directly, on a thread of
// its own: samples are written when the server asks for them, and idle it is an empty stream the
// server holds still, so nothing of ours wakes for it (a toolkit's stream polls every 20 ms).
// It follows the sink away and back, and the server through a restart. Thread-safe.
namespace platform::audio {

struct PulseWarmShared;

class CPulseWarmStream {
public:
    // What the server holds ahead of what it plays.
    static constexpr int kBufferMs = 50;
    // A stream that is fed moves data at least this often, or it has lost its device.
    static constexpr int64_t kQuietMs = 4000;
    static constexpr int kRetryMs = 1000;

    CPulseWarmStream();
    ~CPulseWarmStream();
    CPulseWarmStream(const CPulseWarmStream&) = delete;
    CPulseWarmStream& operator=(const CPulseWarmStream&) = delete;

    // Keeps a stream open to the sink named `sink` in this format; a sink that comes back under
    // another name with the same description is taken as the same card.
    void Want(const std::string& sink, const std::string& description, const PcmFormat& format);
    void Drop();
    // Attaches source when the stream is open on this sink in this format and free; null
    // otherwise (the caller opens a stream of its own). The clip's first samples replace what
    // the stream still holds of the one before.
    std::unique_ptr<IAudioStream> Attach(const std::string& sink, const PcmFormat& format,
                                         IPcmSource& source);
    // Open and free for a clip (tests).
    bool Ready() const;

private:
    // All below run with the mainloop's lock held (on its thread, or taken by the caller).
    void Connect();
    void OpenStream();
    void CloseStream(const std::string& text);
    void Feed(size_t bytes, bool fresh);
    void ArmWatch();
    void OnContextState();
    void OnStreamState();
    void OnSinkAppeared(const std::string& name, const std::string& description);
    void OnKick();
    void OnWatch();
    void OnRetry();
    void ScheduleRetry();
    void FreeTimer(pa_time_event*& timer);
    // The server connection ended, its callbacks taken back first.
    void DropContext();

    static void ContextStateThunk(pa_context* c, void* self);
    static void StreamStateThunk(pa_stream* s, void* self);
    static void WriteThunk(pa_stream* s, size_t bytes, void* self);

    std::shared_ptr<PulseWarmShared> m_shared;
    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    pa_io_event* m_kick = nullptr;
    pa_time_event* m_watch = nullptr;
    pa_time_event* m_retry = nullptr;
    int m_kickFd = -1;  // an eventfd: Attach wakes the loop without taking its lock
    bool m_wanted = false;
    bool m_announced = false;
    std::string m_sink;
    std::string m_description;
    PcmFormat m_format;
    size_t m_bufferBytes = 0;
    std::vector<int16_t> m_buffer;
};

}  // namespace platform::audio
