// The sound-pad page's decisions that need no window, and the engine holder the pages play and
// record through (over the fake engine).
#include <gtest/gtest.h>

#include <fstream>

#include "AudioEngineHolder.h"
#include "ClipCheck.h"
#include "FakeAudioEngine.h"
#include "HotkeyRegistrar.h"
#include "SoundPadText.h"
#include "TempDir.h"
#include "ccm_util/Dispatcher.h"

using namespace sound;

TEST(SoundPadText, HotkeyTexts) {
    const struct {
        uint32_t hotkey;
        const char16_t* text;
    } rows[] = {
        {0, u""},
        {MakeHotkey(0, 0x60), u"Num 0"},
        {MakeHotkey(0, 0x69), u"Num 9"},
        {MakeHotkey(kHotkeyCtrl | kHotkeyShift | kHotkeyAlt, 'A'), u"Ctrl+Shift+Alt+A"},
        {MakeHotkey(kHotkeyAlt, 0x7B), u"Alt+F12"},
        {MakeHotkey(kHotkeyShift, 0x70), u"Shift+F1"},
        {MakeHotkey(0, 0x6E), u"Num Del"},
        {MakeHotkey(0, 0x26), u"Up"},
        {MakeHotkey(kHotkeyCtrl, 0xBA), u"Ctrl+;"},
        {MakeHotkey(kHotkeyCtrl, 0x5B), u"Ctrl+"},  // a key without a name
    };
    for (const auto& row : rows) {
        EXPECT_EQ(HotkeyText(row.hotkey), row.text) << std::hex << row.hotkey;
    }
    MoodItem fav = BuiltinClipItem(0);
    fav.hotkey = MakeHotkey(0, 0x60);
    EXPECT_EQ(FavouriteLabel(fav), u"大哄笑(Num 0)");
    // While hotkeys are off the caption's "(Num 0)" does nothing: the tooltip says so and how to
    // turn them on.
    const std::u16string off = FavouriteHotkeyTip(fav, false);
    EXPECT_NE(off.find(u"热键已关闭"), std::u16string::npos);
    EXPECT_NE(off.find(u"Num 0"), std::u16string::npos);
    EXPECT_NE(off.find(u"热键开关"), std::u16string::npos);
    EXPECT_TRUE(FavouriteHotkeyTip(fav, true).empty());
    fav.hotkey = MakeHotkey(0, 0x5B);
    EXPECT_EQ(FavouriteLabel(fav), u"大哄笑");
    EXPECT_TRUE(FavouriteHotkeyTip(fav, false).empty());
}

TEST(SoundPadText, ProposedNamesAndTrimming) {
    EXPECT_EQ(ProposedClipName(u"Artist-Song"), u"Artist");
    EXPECT_EQ(ProposedClipName(u"-Intro"), u"-Intro");
    EXPECT_EQ(ProposedClipName(u"0123456789"), u"0123456");
    EXPECT_EQ(ProposedClipName(u"AB-CDEFGHI"), u"AB");
    EXPECT_EQ(ProposedClipName(u"ABCDEFG-H"), u"ABCDEFG");  // the dash lies beyond the cut
    // Never half a surrogate pair.
    EXPECT_EQ(ProposedClipName(u"123456\U0001F600x"), u"123456");
    EXPECT_EQ(NameFromFileName(u"song.mp3"), u"song");
    EXPECT_EQ(NameFromFileName(u".mp3"), u"");
    EXPECT_EQ(TrimClipName(u" \t\r\n名字 \n"), u"名字");
    EXPECT_EQ(TrimClipName(u"   "), u"");
}

TEST(SoundPadText, GridsAndTimes) {
    EXPECT_EQ(GridRowCount(17, true), 4);  // 15 built-in + 2 own clips + "+"
    EXPECT_EQ(GridRowCount(15, false), 3);
    EXPECT_EQ(GridRowCount(0, false), 0);
    EXPECT_EQ(GridRowCount(0, true), 1);
    EXPECT_EQ(TotalText(1), "/00:01");
    EXPECT_EQ(TotalText(3725), "/62:05");
    EXPECT_EQ(ClockTextOfMs(3725999), "01:02:05");
    const ClipLength shortClip = BarLength(0, 400);
    EXPECT_EQ(shortClip.seconds, 1u);
    EXPECT_EQ(shortClip.milliseconds, 1000u);
    EXPECT_EQ(BarLength(2, 2500).milliseconds, 2500u);
}

TEST(SoundPadText, PadIdsNameTheirLists) {
    EXPECT_EQ(LookupPad(14000).list, PadList::kFavourite);
    EXPECT_EQ(LookupPad(15014).list, PadList::kBuiltin);
    EXPECT_EQ(LookupPad(15015).list, PadList::kLocal);
    EXPECT_EQ(LookupPad(15015).index, 0u);
    EXPECT_EQ(LookupPad(17003).index, 3u);
    const PadRef cloud = LookupPad(18000 + 2 * 1000 + 7);
    EXPECT_EQ(cloud.list, PadList::kCloud);
    EXPECT_EQ(cloud.category, 2u);
    EXPECT_EQ(cloud.index, 7u);
    for (int id : {13999, 16500, 28000, 99999}) {
        EXPECT_EQ(LookupPad(id).list, PadList::kNone) << id;
    }
}

TEST(ClipCheck, OnlyMp3StreamsPass) {
    TempDir dir;
    auto write = [&dir](const char* name, const std::string& bytes) {
        const auto path = dir.Path() / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    };
    const std::string frame("\xFF\xFB\x90\x64", 4);  // MPEG-1 layer III, 128 kbit/s, 44.1 kHz
    EXPECT_TRUE(LooksLikeMp3File(write("frame.mp3", frame + std::string(400, '\0'))));
    EXPECT_TRUE(LooksLikeMp3File(write("junk.mp3", "xx" + frame + std::string(100, '\0'))));
    std::string id3("ID3\x03\x00\x00\x00\x00\x00\x10", 10);
    EXPECT_TRUE(LooksLikeMp3File(write("tagged.mp3", id3 + std::string(16, ' ') + frame)));
    EXPECT_FALSE(LooksLikeMp3File(write("tagonly.mp3", id3 + std::string(8, ' '))));
    EXPECT_FALSE(LooksLikeMp3File(write("empty.mp3", "")));
    EXPECT_FALSE(LooksLikeMp3File(write("text.mp3", "just some words, not audio at all")));
    EXPECT_FALSE(LooksLikeMp3File(write("wave.mp3", "RIFF\x24\x00\x00\x00WAVEfmt ")));
    EXPECT_FALSE(LooksLikeMp3File(dir.Path() / "missing.mp3"));
}

class HolderTest : public ::testing::Test {
protected:
    void SetUp() override { log = fake_audio::Install(); }
    void TearDown() override { platform::audio::SetAudioEngineFactory(nullptr); }
    // The playback notices the holder posted, delivered.
    int Notices(const AudioEngineHolder& holder) {
        int count = 0;
        auto sub = ccm_util::CEventSubscription::Of<EventPlaybackMsg>(
            [&](const EventPlaybackMsg& e) { count += e.sender == &holder ? 1 : 0; });
        ui.Pump();
        return count;
    }
    std::shared_ptr<fake_audio::Log> log;
    ccm_util::CManualDispatcher ui;
    ccm_util::CScopedDispatcher installed{&ui};
};

TEST_F(HolderTest, ReplacedClipSendsNoEndNotice) {
    AudioEngineHolder holder;
    ASSERT_TRUE(holder.OpenPlayerFile(u"Orin LYNT!", "/a.mp3"));
    ASSERT_TRUE(holder.StartPlayer());
    // The card's output was chosen by its name.
    EXPECT_NE(std::find(log->calls.begin(), log->calls.end(), "select-out:1"), log->calls.end());
    ASSERT_TRUE(holder.OpenPlayerFile(u"Orin LYNT!", "/b.mp3"));  // the first clip is replaced
    ASSERT_TRUE(holder.StartPlayer());
    EXPECT_EQ(Notices(holder), 0);
    EXPECT_EQ(log->alive, 1);  // one player for the page
    log->last->End();
    EXPECT_EQ(Notices(holder), 1);
    EXPECT_FALSE(holder.IsPlaying());
}

TEST_F(HolderTest, FailuresReleaseTheEngineAndKeepItsWords) {
    AudioEngineHolder holder;
    log->refused.insert(u"/bad.mp3");
    EXPECT_FALSE(holder.OpenPlayerFile(u"Orin LYNT!", "/bad.mp3"));
    EXPECT_EQ(holder.LastError(), u"不支持的文件格式");
    EXPECT_EQ(holder.Player(), nullptr);
    EXPECT_EQ(log->alive, 0);

    log->refuseStart = true;
    ASSERT_TRUE(holder.OpenPlayerFile(u"Orin LYNT!", "/good.mp3"));
    EXPECT_FALSE(holder.StartPlayer());
    EXPECT_EQ(holder.Player(), nullptr);
    EXPECT_FALSE(holder.LastError().empty());

    EXPECT_FALSE(holder.OpenPlayerMemory(u"Orin LYNT!", nullptr, 0));
    EXPECT_FALSE(holder.StartPlayer());  // nothing to start

    platform::audio::SetAudioEngineFactory(nullptr);
    EXPECT_FALSE(holder.OpenRecorder(u"Orin LYNT!", "/r.mp3"));
    EXPECT_FALSE(holder.LastError().empty());
}

TEST_F(HolderTest, RecorderWritesTheFileFromTheCardsInput) {
    AudioEngineHolder holder;
    ASSERT_TRUE(holder.OpenRecorder(u"Orin LYNT!", "/x/tmp_record.mp3"));
    ASSERT_NE(holder.Recorder(), nullptr);
    EXPECT_NE(
        std::find(log->calls.begin(), log->calls.end(), "open:wavein:///src=line;volume=100;"),
        log->calls.end());
    EXPECT_NE(std::find(log->calls.begin(), log->calls.end(), "select-in:0"), log->calls.end());
    EXPECT_EQ(log->calls.back(), "record:tmp_record.mp3");
    holder.ReleaseEngines();
    EXPECT_EQ(log->alive, 0);
}
