#include <cmath>
#include <limits>

#include "EffectFrames.h"
#include "ModelTestSupport.h"

namespace {

using namespace modeltest;
using card::Frame;
using model::EffectParamRecord;

class EffectFileTest : public ::testing::Test {
protected:
    // Reads the file and builds its frames; false when either step refuses it.
    bool Build(const EffectFileParts& parts, std::vector<Frame>& frames) {
        parts.Write(path);
        model::EffectFileContents contents;
        return model::ReadEffectFile(path, contents) &&
               model::BuildEffectDownloadFrames(contents, model::EffectDownloadCaps{}, frames);
    }

    std::vector<Frame> FramesOf(const std::vector<Frame>& frames, uint8_t code) {
        std::vector<Frame> out;
        for (const Frame& f : frames) {
            if (f[0] == code)
                out.push_back(f);
        }
        return out;
    }

    TempDir dir;
    std::filesystem::path path = dir.Path() / "effect.eff";
};

TEST_F(EffectFileTest, SevenSectionBRecordsMakeOneReorderedFrame) {
    EffectFileParts parts;
    parts.b = CountingRecords(7, 8);  // H6 = 56
    std::vector<Frame> frames;
    ASSERT_TRUE(Build(parts, frames));
    ASSERT_EQ(frames.size(), 2u);
    const Frame& h = frames[0];
    EXPECT_EQ(h[0], card::CMD_EFX_HEADER);
    EXPECT_EQ((std::vector<int>{h[6], h[7], h[8], h[9], h[10]}),
              (std::vector<int>{0, 1, 0, 0, 56}));
    const Frame& b = frames[1];
    EXPECT_EQ(b[0], card::CMD_EFX_RECORDS_B);
    EXPECT_EQ((std::vector<int>{b[1], b[2], b[3]}), (std::vector<int>{0, 0, 0}));
    // r0 r1 r2 r7 r5 r6 r3 r4 for each record.
    EXPECT_EQ((std::vector<int>(b.begin() + 4, b.begin() + 12)),
              (std::vector<int>{1, 2, 3, 8, 6, 7, 4, 5}));
    EXPECT_EQ((std::vector<int>(b.begin() + 52, b.begin() + 60)),
              (std::vector<int>{49, 50, 51, 56, 54, 55, 52, 53}));
    EXPECT_EQ(std::vector<int>(b.begin() + 60, b.end()), std::vector<int>(4, 0));
}

TEST_F(EffectFileTest, SectionAKeepsBytesZeroOneAndFourToSevenSevenToAFrame) {
    EffectFileParts parts;
    parts.a = CountingRecords(8, 8);
    std::vector<Frame> frames;
    ASSERT_TRUE(Build(parts, frames));
    auto a = FramesOf(frames, card::CMD_EFX_RECORDS_A);
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ((std::vector<int>{frames[0][11], frames[0][12], frames[0][13], frames[0][14]}),
              (std::vector<int>{0, 2, 0, 64}));
    EXPECT_EQ((std::vector<int>(a[0].begin() + 4, a[0].begin() + 12)),
              (std::vector<int>{1, 2, 0, 0, 5, 6, 7, 8}));
    EXPECT_EQ(a[1][2], 1);
    EXPECT_EQ((std::vector<int>(a[1].begin() + 4, a[1].begin() + 12)),
              (std::vector<int>{57, 58, 0, 0, 61, 62, 63, 64}));
    EXPECT_EQ(std::vector<int>(a[1].begin() + 12, a[1].end()), std::vector<int>(52, 0));
}

TEST_F(EffectFileTest, SectionCSkipsRecordsWithAZeroWordAndLeavesTheBufferUncleared) {
    EffectFileParts parts;
    parts.c = CountingRecords(3, 24);
    parts.c[24 + 12] = parts.c[24 + 13] = parts.c[24 + 14] = parts.c[24 + 15] = 0;  // record 2 word 3
    std::vector<Frame> frames;
    ASSERT_TRUE(Build(parts, frames));
    auto c = FramesOf(frames, card::CMD_EFX_RECORDS_C);
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ((std::vector<int>{frames[0][17], frames[0][18], frames[0][19], frames[0][20]}),
              (std::vector<int>{0, 1, 0, 48}));
    EXPECT_TRUE(std::equal(c[0].begin() + 4, c[0].begin() + 28, parts.c.begin()));
    EXPECT_TRUE(std::equal(c[0].begin() + 28, c[0].begin() + 52, parts.c.begin() + 48));

    // Word 0 may be zero. With three good records the last frame keeps record 2 behind record 3.
    parts.c = CountingRecords(3, 24);
    parts.c[0] = parts.c[1] = parts.c[2] = parts.c[3] = 0;
    ASSERT_TRUE(Build(parts, frames));
    c = FramesOf(frames, card::CMD_EFX_RECORDS_C);
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ((std::vector<int>{frames[0][17], frames[0][18], frames[0][19], frames[0][20]}),
              (std::vector<int>{0, 2, 0, 72}));
    EXPECT_EQ(c[1][2], 1);
    EXPECT_TRUE(std::equal(c[1].begin() + 4, c[1].begin() + 28, parts.c.begin() + 48));
    EXPECT_TRUE(std::equal(c[1].begin() + 28, c[1].begin() + 52, parts.c.begin() + 24));
}

TEST_F(EffectFileTest, FramesGoHeaderThenBThenAThenC) {
    EffectFileParts parts;
    parts.a = CountingRecords(1, 8);
    parts.b = CountingRecords(8, 8);
    parts.c = CountingRecords(1, 24);
    std::vector<Frame> frames;
    ASSERT_TRUE(Build(parts, frames));
    std::vector<int> codes;
    for (const Frame& f : frames)
        codes.push_back(f[0]);
    EXPECT_EQ(codes, (std::vector<int>{0x02, 0x04, 0x04, 0x06, 0x16}));
}

TEST_F(EffectFileTest, SectionBIsCutAt4096RecordsAndTheHeaderSaysSoInItsOwnWay) {
    EffectFileParts parts;
    parts.b = CountingRecords(4100, 8);  // H6 = 32800 = 0x8020
    std::vector<Frame> frames;
    ASSERT_TRUE(Build(parts, frames));
    EXPECT_EQ(FramesOf(frames, card::CMD_EFX_RECORDS_B).size(), 586u);  // ⌈4096 / 7⌉
    const Frame& h = frames[0];
    EXPECT_EQ((std::vector<int>{h[6], h[7]}), (std::vector<int>{0x02, 0x4A}));
    // Bits 16-23 and 8-15 of H6, the low byte of 4096 × 8.
    EXPECT_EQ((std::vector<int>{h[8], h[9], h[10]}), (std::vector<int>{0x00, 0x80, 0x00}));
}

// What one section's frames carry: the records in frame order, unpacked again.
struct CarriedSection {
    int frames = 0;
    bool numbered = true;  // frame i carries index i
    std::vector<std::vector<uint8_t>> records;
};

CarriedSection Carried(const std::vector<Frame>& frames, uint8_t code, size_t recordBytes,
                       size_t perFrame, size_t announcedRecords) {
    CarriedSection out;
    for (const Frame& f : frames) {
        if (f[0] != code)
            continue;
        out.numbered = out.numbered && ((f[1] << 8) | f[2]) == out.frames;
        ++out.frames;
        for (size_t i = 0; i < perFrame && out.records.size() < announcedRecords; ++i) {
            const uint8_t* r = f.data() + 4 + i * recordBytes;
            out.records.emplace_back(r, r + recordBytes);
        }
    }
    return out;
}

// Every accepted file, up to the limits, is announced as it is sent: the header's frame and byte
// counts match the frames built, and those frames carry the file's records.
TEST_F(EffectFileTest, TheHeaderAnnouncesWhatTheFramesCarry) {
    struct Sizes {
        int a, b, c;
    };
    for (Sizes n : {Sizes{0, 0, 0}, Sizes{1, 1, 1}, Sizes{7, 7, 2}, Sizes{8, 8, 3},
                    Sizes{2560, 4096, 2730}, Sizes{2561, 4127, 2729}}) {
        SCOPED_TRACE(::testing::Message() << n.a << "/" << n.b << "/" << n.c);
        EffectFileParts parts;
        parts.a = CountingRecords(n.a, 8);
        parts.b = CountingRecords(n.b, 8, 50);
        parts.c = CountingRecords(n.c, 24, 9);
        std::vector<Frame> frames;
        ASSERT_TRUE(Build(parts, frames));
        const Frame& h = frames[0];
        auto be16 = [&h](int at) { return (h[at] << 8) | h[at + 1]; };
        const int bytesB = (h[8] << 16) | (h[9] << 8) | h[10];
        const size_t sentA = static_cast<size_t>(std::min(n.a, 2560));
        const size_t sentB = static_cast<size_t>(std::min(n.b, 4096));
        EXPECT_EQ(static_cast<size_t>(be16(13)), sentA * 8);
        EXPECT_EQ(static_cast<size_t>(bytesB), sentB * 8);
        EXPECT_EQ(static_cast<size_t>(be16(19)), static_cast<size_t>(n.c) * 24);

        auto a = Carried(frames, card::CMD_EFX_RECORDS_A, 8, 7, sentA);
        auto b = Carried(frames, card::CMD_EFX_RECORDS_B, 8, 7, sentB);
        auto c = Carried(frames, card::CMD_EFX_RECORDS_C, 24, 2, static_cast<size_t>(n.c));
        EXPECT_EQ(a.frames, be16(11));
        EXPECT_EQ(b.frames, be16(6));
        EXPECT_EQ(c.frames, be16(17));
        EXPECT_TRUE(a.numbered && b.numbered && c.numbered);
        ASSERT_EQ(a.records.size(), sentA);
        ASSERT_EQ(b.records.size(), sentB);
        ASSERT_EQ(c.records.size(), static_cast<size_t>(n.c));
        EXPECT_EQ(static_cast<size_t>(a.frames), (sentA + 6) / 7) << "no empty or missing frame";
        EXPECT_EQ(static_cast<size_t>(b.frames), (sentB + 6) / 7);
        EXPECT_EQ(c.frames, (n.c + 1) / 2);
        for (size_t i = 0; i < sentA; ++i) {
            const uint8_t* r = parts.a.data() + 8 * i;
            const auto& got = a.records[i];
            ASSERT_TRUE(got[0] == r[0] && got[1] == r[1] && std::equal(r + 4, r + 8, &got[4]))
                << "A record " << i;
        }
        for (size_t i = 0; i < sentB; ++i) {
            const uint8_t* r = parts.b.data() + 8 * i;
            const std::vector<uint8_t> packed = {r[0], r[1], r[2], r[7], r[5], r[6], r[3], r[4]};
            ASSERT_EQ(b.records[i], packed) << "B record " << i;
        }
        for (size_t i = 0; i < c.records.size(); ++i) {
            ASSERT_TRUE(std::equal(c.records[i].begin(), c.records[i].end(),
                                   parts.c.begin() + static_cast<long>(24 * i)))
                << "C record " << i;
        }
    }
}

struct RefusedFile {
    const char* name;
    std::function<void(EffectFileParts&)> change;
};

void PrintTo(const RefusedFile& f, std::ostream* os) {
    *os << f.name;
}

class RefusedEffectFile : public EffectFileTest,
                          public ::testing::WithParamInterface<RefusedFile> {};

TEST_P(RefusedEffectFile, IsRefusedBeforeAnythingIsSent) {
    EffectFileParts parts;
    parts.a = CountingRecords(2, 8);
    parts.b = CountingRecords(2, 8);
    parts.c = CountingRecords(2, 24);
    parts.params = {{10, 0, 100, 50.0f}};
    GetParam().change(parts);
    std::vector<Frame> frames;
    EXPECT_FALSE(Build(parts, frames));
    EXPECT_TRUE(frames.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedEffectFile,
    ::testing::Values(
        RefusedFile{"Version1", [](EffectFileParts& s) { s.version = 1; }},
        RefusedFile{"ZeroParamRecordSize", [](EffectFileParts& s) { s.paramRecordSize = 0; }},
        RefusedFile{"ParamRecordTooSmall", [](EffectFileParts& s) { s.paramRecordSize = 12; }},
        RefusedFile{"ParamRecordTooLarge", [](EffectFileParts& s) { s.paramRecordSize = 32; }},
        RefusedFile{"ZeroRecordSizeB", [](EffectFileParts& s) { s.recordSizeB = 0; }},
        RefusedFile{"RecordSizeB16", [](EffectFileParts& s) { s.recordSizeB = 16; }},
        RefusedFile{"RecordSizeA4", [](EffectFileParts& s) { s.recordSizeA = 4; }},
        RefusedFile{"RecordSizeC12", [](EffectFileParts& s) { s.recordSizeC = 12; }},
        RefusedFile{"SectionLongerThanFile", [](EffectFileParts& s) { s.sizeC = 72; }},
        RefusedFile{"FourGigabyteSection", [](EffectFileParts& s) { s.sizeB = 0xFFFFFFF8u; }},
        RefusedFile{"FourGigabyteParams",
                    [](EffectFileParts& s) { s.paramSectionSize = 0xFFFFFFF0u; }},
        // 4128 records: H6 = 0x8100, but only 4096 × 8 = 0x8000 bytes go.
        RefusedFile{"SectionBBeyondWhatItsThreeBytesSay",
                    [](EffectFileParts& s) { s.b = CountingRecords(4128, 8); }},
        RefusedFile{"SectionCBytesBeyond16Bits",
                    [](EffectFileParts& s) { s.c = CountingRecords(2731, 24); }},
        RefusedFile{"SizesOverflow32Bits",
                    [](EffectFileParts& s) {
                        s.sizeA = 0x80000000u;
                        s.sizeB = 0x80000000u;
                    }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EffectFileTest, ShortAndMissingFilesAreRefused) {
    model::EffectFileContents contents;
    EXPECT_FALSE(model::ReadEffectFile(dir.Path() / "none.eff", contents));
    EffectFileParts::WriteBytes(path, {});
    EXPECT_FALSE(model::ReadEffectFile(path, contents));
    auto bytes = EffectFileParts{}.Bytes();
    bytes.resize(20);
    EffectFileParts::WriteBytes(path, bytes);
    EXPECT_FALSE(model::ReadEffectFile(path, contents));
}

TEST(EffectParamSection, MapsFileValuesOntoTheParameterRange) {
    TempDir dir;
    CWorkSpace ws(dir.Path() / "LyntConfigData.db", dir.Path());
    const int volume = ws.GetParam(0);
    const int reverb = ws.GetParam(30);
    const int ratio = ws.GetParam(32);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const EffectParamRecord records[] = {
        {10, 0, 100, 50.0f},   // EQ_1: 0 + 50 × 240 / 100
        {11, -10, 10, 5.9f},   // EQ_2: the value truncates to 5: 15 × 240 / 20
        {12, 0, 100, 500.0f},  // EQ_3 beyond its range: kept at 240
        {1, 0, 100, 50.0f},    // the microphone volume never comes from a file
        {31, 5, 5, 5.0f},      // no range to map from
        {33, 0, 100, nan},     // no number
        {48, 0, 100, 1.0f},    // no such parameter
        {36, 0, 60, 1e30f},    // far outside any integer
    };
    ws.ApplyParamSection(records);
    EXPECT_EQ(ws.GetParam(9), 120);
    EXPECT_EQ(ws.GetParam(10), 180);
    EXPECT_EQ(ws.GetParam(11), 240);
    EXPECT_EQ(ws.GetParam(0), volume);
    EXPECT_EQ(ws.GetParam(30), reverb);
    EXPECT_EQ(ws.GetParam(32), ratio);
}

TEST_F(WorkSpaceCardTest, AnEffectFileReachesTheCardAsItsHeaderAnnounces) {
    EffectFileParts parts;
    parts.a = CountingRecords(9, 8);
    parts.b = CountingRecords(15, 8, 100);
    parts.c = CountingRecords(3, 24, 7);
    parts.params = {{10, 0, 100, 50.0f}, {1, 0, 100, 1.0f}};
    const auto path = dir.Path() / "live.eff";
    parts.Write(path);

    ASSERT_TRUE(ws->LoadEffectFile(path));
    protocol.WaitDownload();
    EXPECT_EQ(ws->GetParam(9), 120);
    EXPECT_EQ(ws->LastEffectFileHeader().sectionSizeB, 120u);
    auto check = ReadCard([](const vcard::CCardModel& m) { return m.CheckEffectDownload(); });
    EXPECT_TRUE(check.countsMatch);
    EXPECT_EQ(check.recordsA, 9);
    EXPECT_EQ(check.recordsB, 15);
    EXPECT_EQ(check.recordsC, 3);
    EXPECT_NE(card->StateJson().find("\"counts_match\":true"), std::string::npos);
    // The card deciphered what the workspace built.
    model::EffectFileContents contents;
    std::vector<Frame> built;
    ASSERT_TRUE(model::ReadEffectFile(path, contents));
    ASSERT_TRUE(model::BuildEffectDownloadFrames(contents, ws->DownloadCaps(), built));
    auto received = ReadCard([](const vcard::CCardModel& m) { return m.LastEffectDownload(); });
    ASSERT_EQ(received.recordsB.size(), 3u);
    EXPECT_TRUE(std::equal(received.recordsB[2].begin(), received.recordsB[2].begin() + 63,
                           built[3].begin()));

    // Version 1 is refused without touching the header numbers of the last file.
    parts.version = 1;
    parts.Write(path);
    EXPECT_FALSE(ws->LoadEffectFile(path));
    EXPECT_EQ(ws->LastEffectFileHeader().sectionSizeB, 120u);
}

// Panel and card agree on the number of an effect sent from a file (164): the card runs the
// file once it has all of it, and a reconnect sends 164 again. It used to send 7 plus the
// leading digits of the file's path (a stored effect the user never chose) while the panel
// still showed 164. A download that misses a frame leaves the card's effect as it was.
TEST_F(WorkSpaceCardTest, AnEffectSentFromAFileKeepsItsNumberOnTheCardAcrossAReconnect) {
    EffectFileParts parts;
    parts.b = CountingRecords(15, 8, 100);
    const auto path = dir.Path() / "12.eff";
    parts.Write(path);
    ASSERT_TRUE(ws->SelectEffectNumber(2));
    ASSERT_EQ(CardParam(6), 2);

    model::EffectFileContents contents;
    std::vector<Frame> frames;
    ASSERT_TRUE(model::ReadEffectFile(path, contents));
    ASSERT_TRUE(model::BuildEffectDownloadFrames(contents, ws->DownloadCaps(), frames));
    frames.pop_back();
    ASSERT_TRUE(protocol.StartDownload(frames));
    protocol.WaitDownload();
    EXPECT_EQ(CardParam(6), 2) << "a file cut short is not run";

    ASSERT_TRUE(ws->LoadEffectFile(path));
    protocol.WaitDownload();
    ws->SetFileEffect(u"明亮", path);
    EXPECT_EQ(ws->GetParam(6), 164);
    EXPECT_EQ(CardParam(6), 164);

    ASSERT_TRUE(ws->PushParams(true, true));
    EXPECT_EQ(ws->GetParam(6), 164);
    EXPECT_EQ(CardParam(6), 164);
}

TEST_F(WorkSpaceCardTest, ASecondFileWhileTheFirstIsSendingIsRefused) {
    EffectFileParts parts;
    parts.b = CountingRecords(30, 8);
    const auto path = dir.Path() / "slow.eff";
    parts.Write(path);
    card->SetReplyDelayMs(50);
    ASSERT_TRUE(ws->LoadEffectFile(path));
    EXPECT_FALSE(ws->LoadEffectFile(path));
    protocol.WaitDownload();
    card->SetReplyDelayMs(0);
    EXPECT_TRUE(
        ReadCard([](const vcard::CCardModel& m) { return m.CheckEffectDownload(); }).countsMatch);
}

}  // namespace

namespace {

// The product's frames of a file with half-filled last frames and a skipped section-C record
// satisfy the card's check, and the same frames less one do not, so the tests that lean on the
// check can fail.
TEST_F(WorkSpaceCardTest, TheCardTakesTheBuiltFramesAndNoticesAMissingOne) {
    EffectFileParts parts;
    parts.a = CountingRecords(8, 8);
    parts.b = CountingRecords(15, 8, 100);
    parts.c = CountingRecords(4, 24, 7);
    parts.c[24 + 4] = parts.c[24 + 5] = parts.c[24 + 6] = parts.c[24 + 7] = 0;
    const auto path = dir.Path() / "edge.eff";
    parts.Write(path);
    model::EffectFileContents contents;
    std::vector<Frame> frames;
    ASSERT_TRUE(model::ReadEffectFile(path, contents));
    ASSERT_TRUE(model::BuildEffectDownloadFrames(contents, ws->DownloadCaps(), frames));

    ASSERT_TRUE(protocol.StartDownload(frames));
    protocol.WaitDownload();
    auto check = ReadCard([](const vcard::CCardModel& m) { return m.CheckEffectDownload(); });
    EXPECT_TRUE(check.countsMatch);
    EXPECT_EQ(check.recordsB, 15);
    EXPECT_EQ(check.recordsC, 3);

    frames.erase(frames.begin() + 3);  // the last section-B frame
    ASSERT_TRUE(protocol.StartDownload(frames));
    protocol.WaitDownload();
    EXPECT_FALSE(
        ReadCard([](const vcard::CCardModel& m) { return m.CheckEffectDownload(); }).countsMatch);
}

}  // namespace
