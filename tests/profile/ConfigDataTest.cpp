// The settings store and the data folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <cstdlib>

#include "ConfigData.h"
#include "DataFolder.h"
#include "ProfileTestUtil.h"
#include "profile/Profile.h"

namespace pp = platform::profile;
using namespace profile_test;

namespace {

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        const char* old = std::getenv(name);
        if (old != nullptr) {
            m_old = old;
        }
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (m_old) {
            ::setenv(m_name, m_old->c_str(), 1);
        } else {
            ::unsetenv(m_name);
        }
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

class ConfigData : public ::testing::Test {
protected:
    void SetUp() override { file = dir / CConfigData::kFileName; }
    TempDir dir;
    fs::path file;
};

TEST_F(ConfigData, FirstStartCreatesTheByteOrderMarkOnly) {
    CConfigData config;
    ASSERT_TRUE(config.Load(file));
    EXPECT_TRUE(config.IsLoaded());
    EXPECT_EQ(config.GetPath(), file);
    EXPECT_EQ(ReadBytes(file), std::string("\xFF\xFE", 2));
    EXPECT_EQ(config.GetInt(CConfigData::kCloseBtnOperation), 1);  // closing ends the program
    EXPECT_EQ(config.GetInt(CConfigData::kMainWinTopmost), 0);
    EXPECT_EQ(config.GetLastRecordTime(), u"");
    EXPECT_EQ(config.GetDownloadCount(), 0);
}

TEST_F(ConfigData, TableDefaultsBeforeLoadAndForAnEmptyPath) {
    CConfigData config;
    EXPECT_FALSE(config.IsLoaded());
    EXPECT_EQ(config.GetInt(0), 1);
    EXPECT_EQ(config.GetInt(1), 0);
    EXPECT_EQ(config.GetInt(2), 0);
    EXPECT_EQ(config.GetInt(-1), 0);
    EXPECT_EQ(config.GetLastRecordTime(), u"");
    EXPECT_FALSE(config.SetDownloadCount(3));

    EXPECT_FALSE(config.Load(fs::path()));
    EXPECT_FALSE(config.IsLoaded());
    EXPECT_EQ(config.GetInt(CConfigData::kCloseBtnOperation), 1);

    ASSERT_EQ(CConfigData::kTable.size(), 2u);
    EXPECT_EQ(std::u16string(CConfigData::kTable[0].key), u"CloseBtnOperation");
    EXPECT_EQ(CConfigData::kTable[0].defaultValue, 1);
    EXPECT_EQ(std::u16string(CConfigData::kTable[1].key), u"MainWinTopmost");
    EXPECT_EQ(CConfigData::kTable[1].defaultValue, 0);
}

TEST_F(ConfigData, ReadsTheSettingsOfAnExistingFileWithoutChangingIt) {
    const std::string bytes =
        WindowsFile({u"[settings]", u"closebtnoperation=0", u"MainWinTopmost=1", u"[Time]",
                     u"LastRecordTime=01:02:03"});
    WriteBytes(file, bytes);
    CConfigData config;
    ASSERT_TRUE(config.Load(file));
    EXPECT_EQ(config.GetInt(CConfigData::kCloseBtnOperation), 0);
    EXPECT_EQ(config.GetInt(CConfigData::kMainWinTopmost), 1);
    EXPECT_EQ(config.GetLastRecordTime(), u"01:02:03");
    EXPECT_EQ(ReadBytes(file), bytes);

    // Values are read once: a later change of the file is not seen until the next Load.
    WriteBytes(file, WindowsFile({u"[Settings]", u"CloseBtnOperation=7"}));
    EXPECT_EQ(config.GetInt(CConfigData::kCloseBtnOperation), 0);
    ASSERT_TRUE(config.Load(file));
    EXPECT_EQ(config.GetInt(CConfigData::kCloseBtnOperation), 7);
    EXPECT_EQ(config.GetInt(CConfigData::kMainWinTopmost), 0);
}

TEST_F(ConfigData, MalformedValuesGiveTheLeadingNumber) {
    WriteBytes(file,
               WindowsFile({u"[Settings]", u"CloseBtnOperation=0abc", u"MainWinTopmost=yes"}));
    CConfigData config;
    ASSERT_TRUE(config.Load(file));
    EXPECT_EQ(config.GetInt(CConfigData::kCloseBtnOperation), 0);
    EXPECT_EQ(config.GetInt(CConfigData::kMainWinTopmost), 0);
}

TEST_F(ConfigData, FileThatCannotBeCreatedLeavesTheDefaults) {
    CConfigData config;
    EXPECT_TRUE(config.Load(dir / "missing-folder" / CConfigData::kFileName));
    EXPECT_EQ(config.GetInt(CConfigData::kCloseBtnOperation), 1);
    EXPECT_FALSE(config.SetDownloadCount(1));
}

TEST_F(ConfigData, DownloadCountAndLastRecordTime) {
    CConfigData config;
    ASSERT_TRUE(config.Load(file));
    ASSERT_TRUE(config.SetDownloadCount(5));
    ASSERT_TRUE(config.SetLastRecordTime(u"00:00:42"));
    EXPECT_EQ(ReadBytes(file), WindowsFile({u"[DownloadEffect]", u"count=5", u"[Time]",
                                            u"LastRecordTime=00:00:42"}));
    EXPECT_EQ(config.GetDownloadCount(), 5);
    EXPECT_EQ(config.GetLastRecordTime(), u"00:00:42");

    // Read into the usual 260-character buffer: at most 259 characters.
    ASSERT_TRUE(config.SetLastRecordTime(std::u16string(400, u'9')));
    EXPECT_EQ(config.GetLastRecordTime(), std::u16string(259, u'9'));
}

TEST_F(ConfigData, AddDownloadRecordWritesRecordAndCountTogether) {
    CConfigData config;
    ASSERT_TRUE(config.Load(file));
    std::array<unsigned char, 784> first{};
    first[0] = 1;
    std::array<unsigned char, 784> second{};
    second[783] = 2;
    ASSERT_TRUE(config.AddDownloadRecord(first.data(), first.size()));
    ASSERT_TRUE(config.AddDownloadRecord(second.data(), second.size()));
    EXPECT_EQ(config.GetDownloadCount(), 2);
    std::array<unsigned char, 784> back{};
    ASSERT_TRUE(pp::GetPrivateProfileStruct(config_keys::kDownloadEffect, u"0", back.data(),
                                            back.size(), config.GetPath()));
    EXPECT_EQ(back, first);
    ASSERT_TRUE(pp::GetPrivateProfileStruct(config_keys::kDownloadEffect, u"1", back.data(),
                                            back.size(), config.GetPath()));
    EXPECT_EQ(back, second);
    // The first record created the section, before its count, as Windows would write it.
    EXPECT_EQ(pp::GetPrivateProfileKeyNames(config_keys::kDownloadEffect, file),
              (std::vector<std::u16string>{u"0", u"count", u"1"}));

    // A hand-edited negative count starts again at 0.
    ASSERT_TRUE(config.SetDownloadCount(-4));
    ASSERT_TRUE(config.AddDownloadRecord(second.data(), second.size()));
    EXPECT_EQ(config.GetDownloadCount(), 1);
}

TEST(DataFolder, FollowsXdgDataHome) {
    TempDir dir;
    const std::string xdg = (dir / "xdg").string();
    ScopedEnv env("XDG_DATA_HOME", xdg.c_str());
    EXPECT_EQ(appbase::DataFolderPath(), dir / "xdg" / "Velora");
    EXPECT_FALSE(fs::exists(dir / "xdg"));
    EXPECT_EQ(appbase::DataFolder(), dir / "xdg" / "Velora");
    ASSERT_TRUE(fs::is_directory(dir / "xdg" / "Velora"));
    struct stat st {};
    ASSERT_EQ(::stat((dir / "xdg" / "Velora").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(CConfigData::DefaultPath(), dir / "xdg" / "Velora" / "LyntConfigData.db");
    EXPECT_EQ(appbase::DataSubFolder("log"), dir / "xdg" / "Velora" / "log");
    EXPECT_TRUE(fs::is_directory(dir / "xdg" / "Velora" / "log"));
}

TEST(DataFolder, FallsBackToHomeWhenXdgDataHomeIsUnsetOrRelative) {
    TempDir dir;
    ScopedEnv home("HOME", dir.path().c_str());
    {
        ScopedEnv env("XDG_DATA_HOME", nullptr);
        EXPECT_EQ(appbase::DataFolderPath(), dir / ".local" / "share" / "Velora");
    }
    {
        ScopedEnv env("XDG_DATA_HOME", "relative/path");
        EXPECT_EQ(appbase::DataFolderPath(), dir / ".local" / "share" / "Velora");
    }
    {
        ScopedEnv env("XDG_DATA_HOME", "");
        EXPECT_EQ(appbase::DataFolder(), dir / ".local" / "share" / "Velora");
        EXPECT_TRUE(fs::is_directory(dir / ".local" / "share" / "Velora"));
    }
}

TEST(DataFolder, FirstStartThroughTheDataFolder) {
    TempDir dir;
    ScopedEnv env("XDG_DATA_HOME", dir.path().c_str());
    CConfigData& config = CConfigData::Instance();
    ASSERT_TRUE(config.Load(CConfigData::DefaultPath()));
    EXPECT_EQ(ReadBytes(dir / "Velora" / "LyntConfigData.db"), std::string("\xFF\xFE", 2));
    EXPECT_EQ(&config, &CConfigData::Instance());
}

// One rule for the panel and lyntctl: the settings file lives in the data folder or nowhere.
TEST(DataFolder, WithoutADataFolderThereIsNoSettingsFileAnywhere) {
    TempDir dir;
    WriteBytes(dir / "file", "x");
    ScopedEnv env("XDG_DATA_HOME", (dir / "file").c_str());  // no folder can be made under it
    EXPECT_TRUE(CConfigData::DefaultPath().empty());
    CConfigData config;
    EXPECT_FALSE(config.LoadDefault());
    EXPECT_FALSE(config.IsLoaded());

    // An empty data folder joined with the file name is a name in the working directory.
    const fs::path cwd = fs::current_path();
    fs::current_path(dir.path());
    const bool loaded = config.Load(fs::path() / CConfigData::kFileName);
    const bool written = config.SetDownloadCount(1);
    fs::current_path(cwd);
    EXPECT_FALSE(loaded);
    EXPECT_FALSE(written);
    EXPECT_TRUE(config.GetPath().empty());
    EXPECT_FALSE(fs::exists(dir / CConfigData::kFileName));
    EXPECT_EQ(config.GetInt(CConfigData::kCloseBtnOperation), 1);
}

}  // namespace
