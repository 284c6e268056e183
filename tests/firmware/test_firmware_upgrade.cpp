// The upgrade against the in-process virtual card through the real transport, device manager
// and loader: what reaches the card's loader, and every refusal before the card is touched.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <memory>
#include <thread>

#include <json/json.h>
#include "CardLink.h"
#include "CardWorker.h"
#include "ChildProcess.h"
#include "FirmwareTexts.h"
#include "FirmwareUpgradeManager.h"
#include "FirmwareWriterLock.h"
#include "FramesLog.h"
#include "FwPack.h"
#include "QVAudioProtocol.h"
#include "TempDir.h"
#include "VirtualCardServer.h"
#include "WorkSpace.h"
#include "ccm_util/Dispatcher.h"
#include "common/Device/HidDevice/HidDeviceBuilder.h"
#include "common/Device/VirtualCard/VirtualCardDevice.h"

using namespace firmware;

namespace {

// The manager's messages, as the dialog gets them.
class CPhaseWatch : public ccm_util::CMessageTarget {
public:
    void OnMessage(uint32_t msg, ccm_util::WPARAM w, ccm_util::LPARAM l) override {
        if (msg == UM_FW_PHASE) {
            phases[static_cast<int>(w)] = l != 0;
        } else if (msg == UM_FW_STATUS) {
            statuses.push_back(static_cast<int>(w));
        }
    }
    std::map<int, bool> phases;
    std::vector<int> statuses;
};

Json::Value Parse(const std::string& text) {
    Json::Value v;
    Json::Reader().parse(text, v);
    return v;
}

}  // namespace

class FirmwareUpgrade : public ::testing::Test {
protected:
    void StartCard(uint8_t firmwareByte) {
        ::setenv(CVirtualCardDevice::kFolderVariable, dir.Path().c_str(), 1);
        // The writer lock lives here, not in the folder other test runs of this user share.
        std::filesystem::create_directory(dir.Path() / "run");
        std::filesystem::permissions(dir.Path() / "run", std::filesystem::perms::owner_all);
        ::setenv("XDG_RUNTIME_DIR", (dir.Path() / "run").c_str(), 1);
        options.socketPath = dir.Path() / "#VID_2B53&PID_0041#0";
        options.framesLog = dir.Path() / "frames.log";
        options.identity.firmwareVersion = firmwareByte;
        card = std::make_unique<vcard::CVirtualCardServer>(options);
        ASSERT_TRUE(card->Start());
        ASSERT_TRUE(builder.CreateManager(&protocol));
        ASSERT_TRUE(builder.OpenDevicePath(card->DevicePath()));
        workspace = std::make_unique<CWorkSpace>(dir.Path() / "LyntConfigData.db", dir.Path());
        link = std::make_unique<CHidCardLink>(builder, protocol, *workspace, nullptr);
        manager =
            std::make_unique<CFirmwareUpgradeManager>(*link, nullptr, watch.Handle(), &upgrading);
        Pauses fast;
        fast.beforeProcedureMs = 1;
        fast.beforeStepMs = 1;
        fast.stepRetryMs = 1;
        fast.afterBlockMs = 0;
        fast.loaderRoundMs = 20;
        manager->SetPauses(fast);
        ASSERT_TRUE(manager->ReadDeviceInfo());
    }

    void TearDown() override {
        manager.reset();
        if (builder.GetManager()) {
            builder.GetManager()->DetachDevice();
        }
        ::unsetenv(CVirtualCardDevice::kFolderVariable);
        ::unsetenv("XDG_RUNTIME_DIR");
    }

    // A manager as a later start of the program makes it, on the same link and settings file.
    std::unique_ptr<CFirmwareUpgradeManager> FreshManager(const std::filesystem::path& settings) {
        auto fresh =
            std::make_unique<CFirmwareUpgradeManager>(*link, nullptr, watch.Handle(), &upgrading);
        fresh->SetSettingsFile(settings);
        return fresh;
    }

    // Runs the upgrade worker while this thread plays the UI thread.
    bool Upgrade() {
        upgrading = 1;
        EXPECT_TRUE(manager->StartUpgrade());
        EXPECT_TRUE(
            dispatcher.PumpUntil([&] { return watch.phases.count(kPhaseUpgrade) > 0; }, 60000));
        return watch.phases[kPhaseUpgrade];
    }

    int HostFramesWith(uint8_t code) {
        return static_cast<int>(HostFrames(options.framesLog, code).size());
    }
    Json::Value CardState() { return Parse(card->StateJson()); }

    TempDir dir;
    vcard::ServerOptions options;
    ccm_util::CManualDispatcher dispatcher;
    ccm_util::CScopedDispatcher scopedDispatcher{&dispatcher};
    std::unique_ptr<vcard::CVirtualCardServer> card;
    CQVAudioProtocol protocol;
    CHidDeviceBuilder builder;
    std::unique_ptr<CWorkSpace> workspace;
    std::unique_ptr<card::CCardWorker> cardWorker;  // the panel's opener, where a test wants it
    std::unique_ptr<CHidCardLink> link;
    CPhaseWatch watch;
    std::atomic<int> upgrading{0};
    std::unique_ptr<CFirmwareUpgradeManager> manager;
};

TEST_F(FirmwareUpgrade, ImageReachesTheLoaderAndTheCardComesBackWithIt) {
    StartCard(23);
    EXPECT_EQ(manager->CardFirmwareVersion(), "2.3");
    EXPECT_EQ(manager->CardHardwareVersion(), "1.0");
    const fwpack::PackageRecipe recipe = fwpack::SimplePackage("2.4", 1000);
    ASSERT_TRUE(manager->UsePackage(fwpack::BuildPackage(recipe)));
    EXPECT_TRUE(manager->UpgradeAvailable());

    ASSERT_TRUE(Upgrade()) << manager->ErrorText();
    EXPECT_FALSE(manager->Untouched());
    EXPECT_EQ(manager->Stats().blocks, 17u);  // ceil(1000 / 59)
    EXPECT_EQ(HostFramesWith(card::CMD_FW_NOTICE), 1);
    EXPECT_EQ(HostFramesWith(card::CMD_FW_ENTER_BOOT), 1);
    EXPECT_EQ(HostFramesWith(card::CMD_FW_DATA), 17);
    const Json::Value state = CardState();
    EXPECT_EQ(state["mode"].asString(), "loader");
    EXPECT_TRUE(state["firmware"]["check_passed"].asBool());
    EXPECT_EQ(state["firmware"]["image_length"].asInt(), 1000);
    EXPECT_EQ(state["firmware"]["blocks"].asInt(), 17);
    EXPECT_EQ(state["firmware"]["image_crc"].asUInt(), Crc32(recipe.files[0].bytes.data(), 1000));

    // Unplugged and plugged in again, it is the card with the new firmware.
    link->Release();
    ASSERT_TRUE(card->Plug());
    EXPECT_EQ(CardState()["mode"].asString(), "normal");
    EXPECT_EQ(CardState()["firmware_version"].asInt(), 24);
    EXPECT_TRUE(std::filesystem::exists(options.socketPath));
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "#VID_2B53&PID_0002#0"));
}

TEST_F(FirmwareUpgrade, EqualVersionsOfferNoUpgrade) {
    StartCard(24);
    ASSERT_TRUE(manager->UsePackage(fwpack::BuildPackage(fwpack::SimplePackage("2.4", 100))));
    EXPECT_EQ(manager->NewestVersion(), "2.4");
    EXPECT_FALSE(manager->UpgradeAvailable());
}

// Step1 L2.0 writes "2.0", Step2 E2.0 writes "2.1": a card runs only the step its version needs.
class FirmwareSteps : public FirmwareUpgrade, public ::testing::WithParamInterface<int> {};

TEST_P(FirmwareSteps, OnlyTheChosenStepIsWritten) {
    StartCard(static_cast<uint8_t>(GetParam()));
    fwpack::PackageRecipe recipe;
    recipe.version = "2.1";
    recipe.steps = {{"L2.0", "2.0", "a.bin"}, {"E2.0", "2.1", "b.bin"}};
    recipe.files = {{"a.bin", fwpack::MakeImage(20, 120, 1)},
                    {"b.bin", fwpack::MakeImage(21, 200, 2)}};
    ASSERT_TRUE(manager->UsePackage(fwpack::BuildPackage(recipe)));
    const bool ok = Upgrade();
    if (GetParam() == 21) {
        EXPECT_FALSE(ok);
        EXPECT_EQ(manager->ErrorText(), kErrNoSuitableStep);
        EXPECT_TRUE(manager->Untouched());
        EXPECT_EQ(HostFramesWith(card::CMD_FW_ENTER_BOOT), 0);
        return;
    }
    ASSERT_TRUE(ok) << manager->ErrorText();
    const size_t written = GetParam() == 15 ? 0 : 1;
    EXPECT_EQ(manager->StepIndex(), static_cast<int>(written));
    const Json::Value fw = CardState()["firmware"];
    EXPECT_TRUE(fw["check_passed"].asBool());
    EXPECT_EQ(fw["image_length"].asUInt(), recipe.files[written].bytes.size());
    EXPECT_EQ(fw["new_firmware"].asInt(), written == 0 ? 20 : 21);
}

INSTANTIATE_TEST_SUITE_P(Firmware, FirmwareSteps, ::testing::Values(15, 20, 21),
                         [](const auto& info) { return "Card" + std::to_string(info.param); });

// Every package the card could not take is refused while the card still runs its firmware.
TEST_F(FirmwareUpgrade, BadPackagesNeverSendTheCardToItsLoader) {
    StartCard(23);
    struct Row {
        const char* name;
        void (*change)(fwpack::PackageRecipe&);
    };
    const Row rows[] = {
        {"hardware condition", [](fwpack::PackageRecipe& s) { s.hardwareCondition = "G1.0"; }},
        {"no step for this card",
         [](fwpack::PackageRecipe& s) { s.steps[0].needVersion = "E9.9"; }},
        {"image missing", [](fwpack::PackageRecipe& s) { s.files[0].name = "other.bin"; }},
        {"image empty", [](fwpack::PackageRecipe& s) { s.files[0].bytes.clear(); }},
        {"image too large",
         [](fwpack::PackageRecipe& s) { s.files[0].bytes.resize(kMaxImageBytes + 59); }},
        {"no step file", [](fwpack::PackageRecipe& s) { s.withStepFile = false; }},
    };
    for (const Row& row : rows) {
        fwpack::PackageRecipe recipe = fwpack::SimplePackage("2.4", 500);
        row.change(recipe);
        manager->UsePackage(fwpack::BuildPackage(recipe));
        watch.phases.clear();
        EXPECT_FALSE(Upgrade()) << row.name;
        EXPECT_FALSE(manager->ErrorText().empty()) << row.name;
        EXPECT_TRUE(manager->Untouched()) << row.name;
    }
    EXPECT_EQ(HostFramesWith(card::CMD_FW_ENTER_BOOT), 0);
    EXPECT_EQ(HostFramesWith(card::CMD_FW_DATA), 0);
    EXPECT_EQ(CardState()["mode"].asString(), "normal");
}

TEST_F(FirmwareUpgrade, NoLoaderInTenRoundsLeavesTheCardUntouched) {
    options.loaderNever = true;
    StartCard(23);
    ASSERT_TRUE(manager->UsePackage(fwpack::BuildPackage(fwpack::SimplePackage("2.4", 100))));
    EXPECT_FALSE(Upgrade());
    EXPECT_TRUE(manager->Untouched());  // the dialog offers the retry
    EXPECT_EQ(manager->ErrorText(), kErrLoaderMissing);
    EXPECT_EQ(HostFramesWith(card::CMD_FW_ENTER_BOOT), 1);
    EXPECT_EQ(HostFramesWith(card::CMD_FW_DATA), 0);
}

// The panel opens the loader on its card worker. A UI thread that does not get round to
// anything while the upgrade runs (a loaded machine) costs the upgrade nothing: it used to be
// asked to open the loader and, not answering within 3 s a round, ended the upgrade with the
// loader missing and the card left in it.
TEST_F(FirmwareUpgrade, TheLoaderIsReachedWhileTheUiThreadDoesNotAnswer) {
    StartCard(23);
    manager.reset();
    cardWorker = std::make_unique<card::CCardWorker>();
    link = std::make_unique<CHidCardLink>(builder, protocol, *workspace, nullptr, cardWorker.get());
    manager = std::make_unique<CFirmwareUpgradeManager>(*link, nullptr, watch.Handle(), &upgrading);
    Pauses fast;
    fast.beforeProcedureMs = 1;
    fast.beforeStepMs = 1;
    fast.afterBlockMs = 0;
    manager->SetPauses(fast);  // the loader's own rounds: 10 of 2 s
    ASSERT_TRUE(manager->ReadDeviceInfo());
    ASSERT_TRUE(manager->UsePackage(fwpack::BuildPackage(fwpack::SimplePackage("2.4", 600))));
    upgrading = 1;
    ASSERT_TRUE(manager->StartUpgrade());
    const auto start = std::chrono::steady_clock::now();
    bool checked = false;
    while (!checked && std::chrono::steady_clock::now() - start < std::chrono::seconds(40)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the UI thread is busy
        checked = CardState()["firmware"]["check_passed"].asBool();
    }
    EXPECT_TRUE(checked) << CardState();
    ASSERT_TRUE(
        dispatcher.PumpUntil([&] { return watch.phases.count(kPhaseUpgrade) > 0; }, 60000));
    EXPECT_TRUE(watch.phases[kPhaseUpgrade]) << manager->ErrorText();
    EXPECT_TRUE(link->LoaderOpen());
}

// A loader that comes up after the rounds ended leaves the card untouched in it; the retry finds
// it there, does not tell it to enter its loader again, and writes the image.
TEST_F(FirmwareUpgrade, ARetryFinishesTheWriteOfACardLeftInItsLoader) {
    options.loaderDelayMs = 400;
    StartCard(23);
    ASSERT_TRUE(manager->UsePackage(fwpack::BuildPackage(fwpack::SimplePackage("2.4", 300))));
    EXPECT_FALSE(Upgrade());  // 10 rounds of 20 ms
    EXPECT_TRUE(manager->Untouched());
    EXPECT_EQ(manager->ErrorText(), kErrLoaderMissing);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_TRUE(card->InLoader());

    watch.phases.clear();
    manager->ClearError();
    ASSERT_TRUE(Upgrade()) << manager->ErrorText();
    EXPECT_EQ(HostFramesWith(card::CMD_FW_ENTER_BOOT), 1);
    EXPECT_EQ(HostFramesWith(card::CMD_FW_DATA), 6);  // ceil(300 / 59)
    EXPECT_TRUE(CardState()["firmware"]["check_passed"].asBool());
}

TEST_F(FirmwareUpgrade, ThreeFailedWritesEndTheUpgradeAfterTheCardWasTouched) {
    options.loaderFailBlock = 3;
    StartCard(23);
    protocol.SetReplyTimeoutLimit(20);
    ASSERT_TRUE(manager->UsePackage(fwpack::BuildPackage(fwpack::SimplePackage("2.4", 1000))));
    EXPECT_FALSE(Upgrade());
    EXPECT_FALSE(manager->Untouched());  // the dialog shows the recovery text, no retry
    EXPECT_EQ(manager->ErrorText(), kErrWriteFailed);
    const Json::Value fw = CardState()["firmware"];
    EXPECT_EQ(fw["infos"].asInt(), 3);  // each attempt announces the image again
    EXPECT_FALSE(fw["check_passed"].asBool());
    // Three attempts of the image, each reaching block 3 and trying it three times.
    EXPECT_EQ(HostFramesWith(card::CMD_FW_DATA), 3 * (3 + 3));
    // Plugged in again, the card stays in its loader: the upgrade has to be run again.
    ASSERT_TRUE(card->Plug());
    EXPECT_EQ(CardState()["mode"].asString(), "loader");
}

// The card's versions are remembered before it enters its loader; a recovery checks the package
// against the remembered hardware, and refuses when nothing was remembered (it used to take the
// package's only hardware element as the card's, whatever the card was).
TEST_F(FirmwareUpgrade, RecoveryChecksThePackageAgainstTheRememberedHardware) {
    options.loaderFailBlock = 2;
    StartCard(23);
    protocol.SetReplyTimeoutLimit(20);
    const std::filesystem::path settings = dir.Path() / "LyntConfigData.db";
    manager->SetSettingsFile(settings);
    ASSERT_TRUE(manager->UsePackage(fwpack::BuildPackage(fwpack::SimplePackage("2.4", 500))));
    EXPECT_FALSE(Upgrade());
    ASSERT_FALSE(manager->Untouched());
    manager.reset();
    builder.GetManager()->DetachDevice();
    ASSERT_TRUE(card->InLoader());

    // A later start: the card only shows its loader.
    auto other = FreshManager(settings);
    ASSERT_TRUE(other->UseCardInLoader()) << other->ErrorText();
    EXPECT_EQ(other->CardHardwareVersion(), "1.0");
    EXPECT_FALSE(other->UsePackage(
        fwpack::BuildPackage(fwpack::SimplePackage("2.4", 500, /*hardware=*/"2.0"))));
    EXPECT_FALSE(other->ErrorText().empty());
    EXPECT_TRUE(other->UsePackage(fwpack::BuildPackage(fwpack::SimplePackage("2.4", 500))))
        << other->ErrorText();

    // Nothing remembered (another settings file): no package is taken.
    auto blind = FreshManager(dir.Path() / "other.db");
    EXPECT_FALSE(blind->UseCardInLoader());
    EXPECT_EQ(blind->ErrorText(), kErrUnknownHardware);
    EXPECT_FALSE(blind->UsePackage(fwpack::BuildPackage(fwpack::SimplePackage("2.4", 500))));
}

// Whoever writes the loader holds the user's writer lock; another writer is refused before it
// sends anything, with the reason, and gets its turn once the first has let go.
TEST_F(FirmwareUpgrade, OneWriterAtATime) {
    StartCard(23);
    ASSERT_TRUE(manager->UsePackage(fwpack::BuildPackage(fwpack::SimplePackage("2.4", 300))));
    CFirmwareWriterLock other;
    std::string reason;
    ASSERT_TRUE(other.TryAcquire(reason)) << reason;
    EXPECT_TRUE(CFirmwareWriterLock::HeldElsewhere(reason));
    EXPECT_EQ(reason.rfind(kErrOtherWriter, 0), 0u) << reason;
    EXPECT_NE(reason.find(std::to_string(::getpid())), std::string::npos) << reason;

    EXPECT_FALSE(Upgrade());
    EXPECT_TRUE(manager->Untouched());
    EXPECT_EQ(manager->ErrorText().rfind(kErrOtherWriter, 0), 0u) << manager->ErrorText();
    EXPECT_EQ(HostFramesWith(card::CMD_FW_ENTER_BOOT), 0);
    EXPECT_EQ(CardState()["mode"].asString(), "normal");

    other.Release();
    watch.phases.clear();
    ASSERT_TRUE(Upgrade()) << manager->ErrorText();
    EXPECT_TRUE(CardState()["firmware"]["check_passed"].asBool());
    EXPECT_FALSE(CFirmwareWriterLock::HeldElsewhere(reason));  // released with the upgrade
    const auto mode = std::filesystem::status(dir.Path() / "run" / "velora-firmware.lock");
    EXPECT_EQ(mode.permissions() & (std::filesystem::perms::group_all |
                                    std::filesystem::perms::others_all),
              std::filesystem::perms::none);
}

// While the images are written logind is asked to hold off shutdown, sleep and idle ("block",
// with the reason the desktop shows); the lock is let go when the write ends.
TEST_F(FirmwareUpgrade, TheWriteHoldsOffShutdownAndSleep) {
    ChildProcess bus({"/usr/bin/dbus-daemon", "--session", "--nofork", "--print-address=1"}, {});
    const std::string address = bus.ReadLine(5000);
    if (address.empty()) {
        GTEST_SKIP() << "no private bus: " << bus.Stderr();
    }
    ChildProcess logind({FAKE_LOGIND_BIN}, {"DBUS_SYSTEM_BUS_ADDRESS=" + address});
    ASSERT_EQ(logind.ReadLine(5000), "ready") << logind.Stderr();
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
    StartCard(23);
    Pauses slow;
    slow.beforeProcedureMs = 1;
    slow.beforeStepMs = 1;
    slow.loaderRoundMs = 20;
    slow.afterBlockMs = 5;
    manager->SetPauses(slow);
    ASSERT_TRUE(manager->UsePackage(fwpack::BuildPackage(fwpack::SimplePackage("2.4", 6000))));

    upgrading = 1;
    ASSERT_TRUE(manager->StartUpgrade());
    ASSERT_TRUE(dispatcher.PumpUntil([&] { return CardState()["firmware"]["blocks"].asInt() > 5; },
                                     10000));
    const std::string taken = logind.ReadLine(2000);
    EXPECT_EQ(taken.rfind("inhibit shutdown:sleep:idle Velora block ", 0), 0u) << taken;
    EXPECT_NE(taken.find(kInhibitReason), std::string::npos) << taken;
    EXPECT_EQ(logind.ReadLine(100), "") << "let go while the blocks were still written";
    ASSERT_TRUE(
        dispatcher.PumpUntil([&] { return watch.phases.count(kPhaseUpgrade) > 0; }, 60000));
    EXPECT_TRUE(watch.phases[kPhaseUpgrade]) << manager->ErrorText();
    EXPECT_EQ(logind.ReadLine(3000), "released Velora");
    ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}
