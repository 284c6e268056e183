#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "MoodConfig.h"
#include "TempDir.h"
#include "profile/Profile.h"
#include "profile/ProfileText.h"

namespace {

namespace fs = std::filesystem;
namespace pp = platform::profile;
using sound::CMoodConfig;
using sound::MoodItem;

// Holds keys the way the system service does: one id per key, and a key held under another id
// cannot be registered again.
class RecordingRegistrar : public sound::IHotkeyRegistrar {
public:
    bool Register(int id, uint32_t hotkey) override {
        calls.push_back("+" + std::to_string(id));
        for (const auto& [heldId, heldKey] : held) {
            if (heldKey == hotkey || heldId == id) {
                return false;
            }
        }
        if (hotkey == refused) {
            return false;
        }
        held[id] = hotkey;
        return true;
    }
    void Unregister(int id) override {
        calls.push_back("-" + std::to_string(id));
        held.erase(id);
    }
    std::map<int, uint32_t> held;
    std::vector<std::string> calls;
    uint32_t refused = 0;
};

std::string ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteText(const fs::path& file, std::u16string_view text) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << pp::EncodeUtf16LeWithBom(text);
    pp::ClearReadCache();
}

void Touch(const fs::path& file) {
    std::ofstream(file) << "ID3";
}

MoodItem FileClip(std::u16string_view name, const fs::path& path, uint32_t hotkey = 0,
                  int32_t cloudId = 0) {
    MoodItem item{};
    EXPECT_TRUE(
        sound::MakeClip(item, sound::kMoodFile, name, pp::FromUtf8(path.native()), cloudId));
    item.hotkey = hotkey;
    return item;
}

std::u16string Struct(const MoodItem& item) {
    return pp::EncodeStruct(&item, sound::kMoodStoredBytes);
}

class MoodConfigTest : public ::testing::Test {
protected:
    fs::path File() const { return dir.Path() / CMoodConfig::kFileName; }
    TempDir dir;
};

TEST_F(MoodConfigTest, FreshFileHoldsOnlyTheMarkAndVolumeDefaultsApply) {
    CMoodConfig store;
    ASSERT_TRUE(store.Init(File()));
    EXPECT_EQ(ReadBytes(File()), std::string("\xFF\xFE"));
    EXPECT_EQ(store.Volume(), 50);
    EXPECT_FALSE(store.HotkeysEnabled());

    // Something else written, but no Config/Volume: the older default.
    ASSERT_TRUE(store.SetLastPlayedLength(u"12"));
    CMoodConfig reopened;
    ASSERT_TRUE(reopened.Init(File()));
    EXPECT_EQ(reopened.Volume(), 76);
    EXPECT_EQ(reopened.GetLastPlayedLength(), 12);

    WriteText(File(), u"[Config]\r\nVolume=5000\r\nEnableHotKey=1\r\n");
    CMoodConfig edited;
    ASSERT_TRUE(edited.Init(File()));
    EXPECT_EQ(edited.Volume(), 100);
    EXPECT_TRUE(edited.HotkeysEnabled());

    CMoodConfig relative;
    EXPECT_FALSE(relative.Init("LyntMoodcfg.ini"));
    EXPECT_FALSE(relative.AddFavourite(sound::BuiltinClipItem(0)));
    EXPECT_FALSE(fs::exists("LyntMoodcfg.ini"));
}

TEST_F(MoodConfigTest, ListsAndLastClipComeBackAfterRestart) {
    const fs::path a = dir.Path() / "a.mp3";
    const fs::path b = dir.Path() / "b.mp3";
    Touch(a);
    Touch(b);
    {
        CMoodConfig store;
        ASSERT_TRUE(store.Init(File()));
        ASSERT_TRUE(store.AddLocalClip(FileClip(u"甲", a)));
        ASSERT_TRUE(store.AddLocalClip(FileClip(u"甲", b)));  // same name: replaces
        ASSERT_TRUE(store.AddDownloaded(FileClip(u"云", a, 0, 7)));
        ASSERT_TRUE(store.AddFavourite(sound::BuiltinClipItem(3)));
        ASSERT_TRUE(store.AddFavourite(FileClip(u"甲", b, sound::MakeHotkey(2, 0x60))));
        ASSERT_TRUE(store.RenameLocalClip(0, u"一二三四五六七八九"));
        ASSERT_TRUE(store.SetLastPlayed(FileClip(u"云", a)));
        ASSERT_TRUE(store.SetVolume(33));
    }
    CMoodConfig store;
    ASSERT_TRUE(store.Init(File()));
    ASSERT_EQ(store.LocalClips().size(), 1u);
    EXPECT_EQ(sound::ClipPath(store.LocalClips()[0]), pp::FromUtf8(b.native()));
    EXPECT_EQ(sound::ClipName(store.LocalClips()[0]), u"一二三四五六七");
    ASSERT_TRUE(store.FindDownloaded(7));
    EXPECT_FALSE(store.FindDownloaded(8));
    ASSERT_EQ(store.Favourites().size(), 2u);
    EXPECT_EQ(sound::ClipPath(store.Favourites()[0]), u"DJ_QZ");
    EXPECT_EQ(store.GetFavouriteHotkey(1), sound::MakeHotkey(2, 0x60));
    EXPECT_EQ(store.GetFavouriteHotkey(2), 0u);
    MoodItem upper = FileClip(u"x", b);
    std::u16string shouted = sound::ClipPath(upper);
    for (char16_t& c : shouted) {
        c = (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
    }
    ASSERT_TRUE(sound::SetClipPath(upper, shouted));
    EXPECT_TRUE(store.IsFavourite(upper));
    EXPECT_EQ(sound::ClipPath(store.LastPlayed()), pp::FromUtf8(a.native()));
    EXPECT_EQ(store.Volume(), 33);
    // The last clip keeps 80 bytes: 160 hex digits and the sum.
    EXPECT_EQ(pp::ReadPrivateProfileValue(u"LastPlayMood", u"0", File()).value_or(u"").size(),
              162u);
}

TEST_F(MoodConfigTest, DeletedFilesVanishAtLoadButFavouritesStay) {
    const fs::path a = dir.Path() / "a.mp3";
    const fs::path b = dir.Path() / "b.mp3";
    Touch(a);
    Touch(b);
    {
        CMoodConfig store;
        ASSERT_TRUE(store.Init(File()));
        ASSERT_TRUE(store.AddLocalClip(FileClip(u"a", a)));
        ASSERT_TRUE(store.AddLocalClip(FileClip(u"b", b)));
        ASSERT_TRUE(store.AddDownloaded(FileClip(u"a", a, 0, 1)));
        ASSERT_TRUE(store.AddFavourite(FileClip(u"a", a)));
    }
    fs::remove(a);
    CMoodConfig store;
    ASSERT_TRUE(store.Init(File()));
    ASSERT_EQ(store.LocalClips().size(), 1u);
    EXPECT_EQ(sound::ClipName(store.LocalClips()[0]), u"b");
    EXPECT_TRUE(store.Downloaded().empty());
    EXPECT_EQ(store.Favourites().size(), 1u);
}

TEST_F(MoodConfigTest, DamagedFileKeepsEveryReadableEntry) {
    const fs::path clip = dir.Path() / "ok.mp3";
    Touch(clip);
    MoodItem good = FileClip(u"good", clip);
    MoodItem unterminated = good;
    for (char16_t& c : unterminated.name) {
        c = u'N';
    }
    MoodItem unknownResource{};
    ASSERT_TRUE(sound::MakeClip(unknownResource, sound::kMoodResource, u"r", u"../../etc/passwd"));
    MoodItem cloudKind = good;
    cloudKind.kind = sound::kMoodCloud;
    std::u16string badSum = Struct(good);
    badSum.back() = badSum.back() == u'0' ? u'1' : u'0';
    const std::u16string goodPath = pp::FromUtf8(clip.native());

    std::u16string text = u"[HotkeyMood]\r\ncount=2147483647\r\n";
    text += u"0=" + Struct(good) + u"\r\n";                // kept
    text += u"1=" + badSum + u"\r\n";                      // wrong sum
    text += u"2=" + Struct(good).substr(0, 40) + u"\r\n";  // cut short
    text += u"3=" + Struct(unknownResource) + u"\r\n";     // not a built-in clip
    text += u"4=" + Struct(cloudKind) + u"\r\n";           // no favourite kind
    text += u"5=" + Struct(unterminated) + u"\r\n";        // kept, name ended
    text += u"6=" + Struct(good) + u"\r\n";                // path too long
    text += u"7=" + Struct(good) + u"\r\n";                // no path
    text += u"[HotkeyMoodPath]\r\n";
    for (int i = 0; i < 6; ++i) {
        text += std::u16string(1, static_cast<char16_t>(u'0' + i)) + u"=" +
                (i == 3 ? u"../../etc/passwd" : goodPath) + u"\r\n";
    }
    text += u"6=/" + std::u16string(300, u'x') + u"\r\n";
    text += u"[DIY]\r\ncount=2\r\n0=" + Struct(good) + u"\r\n1=" + Struct(good) + u"\r\n";
    text += u"[DIYPath]\r\n0=ok.mp3\r\n1=" + goodPath + u"\r\n";  // a relative path is no file
    text += u"\x0001\xFFFF garbage ]]]=\r\n[Config]\r\nVolume=-3\r\n";
    WriteText(File(), text);

    CMoodConfig store;
    ASSERT_TRUE(store.Init(File()));
    ASSERT_EQ(store.Favourites().size(), 2u);
    EXPECT_EQ(sound::ClipName(store.Favourites()[0]), u"good");
    EXPECT_EQ(sound::ClipName(store.Favourites()[1]), std::u16string(31, u'N'));
    ASSERT_EQ(store.LocalClips().size(), 1u);
    EXPECT_EQ(sound::ClipPath(store.LocalClips()[0]), goodPath);
    EXPECT_EQ(store.Volume(), 0);
    // What was readable survives the next save.
    ASSERT_TRUE(store.SetFavouriteHotkey(0, sound::MakeHotkey(1, 0x41)));
    CMoodConfig reopened;
    ASSERT_TRUE(reopened.Init(File()));
    EXPECT_EQ(reopened.Favourites().size(), 2u);
    EXPECT_EQ(reopened.LocalClips().size(), 1u);

    // Pure garbage reads as an empty store.
    WriteText(File(), std::u16string(u"\xD800[\0=\r\r]\n=[", 11));
    CMoodConfig garbage;
    ASSERT_TRUE(garbage.Init(File()));
    EXPECT_TRUE(garbage.Favourites().empty());
    EXPECT_EQ(garbage.Volume(), 76);
}

TEST_F(MoodConfigTest, ClipsThatCannotComeBackAreRefusedAndSavingGoesOn) {
    const fs::path clip = dir.Path() / "ok.mp3";
    Touch(clip);
    CMoodConfig store;
    ASSERT_TRUE(store.Init(File()));
    MoodItem lineBreak = FileClip(u"x", clip);
    lineBreak.path[3] = u'\n';
    EXPECT_FALSE(store.AddFavourite(lineBreak));
    EXPECT_FALSE(store.AddLocalClip(FileClip(u"x", dir.Path() / "ok.mp3 ")));
    EXPECT_FALSE(store.AddLocalClip(FileClip(u"x", "relative.mp3")));
    EXPECT_TRUE(store.AddLocalClip(FileClip(u"x", clip)));
    EXPECT_TRUE(store.AddFavourite(FileClip(u"x", clip)));
    CMoodConfig reopened;
    ASSERT_TRUE(reopened.Init(File()));
    EXPECT_EQ(reopened.Favourites().size(), 1u);
    EXPECT_EQ(reopened.LocalClips().size(), 1u);
}

// A favourite the file could not take is not kept: the next try adds it instead of finding it
// "already there".
TEST_F(MoodConfigTest, AFavouriteThatCannotBeSavedIsTakenBack) {
    const fs::path clip = dir.Path() / "ok.mp3";
    Touch(clip);
    CMoodConfig store;
    ASSERT_TRUE(store.Init(File()));
    // A folder where the file was: no write can replace it, not even root's.
    fs::remove(File());
    fs::create_directories(File() / "blocked");
    EXPECT_FALSE(store.AddFavourite(FileClip(u"x", clip)));
    EXPECT_TRUE(store.Favourites().empty());
    EXPECT_FALSE(store.IsFavourite(FileClip(u"x", clip)));
    fs::remove_all(File());
    EXPECT_TRUE(store.AddFavourite(FileClip(u"x", clip)));
    CMoodConfig reopened;
    ASSERT_TRUE(reopened.Init(File()));
    EXPECT_EQ(reopened.Favourites().size(), 1u);
}

TEST_F(MoodConfigTest, RemovingAFavouriteMovesTheLaterHotkeysDown) {
    const fs::path clip = dir.Path() / "ok.mp3";
    RecordingRegistrar registrar;
    CMoodConfig store;
    ASSERT_TRUE(store.Init(File()));
    store.SetHotkeyRegistrar(&registrar);
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(store.AddFavourite(FileClip(u"f", clip, sound::MakeHotkey(2, 0x60 + i))));
    }
    ASSERT_TRUE(store.SetHotkeysEnabled(true));
    ASSERT_EQ(registrar.held.size(), 5u);

    ASSERT_TRUE(store.RemoveFavourite(2));
    const std::map<int, uint32_t> expected{{14000, sound::MakeHotkey(2, 0x60)},
                                           {14001, sound::MakeHotkey(2, 0x61)},
                                           {14002, sound::MakeHotkey(2, 0x63)},
                                           {14003, sound::MakeHotkey(2, 0x64)}};
    EXPECT_EQ(registrar.held, expected);
    EXPECT_FALSE(store.RemoveFavourite(4));

    store.SetHotkeysEnabled(false);
    EXPECT_TRUE(registrar.held.empty());
    CMoodConfig reopened;
    ASSERT_TRUE(reopened.Init(File()));
    EXPECT_EQ(reopened.Favourites().size(), 4u);
    EXPECT_FALSE(reopened.HotkeysEnabled());
}

TEST_F(MoodConfigTest, EffectButtonKeysShareTheConflictCheckAndTheSwitch) {
    RecordingRegistrar registrar;
    registrar.refused = sound::MakeHotkey(4, 0x70);
    CMoodConfig store;
    ASSERT_TRUE(store.Init(File()));
    store.SetHotkeyRegistrar(&registrar);
    const uint32_t f1 = sound::MakeHotkey(2, 0x70);
    EXPECT_TRUE(store.SetEffectHotkey(10003, f1));
    EXPECT_FALSE(store.SetEffectHotkey(14000, f1));  // a favourite's id
    EXPECT_TRUE(store.IsHotkeyInUse(f1));
    EXPECT_FALSE(store.IsHotkeyInUse(0));
    EXPECT_FALSE(store.IsHotkeyInUse(sound::MakeHotkey(4, 0x70)));
    EXPECT_TRUE(registrar.held.empty());  // disabled

    ASSERT_TRUE(store.SetHotkeysEnabled(true));
    EXPECT_EQ(registrar.held.at(10003), f1);
    // Another program holds Shift+F1: ignored, and the entry stays.
    EXPECT_TRUE(store.SetEffectHotkey(10004, sound::MakeHotkey(4, 0x70)));
    EXPECT_FALSE(store.IsHotkeyRegistered(10004));
    EXPECT_EQ(store.GetEffectHotkey(10004), sound::MakeHotkey(4, 0x70));
    EXPECT_TRUE(store.SetEffectHotkey(10006, sound::MakeHotkey(4, 0x71)));
    EXPECT_EQ(std::count(registrar.calls.begin(), registrar.calls.end(), "+10004"), 1);
    // A value from a damaged file with unknown modifier bits never reaches the service.
    EXPECT_TRUE(store.SetEffectHotkey(10005, sound::MakeHotkey(0x40, 0x70)));
    EXPECT_EQ(std::count(registrar.calls.begin(), registrar.calls.end(), "+10005"), 0);

    EXPECT_TRUE(store.SetEffectHotkey(10003, 0));
    EXPECT_FALSE(registrar.held.count(10003));
    store.SetHotkeyRegistrar(nullptr);
    EXPECT_TRUE(registrar.held.empty());
}

TEST_F(MoodConfigTest, CategoriesAreFilledFromAnotherThread) {
    CMoodConfig store;
    std::thread worker([&] {
        for (int i = 0; i < 200; ++i) {
            store.AddCategory(u"c", std::vector<MoodItem>(3));
            store.SetCloudItemState(static_cast<size_t>(i), 2, sound::kCloudDownloaded);
        }
    });
    for (int i = 0; i < 200; ++i) {
        const size_t n = store.CategoryCount();
        if (n > 0) {
            EXPECT_EQ(store.CategoryItems(n - 1).size(), 3u);
        }
    }
    worker.join();
    EXPECT_EQ(store.CategoryCount(), 200u);
    EXPECT_EQ(store.CloudItem(199, 2)->downloadState, sound::kCloudDownloaded);
    EXPECT_FALSE(store.SetCloudItemState(0, 3, 1));
    EXPECT_FALSE(store.CloudItem(200, 0));
    store.ClearCategories();
    EXPECT_EQ(store.AddCategory(u"new", {}), 0);
}

}  // namespace

// The panel's store coalesces its writes; whatever it was told reaches the file in the end.
TEST_F(MoodConfigTest, CoalescedWritesLoseNoEditAndAPendingWriteIsWrittenAtExit) {
    const fs::path a = dir.Path() / "a.mp3";
    Touch(a);
    {
        CMoodConfig store;
        ASSERT_TRUE(store.Init(File()));
        // Long enough that nothing is written before the store ends.
        store.CoalesceWrites(std::chrono::hours(1));
        for (int i = 0; i < 300; ++i) {
            ASSERT_TRUE(store.AddFavourite(FileClip(u"f" + pp::FromUtf8(std::to_string(i)), a,
                                                    static_cast<uint32_t>(i))));
        }
        for (int v = 0; v <= 100; ++v) {
            ASSERT_TRUE(store.SetVolume(v));  // a slider dragged through every step
        }
        ASSERT_TRUE(store.SetVolume(61));
        ASSERT_TRUE(store.SetLastPlayed(FileClip(u"last", a)));
        ASSERT_TRUE(store.SetLastPlayedLength(u"47"));
        ASSERT_TRUE(store.SetHotkeysEnabled(true));
        // Nothing on the disk yet, and the store answers from memory.
        EXPECT_TRUE(store.Writer().Pending());
        EXPECT_EQ(store.Writer().WritesDone(), 0u);
        EXPECT_EQ(pp::GetPrivateProfileInt(u"Config", u"Volume", -1, File()), -1);
        EXPECT_EQ(store.GetLastPlayedLength(), 47);
    }
    // The program ended with all of it pending: one write, read back whole by the plain reader.
    EXPECT_EQ(pp::GetPrivateProfileInt(u"Config", u"Volume", -1, File()), 61);
    EXPECT_EQ(pp::GetPrivateProfileInt(u"Config", u"EnableHotKey", -1, File()), 1);
    EXPECT_EQ(pp::GetPrivateProfileInt(u"HotkeyMood", u"count", -1, File()), 300);
    EXPECT_EQ(pp::GetPrivateProfileInt(u"LastPlayMoodTotal", u"MoodTotalTime", -1, File()), 47);
    CMoodConfig reopened;
    ASSERT_TRUE(reopened.Init(File()));
    ASSERT_EQ(reopened.Favourites().size(), 300u);
    for (size_t i = 0; i < 300; ++i) {
        EXPECT_EQ(sound::ClipName(reopened.Favourites()[i]),
                  u"f" + pp::FromUtf8(std::to_string(i)));
        EXPECT_EQ(reopened.GetFavouriteHotkey(i), i);
    }
    EXPECT_EQ(sound::ClipName(reopened.LastPlayed()), u"last");
    EXPECT_EQ(reopened.GetLastPlayedLength(), 47);
    EXPECT_EQ(reopened.Volume(), 61);
}

TEST_F(MoodConfigTest, CoalescedWritesComeInBurstsAndAFailedOneIsKeptForTheNext) {
    CMoodConfig store;
    ASSERT_TRUE(store.Init(File()));
    store.CoalesceWrites(std::chrono::milliseconds(100));
    const auto start = std::chrono::steady_clock::now();
    for (int v = 0; v < 50; ++v) {
        store.SetVolume(v);
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
    }
    const auto dragged = std::chrono::steady_clock::now() - start;
    // One write per 100 ms interval at most while the steps came, and the last one.
    ASSERT_TRUE(store.Flush());
    EXPECT_LE(store.Writer().WritesDone(),
              static_cast<uint64_t>(dragged / std::chrono::milliseconds(100)) + 1);
    EXPECT_GE(store.Writer().WritesDone(), 1u);
    EXPECT_EQ(pp::GetPrivateProfileInt(u"Config", u"Volume", -1, File()), 49);

    // A folder where the file was: the write fails, the change waits, and once the way is
    // free the next flush writes it.
    fs::remove(File());
    fs::create_directories(File() / "blocked");
    store.SetVolume(12);
    store.SetLastPlayedLength(u"9");
    EXPECT_FALSE(store.Flush());
    EXPECT_TRUE(store.Writer().Pending());
    fs::remove_all(File());
    ASSERT_TRUE(store.Flush());
    EXPECT_EQ(pp::GetPrivateProfileInt(u"Config", u"Volume", -1, File()), 12);
    EXPECT_EQ(pp::GetPrivateProfileInt(u"LastPlayMoodTotal", u"MoodTotalTime", -1, File()), 9);
}
