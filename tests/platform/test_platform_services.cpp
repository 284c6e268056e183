#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "../core/TempDir.h"
#include "Autostart.h"
#include "CrashHandler.h"
#include "PanelLock.h"

namespace {

namespace autostart = platform::autostart;

class AutostartTest : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1); }
    void TearDown() override { ::unsetenv("XDG_CONFIG_HOME"); }
    TempDir dir;
};

TEST_F(AutostartTest, OnOffAndReadBack) {
    const std::filesystem::path program = "/opt/velora/bin/velora";
    EXPECT_FALSE(autostart::IsAutoStart(program));
    ASSERT_TRUE(autostart::SetAutoStart(true, program));
    EXPECT_EQ(autostart::EntryPath(), dir.Path() / "autostart" / "velora.desktop");
    EXPECT_TRUE(autostart::IsAutoStart(program));
    EXPECT_FALSE(autostart::IsAutoStart("/usr/bin/velora"));
    ASSERT_TRUE(autostart::SetAutoStart(false, program));
    EXPECT_FALSE(std::filesystem::exists(autostart::EntryPath()));
    EXPECT_FALSE(autostart::IsAutoStart(program));
    EXPECT_TRUE(autostart::SetAutoStart(false, program));  // already off
}

TEST_F(AutostartTest, AHiddenEntryIsOff) {
    const std::filesystem::path program = "/usr/bin/velora";
    ASSERT_TRUE(autostart::SetAutoStart(true, program));
    std::ofstream(autostart::EntryPath(), std::ios::app) << "Hidden=true\n";
    EXPECT_FALSE(autostart::IsAutoStart(program));
}

class AwkwardPaths : public ::testing::TestWithParam<std::string> {};

TEST_P(AwkwardPaths, SurviveQuotingAndPassTheValidator) {
    TempDir dir;
    ::setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    const std::filesystem::path program = GetParam();
    EXPECT_EQ(autostart::ProgramOfExec(autostart::ExecLine(program)), GetParam());
    ASSERT_TRUE(autostart::SetAutoStart(true, program));
    EXPECT_TRUE(autostart::IsAutoStart(program));
    std::string validate = "desktop-file-validate '" + autostart::EntryPath().string() + "' 2>&1";
    if (std::system("command -v desktop-file-validate >/dev/null") == 0) {
        FILE* p = ::popen(validate.c_str(), "r");
        std::string out;
        char buf[512];
        while (std::fgets(buf, sizeof buf, p)) out += buf;
        EXPECT_EQ(::pclose(p), 0) << out;
        EXPECT_EQ(out.find("error"), std::string::npos) << out;
    }
    ::unsetenv("XDG_CONFIG_HOME");
}

INSTANTIATE_TEST_SUITE_P(Paths, AwkwardPaths,
                         ::testing::Values("/home/a b/My Apps/velora", "/opt/say \"hi\"/velora",
                                           "/opt/$HOME/velora", "/opt/back\\slash/velora",
                                           "/opt/100%/velora", "/opt/`tick`/velora"));

TEST(CrashReport, NameCarriesTheLocalTime) {
    std::tm t{};
    t.tm_year = 2021 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 7;
    t.tm_hour = 9;
    t.tm_min = 5;
    t.tm_sec = 3;
    EXPECT_EQ(platform::crash::ReportFileName("velora", t), "velora_20210307090503.dmp");
}

// A program that crashes at every start must not fill the data folder with reports.
TEST(CrashReport, OnlyTheTenNewestReportsStay) {
    TempDir dir;
    for (int i = 0; i < 13; ++i) {
        std::tm t{};
        t.tm_year = 2026 - 1900;
        t.tm_mon = (i * 5) % 12;  // written out of order
        t.tm_mday = 1 + i;
        std::ofstream(dir.Path() / platform::crash::ReportFileName("velora", t)) << i;
    }
    std::ofstream(dir.Path() / "lyntctl_20200101000000.dmp") << "other program";
    std::ofstream(dir.Path() / "velora_notes.dmp") << "not a report name";
    EXPECT_EQ(platform::crash::PruneReports(dir.Path(), "velora", 10), 3u);
    // The three oldest: January 1st and 13th, February 6th.
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "velora_20260101000000.dmp"));
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "velora_20260113000000.dmp"));
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "velora_20260206000000.dmp"));
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / "velora_20260311000000.dmp"));
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / "velora_20261208000000.dmp"));
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / "lyntctl_20200101000000.dmp"));
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / "velora_notes.dmp"));
    EXPECT_EQ(platform::crash::PruneReports(dir.Path(), "velora", 10), 0u);
}

TEST(CrashReport, AFaultInAWorkerThreadWritesAReportAndStillKillsTheProcess) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers take a deliberate fault before the crash handler does";
#endif
    TempDir dir;
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        platform::crash::InstallCrashHandler(dir.Path(), "velora");
        std::thread worker([] {
            volatile int* nowhere = nullptr;
            *nowhere = 42;
        });
        worker.join();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGSEGV);

    std::vector<std::filesystem::path> reports;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) reports.push_back(e.path());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(std::regex_match(reports[0].filename().string(), std::regex(R"(velora_\d{14}\.dmp)")))
        << reports[0];
    std::ifstream in(reports[0]);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("SIGSEGV (11)"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("at address 0x0"), std::string::npos);
    EXPECT_NE(text.str().find("backtrace of the faulting thread"), std::string::npos);
    EXPECT_NE(text.str().find("[stack]"), std::string::npos);  // the memory map
}

// A signal sent by a process carries a negative code (raise: SI_TKILL, -6); it is printed as such.
TEST(CrashReport, ASentSignalShowsItsNegativeCode) {
    TempDir dir;
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        platform::crash::InstallCrashHandler(dir.Path(), "velora");
        ::raise(SIGSEGV);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    std::vector<std::filesystem::path> reports;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
        reports.push_back(e.path());
    ASSERT_EQ(reports.size(), 1u);
    std::ifstream in(reports[0]);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("SIGSEGV (11) code -6 "), std::string::npos) << text.str();
}

TEST(CrashReport, WithoutADataFolderTheReportGoesBesideTheProgram) {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    ASSERT_FALSE(ec);
    EXPECT_EQ(platform::crash::ReportFolder(""), exe.parent_path());
    EXPECT_EQ(platform::crash::ReportFolder("/data/Velora"), "/data/Velora");
}

// Without a usable $XDG_RUNTIME_DIR every name is the user's own, in a folder only the user can
// enter; a name planted in the shared folder by someone else is not used.
class RuntimeFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::unsetenv("XDG_RUNTIME_DIR");
        ::setenv("TMPDIR", (dir.Path() / "tmp").c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (dir.Path() / "cache").c_str(), 1);
        std::filesystem::create_directories(dir.Path() / "tmp");
        ::chmod((dir.Path() / "tmp").c_str(), 01777);
    }
    void TearDown() override {
        ::unsetenv("TMPDIR");
        ::unsetenv("XDG_CACHE_HOME");
    }
    std::string Uid() const { return std::to_string(::getuid()); }
    TempDir dir;
};

TEST_F(RuntimeFolderTest, EveryNameIsPerUserInAPrivateFolder) {
    namespace instance = platform::instance;
    const std::filesystem::path mine = dir.Path() / "tmp" / ("velora-" + Uid());
    EXPECT_EQ(instance::RuntimeFolder(), mine);
    EXPECT_TRUE(instance::IsPrivateFolder(mine));
    EXPECT_EQ(instance::PanelLockPath().parent_path(), mine);
    EXPECT_EQ(instance::PanelSocketPath().parent_path(), mine);

    // A runtime folder others can enter is not used either.
    std::filesystem::create_directories(dir.Path() / "open");
    ::chmod((dir.Path() / "open").c_str(), 0777);
    ::setenv("XDG_RUNTIME_DIR", (dir.Path() / "open").c_str(), 1);
    EXPECT_EQ(instance::RuntimeFolder(), mine);
    ::chmod((dir.Path() / "open").c_str(), 0700);
    EXPECT_EQ(instance::RuntimeFolder(), dir.Path() / "open");
}

TEST_F(RuntimeFolderTest, APlantedNameIsNotUsed) {
    namespace instance = platform::instance;
    // Someone made the user's name a link to a folder of theirs.
    std::filesystem::create_directories(dir.Path() / "theirs");
    std::filesystem::create_directory_symlink(dir.Path() / "theirs",
                                              dir.Path() / "tmp" / ("velora-" + Uid()));
    const std::filesystem::path folder = instance::RuntimeFolder();
    EXPECT_EQ(folder, dir.Path() / "cache" / ("velora-run-" + Uid()));
    EXPECT_TRUE(instance::IsPrivateFolder(folder));
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path() / "theirs"));
}

TEST_F(RuntimeFolderTest, AFolderOfAnotherUserIsNotUsed) {
    const std::filesystem::path planted = dir.Path() / "tmp" / ("velora-" + Uid());
    std::filesystem::create_directories(planted);
    ::chmod(planted.c_str(), 0777);
    if (::chown(planted.c_str(), ::getuid() + 1, static_cast<gid_t>(-1)) != 0) {
        GTEST_SKIP() << "only root can give a folder to another user";
    }
    EXPECT_EQ(platform::instance::RuntimeFolder(), dir.Path() / "cache" / ("velora-run-" + Uid()));
}

TEST(PanelLock, OnlyALiveHolderCounts) {
    TempDir dir;
    ::setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1);
    ASSERT_EQ(platform::instance::PanelLockPath(), dir.Path() / "velora.lock");
    EXPECT_FALSE(platform::instance::IsPanelRunning());
    std::ofstream(platform::instance::PanelLockPath()) << ::getppid() << "\nvelora\n";
    EXPECT_TRUE(platform::instance::IsPanelRunning());
    std::ofstream(platform::instance::PanelLockPath()) << 999999999 << "\nvelora\n";  // crashed run
    EXPECT_FALSE(platform::instance::IsPanelRunning());
    ::unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
