// lyntctl effects: the card's effect lists printed from the user's EffectList.xml, or from the one
// installed beside lyntctl; the same through the running panel. The card is never asked.
#include <gtest/gtest.h>
#include <json/json.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "../core/TempDir.h"
#include "ChildProcess.h"
#include "ProgramFolders.h"

namespace {

const std::string kCard = LYNT_VIRTUAL_CARD_BIN;
const std::string kCtl = LYNTCTL_BIN;
const std::string kVelora = VELORA_BIN;

const char kLists[] =
    "<AudioRack><Effect><Items Name=\"直播\" Collapse=\"0\"><Item Name=\"温暖 人声\" Path=\"3\"/>"
    "<Item Name=\"无编号\" Path=\"\"/></Items><Items Name=\"K歌\"><Item Name=\"录音棚\" "
    "Path=\"12abc\"/></Items></Effect></AudioRack>";

class LyntctlEffects : public ::testing::Test {
protected:
    void SetUp() override {
        env = ProgramEnvironment(dir.Path());
        std::filesystem::create_directories(ListFile().parent_path());
    }
    std::filesystem::path ListFile() const {
        return dir.Path() / "data" / "Velora" / "EffectList.xml";
    }

    bool WaitFor(const std::function<bool()>& done, int ms) {
        for (auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
             std::chrono::steady_clock::now() < end;) {
            if (done())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return done();
    }

    TempDir dir;
    std::vector<std::string> env;
};

TEST_F(LyntctlEffects, PrintsTheUsersLists) {
    std::ofstream(ListFile()) << kLists;
    // A plugged card is not opened for a list of the file.
    const auto socket = dir.Path() / "cards" / "#VID_2B53&PID_0041#0";
    const auto framesLog = dir.Path() / "frames.log";
    ChildProcess card({kCard, "--socket", socket.string(), "--frames-log", framesLog.string()}, {});
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(socket); }, 2000));
    auto text = ChildProcess::Run({kCtl, "effects"}, env);
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_TRUE(!std::filesystem::exists(framesLog) || std::filesystem::file_size(framesLog) == 0);
    EXPECT_EQ(text.out, "直播\t0\t温暖 人声\t3\n直播\t1\t无编号\t-\nK歌\t0\t录音棚\t12\n");

    auto json = ChildProcess::Run({kCtl, "--json", "effects"}, env);
    ASSERT_EQ(json.status, 0) << json.err;
    std::istringstream lines(json.out);
    std::vector<Json::Value> rows;
    for (std::string line; std::getline(lines, line);) {
        Json::Value v;
        std::istringstream(line) >> v;
        rows.push_back(v);
    }
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2]["list"].asString(), "K歌");
    EXPECT_EQ(rows[2]["list_index"].asInt(), 1);
    EXPECT_EQ(rows[2]["position"].asInt(), 0);
    EXPECT_EQ(rows[2]["name"].asString(), "录音棚");
    EXPECT_EQ(rows[2]["path"].asString(), "12abc");
    EXPECT_EQ(rows[2]["number"].asInt(), 12);
    EXPECT_TRUE(rows[1]["number"].isNull());

    EXPECT_EQ(ChildProcess::Run({kCtl, "effects", "extra"}, env).status, 1);
}

// Without a file of the user's, the lists installed with the program; a damaged file of the
// user's shows none, says so, and stays as it is.
TEST_F(LyntctlEffects, InstalledListsAndADamagedFile) {
    auto installed = ChildProcess::Run({kCtl, "effects"}, env);
    EXPECT_EQ(installed.status, 0) << installed.err;
    EXPECT_NE(installed.out.find("声卡内置音效\t0\t"), std::string::npos) << installed.out;
    EXPECT_FALSE(std::filesystem::exists(ListFile()));  // reading writes nothing

    std::ofstream(ListFile()) << "<AudioRack><Effect";
    auto damaged = ChildProcess::Run({kCtl, "effects"}, env);
    EXPECT_EQ(damaged.status, 0);
    EXPECT_EQ(damaged.out, "");
    EXPECT_NE(damaged.err.find("cannot be read"), std::string::npos) << damaged.err;
    std::ifstream in(ListFile());
    std::stringstream kept;
    kept << in.rdbuf();
    EXPECT_EQ(kept.str(), "<AudioRack><Effect");
}

// While the panel runs, it answers, with the same lines; the card hears nothing of it.
TEST_F(LyntctlEffects, ThroughTheRunningPanel) {
    std::ofstream(ListFile()) << kLists;
    const auto direct = ChildProcess::Run({kCtl, "effects"}, env);
    ASSERT_EQ(direct.status, 0) << direct.err;

    ChildProcess xserver(
        {"/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x900x24"},
        {});
    const std::string display = xserver.ReadLine(10000);
    if (display.empty()) {
        GTEST_SKIP() << "no X server could be started";
    }
    const auto socket = dir.Path() / "cards" / "#VID_2B53&PID_0041#0";
    ChildProcess card({kCard, "--socket", socket.string()}, {});
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(socket); }, 2000));
    std::vector<std::string> withDisplay = env;
    withDisplay.push_back("DISPLAY=:" + display);
    ChildProcess velora({kVelora}, withDisplay);
    // lyntctl with a data folder of its own, empty, would print the installed lists; through the
    // panel it prints the panel's, once the panel answers.
    std::vector<std::string> elsewhere = withDisplay;
    std::filesystem::create_directories(dir.Path() / "other");
    for (std::string& e : elsewhere) {
        if (e.starts_with("XDG_DATA_HOME=")) {
            e = "XDG_DATA_HOME=" + (dir.Path() / "other").string();
        }
    }
    ChildProcess::Result through;
    EXPECT_TRUE(WaitFor(
        [&] {
            through = ChildProcess::Run({kCtl, "effects"}, elsewhere);
            return through.status == 0 && through.out == direct.out;
        },
        15000))
        << through.out << through.err;
    velora.Terminate();
}

}  // namespace
