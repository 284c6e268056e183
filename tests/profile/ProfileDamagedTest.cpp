// Files damaged or written by hand: read as far as they make sense, never a crash, and written
// back as UTF-16LE with a byte-order mark.
#include <gtest/gtest.h>

#include <array>
#include <random>

#include "ProfileTestUtil.h"
#include "profile/Profile.h"
#include "profile/ProfileText.h"

namespace pp = platform::profile;
using namespace profile_test;

namespace {

class ProfileDamagedFile : public ::testing::Test {
protected:
    void SetUp() override { file = dir / "LyntConfigData.db"; }
    TempDir dir;
    fs::path file;
};

TEST_F(ProfileDamagedFile, OddByteCountLosesOnlyTheStrayByte) {
    const std::string good = WindowsFile({u"[Settings]", u"CloseBtnOperation=0"});
    WriteBytes(file, good + "\x41");
    EXPECT_EQ(pp::GetPrivateProfileInt(u"Settings", u"CloseBtnOperation", 1, file), 0);
    ASSERT_TRUE(pp::WritePrivateProfileString(u"Settings", u"MainWinTopmost", u"1", file));
    EXPECT_EQ(ReadBytes(file),
              WindowsFile({u"[Settings]", u"CloseBtnOperation=0", u"MainWinTopmost=1"}));
}

TEST_F(ProfileDamagedFile, Utf8WithoutBomIsReadAndBecomesUtf16) {
    WriteBytes(file, "[Settings]\nCloseBtnOperation = 0\n[Time]\nLastRecordTime=\xE5\x8E\x9F\n");
    EXPECT_EQ(pp::GetPrivateProfileInt(u"Settings", u"CloseBtnOperation", 1, file), 0);
    EXPECT_EQ(pp::GetPrivateProfileString(u"Time", u"LastRecordTime", u"", file), u"原");
    ASSERT_TRUE(pp::WritePrivateProfileString(u"Settings", u"MainWinTopmost", u"1", file));
    // Untouched lines keep their text and their LF line ends, now in UTF-16LE.
    EXPECT_EQ(ReadBytes(file), Bom() + Le(u"[Settings]\nCloseBtnOperation = 0\nMainWinTopmost=1"
                                          u"\r\n[Time]\nLastRecordTime=原\n"));
}

TEST_F(ProfileDamagedFile, OtherEncodingsWithAMark) {
    // UTF-8 with its mark.
    WriteBytes(file, "\xEF\xBB\xBF[S]\r\nk=5\r\n");
    EXPECT_EQ(pp::GetPrivateProfileInt(u"S", u"k", 0, file), 5);
    // UTF-16BE.
    std::string be = "\xFE\xFF";
    for (char16_t c : std::u16string_view(u"[S]\r\nk=6\r\n")) {
        be.push_back(static_cast<char>(c >> 8));
        be.push_back(static_cast<char>(c & 0xFF));
    }
    WriteBytes(file, be);
    EXPECT_EQ(pp::GetPrivateProfileInt(u"S", u"k", 0, file), 6);
    ASSERT_TRUE(pp::WritePrivateProfileString(u"S", u"k", u"7", file));
    EXPECT_EQ(ReadBytes(file), WindowsFile({u"[S]", u"k=7"}));
    // UTF-16LE that lost its mark.
    WriteBytes(file, Le(u"[S]\r\nk=8\r\n"));
    EXPECT_EQ(pp::GetPrivateProfileInt(u"S", u"k", 0, file), 8);
}

TEST_F(ProfileDamagedFile, AnsiBytesReadAsLatin1) {
    WriteBytes(file, "[S]\r\nname=caf\xE9\r\nn=3\r\n");
    EXPECT_EQ(pp::GetPrivateProfileString(u"S", u"name", u"", file), u"café");
    EXPECT_EQ(pp::GetPrivateProfileInt(u"S", u"n", 0, file), 3);
}

TEST_F(ProfileDamagedFile, EmptyFile) {
    WriteBytes(file, "");
    EXPECT_EQ(pp::GetPrivateProfileInt(u"S", u"k", 9, file), 9);
    ASSERT_TRUE(pp::WritePrivateProfileString(u"S", u"k", u"1", file));
    EXPECT_EQ(ReadBytes(file), WindowsFile({u"[S]", u"k=1"}));
}

TEST_F(ProfileDamagedFile, NulUnitsDoNotConfuseTheReader) {
    std::u16string text = u"[S]\r\nk=12";
    text += u'\0';
    text += u"34\r\n[T";
    text += u'\0';
    text += u"]\r\nj=1\r\n";
    text += std::u16string(5, u'\0');
    text += u"\r\n[U]\r\nz=2\r\n";
    WriteBytes(file, Bom() + Le(text));
    EXPECT_EQ(pp::GetPrivateProfileInt(u"S", u"k", 0, file), 12);
    EXPECT_EQ(pp::GetPrivateProfileString(u"S", u"k", u"", file), u"12");
    EXPECT_EQ(pp::GetPrivateProfileInt(u"T", u"j", 0, file), 0);
    EXPECT_EQ(pp::GetPrivateProfileInt(std::u16string(u"T\0", 2), u"j", 0, file), 1);
    EXPECT_EQ(pp::GetPrivateProfileInt(u"U", u"z", 0, file), 2);
    // Editing elsewhere keeps the odd lines as they were.
    ASSERT_TRUE(pp::WritePrivateProfileString(u"U", u"z", u"3", file));
    std::u16string expected = text;
    expected.replace(expected.find(u"z=2"), 3, u"z=3");
    EXPECT_EQ(ReadBytes(file), Bom() + Le(expected));
}

TEST_F(ProfileDamagedFile, BinaryGarbage) {
    std::mt19937 rng(1234);
    std::string garbage(64 * 1024, '\0');
    for (char& c : garbage) {
        c = static_cast<char>(rng());
    }
    for (const std::string& bytes : {garbage, Bom() + garbage, "\xFE\xFF" + garbage}) {
        WriteBytes(file, bytes);
        EXPECT_EQ(pp::GetPrivateProfileInt(u"Settings", u"CloseBtnOperation", 1, file), 1);
        std::array<unsigned char, 16> record{};
        EXPECT_FALSE(pp::GetPrivateProfileStruct(u"S", u"r", record.data(), record.size(), file));
        pp::GetPrivateProfileSectionNames(file);
        // A write succeeds and reads back; the rest of the garbage stays (as UTF-16).
        ASSERT_TRUE(pp::WritePrivateProfileString(u"Settings", u"CloseBtnOperation", u"0", file));
        EXPECT_EQ(pp::GetPrivateProfileInt(u"Settings", u"CloseBtnOperation", 1, file), 0);
        EXPECT_GE(ReadBytes(file).size(), garbage.size());
    }
}

TEST_F(ProfileDamagedFile, HundredMegabyteLineIsNotRewritten) {
    // 100 MB in one line between two sections: the part before it reads; the file is too large
    // to be rewritten, so a write fails and leaves it whole.
    std::string bytes = WindowsFile({u"[A]", u"k=1"});
    bytes += Le(u"junk=");
    bytes.append(100u << 20, 'A');  // "AA" is the unit U+4141
    bytes += Le(u"\r\n[B]\r\nk=2\r\n");
    WriteBytes(file, bytes);
    const auto size = fs::file_size(file);

    EXPECT_EQ(pp::GetPrivateProfileInt(u"A", u"k", 0, file), 1);
    EXPECT_EQ(pp::GetPrivateProfileInt(u"B", u"k", 0, file), 0);  // beyond what is read
    EXPECT_FALSE(pp::WritePrivateProfileString(u"A", u"k", u"5", file));
    EXPECT_EQ(fs::file_size(file), size);
    EXPECT_EQ(pp::GetPrivateProfileInt(u"A", u"k", 0, file), 1);
}

TEST_F(ProfileDamagedFile, LongLineWithinTheLimitIsKept) {
    std::string bytes = WindowsFile({u"[A]", u"k=1"});
    const std::string longLine = Le(u"blob=") + std::string(8u << 20, 'B');
    bytes += longLine + Le(u"\r\n[B]\r\nk=2\r\n");
    WriteBytes(file, bytes);
    EXPECT_EQ(pp::GetPrivateProfileInt(u"B", u"k", 0, file), 2);
    ASSERT_TRUE(pp::WritePrivateProfileString(u"B", u"k", u"3", file));
    const std::string after = ReadBytes(file);
    // Only the unit of the digit changed: "2\r\n" became "3\r\n" at the very end.
    ASSERT_EQ(after.size(), bytes.size());
    const size_t same = bytes.size() - Le(u"2\r\n").size();
    EXPECT_EQ(after.compare(0, same, bytes, 0, same), 0);
    EXPECT_EQ(after.substr(same), Le(u"3\r\n"));
    EXPECT_EQ(pp::GetPrivateProfileInt(u"B", u"k", 0, file), 3);
}

TEST_F(ProfileDamagedFile, CutStructAndHalfWrittenLines) {
    WriteBytes(file, Bom() + Le(u"[LastStatus]\r\nCurrentEffect=0102030"));
    std::array<unsigned char, 3> record{};
    EXPECT_FALSE(pp::GetPrivateProfileStruct(u"LastStatus", u"CurrentEffect", record.data(),
                                             record.size(), file));
    WriteBytes(file, Bom() + Le(u"[LastStat"));
    EXPECT_EQ(pp::GetPrivateProfileInt(u"LastStat", u"x", 4, file), 4);
    ASSERT_TRUE(pp::WritePrivateProfileString(u"LastStat", u"x", u"5", file));
    EXPECT_EQ(ReadBytes(file), Bom() + Le(u"[LastStat\r\n[LastStat]\r\nx=5\r\n"));
}

TEST(ProfileText, Utf8Conversions) {
    EXPECT_EQ(pp::FromUtf8("a\xC3\xA9\xE5\x8E\x9F\xF0\x9F\x98\x80"), u"aé原😀");
    EXPECT_EQ(pp::ToUtf8(u"aé原😀"), "a\xC3\xA9\xE5\x8E\x9F\xF0\x9F\x98\x80");
    EXPECT_EQ(pp::FromUtf8("\xC0\xAF\xFF"), u"\uFFFD\uFFFD\uFFFD");  // overlong and invalid
    EXPECT_EQ(pp::FromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
    EXPECT_EQ(pp::ToUtf8(std::u16string(1, static_cast<char16_t>(0xD800))), "\xEF\xBF\xBD");
}

}  // namespace
