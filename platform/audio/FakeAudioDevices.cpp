#include "FakeAudioDevices.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace platform::audio {

struct CFakeAudioDevices::StreamState {
    std::mutex mutex;  // held while the client is called; the stream's destructor takes it
    IPcmSource* source = nullptr;
    IPcmSink* sink = nullptr;
    PcmFormat format;
    bool refused = false;
    bool failed = false;
    bool ended = false;
    bool sentAny = false;
    int64_t phase = 0;
};

namespace {

class CFakeStream : public IAudioStream {
public:
    explicit CFakeStream(std::shared_ptr<CFakeAudioDevices::StreamState> state)
        : m_state(std::move(state)) {}
    ~CFakeStream() override {
        std::lock_guard lock(m_state->mutex);
        m_state->source = nullptr;
        m_state->sink = nullptr;
    }

private:
    std::shared_ptr<CFakeAudioDevices::StreamState> m_state;
};

constexpr double kPi = 3.14159265358979323846;

}  // namespace

CFakeAudioDevices::CFakeAudioDevices(std::vector<std::string> outputs,
                                     std::vector<std::string> inputs)
    : m_outputs(std::move(outputs)), m_inputs(std::move(inputs)) {}

CFakeAudioDevices::~CFakeAudioDevices() {
    SetRealTime(false);
}

void CFakeAudioDevices::SetRealTime(bool on) {
    if (on) {
        std::lock_guard lock(m_mutex);
        if (m_realTime) {
            return;
        }
        m_realTime = true;
        m_stopping = false;
        m_clock = std::thread([this] { Clock(); });
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_realTime = false;
    }
    if (m_clock.joinable()) {
        m_clock.join();
    }
}

void CFakeAudioDevices::SetInputSignal(Signal signal) {
    std::lock_guard lock(m_mutex);
    m_signal = signal;
}

void CFakeAudioDevices::SetAcceptedRates(std::vector<int> rates) {
    std::lock_guard lock(m_mutex);
    m_rates = std::move(rates);
}

bool CFakeAudioDevices::Accepts(const PcmFormat& format) const {
    return m_rates.empty() ||
           std::find(m_rates.begin(), m_rates.end(), format.sampleRate) != m_rates.end();
}

void CFakeAudioDevices::Disappear(const std::string& error) {
    std::vector<std::shared_ptr<StreamState>> streams;
    {
        std::lock_guard lock(m_mutex);
        m_gone = error;
        streams = m_streams;
    }
    for (auto& s : streams) {
        std::lock_guard lock(s->mutex);
        if (s->failed) {
            continue;
        }
        s->failed = true;
        if (s->source) {
            s->source->OnDeviceError(error);
        }
        if (s->sink) {
            s->sink->OnDeviceError(error);
        }
    }
}

void CFakeAudioDevices::Reappear() {
    std::lock_guard lock(m_mutex);
    m_gone.clear();
}

std::vector<std::string> CFakeAudioDevices::OutputNames() {
    std::lock_guard lock(m_mutex);
    return m_gone.empty() ? m_outputs : std::vector<std::string>{};
}

std::vector<std::string> CFakeAudioDevices::InputNames() {
    std::lock_guard lock(m_mutex);
    return m_gone.empty() ? m_inputs : std::vector<std::string>{};
}

std::unique_ptr<IAudioStream> CFakeAudioDevices::OpenOutput(int index, const PcmFormat& format,
                                                            IPcmSource& source,
                                                            std::string& error) {
    std::lock_guard lock(m_mutex);
    if (!m_gone.empty()) {
        error = m_gone;
        return nullptr;
    }
    if (index >= static_cast<int>(m_outputs.size())) {
        index = -1;
    }
    auto state = std::make_shared<StreamState>();
    state->source = &source;
    state->format = format;
    state->refused = !Accepts(format);
    m_streams.erase(std::remove_if(m_streams.begin(), m_streams.end(),
                                   [](const auto& s) { return !s->source && !s->sink; }),
                    m_streams.end());
    m_streams.push_back(state);
    m_lastOutput = index;
    m_ended = false;
    m_openedAt = std::chrono::steady_clock::now();
    m_firstAt = {};
    return std::make_unique<CFakeStream>(state);
}

std::unique_ptr<IAudioStream> CFakeAudioDevices::OpenInput(int index, const PcmFormat& format,
                                                           IPcmSink& sink, std::string& error) {
    std::lock_guard lock(m_mutex);
    if (!m_gone.empty()) {
        error = m_gone;
        return nullptr;
    }
    if (index >= static_cast<int>(m_inputs.size())) {
        index = -1;
    }
    auto state = std::make_shared<StreamState>();
    state->sink = &sink;
    state->format = format;
    state->refused = !Accepts(format);
    m_streams.push_back(state);
    m_lastInput = index;
    return std::make_unique<CFakeStream>(state);
}

void CFakeAudioDevices::PullOnce(StreamState& s, size_t frames, bool wait) {
    std::vector<int16_t> got;
    {
        std::unique_lock lock(s.mutex);
        if (!s.source || s.failed || s.ended) {
            return;
        }
        if (s.refused) {
            s.failed = true;
            s.source->OnDeviceError("播放设备不支持此格式");
            return;
        }
        const int ch = s.format.channels;
        std::vector<int16_t> buffer(frames * ch);
        size_t have = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (have < frames && s.source) {
            bool ended = false;
            have += s.source->ReadPcm(buffer.data() + have * ch, frames - have, ended);
            if (ended) {
                s.ended = true;
                break;
            }
            if (!wait || std::chrono::steady_clock::now() > deadline) {
                break;
            }
            if (have < frames) {
                // The decoder is behind; let it catch up without holding the stream.
                lock.unlock();
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                lock.lock();
            }
        }
        buffer.resize(have * ch);
        got = std::move(buffer);
    }
    std::lock_guard lock(m_mutex);
    if (!got.empty() && m_firstAt == std::chrono::steady_clock::time_point{}) {
        m_firstAt = std::chrono::steady_clock::now();
    }
    if (s.ended) {
        m_ended = true;
    }
    m_played.insert(m_played.end(), got.begin(), got.end());
}

void CFakeAudioDevices::PushOnce(StreamState& s, size_t frames) {
    Signal signal;
    {
        std::lock_guard lock(m_mutex);
        signal = m_signal;
    }
    std::lock_guard lock(s.mutex);
    if (!s.sink || s.failed) {
        return;
    }
    if (s.refused) {
        s.failed = true;
        s.sink->OnDeviceError("录音设备不支持此格式");
        return;
    }
    const int ch = s.format.channels;
    std::vector<int16_t> block(frames * ch);
    for (size_t i = 0; i < frames; ++i) {
        const double t =
            static_cast<double>(s.phase + static_cast<int64_t>(i)) / s.format.sampleRate;
        const auto v = static_cast<int16_t>(
            std::lround(signal.amplitude * 32767.0 * std::sin(2 * kPi * signal.hz * t)));
        std::fill_n(block.begin() + static_cast<long>(i * ch), ch, v);
    }
    s.phase += static_cast<int64_t>(frames);
    s.sink->WritePcm(block.data(), frames);
}

size_t CFakeAudioDevices::PumpOutput(size_t frames) {
    std::vector<std::shared_ptr<StreamState>> streams;
    size_t before;
    {
        std::lock_guard lock(m_mutex);
        streams = m_streams;
        before = m_played.size();
    }
    for (auto& s : streams) {
        PullOnce(*s, frames, true);
    }
    std::lock_guard lock(m_mutex);
    return (m_played.size() - before) / 2;
}

void CFakeAudioDevices::PumpInput(size_t frames) {
    std::vector<std::shared_ptr<StreamState>> streams;
    {
        std::lock_guard lock(m_mutex);
        streams = m_streams;
    }
    for (auto& s : streams) {
        PushOnce(*s, frames);
    }
}

void CFakeAudioDevices::Clock() {
    auto next = std::chrono::steady_clock::now();
    for (;;) {
        std::vector<std::shared_ptr<StreamState>> streams;
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping) {
                return;
            }
            streams = m_streams;
        }
        for (auto& s : streams) {
            const size_t frames = static_cast<size_t>(s->format.sampleRate / 100);
            if (s->sink) {
                PushOnce(*s, frames);
            } else {
                PullOnce(*s, frames, false);
            }
        }
        next += std::chrono::milliseconds(10);
        std::this_thread::sleep_until(next);
    }
}

std::vector<int16_t> CFakeAudioDevices::TakePlayed() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_played, {});
}

int CFakeAudioDevices::LastOutputIndex() const {
    std::lock_guard lock(m_mutex);
    return m_lastOutput;
}

int CFakeAudioDevices::LastInputIndex() const {
    std::lock_guard lock(m_mutex);
    return m_lastInput;
}

size_t CFakeAudioDevices::OpenOutputCount() const {
    std::lock_guard lock(m_mutex);
    return static_cast<size_t>(std::count_if(m_streams.begin(), m_streams.end(), [](const auto& s) {
        std::lock_guard l(s->mutex);
        return s->source != nullptr;
    }));
}

bool CFakeAudioDevices::OutputEnded() const {
    std::lock_guard lock(m_mutex);
    return m_ended;
}

std::chrono::steady_clock::time_point CFakeAudioDevices::OutputOpenedAt() const {
    std::lock_guard lock(m_mutex);
    return m_openedAt;
}

std::chrono::steady_clock::time_point CFakeAudioDevices::FirstFramesAt() const {
    std::lock_guard lock(m_mutex);
    return m_firstAt;
}

}  // namespace platform::audio
