// The clip image, its frames and the WAV files around it: worked numbers and damaged input.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "../core/TempDir.h"
#include "CardClips.h"
#include "ClipConverter.h"
#include "ClipImage.h"
#include "ClipSlots.h"
#include "WaveFile.h"

namespace {

using namespace sound::clip;

uint32_t Le(const uint8_t* p, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i * 7 + 1);  // never 0: padding shows
    return v;
}

TEST(ClipImage, TenSecondsMakeTheWorkedBlocks) {
    const std::vector<uint8_t> image = BuildClipImage(Pattern(882000));
    ASSERT_EQ(image.size(), 882044u);
    EXPECT_EQ(0, std::memcmp(image.data(), "RIFF", 4));
    EXPECT_EQ(Le(&image[4], 4), 882036u);
    EXPECT_EQ(Le(&image[24], 4), 44100u);
    EXPECT_EQ(Le(&image[28], 4), 88200u);
    EXPECT_EQ(Le(&image[40], 4), 882000u);

    const ClipTransferPlan plan = PlanClipTransfer(image.size());
    EXPECT_EQ(plan.blockCount, 15751u);
    EXPECT_EQ(plan.byteCount, 882044u);
    const card::Frame begin = MakeClipBeginFrame(3, plan);
    EXPECT_EQ(begin[0], card::CMD_CLIP_BEGIN);
    EXPECT_EQ(begin[4], 3);
    EXPECT_EQ(Le(&begin[5], 3), 15751u);
    EXPECT_EQ(Le(&begin[8], 3), 882044u);

    const card::Frame last = MakeClipDataFrame(image, plan, 15750);
    EXPECT_EQ(last[0], card::CMD_CLIP_DATA);
    EXPECT_EQ(Le(&last[60], 3), 15750u);
    EXPECT_EQ(0, std::memcmp(&last[4], &image[15750 * 56], 44));
    for (int i = 48; i < 60; ++i)
        EXPECT_EQ(last[size_t(i)], 0) << i;
}

TEST(ClipImage, ALongClipIsCutAtTheCapWithItsHeaderUntouched) {
    const std::vector<uint8_t> image = BuildClipImage(Pattern(47 * 88200));
    ASSERT_EQ(image.size(), 4145444u);
    const ClipTransferPlan plan = PlanClipTransfer(image.size());
    EXPECT_EQ(plan.byteCount, 3460300u);
    EXPECT_EQ(plan.blockCount, 61792u);
    EXPECT_EQ(Le(&image[40], 4), 4145400u);  // the full length, as decoded
    const card::Frame last = MakeClipDataFrame(image, plan, 61791);
    EXPECT_EQ(0, std::memcmp(&last[4], &image[61791 * 56], 4));
    for (int i = 8; i < 60; ++i)
        EXPECT_EQ(last[size_t(i)], 0) << i;  // the image goes on, the transfer does not
}

TEST(ClipImage, AWholeNumberOfBlocksHasNoPaddedBlock) {
    const std::vector<uint8_t> image = BuildClipImage(Pattern(56 * 100 - 44));
    const ClipTransferPlan plan = PlanClipTransfer(image.size());
    EXPECT_EQ(plan.blockCount, 100u);
    const card::Frame last = MakeClipDataFrame(image, plan, 99);
    EXPECT_EQ(0, std::memcmp(&last[4], &image[99 * 56], 56));
}

TEST(ClipSlots, MenuTextsAndLimits) {
    EXPECT_EQ(SlotMenuText(0), u"槽位1（15秒）");
    EXPECT_EQ(SlotMenuText(4), u"槽位5（47秒）");
    EXPECT_TRUE(SlotMenuText(5).empty());
    EXPECT_TRUE(SlotMenuText(-1).empty());
    EXPECT_EQ(GainOfVolume(150), 1.0f);
    EXPECT_EQ(GainOfVolume(-3), 0.0f);
}

// The virtual card's slot takes only what the header announced, in order.
TEST(CardClips, KeepsTheAnnouncedBytesInOrderOnly) {
    vcard::CCardClips clips;
    const std::vector<uint8_t> image = BuildClipImage(Pattern(100));
    const ClipTransferPlan plan = PlanClipTransfer(image.size());
    EXPECT_NE(clips.Handle(MakeClipDataFrame(image, plan, 0)), card::kFlagOk);  // no header yet
    card::Frame badBegin = MakeClipBeginFrame(1, plan);
    badBegin[5] = 9;  // blocks that do not fit the bytes
    EXPECT_NE(clips.Handle(badBegin), card::kFlagOk);
    EXPECT_NE(clips.Handle(MakeClipBeginFrame(5, plan)), card::kFlagOk);  // no such slot
    ASSERT_EQ(clips.Handle(MakeClipBeginFrame(2, plan)), card::kFlagOk);
    EXPECT_NE(clips.Handle(MakeClipDataFrame(image, plan, 1)), card::kFlagOk);  // out of order
    for (uint32_t i = 0; i < plan.blockCount; ++i)
        ASSERT_EQ(clips.Handle(MakeClipDataFrame(image, plan, i)), card::kFlagOk);
    EXPECT_NE(clips.Handle(MakeClipDataFrame(image, plan, plan.blockCount)), card::kFlagOk);
    EXPECT_TRUE(clips.Slot(2).Complete());
    EXPECT_EQ(clips.Slot(2).bytes, image);
}

class WaveFileTest : public ::testing::Test {
protected:
    std::filesystem::path Write(const std::vector<uint8_t>& bytes) {
        const auto p = dir.Path() / ("f" + std::to_string(++n) + ".wav");
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return p;
    }
    TempDir dir;
    int n = 0;
};

TEST_F(WaveFileTest, AWrittenFileReadsBackWithOtherChunksSkipped) {
    const WaveFormat f{2, 48000, 16};
    const auto path = dir.Path() / "w.wav";
    {
        CWaveFile w;
        ASSERT_TRUE(w.Create(path, f));
        const std::vector<uint8_t> s = Pattern(4000);
        ASSERT_TRUE(w.Write(s.data(), s.size()));
        ASSERT_TRUE(w.Close());
    }
    CWaveFile r;
    ASSERT_TRUE(r.OpenRead(path));
    EXPECT_EQ(r.Format(), f);
    EXPECT_EQ(r.SampleBytes(), 4000u);
    EXPECT_EQ(0, std::memcmp(r.Samples(), Pattern(4000).data(), 4000));

    // An odd-length chunk before the samples is padded to an even length.
    std::vector<uint8_t> bytes = MakeWaveHeader(f, 8);
    const uint8_t list[] = {'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0};
    bytes.insert(bytes.begin() + 36, std::begin(list), std::end(list));
    bytes.insert(bytes.end(), 8, 0x11);
    CWaveFile r2;
    ASSERT_TRUE(r2.OpenRead(Write(bytes)));
    EXPECT_EQ(r2.SampleBytes(), 8u);
    EXPECT_EQ(r2.Samples()[0], 0x11);
}

TEST_F(WaveFileTest, DamagedOrUnusableFilesDoNotOpen) {
    auto with = [](WaveFormat f, uint32_t claimed, size_t actual) {
        std::vector<uint8_t> b = MakeWaveHeader(f, claimed);
        b.resize(44 + actual, 0);
        return b;
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    std::vector<uint8_t> noData = MakeWaveHeader({1, 44100, 16}, 0);
    noData.resize(36);
    std::vector<uint8_t> notPcm = with({1, 44100, 16}, 4, 4);
    notPcm[20] = 3;
    std::vector<uint8_t> notRiff = with({1, 44100, 16}, 4, 4);
    notRiff[0] = 'X';
    const Case cases[] = {
        {"data past the end", with({1, 44100, 16}, 1000, 10)},
        {"0 Hz", with({1, 0, 16}, 4, 4)},
        {"1 Hz", with({1, 1, 16}, 4, 4)},
        {"3 channels", with({3, 44100, 16}, 6, 6)},
        {"24 bits", with({1, 44100, 24}, 6, 6)},
        {"no data chunk", noData},
        {"float samples", notPcm},
        {"not RIFF", notRiff},
        {"empty", {}},
    };
    for (const Case& c : cases) {
        CWaveFile r;
        EXPECT_FALSE(r.OpenRead(Write(c.bytes))) << c.name;
    }
    CWaveFile r;
    EXPECT_FALSE(r.OpenRead(dir.Path() / "missing.wav"));
}

std::vector<uint8_t> Samples16(const std::vector<int16_t>& v) {
    std::vector<uint8_t> b(v.size() * 2);
    std::memcpy(b.data(), v.data(), b.size());
    return b;
}

TEST(ClipConverter, MixesChangesRateAndKeepsSilenceSilent) {
    // 44.1 kHz mono passes unchanged.
    const std::vector<int16_t> mono = {0, 1000, -1000, 32767, -32768};
    EXPECT_EQ(ConvertToCardFormat({1, 44100, 16}, Samples16(mono).data(), 10), Samples16(mono));
    // Opposite channels cancel; a half sample frame at the end is dropped.
    std::vector<uint8_t> stereo = Samples16({500, -500, 1200, -1200});
    stereo.push_back(7);
    EXPECT_EQ(ConvertToCardFormat({2, 44100, 16}, stereo.data(), stereo.size()), Samples16({0, 0}));
    // A second of 48 kHz stereo silence is a second of 44.1 kHz silence, not dither noise.
    const std::vector<uint8_t> quiet(48000 * 4, 0);
    const std::vector<uint8_t> out =
        ConvertToCardFormat({2, 48000, 16}, quiet.data(), quiet.size());
    EXPECT_NEAR(static_cast<double>(out.size()), 88200.0, 4.0);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0; }));
    // A full-scale 8-bit square wave stays near full scale after resampling (no wrap-around).
    std::vector<uint8_t> square(22050);
    for (size_t i = 0; i < square.size(); ++i)
        square[i] = (i / 50) % 2 ? 255 : 0;
    const std::vector<uint8_t> loud =
        ConvertToCardFormat({1, 22050, 8}, square.data(), square.size());
    ASSERT_NEAR(static_cast<double>(loud.size()), 88200.0, 4.0);
    int peak = 0;
    for (size_t i = 0; i + 1 < loud.size(); i += 2)
        peak = std::max(peak, std::abs(static_cast<int16_t>(loud[i] | (loud[i + 1] << 8))));
    EXPECT_GT(peak, 30000);
    EXPECT_TRUE(ConvertToCardFormat({0, 44100, 16}, quiet.data(), quiet.size()).empty());
}

}  // namespace
