// lyntctl cloud against the velora-cloud-sim program: what a script sees.
#include <gtest/gtest.h>
#include <json/json.h>

#include <algorithm>
#include <filesystem>

#include "../core/TempDir.h"
#include "CloudStandIn.h"
#include "ProgramFolders.h"

namespace {

class LyntctlCloud : public ::testing::Test {
protected:
    void SetUp() override {
        m_sim = std::make_unique<CloudStandIn>(std::vector<std::string>{"clips:2=404"});
        ASSERT_TRUE(m_sim->Started()) << m_sim->Stderr();
        m_base = m_sim->Base();
    }

    ChildProcess::Result Ctl(std::vector<std::string> args, const std::string& base = {}) {
        args.insert(args.begin(), LYNTCTL_BIN);
        auto env = ProgramEnvironment(m_dir.Path());
        env.push_back("VELORA_CLOUD_URL=" + (base.empty() ? m_base : base));
        return ChildProcess::Run(args, env, 30000);
    }

    TempDir m_dir;
    std::unique_ptr<CloudStandIn> m_sim;
    std::string m_base;
};

TEST_F(LyntctlCloud, ListsCategoriesAndClipsAndDownloadsOne) {
    auto categories = Ctl({"--json", "cloud", "sounds"});
    ASSERT_EQ(categories.status, 0) << categories.err;
    const auto lines = JsonLines(categories.out);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0]["name"].asString(), "搞笑");
    EXPECT_EQ(lines[1]["clips"].asInt(), 0);  // its clip list failed
    EXPECT_EQ(lines[8]["clips"].asInt(), 3);

    auto clips = Ctl({"cloud", "sounds", "欢呼"});
    ASSERT_EQ(clips.status, 0) << clips.err;
    EXPECT_EQ(clips.out.rfind("301 欢呼1 " + m_base + "/files/sound/301.mp3\n", 0), 0u);

    auto download = Ctl({"cloud", "sound", "902"});
    ASSERT_EQ(download.status, 0) << download.err;
    const auto file = m_dir.Path() / "data" / "Velora" / "CloudSound" / "902.mp3";
    EXPECT_EQ(download.out, file.string() + "\n");
    EXPECT_TRUE(std::filesystem::is_regular_file(file));
}

TEST_F(LyntctlCloud, FailuresExitWithTheirStatus) {
    EXPECT_EQ(Ctl({"cloud", "sound", "999999"}).status, 1);  // no such clip
    EXPECT_EQ(Ctl({"cloud", "sounds", "nope"}).status, 1);
    EXPECT_EQ(Ctl({"cloud", "frobnicate"}).status, 1);
    const auto down = Ctl({"cloud", "sounds"}, "http://127.0.0.1:1/tuning");
    EXPECT_EQ(down.status, 3);
    EXPECT_TRUE(down.err.starts_with(
        "cloud: the sound categories could not be fetched from http://127.0.0.1:1/tuning"))
        << down.err;
    EXPECT_EQ(down.err.find("特效"), std::string::npos) << "these are no effect categories";
    EXPECT_EQ(std::count(down.err.begin(), down.err.end(), '\n'), 1) << down.err;
}

}  // namespace
