// lyntctl through the running panel when something goes away: the card unplugged during a
// command, the panel killed while a command waits for its answer, and a panel started while
// lyntctl alone holds the card. The real velora (under Xvfb), lyntctl and virtual card.
#include <gtest/gtest.h>
#include <json/json.h>

#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "../core/FramesLog.h"
#include "../core/TempDir.h"
#include "../sound/ClipTestMp3.h"
#include "CardCommands.h"
#include "ChildProcess.h"
#include "ProgramFolders.h"

namespace {

using namespace std::chrono;
using Result = ChildProcess::Result;

const std::string kCard = LYNT_VIRTUAL_CARD_BIN;
const std::string kCtl = LYNTCTL_BIN;
const std::string kVelora = VELORA_BIN;

template <typename Fn>
bool WaitFor(Fn done, int ms) {
    const auto until = steady_clock::now() + milliseconds(ms);
    while (!done()) {
        if (steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(milliseconds(20));
    }
    return true;
}

class LyntctlPanel : public ::testing::Test {
protected:
    void SetUp() override {
        socket = dir.Path() / "cards" / "#VID_2B53&PID_0041#0";
        framesLog = dir.Path() / "frames.log";
        ProgramEnvironment(dir.Path());
        card = std::make_unique<ChildProcess>(
            std::vector<std::string>{kCard, "--socket", socket.string(), "--frames-log",
                                     framesLog.string()},
            std::vector<std::string>{});
        ASSERT_TRUE(card->Started());
        ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(socket); }, 2000));
        xserver = std::make_unique<ChildProcess>(
            std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp",
                                     "-screen", "0", "1280x900x24"},
            std::vector<std::string>{});
        display = xserver->ReadLine(10000);
        if (display.empty())
            GTEST_SKIP() << "no X server could be started";
    }

    std::vector<std::string> Env() {
        std::vector<std::string> env = ProgramEnvironment(dir.Path());
        env.push_back("LYNTCTL_BUSY_WAIT_MS=300");
        env.push_back("TMPDIR=" + dir.Path().string());
        env.push_back("DISPLAY=:" + display);
        return env;
    }
    Result Ctl(std::vector<std::string> args) {
        args.insert(args.begin(), kCtl);
        return ChildProcess::Run(args, Env(), 30000);
    }
    // Runs lyntctl while act() does something to the card or the panel, once ready() holds.
    template <typename Ready, typename Act>
    Result CtlWhile(std::vector<std::string> args, Ready ready, Act act) {
        Result r;
        args.insert(args.begin(), kCtl);
        std::thread ctl([&] { r = ChildProcess::Run(args, Env(), 30000); });
        const bool wasReady = WaitFor(ready, 20000);
        act();
        ctl.join();
        EXPECT_TRUE(wasReady) << args[1] << ": " << r.err;
        return r;
    }

    Json::Value State() {
        card->WriteLine("state");
        std::istringstream in(card->ReadLine(3000));
        Json::Value o;
        std::string errors;
        Json::parseFromStream(Json::CharReaderBuilder(), in, &o, &errors);
        return o;
    }
    bool CardInSession() { return State()["host_state"].asInt() == 1; }
    // Frames the host sent with this command code.
    size_t Sent(int code) {
        size_t n = 0;
        for (const auto& f : HostFrames(framesLog))
            n += f[0] == code;
        return n;
    }
    Json::Value Clip(int slot) {
        const Json::Value state = State();
        for (const Json::Value& c : state["clips"])
            if (c["slot"].asInt() == slot)
                return c;
        return {};
    }
    std::string Mp3(double seconds) {
        const auto p = dir.Path() / ("clip" + std::to_string(static_cast<int>(seconds)) + ".mp3");
        const std::vector<uint8_t> b = testclip::Mp3Tone(seconds, 44100, 2, 330.0);
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
        return p.string();
    }

    std::unique_ptr<ChildProcess> StartVelora(std::vector<std::string> extra = {}) {
        std::vector<std::string> env = Env();
        env.insert(env.end(), extra.begin(), extra.end());
        return std::make_unique<ChildProcess>(std::vector<std::string>{kVelora}, env);
    }
    // The panel listens for lyntctl (its socket is there) and has the card: a command through it
    // is done.
    bool PanelHasTheCard() {
        return WaitFor(
            [&] {
                return std::filesystem::exists(PanelSocket()) &&
                       Ctl({"set", "30", "20"}).status == 0;
            },
            15000);
    }
    std::filesystem::path PanelSocket() { return dir.Path() / "run" / "velora.sock"; }

    void Plug() {
        card->WriteLine("plug");
        ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(socket); }, 2000));
    }

    // Sends a clip to slot 1 and unplugs the card once the card has taken part of it. Each
    // clip is as long as no other, so that the slot's state tells this transfer from the last.
    Result SendClipAndUnplug(double seconds, const std::vector<std::string>& options) {
        std::vector<std::string> args = options;
        args.insert(args.end(), {"send-clip", Mp3(seconds), "--slot", "1"});
        const unsigned last = Clip(1)["bytes"].asUInt();
        return CtlWhile(
            args,
            [&] {
                const Json::Value clip = Clip(1);
                return clip["bytes"].asUInt() != last && clip["received"].asUInt() > 1000;
            },
            [&] { card->WriteLine("unplug"); });
    }

    TempDir dir;
    std::filesystem::path socket;
    std::filesystem::path framesLog;
    std::unique_ptr<ChildProcess> card;
    std::unique_ptr<ChildProcess> xserver;
    std::string display;
};

// A card unplugged during a command: through the panel, as alone, status 2 and "the card was
// unplugged", the same bytes on both outputs (text and JSON).
TEST_F(LyntctlPanel, AnUnplugMidCommandReadsTheSameThroughThePanel) {
    double seconds = 30;
    std::vector<Result> alone;
    for (const auto& options : {std::vector<std::string>{}, {"--json"}}) {
        alone.push_back(SendClipAndUnplug(seconds--, options));
        Plug();
    }
    EXPECT_EQ(alone[0].status, 2) << alone[0].err;
    EXPECT_EQ(alone[0].err,
              "载入特效失败: the card did not take the whole clip\nthe card was unplugged\n");

    auto velora = StartVelora();
    ASSERT_TRUE(PanelHasTheCard()) << velora->Stderr();
    size_t i = 0;
    for (const auto& options : {std::vector<std::string>{}, {"--json"}}) {
        const Result panel = SendClipAndUnplug(seconds--, options);
        EXPECT_EQ(panel.status, alone[i].status) << i;
        EXPECT_EQ(panel.out, alone[i].out) << i;
        EXPECT_EQ(panel.err, alone[i].err) << i;
        ++i;
        Plug();
        ASSERT_TRUE(PanelHasTheCard()) << "the panel takes the card back when it comes back";
    }
    EXPECT_FALSE(Clip(1)["complete"].asBool());
    EXPECT_EQ(velora->Terminate(), 0);
}

// The failure paths the panel adds, each with its status and message, and what they were before.
TEST_F(LyntctlPanel, EveryFailureThroughThePanelHasItsStatusAndMessage) {
    struct Row {
        const char* what;
        int statusBefore;
        std::string errBefore;
        int status;
        std::string err;
    };
    auto check = [](const Row& row, const Result& r) {
        EXPECT_EQ(r.status, row.status) << row.what << ": " << r.err;
        EXPECT_EQ(r.err, row.err) << row.what;
        EXPECT_NE(r.err, row.errBefore) << row.what << ": as before";
        EXPECT_EQ(r.out, "") << row.what << ": nothing said done";
    };

    // lyntctl alone holds the card (monitor); a panel started now waits for it and says who
    // holds it, instead of leaving the card until it is plugged again.
    auto monitor = std::make_unique<ChildProcess>(std::vector<std::string>{kCtl, "monitor"}, Env());
    ASSERT_TRUE(WaitFor([&] { return CardInSession(); }, 10000));
    const std::string holder = "lyntctl (pid " + std::to_string(monitor->Pid()) + ")";
    auto velora = StartVelora();
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(PanelSocket()); }, 15000));
    Result held;  // "未连接设备！" until the panel has tried the card, and while it starts
    WaitFor([&] { return (held = Ctl({"set", "30", "5"})).status == 4; }, 10000);
    check({"panel started while lyntctl holds the card", 2, "未连接设备！\n", 4,
           "the card is in use by " + holder + "; try again when it is done\n"},
          held);
    card->WriteLine("knob 30 66");
    EXPECT_EQ(monitor->ReadLine(3000), "30 混响音量 reverb_volume 66 [66]") << "undisturbed";

    // Once lyntctl lets go, the panel takes the card within a couple of seconds.
    ::kill(monitor->Pid(), SIGINT);
    ASSERT_EQ(monitor->Wait(5000), 0);
    const auto letGo = steady_clock::now();
    Result taken;
    auto answered = [&] { return (taken = Ctl({"set", "30", "12"})).status == 0; };
    ASSERT_TRUE(WaitFor(answered, 3000)) << "the panel took the card: " << taken.err;
    const auto ms = duration_cast<milliseconds>(steady_clock::now() - letGo).count();
    std::printf("the panel answered through the card %lld ms after lyntctl let go\n",
                static_cast<long long>(ms));
    EXPECT_TRUE(CardInSession());
    EXPECT_EQ(State()["params"][30].asInt(), 12);

    // The card unplugged while the panel waits for its answer (a silent card).
    card->WriteLine("mute on");
    const size_t sets = Sent(card::CMD_SET_PARAMS);
    check({"unplug mid-command, through the panel", 3, "the card did not take set\n", 2,
           "the card did not take set\nthe card was unplugged\n"},
          CtlWhile(
              {"set", "30", "7"}, [&] { return Sent(card::CMD_SET_PARAMS) > sets; },
              [&] { card->WriteLine("unplug"); }));
    card->WriteLine("mute off");
    Plug();
    ASSERT_TRUE(PanelHasTheCard());

    // The panel killed while a command waits for its answer: not done, and no hang; a monitor
    // through it ends too.
    ChildProcess watching({kCtl, "monitor"}, Env());
    std::string reported;  // once it listens, a knob turned on the card shows
    for (int i = 0; i < 20 && reported.empty(); ++i) {
        card->WriteLine("knob 30 " + std::to_string(60 + i));
        reported = watching.ReadLine(500);
    }
    ASSERT_TRUE(reported.starts_with("30 混响音量 reverb_volume ")) << reported;
    card->WriteLine("mute on");
    const size_t before = Sent(card::CMD_SET_PARAMS);
    const auto killed = CtlWhile(
        {"set", "30", "8"}, [&] { return Sent(card::CMD_SET_PARAMS) > before; },
        [&] { ::kill(velora->Pid(), SIGKILL); });
    check(
        {"panel gone mid-command", 3, "the control panel ended the command without an answer\n", 3,
         "the control panel stopped before the card answered; the command may not have been "
         "done\n"},
        killed);
    EXPECT_EQ(watching.Wait(5000), 3);
    EXPECT_EQ(watching.Stderr(), "the control panel stopped; monitor ended\n");
    velora->Wait(5000);
}

// A panel that ends (SIGTERM, as at logout) while a command waits for the card: the command is
// not said done.
TEST_F(LyntctlPanel, APanelEndingMidCommandDoesNotSayDone) {
    // The silent card's tries (the set's, then the goodbye's) of 250 ms instead of 500.
    auto velora = StartVelora({"LYNT_REPLY_TIMEOUT_MS=250"});
    ASSERT_TRUE(PanelHasTheCard()) << velora->Stderr();
    card->WriteLine("mute on");
    const size_t before = Sent(card::CMD_SET_PARAMS);
    const Result r = CtlWhile(
        {"--json", "set", "30", "9"}, [&] { return Sent(card::CMD_SET_PARAMS) > before; },
        [&] { ::kill(velora->Pid(), SIGTERM); });
    EXPECT_EQ(r.status, 3);
    EXPECT_FALSE(r.out.empty());
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        Json::Value o;
        std::istringstream in(line);
        std::string errors;
        ASSERT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), in, &o, &errors)) << line;
        EXPECT_EQ(o["type"].asString(), "error") << line;
        EXPECT_EQ(o["status"].asInt(), 3) << line;
    }
    EXPECT_EQ(velora->Wait(30000), 0);
}

}  // namespace
