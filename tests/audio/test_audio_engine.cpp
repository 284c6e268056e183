// The engine on the fake device backend: exact lengths and seeks, volume and levels, the rules
// of the end notice, device failures, recording, and the preloaded start of favourites.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <fstream>
#include <random>
#include <thread>

#include "AudioEngineImpl.h"
#include "AudioTestSupport.h"
#include "ClipCache.h"
#include "FakeAudioDevices.h"
#include "TempDir.h"
#include "profile/ProfileText.h"

using namespace platform::audio;
namespace profile = platform::profile;
using audiotest::DecodeAll;
using audiotest::Peak;
using audiotest::ToneMp3;

namespace {

constexpr size_t kMp3Frame = 1152;

// The holder's side of the end notice, as the pages keep it: a notice that arrives while the
// suppression flag is set (a clip replaced while playing) is swallowed.
struct Holder {
    std::atomic<bool> playing{false};
    std::atomic<bool> suppress{false};
    std::atomic<int> raised{0};
    std::atomic<int> notices{0};

    static void Callback(void* user, uint32_t event) {
        auto* h = static_cast<Holder*>(user);
        if (event != kEventEndOfMedia) {
            return;
        }
        ++h->notices;
        if (!h->suppress) {
            ++h->raised;
            h->playing = false;
        }
        h->suppress = false;
    }
    // The engine reads the data while it holds them: the copy lives as long as the fixture,
    // which outlives the engine (the test's own locals do not).
    bool Open(CAudioEngine& engine, const std::vector<uint8_t>& mp3) {
        if (playing) {
            suppress = true;
        }
        const std::vector<uint8_t>& data = kept.emplace_back(mp3);
        return engine.OpenMemory(1, 0, data.data(), data.size(), kFormatMp3);
    }
    std::deque<std::vector<uint8_t>> kept;
    bool Start(CAudioEngine& engine) {
        playing = engine.Start();
        return playing;
    }
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        CClipCache::Instance().Clear();
        engine.SetCallback(&Holder::Callback, kEventEndOfMedia, &holder);
    }

    // Pulls until the stream says its media ended; everything played.
    std::vector<int16_t> PlayToEnd() {
        for (int i = 0; i < 10000 && !devices->OutputEnded(); ++i) {
            if (devices->PumpOutput(4096) == 0 && !devices->OutputEnded()) {
                break;
            }
        }
        engine.DrainNotices();
        return devices->TakePlayed();
    }

    std::shared_ptr<CFakeAudioDevices> devices = std::make_shared<CFakeAudioDevices>(
        std::vector<std::string>{"Built-in Audio", "Orin LYNT! Analog Stereo"},
        std::vector<std::string>{"Built-in Mic", "Monitor of Orin LYNT!"});
    Holder holder;
    CAudioEngine engine{devices};
};

std::vector<uint8_t> StripFirstFrame(const std::vector<uint8_t>& mp3) {
    // MPEG-1 layer III: 144 * bitrate / rate + padding bytes.
    static const int kKbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const int kRates[] = {44100, 48000, 32000};
    const int kbps = kKbps[(mp3[2] >> 4) & 0xF];
    const int rate = kRates[(mp3[2] >> 2) & 3];
    const size_t size = 144 * kbps * 1000 / rate + ((mp3[2] >> 1) & 1);
    return std::vector<uint8_t>(mp3.begin() + static_cast<long>(size), mp3.end());
}

}  // namespace

TEST(Mp3Decoder, LengthIsExactFromTheTagAndFromAScan) {
    const auto stereo = ToneMp3(440, 1.5);
    CMp3Decoder decoder;
    std::string error;
    ASSERT_TRUE(decoder.OpenMemory(stereo.data(), stereo.size(), error)) << error;
    EXPECT_EQ(decoder.LengthFrames(), 66150);
    EXPECT_EQ(DecodeAll(stereo).size() / 2, 66150u);

    // Mono at another rate: exact too, and played on both channels.
    const auto mono = ToneMp3(440, 1.0, 22050, 1);
    ASSERT_TRUE(decoder.OpenMemory(mono.data(), mono.size(), error)) << error;
    EXPECT_EQ(decoder.SampleRate(), 22050);
    EXPECT_EQ(decoder.LengthFrames(), 22050);
    const auto pcm = DecodeAll(mono);
    EXPECT_EQ(pcm.size(), 22050u * 2);
    EXPECT_EQ(pcm[1001 * 2], pcm[1001 * 2 + 1]);

    // Without the tag frame the length comes from counting frames, and matches what decodes.
    const auto untagged = StripFirstFrame(stereo);
    ASSERT_TRUE(decoder.OpenMemory(untagged.data(), untagged.size(), error)) << error;
    EXPECT_EQ(decoder.LengthFrames() % kMp3Frame, 0);
    EXPECT_GE(decoder.LengthFrames(), 66150);
    EXPECT_EQ(DecodeAll(untagged).size() / 2, static_cast<size_t>(decoder.LengthFrames()));
}

// The player opens a long untagged file without counting its frames (the caller is the UI
// thread); the count comes on the decoder's thread, and the length and the sound stay exact.
TEST_F(EngineTest, AnUntaggedClipIsCountedWhilePlayingNotWhenOpened) {
    const auto untagged = StripFirstFrame(ToneMp3(440, 6.0));
    const size_t decoded = DecodeAll(untagged).size() / 2;
    CMp3Decoder deferred;
    deferred.DeferLengthScan(true);
    std::string error;
    ASSERT_TRUE(deferred.OpenMemory(untagged.data(), untagged.size(), error)) << error;
    EXPECT_FALSE(deferred.LengthExact());
    ASSERT_TRUE(deferred.ScanLength());
    EXPECT_EQ(static_cast<size_t>(deferred.LengthFrames()), decoded);

    ASSERT_TRUE(holder.Open(engine, untagged));
    ASSERT_TRUE(holder.Start(engine));
    devices->PumpOutput(4096);
    const auto exactMs = static_cast<uint32_t>(decoded * 1000 / 44100);
    MediaInfo info;
    for (int i = 0; i < 200 && (!engine.GetMediaInfo(info) || info.milliseconds != exactMs); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(info.milliseconds, exactMs);
    // A seek past an estimate that fell short still lands where asked.
    Position to;
    to.milliseconds = 5000;
    ASSERT_TRUE(engine.Seek(kSeekMilliseconds, to, 1));
    devices->TakePlayed();
    const auto tail = PlayToEnd();
    EXPECT_EQ(tail.size() / 2, decoded - 5 * 44100);
    EXPECT_EQ(holder.raised, 1);
}

TEST_F(EngineTest, BadInputFailsOpenWithATextAndNeverCrashes) {
    TempDir dir;
    const auto good = ToneMp3(440, 1.0);
    std::vector<uint8_t> random(20000);
    std::mt19937 rng(7);
    for (auto& b : random) {
        b = static_cast<uint8_t>(rng());
    }
    std::string wave = "RIFF\x24\x10\0\0WAVEfmt ";
    wave.resize(4000, '\x11');
    const std::string text(3000, 'a');
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"empty", {}},
        {"random", random},
        {"wave", {wave.begin(), wave.end()}},
        {"text", {text.begin(), text.end()}},
        {"first bytes only", {good.begin(), good.begin() + 300}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto path = dir.Path() / (std::string(c.name) + ".mp3");
        audiotest::WriteBytes(path, c.bytes);
        EXPECT_FALSE(engine.Open(profile::FromUtf8(path.string()), 1000));
        EXPECT_FALSE(engine.GetLastError().empty());
        EXPECT_FALSE(engine.OpenMemory(1, 0, c.bytes.data(), c.bytes.size(), kFormatMp3));
        EXPECT_FALSE(engine.GetLastError().empty());
        EXPECT_FALSE(engine.Start());
    }
    EXPECT_FALSE(engine.Open(profile::FromUtf8((dir.Path() / "missing.mp3").string()), 1000));
    EXPECT_NE(engine.GetLastError().find(u"missing.mp3"), std::u16string::npos);
    EXPECT_FALSE(engine.OpenMemory(1, 0, good.data(), good.size(), kFormatWave));

    // Cut in the middle: what is there plays, and the clip ends once.
    const std::vector<uint8_t> half(good.begin(),
                                    good.begin() + static_cast<long>(good.size() / 2));
    ASSERT_TRUE(holder.Open(engine, half));
    ASSERT_TRUE(holder.Start(engine));
    const auto played = PlayToEnd();
    EXPECT_GT(played.size(), 0u);
    EXPECT_EQ(holder.notices, 1);
}

TEST_F(EngineTest, PlaysExactlyWhatWasEncodedAndEndsOnce) {
    const auto mp3 = ToneMp3(1000, 1.0);
    ASSERT_TRUE(holder.Open(engine, mp3));
    MediaInfo info;
    ASSERT_TRUE(engine.GetMediaInfo(info));
    EXPECT_EQ(info.milliseconds, 1000u);
    EXPECT_EQ(info.seconds, 1u);
    ASSERT_TRUE(holder.Start(engine));
    EXPECT_EQ(PlayToEnd(), DecodeAll(mp3));
    EXPECT_EQ(holder.raised, 1);

    EngineState state;
    engine.GetState(state);
    EXPECT_FALSE(state.running);
    EXPECT_TRUE(state.startable);
    Position position;
    engine.GetPosition(position);
    EXPECT_EQ(position.milliseconds, 0u);  // the pages read 0 as "has ended"

    // Started again after its end: from the top, with one more notice.
    ASSERT_TRUE(holder.Start(engine));
    EXPECT_EQ(PlayToEnd(), DecodeAll(mp3));
    EXPECT_EQ(holder.raised, 2);
}

TEST_F(EngineTest, SeekLandsOnTheExactSample) {
    const auto mp3 = ToneMp3(330, 2.0);
    const auto reference = DecodeAll(mp3);
    ASSERT_TRUE(holder.Open(engine, mp3));
    Position at;
    at.milliseconds = 500;
    ASSERT_TRUE(engine.Seek(kSeekMilliseconds, at, 1));
    Position position;
    engine.GetPosition(position);
    EXPECT_EQ(position.milliseconds, 500u);
    ASSERT_TRUE(holder.Start(engine));
    ASSERT_EQ(devices->PumpOutput(1000), 1000u);
    auto played = devices->TakePlayed();
    EXPECT_TRUE(std::equal(played.begin(), played.end(), reference.begin() + 22050 * 2));

    // While playing, by whole seconds.
    at = Position{};
    at.seconds = 1;
    ASSERT_TRUE(engine.Seek(kSeekSeconds, at, 1));
    played = PlayToEnd();
    ASSERT_EQ(played.size(), reference.size() - 44100 * 2);
    EXPECT_TRUE(std::equal(played.begin(), played.end(), reference.begin() + 44100 * 2));
    EXPECT_EQ(holder.raised, 1);
}

TEST_F(EngineTest, VolumeScalesAndLevelsFollowTheSine) {
    const auto mp3 = ToneMp3(1000, 1.0, 44100, 2, 0.5);
    ASSERT_TRUE(holder.Open(engine, mp3));
    ASSERT_TRUE(holder.Start(engine));
    devices->PumpOutput(4410);
    unsigned first = 0;
    unsigned second = 0;
    ASSERT_TRUE(engine.GetLevels(first, second));
    EXPECT_NEAR(first, 50, 2);
    EXPECT_NEAR(second, 50, 2);

    // Half on the left, untouched on the right: sample by sample against the decoding.
    const auto reference = DecodeAll(mp3);
    engine.SetVolume(50, 100);
    devices->TakePlayed();
    devices->PumpOutput(4410);
    auto played = devices->TakePlayed();
    ASSERT_EQ(played.size(), 4410u * 2);
    for (size_t i = 0; i < played.size(); i += 2) {
        const int16_t left = reference[4410 * 2 + i];
        ASSERT_NEAR(played[i], left / 2, 1) << i;
        ASSERT_EQ(played[i + 1], reference[4410 * 2 + i + 1]) << i;
    }
    engine.GetLevels(first, second);
    EXPECT_NEAR(first, 25, 2);

    engine.SetVolume(0, 0);
    devices->PumpOutput(4410);
    played = devices->TakePlayed();
    EXPECT_EQ(Peak(played, 0) + Peak(played, 1), 0);
    engine.GetLevels(first, second);
    EXPECT_EQ(first + second, 0u);

    engine.Stop();
    engine.SetVolume(100, 100);
    engine.GetLevels(first, second);
    EXPECT_EQ(first + second, 0u);  // nothing plays
}

TEST_F(EngineTest, AReplacedClipSendsNoEndNotice) {
    const auto a = ToneMp3(440, 2.0);
    const auto b = ToneMp3(880, 0.5);
    ASSERT_TRUE(holder.Open(engine, a));
    ASSERT_TRUE(holder.Start(engine));
    devices->PumpOutput(2000);

    // A second pad while the first plays: the engine ends A with a notice the holder swallows.
    ASSERT_TRUE(holder.Open(engine, b));
    engine.DrainNotices();
    EXPECT_EQ(holder.notices, 1);
    EXPECT_EQ(holder.raised, 0);
    EXPECT_FALSE(holder.suppress);
    ASSERT_TRUE(holder.Start(engine));
    devices->TakePlayed();
    EXPECT_EQ(PlayToEnd(), DecodeAll(b));
    EXPECT_EQ(holder.raised, 1);

    // Stopped, then replaced: no notice at all.
    ASSERT_TRUE(holder.Open(engine, a));
    ASSERT_TRUE(holder.Start(engine));
    devices->PumpOutput(1000);
    engine.Stop();
    holder.playing = false;
    ASSERT_TRUE(holder.Open(engine, b));
    engine.DrainNotices();
    EXPECT_EQ(holder.notices, 2);

    // A failed Open still ends what played, so the holder's flag does not linger.
    ASSERT_TRUE(holder.Start(engine));
    const std::vector<uint8_t> junk(100, 0x55);
    EXPECT_FALSE(holder.Open(engine, junk));
    engine.DrainNotices();
    EXPECT_EQ(holder.notices, 3);
    EXPECT_FALSE(holder.suppress);
    EXPECT_EQ(holder.raised, 1);
}

TEST_F(EngineTest, DevicesAreChosenAndTheirLossEndsPlayback) {
    ASSERT_EQ(engine.GetOutputDeviceCount(), 2);
    std::u16string name;
    ASSERT_TRUE(engine.GetOutputDeviceInfo(1, name));
    EXPECT_NE(name.find(u"Orin LYNT!"), std::u16string::npos);
    EXPECT_FALSE(engine.GetOutputDeviceInfo(2, name));
    engine.SelectOutputDevice(1);

    const auto mp3 = ToneMp3(440, 2.0);
    ASSERT_TRUE(holder.Open(engine, mp3));
    ASSERT_TRUE(holder.Start(engine));
    EXPECT_EQ(devices->LastOutputIndex(), 1);
    devices->PumpOutput(1000);
    devices->Disappear();
    engine.DrainNotices();
    EXPECT_EQ(holder.raised, 1);
    EngineState state;
    engine.GetState(state);
    EXPECT_FALSE(state.running);
    EXPECT_NE(engine.GetLastError().find(u"移除"), std::u16string::npos);
    // Gone for good: Start fails at once instead of waiting.
    EXPECT_FALSE(engine.Start());
    EXPECT_FALSE(engine.GetLastError().empty());
}

TEST_F(EngineTest, RecordsAnExactLengthAndSurvivesDeviceFailures) {
    TempDir dir;
    const auto path = dir.Path() / "tmp_record.mp3";
    devices->SetInputSignal({1000, 0.5});
    engine.Configure(1, 100);
    engine.SelectInputDevice(1);
    ASSERT_TRUE(engine.Open(u"wavein:///src=line;volume=100;", 1000));
    ASSERT_TRUE(engine.StartRecordToFile(path, 1, 0));
    ASSERT_TRUE(engine.Start());
    EXPECT_EQ(devices->LastInputIndex(), 1);
    for (int i = 0; i < 200; ++i) {
        devices->PumpInput(441);
    }
    Position position;
    engine.GetPosition(position);
    EXPECT_EQ(position.milliseconds, 2000u);
    unsigned first = 0;
    unsigned second = 0;
    engine.GetLevels(first, second);
    EXPECT_NEAR(first, 50, 2);
    EXPECT_FALSE(std::filesystem::exists(path));  // in place only when complete
    engine.Stop();

    CMp3Decoder decoder;
    std::string error;
    ASSERT_TRUE(decoder.OpenFile(path, error)) << error;
    EXPECT_EQ(decoder.LengthFrames(), 88200);
    const auto size = std::filesystem::file_size(path);

    // A device that refuses the format: recording ends with a text, the last recording stays.
    CAudioEngine refused(devices);
    devices->SetAcceptedRates({48000});
    ASSERT_TRUE(refused.Open(u"wavein:///src=line;volume=100;", 1000));
    ASSERT_TRUE(refused.StartRecordToFile(path, 1, 0));
    ASSERT_TRUE(refused.Start());
    devices->PumpInput(441);
    refused.DrainNotices();
    EngineState state;
    refused.GetState(state);
    EXPECT_FALSE(state.running);
    EXPECT_FALSE(refused.GetLastError().empty());
    EXPECT_EQ(std::filesystem::file_size(path), size);
    devices->SetAcceptedRates({});

    // A device that goes away mid-recording: what was recorded is kept, exactly.
    CAudioEngine lost(devices);
    ASSERT_TRUE(lost.Open(u"wavein:///src=line;volume=100;", 1000));
    ASSERT_TRUE(lost.StartRecordToFile(path, 1, 0));
    ASSERT_TRUE(lost.Start());
    for (int i = 0; i < 100; ++i) {
        devices->PumpInput(441);
    }
    devices->Disappear();
    lost.DrainNotices();
    lost.GetState(state);
    EXPECT_FALSE(state.running);
    EXPECT_NE(lost.GetLastError().find(u"移除"), std::u16string::npos);
    ASSERT_TRUE(decoder.OpenFile(path, error)) << error;
    EXPECT_EQ(decoder.LengthFrames(), 44100);
}

// Kept on the clock of Start and Stop (the recording panel's way): a device whose first frames
// come late leaves that time silent, and frames it hands over after Stop still count up to the
// time of Stop, no further; the end comes as a notice with the file's length.
TEST_F(EngineTest, APressToPressRecordingHoldsTheTimeBetweenStartAndStop) {
    using Clock = std::chrono::steady_clock;
    TempDir dir;
    const auto path = dir.Path() / "tmp_record.mp3";
    devices->SetInputSignal({1000, 0.5});
    std::atomic<int> ended{0};
    engine.SetCallback(
        [](void* user, uint32_t event) {
            if (event == kEventRecordingEnded) {
                ++*static_cast<std::atomic<int>*>(user);
            }
        },
        kEventRecordingEnded, &ended);
    engine.Configure(kOptionPressToPress, 1);
    ASSERT_TRUE(engine.Open(u"wavein:///src=line;volume=100;", 1000));
    ASSERT_TRUE(engine.StartRecordToFile(path, 1, 0));
    const auto beforeStart = Clock::now();
    ASSERT_TRUE(engine.Start());
    const auto afterStart = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));  // the device is slow to begin
    for (int i = 0; i < 20; ++i) {
        devices->PumpInput(441);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    const auto beforeStop = Clock::now();
    engine.Stop();
    const auto afterStop = Clock::now();
    EngineState state;
    engine.GetState(state);
    EXPECT_TRUE(state.finishing);
    EXPECT_FALSE(state.running);
    // What the device captured before Stop comes now, and more than that.
    for (int i = 0; i < 200; ++i) {
        devices->PumpInput(441);
    }
    for (int i = 0; i < 300 && ended == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    engine.DrainNotices();
    EXPECT_EQ(ended, 1);
    EXPECT_TRUE(engine.GetLastError().empty());

    const auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
    CMp3Decoder decoder;
    std::string error;
    ASSERT_TRUE(decoder.OpenFile(path, error)) << error;
    const double length = decoder.LengthFrames() / 44100.0;
    EXPECT_GE(length, seconds(beforeStop - afterStart) - 0.001);
    EXPECT_LE(length, seconds(afterStop - beforeStart) + 0.001);
    MediaInfo info;
    ASSERT_TRUE(engine.GetMediaInfo(info));
    EXPECT_NEAR(info.milliseconds, length * 1000, 1.0);
    // Silent until the device's first frames (400 ms after Start, less the 200 ms they hold).
    std::vector<int16_t> pcm(static_cast<size_t>(decoder.LengthFrames()) * 2);
    bool end = false;
    const size_t got = decoder.Read(pcm.data(), pcm.size() / 2, end, error);
    ASSERT_GT(got, 44100u * 3 / 4);
    const auto peak = [&](double from, double to) {
        int p = 0;
        for (size_t i = static_cast<size_t>(from * 44100) * 2;
             i < static_cast<size_t>(to * 44100) * 2; ++i) {
            p = std::max(p, std::abs(int(pcm[i])));
        }
        return p;
    };
    EXPECT_LT(peak(0.0, 0.15), 200);
    EXPECT_GT(peak(0.25, 0.7), 10000);
}

TEST_F(EngineTest, APreloadedStartJoinsTheDecodedRestSeamlessly) {
    const auto mp3 = ToneMp3(523, 2.5);
    PreloadClipMemory(mp3.data(), mp3.size());
    CClipCache::Instance().WaitIdle();
    ASSERT_NE(CClipCache::Instance().FindMemory(mp3.data(), mp3.size()), nullptr);
    ASSERT_TRUE(holder.Open(engine, mp3));
    ASSERT_TRUE(holder.Start(engine));
    EXPECT_EQ(PlayToEnd(), DecodeAll(mp3));
    EXPECT_EQ(holder.raised, 1);

    // A file preloaded, then replaced on disk: the stale start is not used.
    TempDir dir;
    const auto path = dir.Path() / "pad.mp3";
    audiotest::WriteBytes(path, mp3);
    PreloadClipFile(path);
    CClipCache::Instance().WaitIdle();
    ASSERT_NE(CClipCache::Instance().FindFile(path), nullptr);
    const auto other = ToneMp3(200, 1.2);
    audiotest::WriteBytes(path, other);
    EXPECT_EQ(CClipCache::Instance().FindFile(path), nullptr);
    ASSERT_TRUE(engine.Open(profile::FromUtf8(path.string()), 1000));
    ASSERT_TRUE(holder.Start(engine));
    EXPECT_EQ(PlayToEnd(), DecodeAll(other));
    std::filesystem::remove(path);
    EXPECT_EQ(CClipCache::Instance().FindFile(path), nullptr);
}
