// lyntctl cloud effects / cloud effect against the velora-cloud-sim and lynt-virtual-card
// programs, alone and through the running panel.
#include <gtest/gtest.h>
#include <json/json.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "../core/FramesLog.h"
#include "../core/TempDir.h"
#include "ChildProcess.h"
#include "CloudStandIn.h"
#include "EffectStore.h"
#include "ProgramFolders.h"
#include "profile/Profile.h"

namespace {

using namespace std::chrono;

const std::string kCard = LYNT_VIRTUAL_CARD_BIN;
const std::string kCtl = LYNTCTL_BIN;

class CloudEffectE2E : public ::testing::Test {
protected:
    void SetUp() override {
        env = ProgramEnvironment(dir.Path());
        sim = std::make_unique<CloudStandIn>();
        ASSERT_TRUE(sim->Started()) << sim->Stderr();
        base = sim->Base();
        env.push_back(sim->Environment());
        socket = dir.Path() / "cards" / "#VID_2B53&PID_0041#0";
        framesLog = dir.Path() / "frames.log";
        card = std::make_unique<ChildProcess>(
            std::vector<std::string>{kCard, "--socket", socket.string(), "--frames-log",
                                     framesLog.string()},
            std::vector<std::string>{});
        for (int i = 0; i < 200 && !std::filesystem::exists(socket); ++i) {
            std::this_thread::sleep_for(milliseconds(10));
        }
        ASSERT_TRUE(std::filesystem::exists(socket));
    }

    ChildProcess::Result Ctl(std::vector<std::string> args) {
        args.insert(args.begin(), kCtl);
        return ChildProcess::Run(args, env, 30000);
    }

    Json::Value State() {
        card->WriteLine("state");
        std::istringstream in(card->ReadLine(3000));
        Json::Value root;
        in >> root;
        return root;
    }

    std::filesystem::path Data() { return dir.Path() / "data" / "Velora"; }
    std::filesystem::path Settings() { return Data() / "LyntConfigData.db"; }

    TempDir dir;
    std::vector<std::string> env;
    std::string base;
    std::filesystem::path socket;
    std::filesystem::path framesLog;
    std::unique_ptr<CloudStandIn> sim;
    std::unique_ptr<ChildProcess> card;
};

TEST_F(CloudEffectE2E, ListUseOnceAndStoreInASlotWithoutThePanel) {
    auto list = Ctl({"--json", "cloud", "effects"});
    ASSERT_EQ(list.status, 0) << list.err;
    auto lines = JsonLines(list.out);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3]["category"].asString(), "特效 & 变声");
    EXPECT_EQ(lines[3]["name"].asString(), "机器人");
    EXPECT_EQ(lines[3]["position"].asInt(), 3);
    EXPECT_FALSE(lines[3]["downloaded"].asBool());
    EXPECT_TRUE(HostFrames(framesLog).empty()) << "listing leaves the card alone";

    auto use = Ctl({"cloud", "effect", "机器人", "--use"});
    ASSERT_EQ(use.status, 0) << use.err;
    const std::filesystem::path file = Data() / "CloudEff" / "特效 && 变声" / "4.eff";
    ASSERT_TRUE(std::filesystem::is_regular_file(file));
    // The card took the whole file: its records, counted against the file's own header.
    Json::Value download = State()["effect_download"];
    EXPECT_TRUE(download["counts_match"].asBool()) << download.toStyledString();
    EXPECT_GT(download["frames"].asInt(), 3);
    model::EffectRecord current{};
    ASSERT_TRUE(model::CEffectStore(Settings()).ReadCurrentEffect(current));
    EXPECT_EQ(model::RecordText(current.name), u"机器人");
    EXPECT_EQ(model::PathFromText(model::RecordText(current.source)), file);
    EXPECT_EQ(current.params[6], 164);
    const auto records = model::CEffectStore(Settings()).ReadDownloadedEffects();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(model::RecordText(records[0].category), u"特效 && 变声");
    EXPECT_EQ(platform::profile::GetPrivateProfileInt(u"Download", u"4.eff", 0,
                                                      Data() / "CloudEff" / "Download.ini"),
              1);

    // Downloaded once: a second use sends the file again without another record.
    lines = JsonLines(Ctl({"--json", "cloud", "effects"}).out);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(lines[3]["downloaded"].asBool());
    ASSERT_EQ(Ctl({"cloud", "effect", "3", "--use"}).status, 0);
    EXPECT_EQ(model::CEffectStore(Settings()).ReadDownloadedEffects().size(), 1u);

    // Slot 1: the card's effect number for a file (0 + 7) and the device custom record.
    auto slot = Ctl({"cloud", "effect", "低沉", "--slot", "1"});
    ASSERT_EQ(slot.status, 0) << slot.err;
    EXPECT_EQ(State()["params"][6].asInt(), 7);
    model::EffectRecord custom{};
    ASSERT_TRUE(model::CEffectStore(Settings()).ReadDeviceCustomEffect(0, custom));
    EXPECT_EQ(model::PathFromText(model::RecordText(custom.source)),
              Data() / "CloudEff" / "男声" / "1.eff");
    EXPECT_EQ(custom.downloaded, 1);
}

TEST_F(CloudEffectE2E, AFailedDownloadIsStatusThreeAndLeavesNoFile) {
    sim.reset();
    sim = std::make_unique<CloudStandIn>(std::vector<std::string>{"effect-file=404"});
    base = sim->Base();
    env.back() = sim->Environment();
    auto use = Ctl({"cloud", "effect", "甜美", "--use"});
    EXPECT_EQ(use.status, 3);
    EXPECT_NE(use.err.find("甜美音效下载失败"), std::string::npos) << use.err;
    EXPECT_TRUE(std::filesystem::is_empty(Data() / "CloudEff" / "女声"));
    EXPECT_TRUE(HostFrames(framesLog).empty());
    EXPECT_EQ(Ctl({"cloud", "effect", "nope"}).status, 1);
    EXPECT_EQ(Ctl({"cloud", "effect", "低沉", "--slot", "3"}).status, 1);
}

#ifdef VELORA_BIN
// Through the running panel: the card gets the file from the panel, and the panel's cloud tree
// marks the effect in use.
TEST_F(CloudEffectE2E, UseThroughThePanelMarksItInTheTree) {
    auto xserver = std::make_unique<ChildProcess>(
        std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen",
                                 "0", "1280x900x24"},
        std::vector<std::string>{});
    const std::string display = xserver->ReadLine(10000);
    if (display.empty()) {
        GTEST_SKIP() << "no X server could be started";
    }
    env.push_back("DISPLAY=:" + display);
    auto log = [&] {
        std::string all;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(Data() / "log", ec)) {
            std::ifstream in(e.path());
            std::stringstream text;
            text << in.rdbuf();
            all += text.str();
        }
        return all;
    };
    auto waitFor = [&](const std::string& text, int ms) {
        for (auto end = steady_clock::now() + milliseconds(ms); steady_clock::now() < end;) {
            if (log().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(milliseconds(50));
        }
        return false;
    };
    ChildProcess velora({VELORA_BIN}, env);
    ASSERT_TRUE(waitFor("\"card connected\"", 15000)) << log();
    auto use = Ctl({"cloud", "effect", "机器人", "--use"});
    ASSERT_EQ(use.status, 0) << use.err;
    EXPECT_TRUE(State()["effect_download"]["counts_match"].asBool());
    EXPECT_TRUE(waitFor("current cloud effect 机器人", 5000)) << log();
    EXPECT_EQ(model::CEffectStore(Settings()).ReadDownloadedEffects().size(), 1u);
    velora.Terminate();
}
#endif

}  // namespace
