// A clip from MP3 file to card slot: the decoder on real MP3 files (generated) and damaged ones,
// and the whole job against the in-process virtual card.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <random>

#include "../core/CardFixture.h"
#include "ClipConverter.h"
#include "ClipEvents.h"
#include "ClipImage.h"
#include "ClipSendJob.h"
#include "ClipSlots.h"
#include "ClipTestMp3.h"
#include "LibmadDecoder.h"

namespace {

using namespace sound::clip;

// Files of the clip code left in the temporary folder (they all start "QvWavForm").
int LeftoverFiles(const std::filesystem::path& tmp) {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(tmp))
        n += e.path().filename().string().starts_with("QvWavForm");
    return n;
}

class ClipDecoderTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("TMPDIR", tmp.Path().c_str(), 1); }
    void TearDown() override {
        EXPECT_EQ(LeftoverFiles(tmp.Path()), 0);
        unsetenv("TMPDIR");
    }

    std::u16string File(const std::vector<uint8_t>& bytes, const std::string& name = "clip.mp3") {
        const auto p = dir.Path() / name;
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return p.u16string();
    }

    // Decodes and converts as the job does; the card's samples, empty when the decoder gave none.
    std::vector<uint8_t> Decode(const std::u16string& path, int slot, int volume = 100) {
        CLibmadDecoder decoder;
        std::optional<EventDecoderFinsh> done;
        auto sub = ccm_util::CEventSubscription::Of<EventDecoderFinsh>(
            [&](const EventDecoderFinsh& e) { done.emplace(e); });
        if (!decoder.Start(path, GainOfVolume(volume), false, SlotSeconds(slot)))
            return {};
        EXPECT_TRUE(dispatcher.PumpUntil([&] { return done.has_value(); }, 20000));
        if (!done || done->result != 1)
            return {};
        format = decoder.Format();
        CWaveFile wav;
        EXPECT_TRUE(wav.OpenRead(done->path));
        return ConvertWaveFile(wav, SlotSeconds(slot));
    }

    TempDir dir;
    TempDir tmp;
    WaveFormat format;
    ccm_util::CManualDispatcher dispatcher;
    ccm_util::CScopedDispatcher scoped{&dispatcher};
};

TEST_F(ClipDecoderTest, ClipsAreCutToTheirSlotAndTheVolumeApplies) {
    // 20 s into the 15 s slot: about 15 s (the frame that reaches the limit is kept).
    const std::vector<uint8_t> cut = Decode(File(testclip::Mp3Tone(20.0, 44100, 2)), 0);
    EXPECT_NEAR(static_cast<double>(cut.size()), 15.0 * 88200, 2 * 1152 * 2);
    EXPECT_EQ(format, (WaveFormat{2, 44100, 16}));
    // A short 48 kHz clip comes out whole, at 44.1 kHz.
    const std::vector<uint8_t> whole = Decode(File(testclip::Mp3Tone(3.0, 48000, 1)), 4);
    EXPECT_NEAR(static_cast<double>(whole.size()), 3.0 * 88200, 0.1 * 88200);
    int peak = 0;
    for (size_t i = 0; i + 1 < whole.size(); i += 2)
        peak = std::max(peak, std::abs(static_cast<int16_t>(whole[i] | (whole[i + 1] << 8))));
    EXPECT_GT(peak, 3000);  // a tone, not silence
    // Volume 0: silence of the full length.
    const std::vector<uint8_t> silent = Decode(File(testclip::Mp3Tone(3.0, 44100, 2)), 1, 0);
    EXPECT_NEAR(static_cast<double>(silent.size()), 3.0 * 88200, 0.1 * 88200);
    EXPECT_TRUE(std::all_of(silent.begin(), silent.end(), [](uint8_t b) { return b == 0; }));
}

TEST_F(ClipDecoderTest, BadInputGivesNothingAndNeverHangs) {
    const std::vector<uint8_t> good = testclip::Mp3Tone(2.0, 44100, 2);
    std::mt19937 random(7);
    std::vector<uint8_t> noise(200000);
    for (auto& b : noise)
        b = static_cast<uint8_t>(random());
    const std::string text(5000, 'a');
    // Frame headers with the reserved sample-rate index: a "0 Hz" stream.
    std::vector<uint8_t> noRate = good;
    for (size_t i = 0; i + 2 < noRate.size(); ++i)
        if (noRate[i] == 0xFF && (noRate[i + 1] & 0xE0) == 0xE0)
            noRate[i + 2] |= 0x0C;
    // Two encodings of different rates, one after the other.
    std::vector<uint8_t> changing = good;
    const std::vector<uint8_t> other = testclip::Mp3Tone(2.0, 32000, 1);
    changing.insert(changing.end(), other.begin(), other.end());

    EXPECT_TRUE(Decode(File({}), 0).empty()) << "empty";
    EXPECT_TRUE(Decode(File({text.begin(), text.end()}), 0).empty()) << "text";
    EXPECT_TRUE(Decode(File(noise), 0).empty()) << "noise";
    EXPECT_TRUE(Decode(File(noRate), 0).empty()) << "reserved rate";
    EXPECT_TRUE(Decode(File(changing), 4).empty()) << "format change";
    EXPECT_TRUE(Decode(dir.Path().u16string() + u"/missing.mp3", 0).empty()) << "missing";
    const auto fifo = dir.Path() / "fifo.mp3";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_TRUE(Decode(fifo.u16string(), 0).empty()) << "a pipe is not waited on";
    // A truncated file gives what it holds.
    std::vector<uint8_t> half(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
    EXPECT_NEAR(static_cast<double>(Decode(File(half), 0).size()), 1.0 * 88200, 0.15 * 88200);
}

// The job against the virtual card: what the card holds is the image, byte for byte.
class ClipJobTest : public CardFixture, public IClipSendView {
protected:
    void SetUp() override {
        setenv("TMPDIR", tmp.Path().c_str(), 1);
        CardFixture::SetUp();
        protocol.SetReplyTimeoutLimit(100);
    }
    void TearDown() override {
        EXPECT_EQ(LeftoverFiles(tmp.Path()), 0);
        unsetenv("TMPDIR");
        CardFixture::TearDown();
    }
    void OnClipStage(ClipStage s) override { stages.push_back(s); }
    void OnClipProgress(uint32_t sent, uint32_t) override { lastSent = sent; }
    void OnClipFinished(ClipOutcome o) override { outcome = o; }

    std::filesystem::path Mp3(double seconds, int rate, int channels) {
        const auto p = dir.Path() / "clip.mp3";
        const std::vector<uint8_t> b = testclip::Mp3Tone(seconds, rate, channels);
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
        return p;
    }

    TempDir tmp;
    std::atomic<int> loading{0};
    std::vector<ClipStage> stages;
    uint32_t lastSent = 0;
    ClipOutcome outcome = ClipOutcome::None;
};

TEST_F(ClipJobTest, TheCardHoldsTheImageAndTheFlagIsRaisedMeanwhile) {
    auto job = std::make_unique<CClipSendJob>(protocol, loading, *this);
    EXPECT_EQ(loading.load(), 1);
    job->Start({Mp3(2.0, 48000, 2).u16string(), false, 3, 80});
    ASSERT_TRUE(dispatcher.PumpUntil([&] { return outcome != ClipOutcome::None; }, 60000));
    ASSERT_EQ(outcome, ClipOutcome::Sent);
    EXPECT_EQ(stages, (std::vector<ClipStage>{ClipStage::Decoding, ClipStage::WaitingForCard,
                                              ClipStage::Sending}));
    const std::vector<uint8_t> image = job->Image();
    EXPECT_EQ(lastSent, image.size());
    const vcard::ClipSlot slot =
        ReadCard([](const vcard::CCardModel& m) { return m.Clips().Slot(3); });
    EXPECT_TRUE(slot.Complete());
    EXPECT_EQ(slot.bytes, image);
    job.reset();
    EXPECT_EQ(loading.load(), 0);
}

TEST_F(ClipJobTest, ACardThatStopsAnsweringEndsTheJobAsFailed) {
    auto job = std::make_unique<CClipSendJob>(protocol, loading, *this);
    job->Start({Mp3(1.0, 44100, 1).u16string(), false, 0, 100});
    ASSERT_TRUE(dispatcher.PumpUntil([&] { return lastSent > 56 * 50; }, 60000));
    card->SetDropRepliesPct(100);
    ASSERT_TRUE(dispatcher.PumpUntil([&] { return outcome != ClipOutcome::None; }, 60000));
    EXPECT_EQ(outcome, ClipOutcome::TransferFailed);
    EXPECT_FALSE(ReadCard([](const vcard::CCardModel& m) { return m.Clips().Slot(0).Complete(); }));
}

TEST_F(ClipJobTest, ADecoderThatCannotStartEndsTheJob) {
    setenv("TMPDIR", (tmp.Path() / "gone").c_str(), 1);  // no temporary file can be made there
    auto job = std::make_unique<CClipSendJob>(protocol, loading, *this);
    job->Start({u"whatever.mp3", false, 0, 100});
    ASSERT_TRUE(dispatcher.PumpUntil([&] { return outcome != ClipOutcome::None; }, 5000));
    EXPECT_EQ(outcome, ClipOutcome::DecodeFailed);
    EXPECT_EQ(
        ReadCard([](const vcard::CCardModel& m) { return m.CommandCount(card::CMD_CLIP_BEGIN); }),
        0);
}

}  // namespace
