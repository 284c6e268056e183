// lyntctl firmware against the lynt-virtual-card process and its loader.
#include <gtest/gtest.h>
#include <json/json.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "../core/FramesLog.h"
#include "../core/TempDir.h"
#include "CardCommands.h"
#include "ChildProcess.h"
#include "FirmwareFrames.h"
#include "FwPack.h"
#include "ProgramFolders.h"

namespace {

using namespace std::chrono;

const std::string kCard = LYNT_VIRTUAL_CARD_BIN;
const std::string kCtl = LYNTCTL_BIN;

class LyntctlFirmware : public ::testing::Test {
protected:
    void StartCard(std::vector<std::string> options = {}) {
        socket = dir.Path() / "#VID_2B53&PID_0041#0";
        framesLog = dir.Path() / "frames.log";
        std::vector<std::string> argv{kCard, "--socket", socket.string(), "--frames-log",
                                      framesLog.string()};
        argv.insert(argv.end(), options.begin(), options.end());
        cardProcess = std::make_unique<ChildProcess>(argv, std::vector<std::string>{});
        ASSERT_TRUE(cardProcess->Started());
        for (int i = 0; i < 200 && !std::filesystem::exists(socket); ++i) {
            std::this_thread::sleep_for(milliseconds(10));
        }
        ASSERT_TRUE(std::filesystem::exists(socket));
        ProgramEnvironment(dir.Path());
    }

    std::string WritePackage(const fwpack::PackageRecipe& recipe) {
        const std::filesystem::path path = dir.Path() / "fw.zip";
        const std::vector<uint8_t> zip = fwpack::BuildPackage(recipe);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(zip.data()),
                   static_cast<std::streamsize>(zip.size()));
        return path.string();
    }

    ChildProcess::Result Ctl(std::vector<std::string> args, std::vector<std::string> extra = {}) {
        auto env = ProgramEnvironment(dir.Path());
        env[0] = "LYNT_VIRTUAL_CARD_DIR=" + dir.Path().string();
        env.insert(env.end(), extra.begin(), extra.end());
        args.insert(args.begin(), kCtl);
        return ChildProcess::Run(args, env, 60000);
    }

    Json::Value State() {
        cardProcess->WriteLine("state");
        std::istringstream in(cardProcess->ReadLine(3000));
        Json::Value root;
        std::string errors;
        Json::parseFromStream(Json::CharReaderBuilder(), in, &root, &errors);
        return root;
    }

    // velora-cloud-sim on a free port; its base address.
    std::string StartCloud(std::vector<std::string> options = {}) {
        std::vector<std::string> argv{CLOUD_SIM_BIN, "--port", "0"};
        argv.insert(argv.end(), options.begin(), options.end());
        cloudProcess = std::make_unique<ChildProcess>(argv, std::vector<std::string>{});
        EXPECT_TRUE(cloudProcess->Started());
        const std::string base = cloudProcess->ReadLine(5000);
        EXPECT_EQ(base.rfind("http://127.0.0.1:", 0), 0u) << cloudProcess->Stderr();
        return base;
    }

    size_t EnterBootFrames() { return HostFrames(framesLog, card::CMD_FW_ENTER_BOOT).size(); }

    TempDir dir;
    std::filesystem::path socket;
    std::filesystem::path framesLog;
    std::unique_ptr<ChildProcess> cardProcess;
    std::unique_ptr<ChildProcess> cloudProcess;
};

TEST_F(LyntctlFirmware, UpgradeWritesTheImageTheLoaderChecks) {
    StartCard();
    const fwpack::PackageRecipe recipe = fwpack::SimplePackage("2.4", 3000);
    const std::string package = WritePackage(recipe);

    auto check = Ctl({"--json", "firmware", "check", "--package", package});
    ASSERT_EQ(check.status, 0) << check.err;
    EXPECT_NE(check.out.find("\"upgrade_available\":true"), std::string::npos) << check.out;
    EXPECT_EQ(EnterBootFrames(), 0u);

    auto r = Ctl({"--json", "firmware", "upgrade", "--package", package, "--yes"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"ok\":true"), std::string::npos) << r.out;
    const Json::Value fw = State()["firmware"];
    EXPECT_EQ(State()["mode"].asString(), "loader");
    EXPECT_TRUE(fw["check_passed"].asBool());
    EXPECT_EQ(fw["blocks"].asInt(), 51);  // ceil(3000 / 59)
    EXPECT_EQ(fw["image_crc"].asUInt(), firmware::Crc32(recipe.files[0].bytes.data(), 3000));
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / "#VID_2B53&PID_0002#0"));

    // Plugged in again it runs 2.4: the same package is then refused as nothing new.
    cardProcess->WriteLine("plug");
    for (int i = 0; i < 200 && !std::filesystem::exists(socket); ++i) {
        std::this_thread::sleep_for(milliseconds(10));
    }
    EXPECT_EQ(State()["firmware_version"].asInt(), 24);
    auto again = Ctl({"firmware", "upgrade", "--package", package, "--yes"});
    EXPECT_EQ(again.status, 4);
    EXPECT_NE(again.err.find("固件已经是最新版本"), std::string::npos) << again.err;
    EXPECT_EQ(EnterBootFrames(), 1u);
}

TEST_F(LyntctlFirmware, RefusedWithoutConfirmationOrWhileThePanelRuns) {
    StartCard();
    const std::string package = WritePackage(fwpack::SimplePackage("2.4", 300));
    // Standard input is not a terminal: the warning is shown and nothing is written.
    auto unconfirmed = Ctl({"firmware", "upgrade", "--package", package});
    EXPECT_EQ(unconfirmed.status, 4);
    EXPECT_NE(unconfirmed.err.find("升级固件有损坏设备的风险"), std::string::npos)
        << unconfirmed.err;

    std::ofstream(dir.Path() / "run" / "velora.lock") << ::getppid() << "\nvelora\n";
    auto panel = Ctl({"firmware", "upgrade", "--package", package, "--yes"});
    EXPECT_EQ(panel.status, 4);
    EXPECT_NE(panel.err.find("panel upgrade"), std::string::npos) << panel.err;
    EXPECT_EQ(EnterBootFrames(), 0u);
}

// One writer of the loader at a time: a second upgrade while the first writes is refused with
// the reason. A SIGTERM that still comes ends the write after the block in hand, never mid-block,
// and says so; the upgrade run again finds the card in its loader, checks the package against
// the hardware remembered before the card entered it, and writes the image whole.
TEST_F(LyntctlFirmware, OneWriterAndAnEndAfterTheBlockInHand) {
    StartCard();
    const std::string package = WritePackage(fwpack::SimplePackage("2.4", 60000));
    auto env = ProgramEnvironment(dir.Path());
    env[0] = "LYNT_VIRTUAL_CARD_DIR=" + dir.Path().string();
    ChildProcess first({kCtl, "firmware", "upgrade", "--package", package, "--yes"}, env);
    bool writing = false;
    for (int i = 0; i < 200 && !writing; ++i) {
        writing = State()["firmware"]["blocks"].asInt() > 20;
        if (!writing) std::this_thread::sleep_for(milliseconds(50));
    }
    ASSERT_TRUE(writing) << first.Stderr();

    auto second = Ctl({"firmware", "upgrade", "--package", package, "--yes"});
    EXPECT_EQ(second.status, 4);
    EXPECT_NE(second.err.find("另一个程序正在升级声卡固件"), std::string::npos) << second.err;
    EXPECT_NE(second.err.find("lyntctl"), std::string::npos) << second.err;

    EXPECT_EQ(first.Terminate(5000), 3) << first.Stderr();
    EXPECT_NE(first.Stderr().find("interrupted: the write stops after the block in hand"),
              std::string::npos)
        << first.Stderr();
    const int blocks = State()["firmware"]["blocks"].asInt();
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_EQ(State()["firmware"]["blocks"].asInt(), blocks);
    EXPECT_LT(blocks, 1017);  // ceil(60000 / 59)
    EXPECT_FALSE(State()["firmware"]["check_passed"].asBool());
    EXPECT_EQ(State()["mode"].asString(), "loader");

    // Written again from the loader; a small image, as its length is not what is tested here.
    const std::string small = WritePackage(fwpack::SimplePackage("2.4", 600));
    auto again = Ctl({"--json", "firmware", "upgrade", "--package", small, "--yes"});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.out.find("\"hardware_version\":\"1.0\""), std::string::npos) << again.out;
    EXPECT_TRUE(State()["firmware"]["check_passed"].asBool());
    EXPECT_EQ(State()["firmware"]["blocks"].asInt(), 11);  // ceil(600 / 59)
}

TEST_F(LyntctlFirmware, FailedWritesEndWithTheRecoveryText) {
    StartCard({"--loader-fail-block", "2"});
    const std::string package = WritePackage(fwpack::SimplePackage("2.4", 600));
    auto r =
        Ctl({"firmware", "upgrade", "--package", package, "--yes"}, {"LYNT_REPLY_TIMEOUT_MS=30"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("固件升级失败：写入固件失败"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("为了避免损坏设备"), std::string::npos) << r.err;
    EXPECT_FALSE(State()["firmware"]["check_passed"].asBool());
}

// Without --package the cloud service is asked and its package written.
TEST_F(LyntctlFirmware, ServerPackageIsCheckedAndWritten) {
    StartCard();
    const std::string cloud = "VELORA_CLOUD_URL=" + StartCloud();

    auto check = Ctl({"--json", "firmware", "check"}, {cloud});
    ASSERT_EQ(check.status, 0) << check.err;
    Json::Value o;
    std::istringstream(check.out) >> o;
    EXPECT_EQ(o["newest_firmware_version"].asString(), "2.4");
    EXPECT_EQ(o["firmware_version"].asString(), "2.3");
    EXPECT_EQ(o["source"].asString(), "server");
    EXPECT_TRUE(o["upgrade_available"].asBool()) << check.out;
    EXPECT_EQ(EnterBootFrames(), 0u);

    auto r = Ctl({"--json", "firmware", "upgrade", "--yes"}, {cloud});
    ASSERT_EQ(r.status, 0) << r.err;
    const Json::Value fw = State()["firmware"];
    EXPECT_TRUE(fw["check_passed"].asBool());
    const std::vector<uint8_t> image = fwpack::MakeImage(24, 4096);
    EXPECT_EQ(fw["image_crc"].asUInt(), firmware::Crc32(image.data(), image.size()));
}

TEST_F(LyntctlFirmware, OfferedVersionFollowsTheCloudsChoice) {
    StartCard();
    auto check = Ctl({"--json", "firmware", "check"},
                     {"VELORA_CLOUD_URL=" + StartCloud({"--firmware-version", "2.3"})});
    ASSERT_EQ(check.status, 0) << check.err;
    Json::Value o;
    std::istringstream(check.out) >> o;
    EXPECT_EQ(o["newest_firmware_version"].asString(), "2.3");
    EXPECT_FALSE(o["upgrade_available"].asBool()) << check.out;
}

// Every broken answer ends before the card is switched to its loader, with the user's text.
TEST_F(LyntctlFirmware, BrokenServerAnswersFailWithoutTouchingTheCard) {
    StartCard();
    const std::pair<const char*, const char*> cases[] = {
        {"upgrade=404", "获取服务器上的信息失败"},
        {"upgrade=overflow", "获取服务器上的信息失败"},
        {"upgrade=notok", "从服务器上获取固件信息失败"},
        {"upgrade=badjson", "解析Json失败"},
        {"firmware-file=404", "下载固件失败！"},
        {"firmware-file=cut", "下载固件失败！"},
    };
    for (const auto& [fault, text] : cases) {
        const std::string cloud = "VELORA_CLOUD_URL=" + StartCloud({"--fault", fault});
        auto r = Ctl({"firmware", "upgrade", "--yes"}, {cloud});
        EXPECT_EQ(r.status, 3) << fault;
        EXPECT_NE(r.err.find(text), std::string::npos) << fault << ": " << r.err;
        cloudProcess.reset();
    }
    EXPECT_EQ(EnterBootFrames(), 0u);
}

}  // namespace
