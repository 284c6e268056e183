// The profile functions against files laid out as Windows writes them: what is read, and which
// bytes an edit may change.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <cstring>
#include <thread>

#include "ProfileTestUtil.h"
#include "profile/Profile.h"
#include "profile/ProfileDocument.h"
#include "profile/ProfileText.h"

namespace pp = platform::profile;
using namespace profile_test;

namespace {

constexpr std::array<unsigned char, 8> kRecord = {0x01, 0x02, 0x03, 0x04, 0xA0, 0xB0, 0xC0, 0xFF};
// 1+2+3+4+0xA0+0xB0+0xC0+0xFF = 793 = 0x319: sum byte 0x19.
constexpr char16_t kRecordText[] = u"01020304A0B0C0FF19";

class ProfileWindowsFile : public ::testing::Test {
protected:
    void SetUp() override {
        file = dir / "LyntConfigData.db";
        WriteBytes(file, Original());
    }

    static std::string Original() {
        return WindowsFile({
            u"[Settings]",
            u"CloseBtnOperation=0",
            u"mainwintopmost = 1",
            u"; edited by hand: keep the window on top",
            u"",
            u"[HotKey]",
            u"10000=131137",
            u"SoundTrack=0",
            u"[LastStatus]",
            u"CurrentEffect=01020304A0B0C0FF19",
            u"[Time]",
            u"LastRecordTime=00:12:34",
        });
    }

    TempDir dir;
    fs::path file;
};

TEST_F(ProfileWindowsFile, ReadsNamesWithoutRegardToCase) {
    EXPECT_EQ(pp::GetPrivateProfileInt(u"SETTINGS", u"closebtnoperation", 1, file), 0);
    EXPECT_EQ(pp::GetPrivateProfileInt(u"settings", u"MainWinTopmost", 0, file), 1);
    EXPECT_EQ(pp::GetPrivateProfileInt(u"HotKey", u"10000", 0, file), 131137);
    EXPECT_EQ(pp::GetPrivateProfileString(u"time", u"lastrecordtime", u"", file), u"00:12:34");
    // UTF-8 names and surrounding blanks find the same keys.
    EXPECT_EQ(pp::GetPrivateProfileInt("Settings", " CloseBtnOperation ", 1, file), 0);

    std::array<unsigned char, 8> record{};
    ASSERT_TRUE(pp::GetPrivateProfileStruct(u"laststatus", u"currenteffect", record.data(),
                                            record.size(), file));
    EXPECT_EQ(record, kRecord);
}

TEST_F(ProfileWindowsFile, MissingNamesGiveTheDefault) {
    EXPECT_EQ(pp::GetPrivateProfileInt(u"Settings", u"Nope", 42, file), 42);
    EXPECT_EQ(pp::GetPrivateProfileInt(u"Nope", u"CloseBtnOperation", -3, file), -3);
    EXPECT_EQ(pp::GetPrivateProfileString(u"Time", u"Nope", u"dflt  ", file), u"dflt");
    // The comment is no key, and a key of another section is not found in this one.
    EXPECT_EQ(pp::GetPrivateProfileInt(u"Settings", u"10000", 5, file), 5);
    EXPECT_FALSE(pp::ReadPrivateProfileValue(u"Settings", u"; edited by hand", file));
    EXPECT_EQ(pp::GetPrivateProfileInt(nullptr, u"10000", 5, file), 5);
    EXPECT_EQ(pp::GetPrivateProfileInt(u"HotKey", nullptr, 5, file), 5);
    EXPECT_EQ(pp::GetPrivateProfileInt(u"HotKey", u"", 5, file), 5);
    EXPECT_EQ(pp::GetPrivateProfileInt(u"HotKey", u"10000", 5, dir / "missing.ini"), 5);
}

TEST_F(ProfileWindowsFile, EditingAValueChangesOnlyItsLine) {
    ASSERT_TRUE(pp::WritePrivateProfileString(u"hotkey", u"soundtrack", u"112", file));
    // The key keeps its spelling; every other byte stays.
    const std::string expected = WindowsFile({
        u"[Settings]",
        u"CloseBtnOperation=0",
        u"mainwintopmost = 1",
        u"; edited by hand: keep the window on top",
        u"",
        u"[HotKey]",
        u"10000=131137",
        u"SoundTrack=112",
        u"[LastStatus]",
        u"CurrentEffect=01020304A0B0C0FF19",
        u"[Time]",
        u"LastRecordTime=00:12:34",
    });
    EXPECT_EQ(ReadBytes(file), expected);

    // The spacing around '=' of the edited line is kept too.
    ASSERT_TRUE(pp::WritePrivateProfileString(u"Settings", u"MainWinTopmost", u"0", file));
    std::string again = expected;
    const std::string before = Le(u"mainwintopmost = 1");
    again.replace(again.find(before), before.size(), Le(u"mainwintopmost = 0"));
    EXPECT_EQ(ReadBytes(file), again);
}

TEST_F(ProfileWindowsFile, StructEditChangesOnlyItsLine) {
    std::array<unsigned char, 8> record = kRecord;
    record[7] = 0x00;
    ASSERT_TRUE(pp::WritePrivateProfileStruct(u"LastStatus", u"CurrentEffect", record.data(),
                                              record.size(), file));
    std::string expected = Original();
    const std::string before = Le(u"CurrentEffect=01020304A0B0C0FF19");
    // New sum: 793 - 255 = 538 = 0x21A: sum byte 0x1A.
    expected.replace(expected.find(before), before.size(), Le(u"CurrentEffect=01020304A0B0C0001A"));
    EXPECT_EQ(ReadBytes(file), expected);
}

TEST_F(ProfileWindowsFile, NewKeyGoesAfterTheLastKeyOfItsSection) {
    ASSERT_TRUE(pp::WritePrivateProfileString(u"Settings", u"NewKey", u"7", file));
    ASSERT_TRUE(pp::WritePrivateProfileString(u"TIME", u"Other", u"x", file));
    EXPECT_EQ(ReadBytes(file), WindowsFile({
                                   u"[Settings]",
                                   u"CloseBtnOperation=0",
                                   u"mainwintopmost = 1",
                                   u"NewKey=7",
                                   u"; edited by hand: keep the window on top",
                                   u"",
                                   u"[HotKey]",
                                   u"10000=131137",
                                   u"SoundTrack=0",
                                   u"[LastStatus]",
                                   u"CurrentEffect=01020304A0B0C0FF19",
                                   u"[Time]",
                                   u"LastRecordTime=00:12:34",
                                   u"Other=x",
                               }));
}

TEST_F(ProfileWindowsFile, NewSectionGoesToTheEnd) {
    ASSERT_TRUE(pp::WritePrivateProfileStruct(u"CustomPreset", u"1_0", kRecord.data(),
                                              kRecord.size(), file));
    std::string expected = Original();
    expected += Le(u"[CustomPreset]\r\n1_0=");
    expected += Le(kRecordText);
    expected += Le(u"\r\n");
    EXPECT_EQ(ReadBytes(file), expected);
}

TEST_F(ProfileWindowsFile, DeletingASectionKeepsWhatSurroundsIt) {
    ASSERT_TRUE(pp::WritePrivateProfileString(u"HOTKEY", nullptr, nullptr, file));
    EXPECT_EQ(ReadBytes(file), WindowsFile({
                                   u"[Settings]",
                                   u"CloseBtnOperation=0",
                                   u"mainwintopmost = 1",
                                   u"; edited by hand: keep the window on top",
                                   u"",
                                   u"[LastStatus]",
                                   u"CurrentEffect=01020304A0B0C0FF19",
                                   u"[Time]",
                                   u"LastRecordTime=00:12:34",
                               }));
    EXPECT_EQ(pp::GetPrivateProfileInt(u"HotKey", u"10000", -1, file), -1);
    EXPECT_EQ(pp::GetPrivateProfileInt(u"Settings", u"CloseBtnOperation", 1, file), 0);
}

TEST_F(ProfileWindowsFile, DeletingAKeyRemovesOnlyItsLine) {
    ASSERT_TRUE(pp::WritePrivateProfileString(u"Settings", u"CLOSEBTNOPERATION", nullptr, file));
    ASSERT_TRUE(pp::WritePrivateProfileStruct(u"LastStatus", u"CurrentEffect", nullptr, 0, file));
    EXPECT_EQ(ReadBytes(file), WindowsFile({
                                   u"[Settings]",
                                   u"mainwintopmost = 1",
                                   u"; edited by hand: keep the window on top",
                                   u"",
                                   u"[HotKey]",
                                   u"10000=131137",
                                   u"SoundTrack=0",
                                   u"[LastStatus]",
                                   u"[Time]",
                                   u"LastRecordTime=00:12:34",
                               }));
}

TEST_F(ProfileWindowsFile, AWriteThatChangesNothingLeavesTheFileAlone) {
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    EXPECT_TRUE(pp::WritePrivateProfileString(u"Settings", u"CloseBtnOperation", u"0", file));
    EXPECT_TRUE(pp::WritePrivateProfileString(u"Settings", u"Missing", nullptr, file));
    EXPECT_TRUE(pp::WritePrivateProfileString(u"Missing", nullptr, nullptr, file));
    struct stat after {};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);  // every real write replaces the inode
    EXPECT_EQ(ReadBytes(file), Original());

    // Deleting from a file that does not exist does not create it.
    EXPECT_TRUE(pp::WritePrivateProfileString(u"S", u"k", nullptr, dir / "none.ini"));
    EXPECT_FALSE(fs::exists(dir / "none.ini"));
}

TEST_F(ProfileWindowsFile, KeepsModeAndWritesThroughASymlink) {
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const fs::path link = dir / "link.db";
    fs::create_symlink(file, link);
    ASSERT_TRUE(pp::WritePrivateProfileString(u"Time", u"LastRecordTime", u"01:00:00", link));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(pp::GetPrivateProfileString(u"Time", u"LastRecordTime", u"", file), u"01:00:00");
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(FolderEntries(dir.path()).size(), 2u);  // no temporary file left behind
}

class ProfileNewFile : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(ProfileNewFile, FirstWriteCreatesUtf16WithBom) {
    const fs::path file = dir / "new.ini";
    ASSERT_TRUE(pp::WritePrivateProfileString(u"Config", u"Volume", u"50", file));
    EXPECT_EQ(ReadBytes(file), WindowsFile({u"[Config]", u"Volume=50"}));

    // The first-start file that holds only the byte-order mark grows the same way.
    const fs::path bomOnly = dir / "bom.ini";
    WriteBytes(bomOnly, Bom());
    ASSERT_TRUE(pp::WritePrivateProfileString(u"Config", u"Volume", u"50", bomOnly));
    EXPECT_EQ(ReadBytes(bomOnly), ReadBytes(file));
}

TEST_F(ProfileNewFile, AppendingToAFileWithoutFinalLineEndEndsThatLineFirst) {
    const fs::path file = dir / "f.ini";
    WriteBytes(file, Bom() + Le(u"[A]\r\nx=1"));
    ASSERT_TRUE(pp::WritePrivateProfileString(u"A", u"y", u"2", file));
    EXPECT_EQ(ReadBytes(file), Bom() + Le(u"[A]\r\nx=1\r\ny=2\r\n"));
    WriteBytes(file, Bom() + Le(u"[A]\nx=1"));
    ASSERT_TRUE(pp::WritePrivateProfileString(u"B", u"y", u"2", file));
    // The LF line end of the untouched first line stays LF.
    EXPECT_EQ(ReadBytes(file), Bom() + Le(u"[A]\nx=1\r\n[B]\r\ny=2\r\n"));
}

TEST_F(ProfileNewFile, FirstOfDuplicateSectionsAndKeysCounts) {
    const fs::path file = dir / "dup.ini";
    WriteBytes(file, WindowsFile({u"[S]", u"k=1", u"K=2", u"[s]", u"k=3", u"only=4"}));
    EXPECT_EQ(pp::GetPrivateProfileInt(u"S", u"k", 0, file), 1);
    EXPECT_EQ(pp::GetPrivateProfileInt(u"S", u"only", 0, file), 0);  // hidden, as on Windows
    ASSERT_TRUE(pp::WritePrivateProfileString(u"S", u"K", u"9", file));
    EXPECT_EQ(ReadBytes(file), WindowsFile({u"[S]", u"k=9", u"K=2", u"[s]", u"k=3", u"only=4"}));
    // Deleting the key removes it everywhere, so no stale copy shows up afterwards.
    ASSERT_TRUE(pp::WritePrivateProfileString(u"S", u"k", nullptr, file));
    EXPECT_EQ(ReadBytes(file), WindowsFile({u"[S]", u"[s]", u"only=4"}));
    // Deleting the section removes every copy.
    ASSERT_TRUE(pp::WritePrivateProfileString(u"s", nullptr, nullptr, file));
    EXPECT_EQ(ReadBytes(file), Bom());
}

TEST_F(ProfileNewFile, TextValuesLoseMatchingQuotesAndAreTrimmed) {
    const fs::path file = dir / "q.ini";
    WriteBytes(file, WindowsFile({u"[S]", u"a=  \"quoted\"  ", u"b='x", u"c=\t spaced out \t",
                                  u"d=\"\"", u"e='single'"}));
    EXPECT_EQ(pp::GetPrivateProfileString(u"S", u"a", u"", file), u"quoted");
    EXPECT_EQ(pp::GetPrivateProfileString(u"S", u"b", u"", file), u"'x");
    EXPECT_EQ(pp::GetPrivateProfileString(u"S", u"c", u"", file), u"spaced out");
    EXPECT_EQ(pp::GetPrivateProfileString(u"S", u"d", u"dflt", file), u"");
    EXPECT_EQ(pp::GetPrivateProfileString(u"S", u"e", u"", file), u"single");
    EXPECT_EQ(pp::ReadPrivateProfileValue(u"S", u"a", file), u"\"quoted\"");
}

TEST_F(ProfileNewFile, WindowsBufferFormTruncatesLikeWindows) {
    const fs::path file = dir / "t.ini";
    const std::u16string longValue(300, u'7');
    ASSERT_TRUE(pp::WritePrivateProfileString(u"Time", u"LastRecordTime", longValue, file));
    char16_t buffer[260];
    std::memset(buffer, 0xAB, sizeof buffer);
    EXPECT_EQ(pp::GetPrivateProfileString(u"Time", u"LastRecordTime", u"", buffer, 260, file),
              259u);
    EXPECT_EQ(std::u16string(buffer), longValue.substr(0, 259));
    EXPECT_EQ(pp::GetPrivateProfileString(u"Time", u"none", u"def", buffer, 2, file), 1u);
    EXPECT_EQ(std::u16string(buffer), u"d");
    EXPECT_EQ(pp::GetPrivateProfileString(u"Time", u"none", u"def", buffer, 0, file), 0u);
}

TEST_F(ProfileNewFile, NonAsciiNamesAndValuesRoundTrip) {
    const fs::path file = dir / "cn.ini";
    ASSERT_TRUE(pp::WritePrivateProfileString(u"音效", u"名字", u"原声 😀", file));
    ASSERT_TRUE(pp::WritePrivateProfileString("Straße", "Ärger", "ja", file));
    EXPECT_EQ(ReadBytes(file), WindowsFile({u"[音效]", u"名字=原声 😀", u"[Straße]", u"Ärger=ja"}));
    EXPECT_EQ(pp::GetPrivateProfileString(u"音效", u"名字", u"", file), u"原声 😀");
    EXPECT_EQ(pp::GetPrivateProfileString(u"STRAßE", u"Ärger", u"", file), u"ja");
    // Only ASCII letters fold: "ä" and "Ä" stay different names, and nothing breaks on them.
    EXPECT_EQ(pp::GetPrivateProfileString(u"straße", u"ärger", u"no", file), u"no");
}

TEST_F(ProfileNewFile, RefusesTextsWindowsCouldNotReadBack) {
    const fs::path file = dir / "bad.ini";
    WriteBytes(file, WindowsFile({u"[S]", u"k=1"}));
    const std::string before = ReadBytes(file);
    EXPECT_FALSE(pp::WritePrivateProfileString(u"S", u"k", u"two\r\nlines", file));
    EXPECT_FALSE(pp::WritePrivateProfileString(u"S", u"a=b", u"1", file));
    EXPECT_FALSE(pp::WritePrivateProfileString(u"S]", u"k", u"1", file));
    EXPECT_FALSE(pp::WritePrivateProfileString(u"S", u";k", u"1", file));
    EXPECT_FALSE(pp::WritePrivateProfileString(u"S", u"[k", u"1", file));
    EXPECT_FALSE(pp::WritePrivateProfileString(u"  ", u"k", u"1", file));
    EXPECT_FALSE(pp::WritePrivateProfileString(u"S", u"", u"1", file));
    EXPECT_FALSE(pp::WritePrivateProfileString(nullptr, u"k", u"1", file));
    EXPECT_FALSE(pp::WritePrivateProfileString(u"S", std::u16string(u"k\0x", 3), u"1", file));
    EXPECT_FALSE(pp::WritePrivateProfileString(u"S", u"k", u"1", fs::path()));
    EXPECT_EQ(ReadBytes(file), before);
}

TEST_F(ProfileNewFile, ABatchIsWrittenWholeOrNotAtAll) {
    const fs::path file = dir / "mood.ini";
    WriteBytes(file,
               WindowsFile({u"[DIY]", u"count=2", u"0=AA", u"1=BB", u"[Config]", u"Volume=76"}));
    const std::string before = ReadBytes(file);
    pp::CProfileBatch bad;
    bad.DeleteSection(u"DIY").WriteString(u"DIY", u"count", u"0").WriteString(u"Bad]", u"k", u"v");
    EXPECT_FALSE(bad.Commit(file));
    EXPECT_EQ(ReadBytes(file), before);

    pp::CProfileBatch good;
    good.DeleteSection(u"DIY")
        .WriteString(u"DIY", u"count", u"1")
        .WriteString(u"DIY", u"0", u"CC")
        .WriteString(u"Config", u"Volume", u"50");
    ASSERT_TRUE(good.Commit(file));
    EXPECT_EQ(ReadBytes(file),
              WindowsFile({u"[Config]", u"Volume=50", u"[DIY]", u"count=1", u"0=CC"}));
}

TEST_F(ProfileNewFile, ConcurrentWritersLoseNothing) {
    const fs::path file = dir / "Download.ini";
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&file, t] {
            for (int i = 0; i < 25; ++i) {
                const std::string key = "effect" + std::to_string(t) + "_" + std::to_string(i);
                pp::WritePrivateProfileString("Download", key, "1", file);
                pp::GetPrivateProfileInt("Download", key, 0, file);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(pp::GetPrivateProfileKeyNames(u"Download", file).size(), 100u);
    EXPECT_EQ(FolderEntries(dir.path()).size(), 1u);
}

TEST_F(ProfileNewFile, ReadsNeverMissAChangeMadeBehindTheirBack) {
    const fs::path file = dir / "edited.ini";
    WriteBytes(file, WindowsFile({u"[S]", u"k=1"}));
    EXPECT_EQ(pp::GetPrivateProfileInt(u"S", u"k", 0, file), 1);

    // An editor rewrites the file in place, same size, and puts the old modification time back.
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    {
        std::fstream out(file, std::ios::in | std::ios::out | std::ios::binary);
        out.seekp(static_cast<std::streamoff>(Bom().size() + Le(u"[S]\r\nk=").size()));
        out.write(Le(u"2").data(), 2);
    }
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    EXPECT_EQ(pp::GetPrivateProfileInt(u"S", u"k", 0, file), 2);

    // Another program replaces it.
    const fs::path other = dir / "other.ini";
    WriteBytes(other, WindowsFile({u"[S]", u"k=3"}));
    fs::rename(other, file);
    EXPECT_EQ(pp::GetPrivateProfileInt(u"S", u"k", 0, file), 3);

    // And our own write is seen at once.
    ASSERT_TRUE(pp::WritePrivateProfileString(u"S", u"k", u"4", file));
    EXPECT_EQ(pp::GetPrivateProfileInt(u"S", u"k", 0, file), 4);
    fs::remove(file);
    EXPECT_EQ(pp::GetPrivateProfileInt(u"S", u"k", 0, file), 0);
}

// A section read whole answers as the per-key reads do, on a file with the awkward cases: names
// in another case and with blanks, a repeated key and a repeated section (the first counts),
// quoted values, a struct, a comment and a line that means nothing.
TEST_F(ProfileNewFile, ASectionReadWholeAnswersAsTheKeyReads) {
    const fs::path file = dir / "list.ini";
    WriteBytes(file, WindowsFile({u"[Other]", u"0=elsewhere", u" [ diy ] ", u"COUNT = 0x10 ",
                                  u"0=\"C:\\clips\\a.mp3\"", u"; 1=commented out",
                                  u"no equals sign here", u"1 = 01020304A0B0C0FF19", u"0=second",
                                  u"2=", u"[DIY]", u"3=hidden"}));
    const pp::CProfileSection section = pp::ReadPrivateProfileSection(u"DIY", file);
    EXPECT_EQ(section.KeyNames(), (std::vector<std::u16string>{u"COUNT", u"0", u"1", u"2"}));
    EXPECT_EQ(section.KeyCount(), 4u);
    EXPECT_EQ(section.GetInt(u"count", -1), 16);
    EXPECT_EQ(section.GetString(u" 0 ", u""), u"C:\\clips\\a.mp3");
    EXPECT_EQ(section.Value(u"0"), u"\"C:\\clips\\a.mp3\"");
    std::array<unsigned char, 8> record{};
    ASSERT_TRUE(section.GetStruct(u"1", record.data(), record.size()));
    EXPECT_EQ(record, kRecord);
    EXPECT_FALSE(section.GetStruct(u"1", record.data(), record.size() - 1));
    // An empty value is there and reads as empty text or the default number.
    EXPECT_EQ(section.Value(u"2"), u"");
    EXPECT_EQ(section.GetInt(u"2", 7), 7);
    // Missing: in the repeated section only, in another section, a comment, nothing at all.
    for (const char16_t* key : {u"3", u"; 1", u"no equals sign here", u""}) {
        EXPECT_FALSE(section.Value(key)) << pp::ToUtf8(key);
        EXPECT_EQ(section.GetString(key, u"dflt "), u"dflt");
        EXPECT_EQ(section.GetInt(key, -2), -2);
    }
    EXPECT_FALSE(section.Value(nullptr));
    // Every answer is the one the per-key functions give.
    for (const char16_t* key : {u"count", u"0", u"1", u"2", u"3"}) {
        EXPECT_EQ(section.Value(key), pp::ReadPrivateProfileValue(u"diy", key, file));
        EXPECT_EQ(section.GetInt(key, 5), pp::GetPrivateProfileInt(u"diy", key, 5, file));
    }
    EXPECT_EQ(pp::ReadPrivateProfileSection(u"nope", file).KeyCount(), 0u);
    EXPECT_EQ(pp::ReadPrivateProfileSection(nullptr, file).KeyCount(), 0u);
    EXPECT_EQ(pp::ReadPrivateProfileSection(u"DIY", dir / "missing.ini").KeyCount(), 0u);

    // Read just after a write, and after a same-size change behind its back: the file as it is.
    ASSERT_TRUE(pp::WritePrivateProfileString(u"DIY", u"2", u"x", file));
    EXPECT_EQ(pp::ReadPrivateProfileSection(u"DIY", file).Value(u"2"), u"x");
    {
        const std::string bytes = ReadBytes(file);
        const std::string from = Le(u"2=x");
        const size_t at = bytes.find(from);
        ASSERT_NE(at, std::string::npos);
        std::fstream out(file, std::ios::in | std::ios::out | std::ios::binary);
        out.seekp(static_cast<std::streamoff>(at));
        out.write(Le(u"2=y").data(), static_cast<std::streamsize>(from.size()));
    }
    EXPECT_EQ(pp::ReadPrivateProfileSection(u"DIY", file).Value(u"2"), u"y");
}

// GetPrivateProfileInt reads numbers as Windows' RtlUnicodeStringToInteger with base 0 does.
struct IntCase {
    const char* name;
    const char16_t* line;  // nullptr: no such key
    int expected;
};

void PrintTo(const IntCase& c, std::ostream* os) {
    *os << c.name;
}

class ProfileIntParsing : public ::testing::TestWithParam<IntCase> {};

TEST_P(ProfileIntParsing, ReadsLikeWindows) {
    TempDir dir;
    const fs::path file = dir / "int.ini";
    std::u16string text = u"[S]\r\n";
    if (GetParam().line != nullptr) {
        text += GetParam().line;
        text += u"\r\n";
    }
    WriteBytes(file, Bom() + Le(text));
    EXPECT_EQ(pp::GetPrivateProfileInt(u"S", u"k", -77, file), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ProfileIntParsing,
    ::testing::Values(
        IntCase{"Decimal", u"k=1234", 1234}, IntCase{"Negative", u"k=-5", -5},
        IntCase{"PlusSign", u"k= +7 ", 7}, IntCase{"LeadingNumber", u"k=12abc", 12},
        IntCase{"NoDigits", u"k=abc", 0}, IntCase{"EmptyGivesDefault", u"k=", -77},
        IntCase{"BlankGivesDefault", u"k=   ", -77}, IntCase{"MissingGivesDefault", nullptr, -77},
        IntCase{"NoEqualsSignIsNoKey", u"k", -77}, IntCase{"Hex", u"k=0x1F", 31},
        IntCase{"HexUpperDigits", u"k=0xfF", 255}, IntCase{"UpperXIsNotHex", u"k=0X10", 0},
        IntCase{"NegativeHex", u"k=-0x10", -16}, IntCase{"HexWithoutDigits", u"k=0x", 0},
        IntCase{"Octal", u"k=0o17", 15}, IntCase{"Binary", u"k=0b101", 5},
        IntCase{"LeadingZeros", u"k=0009", 9}, IntCase{"WrapsAt32Bits", u"k=4294967295", -1},
        IntCase{"WrapsPast32Bits", u"k=4294967296", 0}, IntCase{"Quoted", u"k=\"42\"", 42},
        IntCase{"HotkeyValue", u"k=196677", 196677},
        IntCase{"FullWidthDigitsAreNoDigits", u"k=１２", 0}),
    [](const ::testing::TestParamInfo<IntCase>& info) { return info.param.name; });

class ProfileStruct : public ::testing::Test {
protected:
    void SetUp() override { file = dir / "struct.ini"; }
    void WriteValue(std::u16string_view value) {
        std::u16string line = u"r=";
        line += value;
        WriteBytes(file, WindowsFile({u"[S]", line}));
    }
    TempDir dir;
    fs::path file;
};

TEST_F(ProfileStruct, EncodesEveryByteAndTheSum) {
    std::array<unsigned char, 256> all{};
    for (size_t i = 0; i < all.size(); ++i) {
        all[i] = static_cast<unsigned char>(i);
    }
    const std::u16string text = pp::EncodeStruct(all.data(), all.size());
    ASSERT_EQ(text.size(), 514u);
    EXPECT_EQ(text.substr(0, 8), u"00010203");
    EXPECT_EQ(text.substr(508), u"FEFF80");  // sum 0..255 = 32640 = 0x7F80
    ASSERT_TRUE(pp::WritePrivateProfileStruct(u"S", u"r", all.data(), all.size(), file));
    std::array<unsigned char, 256> back{};
    ASSERT_TRUE(pp::GetPrivateProfileStruct(u"S", u"r", back.data(), back.size(), file));
    EXPECT_EQ(back, all);
}

TEST_F(ProfileStruct, RecordOfAnEffectRoundTrips) {
    std::array<unsigned char, 1560> effect{};
    for (size_t i = 0; i < effect.size(); ++i) {
        effect[i] = static_cast<unsigned char>(i * 37 + 11);
    }
    ASSERT_TRUE(
        pp::WritePrivateProfileStruct(u"MyCustomEffect", u"3", effect.data(), effect.size(), file));
    std::array<unsigned char, 1560> back{};
    ASSERT_TRUE(
        pp::GetPrivateProfileStruct(u"mycustomeffect", u"3", back.data(), back.size(), file));
    EXPECT_EQ(back, effect);
}

TEST_F(ProfileStruct, WrongSumOrLengthReadsAsMissing) {
    std::array<unsigned char, 8> buffer{};
    buffer.fill(0x5A);
    const auto untouched = buffer;

    WriteValue(u"01020304A0B0C0FF18");  // sum off by one
    EXPECT_FALSE(pp::GetPrivateProfileStruct(u"S", u"r", buffer.data(), buffer.size(), file));
    EXPECT_EQ(buffer, untouched);

    WriteValue(u"01020304A0B0C0FF");  // no sum
    EXPECT_FALSE(pp::GetPrivateProfileStruct(u"S", u"r", buffer.data(), buffer.size(), file));
    WriteValue(u"01020304A0B0C0FF190");  // one digit too many
    EXPECT_FALSE(pp::GetPrivateProfileStruct(u"S", u"r", buffer.data(), buffer.size(), file));
    WriteValue(u"01020304A0B0C0FF1");  // one digit too few
    EXPECT_FALSE(pp::GetPrivateProfileStruct(u"S", u"r", buffer.data(), buffer.size(), file));
    WriteValue(u"01020304A0B0C0FG19");  // not hexadecimal
    EXPECT_FALSE(pp::GetPrivateProfileStruct(u"S", u"r", buffer.data(), buffer.size(), file));
    WriteValue(u"");
    EXPECT_FALSE(pp::GetPrivateProfileStruct(u"S", u"r", buffer.data(), buffer.size(), file));
    EXPECT_EQ(buffer, untouched);

    // A record of another size is missing for the reader that expects this one.
    WriteValue(u"01020304A0B0C0FF19");
    std::array<unsigned char, 7> shorter{};
    EXPECT_FALSE(pp::GetPrivateProfileStruct(u"S", u"r", shorter.data(), shorter.size(), file));
    std::array<unsigned char, 9> longer{};
    EXPECT_FALSE(pp::GetPrivateProfileStruct(u"S", u"r", longer.data(), longer.size(), file));
    EXPECT_TRUE(pp::GetPrivateProfileStruct(u"S", u"r", buffer.data(), buffer.size(), file));

    // Lower-case digits, as a hand edit may leave them, still read.
    WriteValue(u"01020304a0b0c0ff19");
    EXPECT_TRUE(pp::GetPrivateProfileStruct(u"S", u"r", buffer.data(), buffer.size(), file));
    EXPECT_EQ(buffer, kRecord);
}

}  // namespace
