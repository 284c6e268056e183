// Writes that cannot reach the disk: each returns false and leaves the file exactly as it was,
// with no temporary file behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <array>
#include <chrono>

#include "ProfileTestUtil.h"
#include "profile/Profile.h"

namespace pp = platform::profile;
using namespace profile_test;

namespace {

class ProfileWriteFailure : public ::testing::Test {
protected:
    void SetUp() override {
        folder = dir / "data";
        fs::create_directory(folder);
        file = folder / "LyntConfigData.db";
        WriteBytes(file, original);
    }

    void ExpectUntouched() {
        EXPECT_EQ(ReadBytes(file), original);
        EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"LyntConfigData.db"});
    }

    TempDir dir;
    fs::path folder;
    fs::path file;
    const std::string original = WindowsFile({u"[Settings]", u"CloseBtnOperation=0"});
};

// Permission bits do not stop root, and the tests run as root in CI: there the write runs in a
// child that has dropped to "nobody".
std::optional<bool> WriteWithoutPrivileges(const std::function<bool()>& write) {
    if (::geteuid() != 0) {
        return write();
    }
    return RunAsNobody(write);
}

TEST_F(ProfileWriteFailure, ReadOnlyFolder) {
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read |
                                fs::perms::others_exec);
    // Writable file, read-only folder: the temporary file cannot be made, so nothing happens.
    fs::permissions(file, fs::perms::all);
    const auto result = WriteWithoutPrivileges([this] {
        // The child must be able to read the file, or the test proves nothing.
        if (pp::GetPrivateProfileInt(u"Settings", u"CloseBtnOperation", 1, file) != 0) {
            ::_exit(4);
        }
        return pp::WritePrivateProfileString(u"Settings", u"CloseBtnOperation", u"1", file);
    });
    if (!result) {
        GTEST_SKIP() << "could not run the write as an unprivileged user";
    }
    EXPECT_FALSE(*result);
    ExpectUntouched();
}

TEST_F(ProfileWriteFailure, ReadOnlyFile) {
    // A rename would replace a read-only file without asking; Windows would refuse to write it.
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(folder, fs::perms::all);
    const auto result = WriteWithoutPrivileges([this] {
        return pp::WritePrivateProfileString(u"Settings", u"CloseBtnOperation", u"1", file);
    });
    if (!result) {
        GTEST_SKIP() << "could not run the write as an unprivileged user";
    }
    EXPECT_FALSE(*result);
    ExpectUntouched();
}

TEST_F(ProfileWriteFailure, DiskFull) {
    // RLIMIT_FSIZE makes the write of the temporary file fail (EFBIG) exactly as a full disk
    // (ENOSPC) would, without needing a small file system; it binds root too. The limit and the
    // ignored SIGXFSZ stay in the child.
    const auto result = RunInChild([this] {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {};
        limit.rlim_cur = limit.rlim_max = 1024;
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            ::_exit(5);
        }
        std::array<unsigned char, 1560> effect{};
        return pp::WritePrivateProfileStruct(u"LastStatus", u"CurrentEffect", effect.data(),
                                             effect.size(), file);
    });
    ASSERT_TRUE(result.has_value());
    EXPECT_FALSE(*result);
    ExpectUntouched();
}

TEST_F(ProfileWriteFailure, ParentIsARegularFile) {
    const fs::path inside = file / "LyntMoodcfg.ini";
    EXPECT_FALSE(pp::WritePrivateProfileString(u"Config", u"Volume", u"50", inside));
    EXPECT_EQ(pp::GetPrivateProfileInt(u"Config", u"Volume", 76, inside), 76);
    ExpectUntouched();
}

TEST_F(ProfileWriteFailure, MissingFolder) {
    EXPECT_FALSE(pp::WritePrivateProfileString(u"S", u"k", u"v", folder / "nope" / "x.ini"));
    ExpectUntouched();
}

TEST_F(ProfileWriteFailure, FolderInPlaceOfTheFile) {
    const fs::path sub = folder / "sub.ini";
    fs::create_directory(sub);
    EXPECT_EQ(pp::GetPrivateProfileInt(u"S", u"k", 3, sub), 3);
    EXPECT_FALSE(pp::WritePrivateProfileString(u"S", u"k", u"v", sub));
    EXPECT_TRUE(fs::is_directory(sub));
}

TEST_F(ProfileWriteFailure, FifoInPlaceOfTheFileDoesNotHang) {
    const fs::path fifo = folder / "fifo.ini";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(pp::GetPrivateProfileInt(u"S", u"k", 3, fifo), 3);
    EXPECT_FALSE(pp::WritePrivateProfileString(u"S", u"k", u"v", fifo));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
