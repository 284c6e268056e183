// The pads' warm stream on a private sound server (PulseAudio, and PipeWire's PulseAudio server
// where it runs): clips play one after another through the one stream at the server's pace, a
// server that restarts takes the playing clip down with a reason and the stream comes back, and
// a card back under another name is found by its description.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "PipeWireFixture.h"
#include "PulseFixture.h"
#include "PulseWarmStream.h"

using namespace platform::audio;
using namespace std::chrono_literals;

namespace {

constexpr PcmFormat kFormat{44100, 2};

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// A clip of a 440 Hz tone, `seconds` long, that notes when the stream took it.
class CToneClip : public IPcmSource {
public:
    explicit CToneClip(double seconds)
        : m_left(static_cast<size_t>(seconds * kFormat.sampleRate)) {}

    size_t ReadPcm(int16_t* out, size_t frames, bool& ended) override {
        std::lock_guard lock(m_mutex);
        const size_t n = std::min(frames, m_left);
        for (size_t i = 0; i < n; ++i, ++m_phase) {
            const auto v =
                static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440 * static_cast<double>(m_phase) /
                                                     kFormat.sampleRate));
            out[2 * i] = v;
            out[2 * i + 1] = v;
        }
        m_left -= n;
        ended = m_left == 0;
        if (ended && !m_ended) {
            m_ended = true;
            m_endedAt = std::chrono::steady_clock::now();
        }
        return n;
    }
    void OnDeviceError(const std::string& text) override {
        std::lock_guard lock(m_mutex);
        m_error = text;
    }

    bool Ended() const {
        std::lock_guard lock(m_mutex);
        return m_ended;
    }
    bool Started() const {
        std::lock_guard lock(m_mutex);
        return m_phase > 0;
    }
    std::chrono::steady_clock::time_point EndedAt() const {
        std::lock_guard lock(m_mutex);
        return m_endedAt;
    }
    std::string Error() const {
        std::lock_guard lock(m_mutex);
        return m_error;
    }

private:
    mutable std::mutex m_mutex;
    size_t m_left;
    size_t m_phase = 0;
    bool m_ended = false;
    std::chrono::steady_clock::time_point m_endedAt;
    std::string m_error;
};

size_t Lines(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

// Two clips through the one stream: each taken at the server's pace, the stream still the only
// one on the sink between and after them; a second clip while one plays goes its own way.
void PlayTwoClips(CPulseWarmStream& warm, const std::function<std::string(std::string)>& pactl) {
    warm.Want("lynt", "Orin LYNT!", kFormat);
    ASSERT_TRUE(WaitFor([&] { return warm.Ready(); }, 5s));
    EXPECT_EQ(Lines(pactl("list short sink-inputs")), 1u);
    for (int round = 0; round < 2; ++round) {
        CToneClip clip(0.5);
        const auto attached = std::chrono::steady_clock::now();
        auto lease = warm.Attach("lynt", kFormat, clip);
        ASSERT_TRUE(lease) << "round " << round;
        CToneClip other(0.5);
        EXPECT_FALSE(warm.Attach("lynt", kFormat, other));  // the stream is taken
        ASSERT_TRUE(WaitFor([&] { return clip.Ended(); }, 5s)) << "round " << round;
        // Half a second went at the server's pace (less the 50 ms it holds ahead), not at once.
        EXPECT_GE(clip.EndedAt() - attached, 350ms) << "round " << round;
        EXPECT_EQ(clip.Error(), "");
        // The tail plays out; the stream waits, empty, for the next clip.
        std::this_thread::sleep_for(200ms);
        lease.reset();
        EXPECT_TRUE(WaitFor([&] { return warm.Ready(); }, 1s));
        EXPECT_EQ(Lines(pactl("list short sink-inputs")), 1u);
    }
    // Another device or format is not this stream's.
    CToneClip clip(0.1);
    EXPECT_FALSE(warm.Attach("other", kFormat, clip));
    EXPECT_FALSE(warm.Attach("lynt", PcmFormat{48000, 2}, clip));
    warm.Drop();
    EXPECT_FALSE(warm.Ready());
    EXPECT_TRUE(WaitFor([&] { return Lines(pactl("list short sink-inputs")) == 0; }, 5s));
}

class PulseWarmTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!PulseFixture::Installed()) {
            GTEST_SKIP() << "pulseaudio is not installed";
        }
        ASSERT_TRUE(m_pulse.Start()) << m_pulse.Error();
    }
    std::string Pactl(const std::string& args) { return m_pulse.Pactl(args); }
    std::string NullSinkModule() {
        const std::string modules = Pactl("list short modules");
        const auto line = modules.find("module-null-sink");
        if (line == std::string::npos) {
            return {};
        }
        const size_t start = modules.rfind('\n', line) + 1;
        return modules.substr(start, modules.find('\t', start) - start);
    }

    PulseFixture m_pulse;
};

}  // namespace

TEST_F(PulseWarmTest, ClipsPlayOneAfterAnotherThroughOneStream) {
    CPulseWarmStream warm;
    PlayTwoClips(warm, [this](const std::string& args) { return Pactl(args); });
}

TEST(PipeWireWarmTest, ClipsPlayOneAfterAnotherThroughOneStream) {
    if (!PipeWireFixture::Installed()) {
        GTEST_SKIP() << "pipewire is not installed";
    }
    PipeWireFixture pipewire;
    if (!pipewire.Start()) {
        GTEST_SKIP() << pipewire.Error();  // some containers cannot run it
    }
    CPulseWarmStream warm;
    PlayTwoClips(warm, [&](const std::string& args) { return pipewire.Pactl(args); });
}

// The server dies while a clip plays (a crash, a restart by the desktop): the clip ends with the
// reason instead of waiting forever, and once the server is back the stream is too.
TEST_F(PulseWarmTest, AServerRestartEndsTheClipAndTheStreamComesBack) {
    CPulseWarmStream warm;
    warm.Want("lynt", "Orin LYNT!", kFormat);
    ASSERT_TRUE(WaitFor([&] { return warm.Ready(); }, 5s));
    CToneClip playing(20.0);
    auto lease = warm.Attach("lynt", kFormat, playing);
    ASSERT_TRUE(lease);
    ASSERT_TRUE(WaitFor([&] { return playing.Started(); }, 2s));
    ASSERT_TRUE(m_pulse.Restart()) << m_pulse.Error();
    ASSERT_TRUE(WaitFor([&] { return !playing.Error().empty(); }, 5s));
    EXPECT_EQ(playing.Error(), "播放设备已断开");
    lease.reset();
    ASSERT_TRUE(WaitFor([&] { return warm.Ready(); }, 10s));
    CToneClip next(0.3);
    auto again = warm.Attach("lynt", kFormat, next);
    ASSERT_TRUE(again);
    EXPECT_TRUE(WaitFor([&] { return next.Ended(); }, 5s));
    EXPECT_EQ(next.Error(), "");
}

// The card goes while idle and comes back as a sink of another name with the same description
// (another USB port): the stream follows it, and only under its new name.
TEST_F(PulseWarmTest, ACardBackUnderAnotherNameIsFoundByItsDescription) {
    CPulseWarmStream warm;
    warm.Want("lynt", "Orin LYNT!", kFormat);
    ASSERT_TRUE(WaitFor([&] { return warm.Ready(); }, 5s));
    const std::string module = NullSinkModule();
    ASSERT_FALSE(module.empty());
    Pactl("unload-module " + module);
    ASSERT_TRUE(WaitFor([&] { return !warm.Ready(); }, 5s));
    EXPECT_TRUE(WaitFor([&] { return Lines(Pactl("list short sink-inputs")) == 0; }, 5s));
    Pactl(
        "load-module module-null-sink sink_name=lynt2 rate=44100 "
        "sink_properties=\"'device.description=\\\"Orin LYNT!\\\"'\"");
    ASSERT_TRUE(WaitFor([&] { return warm.Ready(); }, 5s));
    CToneClip clip(0.2);
    EXPECT_FALSE(warm.Attach("lynt", kFormat, clip));
    auto lease = warm.Attach("lynt2", kFormat, clip);
    ASSERT_TRUE(lease);
    EXPECT_TRUE(WaitFor([&] { return clip.Ended(); }, 5s));
    EXPECT_EQ(clip.Error(), "");
}

// A pad pressed while another plays: the new clip replaces what the server still holds of the
// old one and plays whole through the same stream.
TEST_F(PulseWarmTest, AClipStartedOverAPlayingOnePlaysWhole) {
    CPulseWarmStream warm;
    warm.Want("lynt", "Orin LYNT!", kFormat);
    ASSERT_TRUE(WaitFor([&] { return warm.Ready(); }, 5s));
    CToneClip first(5.0);
    auto lease = warm.Attach("lynt", kFormat, first);
    ASSERT_TRUE(lease);
    std::this_thread::sleep_for(300ms);
    lease.reset();
    CToneClip second(0.5);
    const auto attached = std::chrono::steady_clock::now();
    lease = warm.Attach("lynt", kFormat, second);
    ASSERT_TRUE(lease);
    ASSERT_TRUE(WaitFor([&] { return second.Ended(); }, 5s));
    EXPECT_GE(second.EndedAt() - attached, 350ms);
    EXPECT_FALSE(first.Ended());  // cut short, not played on
    EXPECT_EQ(first.Error(), "");
    EXPECT_EQ(second.Error(), "");
    EXPECT_EQ(Lines(Pactl("list short sink-inputs")), 1u);
}
