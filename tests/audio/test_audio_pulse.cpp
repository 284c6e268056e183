// The engine on the sound server's devices, against a private PulseAudio whose null sink plays
// the card ("Orin LYNT!"): playback, a 2 s recording of the sink's monitor, and a device that
// is removed while it plays.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "AudioEngineImpl.h"
#include "AudioTestSupport.h"
#include "PulseFixture.h"
#include "QtAudioDevices.h"
#include "TempDir.h"
#include "profile/ProfileText.h"

using namespace platform::audio;
namespace profile = platform::profile;
using namespace std::chrono_literals;

namespace {

struct Ends {
    std::atomic<int> count{0};
    static void Callback(void* user, uint32_t) { ++static_cast<Ends*>(user)->count; }
};

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

int FindDevice(IAudioEngine& engine, bool output) {
    const int count = output ? engine.GetOutputDeviceCount() : engine.GetInputDeviceCount();
    for (int i = 0; i < count; ++i) {
        std::u16string name;
        const bool ok =
            output ? engine.GetOutputDeviceInfo(i, name) : engine.GetInputDeviceInfo(i, name);
        if (ok && name.find(u"Orin LYNT!") != std::u16string::npos) {
            return i;
        }
    }
    return -1;
}

class PulseTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!PulseFixture::Installed()) {
            return;
        }
        s_pulse = new PulseFixture;
        s_pulse->SetCardPace(true);
        if (!s_pulse->Start()) {
            return;
        }
        static int argc = 1;
        static char name[] = "test_audio_pulse";
        static char* argv[] = {name, nullptr};
        s_app = new QCoreApplication(argc, argv);
        s_devices = std::make_shared<CQtAudioDevices>();
    }
    static void TearDownTestSuite() {
        s_devices.reset();
        delete s_app;
        delete s_pulse;
    }
    void SetUp() override {
        if (!PulseFixture::Installed()) {
            GTEST_SKIP() << "pulseaudio is not installed";
        }
        ASSERT_TRUE(s_pulse && s_pulse->Running()) << (s_pulse ? s_pulse->Error() : "");
        // The server announces the null sink a moment after it starts.
        ASSERT_TRUE(WaitFor([] { return s_devices->OutputNames().size() > 0; }, 5s));
    }

    static inline PulseFixture* s_pulse = nullptr;
    static inline QCoreApplication* s_app = nullptr;
    static inline std::shared_ptr<CQtAudioDevices> s_devices;
};

}  // namespace

TEST_F(PulseTest, RecordsTwoSecondsThatPlayBackAndSeek) {
    TempDir dir;
    const auto path = dir.Path() / "tmp_record.mp3";
    // Something to hear on the card while recording its monitor.
    const auto tone = audiotest::ToneMp3(440, 4.0);
    CAudioEngine player(s_devices);
    const int output = FindDevice(player, true);
    ASSERT_GE(output, 0);
    player.SelectOutputDevice(output);
    ASSERT_TRUE(player.OpenMemory(1, 0, tone.data(), tone.size(), kFormatMp3));
    ASSERT_TRUE(player.Start());

    CAudioEngine recorder(s_devices);
    const int input = FindDevice(recorder, false);
    ASSERT_GE(input, 0) << s_pulse->Pactl("list short sources") << " qt sees "
                        << s_devices->InputNames().size();
    recorder.Configure(1, 100);
    recorder.SelectInputDevice(input);
    ASSERT_TRUE(recorder.Open(u"wavein:///src=line;volume=100;", 1000));
    ASSERT_TRUE(recorder.StartRecordToFile(path, 1, 0));
    ASSERT_TRUE(recorder.Start());
    // Two seconds by the recorder's clock: a null sink's monitor starts delivering only after
    // its block time, which says nothing about the engine.
    unsigned peak = 0;
    ASSERT_TRUE(WaitFor(
        [&] {
            unsigned a = 0;
            unsigned b = 0;
            recorder.GetLevels(a, b);
            peak = std::max({peak, a, b});
            Position p;
            recorder.GetPosition(p);
            return p.milliseconds >= 2000;
        },
        20s));
    recorder.Stop();
    player.Stop();
    EXPECT_TRUE(recorder.GetLastError().empty()) << profile::ToUtf8(recorder.GetLastError());
    EXPECT_GT(peak, 20u);

    CAudioEngine playback(s_devices);
    Ends ends;
    playback.SetCallback(&Ends::Callback, kEventEndOfMedia, &ends);
    playback.SelectOutputDevice(output);
    ASSERT_TRUE(playback.Open(profile::FromUtf8(path.string()), 1000));
    MediaInfo info;
    ASSERT_TRUE(playback.GetMediaInfo(info));
    EXPECT_NEAR(info.milliseconds, 2000, 100);
    Position at;
    at.seconds = 1;
    ASSERT_TRUE(playback.Seek(kSeekSeconds, at, 1));
    ASSERT_TRUE(playback.Start());
    Position position;
    playback.GetPosition(position);
    EXPECT_GE(position.milliseconds, 1000u);
    ASSERT_TRUE(WaitFor([&] { return ends.count > 0; }, 5s));
    playback.DrainNotices();
    EXPECT_EQ(ends.count, 1);
}

TEST_F(PulseTest, ARemovedDeviceEndsThePlayerWithItsText) {
    const auto tone = audiotest::ToneMp3(440, 20.0);
    CAudioEngine player(s_devices);
    Ends ends;
    player.SetCallback(&Ends::Callback, kEventEndOfMedia, &ends);
    const int output = FindDevice(player, true);
    ASSERT_GE(output, 0);
    player.SelectOutputDevice(output);
    ASSERT_TRUE(player.OpenMemory(1, 0, tone.data(), tone.size(), kFormatMp3));
    ASSERT_TRUE(player.Start());
    ASSERT_TRUE(WaitFor(
        [&] {
            Position p;
            player.GetPosition(p);
            return p.milliseconds > 200;
        },
        5s));
    const std::string modules = s_pulse->Pactl("list short modules");
    const auto line = modules.find("module-null-sink");
    ASSERT_NE(line, std::string::npos);
    const std::string id = modules.substr(
        modules.rfind('\n', line) + 1,
        modules.find('\t', modules.rfind('\n', line) + 1) - modules.rfind('\n', line) - 1);
    s_pulse->Pactl("unload-module " + id);
    ASSERT_TRUE(WaitFor([&] { return ends.count > 0; }, 10s));
    EngineState state;
    player.GetState(state);
    EXPECT_FALSE(state.running);
    EXPECT_FALSE(player.GetLastError().empty());
}

namespace {

size_t SinkInputs(const PulseFixture& pulse) {
    const std::string list = pulse.Pactl("list short sink-inputs");
    return static_cast<size_t>(std::count(list.begin(), list.end(), '\n'));
}

std::string NullSinkModule(const PulseFixture& pulse) {
    const std::string modules = pulse.Pactl("list short modules");
    const auto line = modules.find("module-null-sink");
    if (line == std::string::npos) {
        return {};
    }
    const size_t start = modules.rfind('\n', line) + 1;
    return modules.substr(start, modules.find('\t', start) - start);
}

}  // namespace

// The pads' player keeps one stream to the card open: clips play through it without a stream of
// their own, and it follows the card away and back.
TEST_F(PulseTest, AWarmStreamPlaysClipsAndComesBackWithTheCard) {
    const auto tone = audiotest::ToneMp3(440, 0.5);
    CAudioEngine player(s_devices);
    Ends ends;
    player.SetCallback(&Ends::Callback, kEventEndOfMedia, &ends);
    const int output = FindDevice(player, true);
    ASSERT_GE(output, 0);
    player.SelectOutputDevice(output);
    player.Configure(kOptionWarmOutput, 1);
    ASSERT_TRUE(WaitFor([&] { return SinkInputs(*s_pulse) == 1; }, 5s));

    auto play = [&](int endsBefore, bool warm) {
        ASSERT_TRUE(player.OpenMemory(1, 0, tone.data(), tone.size(), kFormatMp3));
        // From the start, not from when this thread saw it begin: a loaded machine may let
        // this thread look late.
        const auto started = std::chrono::steady_clock::now();
        ASSERT_TRUE(player.Start());
        ASSERT_TRUE(WaitFor([&] { return player.FirstFramesAtNs() != 0; }, 3s));
        if (warm) {
            EXPECT_EQ(SinkInputs(*s_pulse), 1u);  // through the stream that was there
        }
        ASSERT_TRUE(WaitFor([&] { return ends.count > endsBefore; }, 5s));
        // Half a second of sound was played out at the server's pace, not swallowed.
        EXPECT_GE(std::chrono::steady_clock::now() - started, 300ms);
        EXPECT_TRUE(player.GetLastError().empty()) << profile::ToUtf8(player.GetLastError());
    };
    play(0, true);
    play(1, true);  // the stream stays for the next clip
    EXPECT_EQ(SinkInputs(*s_pulse), 1u);

    // The card goes while a clip plays: the clip ends with the reason, the stream goes.
    const auto longTone = audiotest::ToneMp3(440, 20.0);
    ASSERT_TRUE(player.OpenMemory(1, 0, longTone.data(), longTone.size(), kFormatMp3));
    ASSERT_TRUE(player.Start());
    ASSERT_TRUE(WaitFor([&] { return player.FirstFramesAtNs() != 0; }, 3s));
    const std::string module = NullSinkModule(*s_pulse);
    ASSERT_FALSE(module.empty());
    s_pulse->Pactl("unload-module " + module);
    ASSERT_TRUE(WaitFor([&] { return ends.count > 2; }, 10s));
    EXPECT_FALSE(player.GetLastError().empty());
    EXPECT_TRUE(WaitFor([&] { return SinkInputs(*s_pulse) == 0; }, 5s));

    // The card is back under the same name: the stream opens again and the next clip plays.
    s_pulse->Pactl(
        "load-module module-null-sink sink_name=lynt rate=44100 "
        "sink_properties=\"'device.description=\\\"Orin LYNT!\\\"'\"");
    ASSERT_TRUE(WaitFor([&] { return SinkInputs(*s_pulse) == 1; }, 5s))
        << s_pulse->Pactl("list short sinks") << " qt sees " << s_devices->OutputNames().size();
    player.DrainNotices();
    // The stream shows on the server a moment before it takes clips: this one may go the slow way.
    play(ends.count, false);
    EXPECT_TRUE(WaitFor([&] { return SinkInputs(*s_pulse) == 1; }, 5s));
}

// The card goes and comes back while nothing plays (the server kills the idle stream): the next
// clip still plays, on a stream made again, and nothing waits on the dead one.
TEST_F(PulseTest, AWarmStreamLostWhileIdleIsMadeAgainForTheNextClip) {
    const auto tone = audiotest::ToneMp3(440, 0.5);
    CAudioEngine player(s_devices);
    Ends ends;
    player.SetCallback(&Ends::Callback, kEventEndOfMedia, &ends);
    const int output = FindDevice(player, true);
    ASSERT_GE(output, 0);
    player.SelectOutputDevice(output);
    player.Configure(kOptionWarmOutput, 1);
    ASSERT_TRUE(WaitFor([&] { return SinkInputs(*s_pulse) == 1; }, 5s));
    const std::string module = NullSinkModule(*s_pulse);
    ASSERT_FALSE(module.empty());
    s_pulse->Pactl("unload-module " + module);
    ASSERT_TRUE(WaitFor([&] { return SinkInputs(*s_pulse) == 0; }, 5s));
    s_pulse->Pactl(
        "load-module module-null-sink sink_name=lynt rate=44100 "
        "sink_properties=\"'device.description=\\\"Orin LYNT!\\\"'\"");
    ASSERT_TRUE(WaitFor([&] { return !NullSinkModule(*s_pulse).empty(); }, 5s));
    ASSERT_TRUE(player.OpenMemory(1, 0, tone.data(), tone.size(), kFormatMp3));
    ASSERT_TRUE(player.Start());
    ASSERT_TRUE(WaitFor([&] { return ends.count > 0; }, 8s));
    EXPECT_TRUE(player.GetLastError().empty()) << profile::ToUtf8(player.GetLastError());
    EXPECT_NE(player.FirstFramesAtNs(), 0);
    // Whether the clip went the slow way or through the stream made again, one stream is kept.
    EXPECT_TRUE(WaitFor([&] { return SinkInputs(*s_pulse) == 1; }, 5s));
}
