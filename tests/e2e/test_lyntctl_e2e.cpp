#include <gtest/gtest.h>
#include <json/json.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "../core/FramesLog.h"
#include "../core/TempDir.h"
#include "CardCommands.h"
#include "ChildProcess.h"
#include "ProgramFolders.h"
#include "KeyExchange.h"
#include "common/Device/CcmEasyEncrypt.h"

namespace {

using card::Frame;

const std::string kCard = LYNT_VIRTUAL_CARD_BIN;
const std::string kCtl = LYNTCTL_BIN;

class LyntctlEndToEnd : public ::testing::Test {
protected:
    void StartCard(std::vector<std::string> extra) {
        socket = dir.Path() / "#VID_2B53&PID_0041#0";
        std::vector<std::string> argv = {kCard, "--socket", socket.string(), "--frames-log",
                                         (dir.Path() / "frames.log").string()};
        argv.insert(argv.end(), extra.begin(), extra.end());
        cardProcess = std::make_unique<ChildProcess>(argv, std::vector<std::string>{});
        ASSERT_TRUE(cardProcess->Started());
        for (int i = 0; i < 200 && !std::filesystem::exists(socket); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_TRUE(std::filesystem::exists(socket)) << cardProcess->Stderr();
    }

    std::vector<std::string> CtlEnv() {
        auto env = ProgramEnvironment(dir.Path());
        env[0] = "LYNT_VIRTUAL_CARD_DIR=" + dir.Path().string();
        return env;
    }

    ChildProcess::Result Ctl(std::vector<std::string> args) {
        args.insert(args.begin(), kCtl);
        return ChildProcess::Run(args, CtlEnv());
    }

    Json::Value CardState() {
        cardProcess->WriteLine("state");
        std::string line = cardProcess->ReadLine(3000);
        Json::Value root;
        std::istringstream in(line);
        std::string errors;
        Json::parseFromStream(Json::CharReaderBuilder(), in, &root, &errors);
        return root;
    }

    TempDir dir;
    std::filesystem::path socket;
    std::unique_ptr<ChildProcess> cardProcess;
};

TEST_F(LyntctlEndToEnd, InfoShowsTheVersionsTheCardWasStartedWith) {
    StartCard({"--hw-version", "12", "--fw-version", "105", "--device-type", "3"});
    auto r = Ctl({"info"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "产品名称：Orin LYNT!\n硬件版本：V1.2\n固件版本：V10.5\n设备类型：耳机\n");

    auto devices = Ctl({"devices"});
    EXPECT_EQ(devices.status, 0);
    EXPECT_EQ(devices.out, "vcard:" + socket.string() + " 2b53 0041\n");
}

TEST_F(LyntctlEndToEnd, TheLoggedKeyExchangeDeciphersWithTheProposedKey) {
    StartCard({});
    ASSERT_EQ(Ctl({"info"}).status, 0);
    // The session opens and closes with a key exchange; the card keeps the last key.
    auto frames = ReadFramesLog(dir.Path() / "frames.log");
    int last = -1;
    for (size_t i = 0; i + 1 < frames.size(); ++i) {
        if (frames[i].direction == 'H' && frames[i].frame[0] == card::CMD_KEY_EXCHANGE) {
            last = static_cast<int>(i);
        }
    }
    ASSERT_GE(last, 0);
    ASSERT_EQ(frames[last + 1].direction, 'C');
    ASSERT_EQ(frames[last + 1].frame[0], card::CMD_KEY_EXCHANGE + 1);
    frames.erase(frames.begin(), frames.begin() + last);

    card::CipherKey proposed = card::ReadKeyFromFrame(frames[0].frame.data());
    Frame reply = frames[1].frame;
    CcmEasyEncrypt cipher;
    cipher.SetKey(proposed.seed, proposed.modulus, proposed.multiplier, proposed.increment, 59);
    cipher.Decrypt(reply.data());
    card::CipherKey final = card::ReadKeyFromFrame(reply.data());

    Json::Value key = CardState()["key"];
    EXPECT_EQ(key["seed"].asInt(), final.seed);
    EXPECT_EQ(key["modulus"].asInt(), final.modulus);
    EXPECT_EQ(key["multiplier"].asInt(), final.multiplier);
    EXPECT_EQ(key["increment"].asInt(), final.increment);
}

TEST_F(LyntctlEndToEnd, NoCardMeansExitTwo) {
    auto r = Ctl({"info"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "未连接设备！\n");
    EXPECT_EQ(Ctl({"--device", "vcard:/nonexistent/#VID_2B53&PID_0041#9", "info"}).status, 2);
}

TEST_F(LyntctlEndToEnd, ACardThatNeverAnswersMeansExitThree) {
    StartCard({"--drop-replies", "100"});
    auto env = CtlEnv();
    env.push_back("LYNT_REPLY_TIMEOUT_MS=50");
    auto r = ChildProcess::Run({kCtl, "info"}, env);
    EXPECT_EQ(r.status, 3);
}

TEST_F(LyntctlEndToEnd, WithoutADataFolderCommandsSaySoAndTouchNothing) {
    StartCard({});
    std::ofstream(dir.Path() / "file") << "x";
    auto env = CtlEnv();
    for (auto& e : env) {
        if (e.rfind("XDG_DATA_HOME=", 0) == 0) {
            e = "XDG_DATA_HOME=" + (dir.Path() / "file").string();  // no folder can be made there
        }
    }
    const char* settingsName = "LyntConfigData.db";
    const bool hadFile = std::filesystem::exists(settingsName);
    for (const char* command : {"get", "save-preset"}) {
        std::vector<std::string> argv = {kCtl, command};
        if (std::string(command) == "save-preset") {
            argv.insert(argv.end(), {"1", "0", "x"});
        }
        auto r = ChildProcess::Run(argv, env);
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_NE(r.err.find("no data folder for the settings"), std::string::npos) << r.err;
    }
    EXPECT_EQ(std::filesystem::exists(settingsName), hadFile) << "the working directory";
    EXPECT_TRUE(HostFrames(dir.Path() / "frames.log").empty());
}

TEST_F(LyntctlEndToEnd, BadUsageMeansExitOne) {
    EXPECT_EQ(Ctl({"frobnicate"}).status, 1);
    EXPECT_EQ(Ctl({"--device"}).status, 1);
    EXPECT_EQ(Ctl({"--help"}).status, 0);
}

}  // namespace
