#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "DiskSpace.h"
#include "Log/Log.h"
#include "Log/LogRetention.h"
#include "TempDir.h"

#define LOG_SOURCE "tests\\core\\test_growth_limits"

namespace {

void WriteFile(const std::filesystem::path& path, size_t bytes) {
    std::ofstream out(path, std::ios::binary);
    out << std::string(bytes, 'x');
}

std::vector<std::string> Lines(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> Names(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

// Reference values from Python's datetime (days since 1970-01-01).
TEST(LogRetention, DayNumbersMatchTheCalendar) {
    const std::pair<const char*, long> known[] = {
        {"19700101", 0},     {"19691231", -1},    {"20000301", 11017},
        {"20240229", 19782}, {"20261210", 20797}, {"21000301", 47541},
    };
    for (const auto& [text, expected] : known) {
        long day = 12345;
        ASSERT_TRUE(vlog::DayNumber(text, day)) << text;
        EXPECT_EQ(day, expected) << text;
    }
    long day = 0;
    for (const char* bad : {"20230229", "21000229", "20241301", "20240100", "20240431", "2024121",
                            "2024121a", "", "202412101"}) {
        EXPECT_FALSE(vlog::DayNumber(bad, day)) << bad;
    }
}

TEST(LogRetention, OldDaysAndExcessSizeGoTodayAndOtherFilesStay) {
    TempDir dir;
    const auto f = dir.Path();
    WriteFile(f / "velora_20261125.log", 10);  // 15 days before today: goes
    WriteFile(f / "velora_20261126.log", 10);  // 14 days: stays
    WriteFile(f / "velora_20261209.log", 10);
    WriteFile(f / "velora_20261210.log", 10);
    WriteFile(f / "lyntctl_20200101.log", 10);  // another module's
    WriteFile(f / "velora_2026121.log", 10);    // not a daily file of ours
    WriteFile(f / "notes.txt", 10);
    vlog::LogLimits limits;
    EXPECT_EQ(vlog::PruneLogFolder(f, "velora", "20261210", limits), 1u);
    EXPECT_EQ(Names(f), (std::vector<std::string>{"lyntctl_20200101.log", "notes.txt",
                                                  "velora_20261126.log", "velora_20261209.log",
                                                  "velora_2026121.log", "velora_20261210.log"}));

    // Over the size cap the oldest go first, down to the cap; today's file is never removed even
    // when it alone is over.
    limits.maxTotalBytes = 2500;
    WriteFile(f / "velora_20261126.log", 1000);
    WriteFile(f / "velora_20261209.log", 1000);
    WriteFile(f / "velora_20261210.log", 1000);
    EXPECT_EQ(vlog::PruneLogFolder(f, "velora", "20261210", limits), 1u);
    EXPECT_FALSE(std::filesystem::exists(f / "velora_20261126.log"));
    EXPECT_TRUE(std::filesystem::exists(f / "velora_20261209.log"));
    limits.maxTotalBytes = 10;
    EXPECT_EQ(vlog::PruneLogFolder(f, "velora", "20261210", limits), 1u);
    EXPECT_TRUE(std::filesystem::exists(f / "velora_20261210.log"));
    EXPECT_EQ(vlog::PruneLogFolder(f / "missing", "velora", "20261210", limits), 0u);
}

// A card that sends garbage logs one line per frame; the file gets a few and a count.
TEST(LogLimits, RepeatedLinesAreCountedNotWritten) {
    TempDir dir;
    std::filesystem::path file;
    {
        vlog::CLogManager log;
        vlog::LogLimits limits;
        limits.burstLines = 3;
        limits.burstSeconds = 3600;
        log.SetLimits(limits);
        ASSERT_TRUE(log.Start(dir.Path(), "velora"));
        for (int i = 0; i < 1000; ++i) {
            VLOG_ERROR("device", "Receive", "bad frame %d", i);
        }
        VLOG_ERROR("device", "Other", "another place still logs");
        log.Flush();
        EXPECT_EQ(log.SuppressedLines(), 997u);
        file = log.CurrentFile();
        log.Stop();
    }
    const auto lines = Lines(file);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_NE(lines[0].find("bad frame 0"), std::string::npos);
    EXPECT_NE(lines[2].find("bad frame 2"), std::string::npos);
    EXPECT_NE(lines[3].find("another place still logs"), std::string::npos);
    EXPECT_NE(lines[4].find("repeated 997 more times"), std::string::npos);
    EXPECT_NE(lines[4].find("bad frame 999"), std::string::npos);
}

TEST(LogLimits, ADaysFileStopsAtItsCapWithAReason) {
    TempDir dir;
    std::filesystem::path file;
    vlog::CLogManager log;
    vlog::LogLimits limits;
    limits.burstLines = 0;  // no repetition limit: only the size cap is under test
    limits.maxFileBytes = 4000;
    log.SetLimits(limits);
    ASSERT_TRUE(log.Start(dir.Path(), "velora"));
    for (int i = 0; i < 200; ++i) {
        VLOG_ERROR("t", "Fill", "line %d with some text to fill the file", i);
    }
    log.Flush();
    file = log.CurrentFile();
    log.Stop();
    EXPECT_LE(std::filesystem::file_size(file), 4000u + 300u);
    const auto lines = Lines(file);
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("size limit"), std::string::npos);
    EXPECT_GT(log.DroppedLines(), 100u);
}

// The free space against df's own figure for the same folder (it moves a little between the two
// reads, so within 64 MB).
TEST(DiskSpace, FreeBytesAgreesWithDfAndRefusesWhatDoesNotFit) {
    TempDir dir;
    uint64_t free = 0;
    ASSERT_TRUE(appbase::FreeBytes(dir.Path() / "not" / "there" / "yet.mp3", free));
    const std::string command = "df --output=avail -B1 '" + dir.Path().string() + "' | tail -1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char text[64] = "";
    ASSERT_NE(std::fgets(text, sizeof text, pipe), nullptr);
    ::pclose(pipe);
    const uint64_t reference = std::stoull(text);
    const uint64_t tolerance = 64ull * 1024 * 1024;
    EXPECT_LE(free, reference + tolerance);
    EXPECT_GE(free + tolerance, reference);

    std::u16string why;
    EXPECT_TRUE(appbase::EnoughSpaceFor(dir.Path() / "clip.mp3", 1024, &why));
    EXPECT_TRUE(why.empty());
    EXPECT_FALSE(appbase::EnoughSpaceFor(dir.Path() / "clip.mp3", free, &why));
    EXPECT_EQ(why, appbase::DiskFullText());
    EXPECT_FALSE(appbase::EnoughSpaceFor(dir.Path(), UINT64_MAX, nullptr));
}
