// A clip from MP3 file to card slot: the decoder on real MP3 files (generated) and damaged ones,
// and the whole job against the in-process virtual card.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
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
#include "Prefault.h"

namespace {

using namespace sound::clip;

// Files of the clip code left in the temporary folder (the decoder once wrote "QvWavForm*"; it
// writes nothing now).
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
        decoder.Stop();
        format = decoder.Format();
        pcmFrames = decoder.SamplesDecoded();
        const std::vector<uint8_t> image = decoder.TakeImage();
        EXPECT_GT(image.size(), kWaveHeaderBytes);
        if (image.size() <= kWaveHeaderBytes)
            return {};
        EXPECT_TRUE(std::equal(image.begin(), image.begin() + kWaveHeaderBytes,
                               MakeWaveHeader({1, 44100, 16}, static_cast<uint32_t>(
                                                                  image.size() - kWaveHeaderBytes))
                                   .begin()));
        return {image.begin() + kWaveHeaderBytes, image.end()};
    }

    TempDir dir;
    TempDir tmp;
    WaveFormat format;
    uint64_t pcmFrames = 0;
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
    void OnClipProgress(uint32_t sent, uint32_t) override {
        progressBackwards = progressBackwards || sent < lastSent;
        lastSent = sent;
        ++progressReports;
    }
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
    int progressReports = 0;
    bool progressBackwards = false;
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
    // The bar moves smoothly without a report for each of the ~3 300 blocks: about one per
    // thousandth, the first at 0, never backwards.
    EXPECT_FALSE(progressBackwards);
    EXPECT_GE(progressReports, 500);
    EXPECT_LE(progressReports, 1002);
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
    auto job = std::make_unique<CClipSendJob>(protocol, loading, *this);
    job->Start({Mp3(1.0, 44100, 1).u16string(), false, kSlotCount, 100});  // no such slot
    ASSERT_TRUE(dispatcher.PumpUntil([&] { return outcome != ClipOutcome::None; }, 5000));
    EXPECT_EQ(outcome, ClipOutcome::DecodeFailed);
    EXPECT_EQ(
        ReadCard([](const vcard::CCardModel& m) { return m.CommandCount(card::CMD_CLIP_BEGIN); }),
        0);
}

// The image built as the samples come equals the conversion of the whole input at once (the
// pipeline before it streamed: the decoded WAV file, mapped and converted in one go), byte for
// byte, however the input is cut into blocks.
TEST(ClipStreaming, TheStreamedImageIsTheWholeConversionByteForByte) {
    struct Case {
        int rate;
        int channels;
        int maxSeconds;
    };
    for (const Case c : {Case{44100, 2, 47}, Case{48000, 2, 47}, Case{48000, 1, 47},
                         Case{22050, 2, 47}, Case{32000, 1, 1}, Case{48000, 2, 1}}) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.channels << " channels, cut "
                                        << c.maxSeconds << " s");
        // Two tones and a jump to full scale, so clipping and the resampler's ringing count too.
        clipgen::Pcm pcm = clipgen::MakeTone(997.0, 2.5, c.rate, c.channels, 0.4);
        const clipgen::Pcm low = clipgen::MakeTone(61.0, 2.5, c.rate, c.channels, 0.4);
        for (size_t i = 0; i < pcm.samples.size(); ++i)
            pcm.samples[i] = static_cast<int16_t>(pcm.samples[i] + low.samples[i]);
        for (size_t i = pcm.samples.size() / 2; i < pcm.samples.size() / 2 + 500; ++i)
            pcm.samples[i] = (i & 1) ? 32767 : -32768;
        const auto* bytes = reinterpret_cast<const uint8_t*>(pcm.samples.data());
        const size_t total = pcm.samples.size() * 2;
        const WaveFormat format{static_cast<uint16_t>(c.channels), static_cast<uint32_t>(c.rate),
                                16};
        const size_t limit =
            std::min(total, static_cast<size_t>(c.maxSeconds) * format.BytesPerSecond());
        const std::vector<uint8_t> whole =
            BuildClipImage(ConvertToCardFormat(format, bytes, limit));

        CCardImageBuilder builder;
        ASSERT_TRUE(builder.Begin(format, c.maxSeconds));
        const size_t blocks[] = {1152, 1, 4000, 17, 1152, 65536};
        size_t at = 0;
        for (size_t i = 0; at < total; ++i) {
            const size_t n = std::min(total - at, blocks[i % 6] * format.BlockAlign());
            ASSERT_TRUE(builder.Push(bytes + at, n));
            at += n;
        }
        EXPECT_EQ(builder.Full(), limit < total);
        const std::vector<uint8_t> streamed = builder.Finish();
        ASSERT_EQ(streamed.size(), whole.size());
        EXPECT_TRUE(streamed == whole) << "first difference at byte "
                                       << std::mismatch(streamed.begin(), streamed.end(),
                                                        whole.begin())
                                                  .first -
                                              streamed.begin();
    }
    CCardImageBuilder nothing;
    EXPECT_FALSE(nothing.Begin({0, 44100, 16}, 5));
    ASSERT_TRUE(nothing.Begin({2, 48000, 16}, 5));
    EXPECT_TRUE(nothing.Finish().empty());
}

// Mapping a buffer's pages ahead keeps what is already written in them, at the edges and inside
// (a hint that dropped pages would zero a half-built image).
TEST(ClipStreaming, PrefaultingKeepsTheBuffersBytes) {
    std::vector<uint8_t> bytes(5 * 4096 + 123);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + 1);
    const std::vector<uint8_t> before = bytes;
    PrefaultForWriting(bytes.data() + 1, bytes.size() - 1);
    PrefaultForWriting(bytes.data(), bytes.size());
    PrefaultForWriting(nullptr, 4096);
    EXPECT_TRUE(bytes == before);
}

// The decoder's image against sox converting the same MP3 (its own decoder, mix and resampler):
// the same length and the same sound.
TEST_F(ClipDecoderTest, TheImageSoundsLikeSoxsConversion) {
    if (std::system("sox --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no sox";
    for (const int rate : {44100, 48000}) {
        SCOPED_TRACE(rate);
        const std::u16string mp3 =
            File(testclip::Mp3Tone(4.0, rate, 2, 523.25), "sox" + std::to_string(rate) + ".mp3");
        const std::vector<uint8_t> ours = Decode(mp3, 4);
        const auto soxWav = dir.Path() / ("sox" + std::to_string(rate) + ".wav");
        const std::string command = "sox -q -D '" + std::filesystem::path(mp3).string() +
                                    "' -r 44100 -c 1 -b 16 '" + soxWav.string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        CWaveFile wav;
        ASSERT_TRUE(wav.OpenRead(soxWav));
        ASSERT_EQ(wav.Format(), (WaveFormat{1, 44100, 16}));
        auto sample = [](const uint8_t* p, size_t i) {
            return static_cast<double>(static_cast<int16_t>(p[2 * i] | (p[2 * i + 1] << 8)));
        };
        const size_t a = ours.size() / 2;
        const size_t b = wav.SampleBytes() / 2;
        // Decoders differ in the encoder's delay they keep: at most a frame or two.
        EXPECT_NEAR(static_cast<double>(a), static_cast<double>(b), 2 * 1152.0);
        // Best alignment within two frames, then the difference against the signal.
        const size_t from = 4000;
        const size_t len = std::min(a, b) - from - 2400;
        double best = 1e300;
        double power = 0;
        for (int lag = -2304; lag <= 2304; ++lag) {
            double err = 0;
            double sig = 0;
            for (size_t i = from; i < from + len; i += 7) {
                const double x = sample(ours.data(), i);
                const double y = sample(wav.Samples(), static_cast<size_t>(
                                                           static_cast<long>(i) + lag));
                err += (x - y) * (x - y);
                sig += y * y;
            }
            if (err < best) {
                best = err;
                power = sig;
            }
        }
        ASSERT_GT(power, 0);
        EXPECT_LT(std::sqrt(best / power), 0.02) << "relative difference";
    }
}

}  // namespace
