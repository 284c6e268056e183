// velora, lyntctl and lynt-virtual-card as processes, under a private X server.
#include <gtest/gtest.h>
#include <json/json.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <optional>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "../core/FramesLog.h"
#include "../core/TempDir.h"
#include "../model/ModelTestSupport.h"
#include "ChildProcess.h"
#include "FwPack.h"
#include "PanelRequest.h"
#include "ProgramFolders.h"
#include "profile/Profile.h"

namespace {

using namespace std::chrono;

const std::string kCard = LYNT_VIRTUAL_CARD_BIN;
const std::string kCtl = LYNTCTL_BIN;
const std::string kVelora = VELORA_BIN;
const std::string kXdotool = "/usr/bin/xdotool";

class VeloraEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        env = ProgramEnvironment(dir.Path());
        xserver = std::make_unique<ChildProcess>(
            std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp",
                                     "-screen", "0", "1280x900x24"},
            std::vector<std::string>{});
        display = xserver->ReadLine(10000);
        if (display.empty()) {
            GTEST_SKIP() << "no X server could be started: " << xserver->Stderr();
        }
        socket = dir.Path() / "cards" / "#VID_2B53&PID_0041#0";
        card = std::make_unique<ChildProcess>(
            std::vector<std::string>{kCard, "--socket", socket.string(), "--levels-hz", "20"},
            std::vector<std::string>{});
        for (int i = 0; i < 200 && !std::filesystem::exists(socket); ++i) {
            std::this_thread::sleep_for(milliseconds(10));
        }
        ASSERT_TRUE(std::filesystem::exists(socket));
    }

    std::vector<std::string> Env() {
        std::vector<std::string> all = env;
        all.push_back("DISPLAY=:" + display);
        return all;
    }

    std::string Log() {
        std::string all;
        std::filesystem::path folder = dir.Path() / "data" / "Velora" / "log";
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
            std::ifstream in(e.path());
            std::stringstream text;
            text << in.rdbuf();
            all += text.str();
        }
        return all;
    }

    size_t Count(const std::string& text) {
        std::string log = Log();
        size_t n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
        return n;
    }

    bool WaitFor(const std::function<bool()>& done, int ms) {
        for (auto end = steady_clock::now() + milliseconds(ms); steady_clock::now() < end;) {
            if (done()) return true;
            std::this_thread::sleep_for(milliseconds(50));
        }
        return done();
    }

    // Plays a card that never answers in place of the one SetUp started.
    bool RestartSilentCard() {
        card.reset();
        std::filesystem::remove(socket);
        card = std::make_unique<ChildProcess>(
            std::vector<std::string>{kCard, "--socket", socket.string(), "--drop-replies", "100"},
            std::vector<std::string>{});
        return WaitFor([&] { return std::filesystem::exists(socket); }, 2000);
    }

    std::string CardState() {
        card->WriteLine("state");
        return card->ReadLine(3000);
    }

    TempDir dir;
    std::vector<std::string> env;
    std::string display;
    std::filesystem::path socket;
    std::unique_ptr<ChildProcess> xserver;
    std::unique_ptr<ChildProcess> card;
};

TEST_F(VeloraEndToEnd, StartsConnectsAndAnswersOtherProcesses) {
    ChildProcess velora({kVelora}, Env());
    ASSERT_TRUE(WaitFor([&] { return Count("main window shown") > 0; }, 15000)) << Log();
    std::smatch shown;
    std::string log = Log();
    ASSERT_TRUE(std::regex_search(log, shown, std::regex("main window shown (\\d+) ms after start")));
    std::printf("main window shown %s ms after start\n", shown[1].str().c_str());
    EXPECT_TRUE(WaitFor([&] { return Count("\"card connected\"") > 0; }, 5000)) << Log();
    EXPECT_NE(CardState().find("\"host_state\":1"), std::string::npos);

    // lyntctl can raise the panel.
    auto show = ChildProcess::Run({kCtl, "panel", "show"}, Env());
    EXPECT_EQ(show.status, 0) << show.err;
    EXPECT_TRUE(WaitFor([&] { return Count("main window shown on request") == 1; }, 5000)) << Log();

    // A second start hands over to the first and ends at once.
    auto second = ChildProcess::Run({kVelora}, Env(), 15000);
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_TRUE(WaitFor([&] { return Count("main window shown on request") == 2; }, 5000)) << Log();
    EXPECT_EQ(Count("main window shown "), Count("main window shown on request") + 1);

    // The end of the session says goodbye to the card.
    velora.Terminate();
    EXPECT_TRUE(WaitFor([&] { return CardState().find("\"host_state\":0") != std::string::npos; },
                        5000));
}

// The firmware box is modal: SIGTERM ends its loop first, the program quits with 0 (it used to
// die of a double free under the box) and says goodbye to the card.
TEST_F(VeloraEndToEnd, SigtermWhileTheFirmwareBoxIsOpenEndsCleanly) {
    ChildProcess velora({kVelora}, Env());
    ASSERT_TRUE(WaitFor([&] { return Count("main window shown") > 0; }, 15000)) << Log();
    ASSERT_TRUE(
        WaitFor([&] { return CardState().find("\"host_state\":1") != std::string::npos; }, 5000));
    auto upgrade = ChildProcess::Run({kCtl, "panel", "upgrade"}, Env());
    ASSERT_EQ(upgrade.status, 0) << upgrade.err;
    ASSERT_TRUE(WaitFor([&] { return Count("firmware upgrade requested") == 1; }, 5000)) << Log();
    EXPECT_EQ(velora.Terminate(), 0) << velora.Stderr();
    EXPECT_NE(CardState().find("\"host_state\":0"), std::string::npos);
}

// Through the running panel lyntctl says "done" only once the card answered the frames that
// carry its values. A card that falls silent mid-session: an edit that waits behind the flush on
// its way is reported as not taken (status 3; it used to print "set: done" and exit 0 while its
// values were still waiting), and goes to the card with the next flush once it answers again.
TEST_F(VeloraEndToEnd, LyntctlThroughThePanelAnswersOnlyAfterTheCard) {
    ChildProcess velora({kVelora}, Env());
    ASSERT_TRUE(
        WaitFor([&] { return CardState().find("\"host_state\":1") != std::string::npos; }, 15000))
        << Log();
    card->WriteLine("mute on");
    ChildProcess first({kCtl, "set", "31", "11"}, Env());
    // The first flush now waits for the silent card (three tries of 500 ms).
    std::this_thread::sleep_for(milliseconds(400));
    const auto asked = steady_clock::now();
    auto second = ChildProcess::Run({kCtl, "set", "32", "22"}, Env(), 20000);
    const auto answered = duration_cast<milliseconds>(steady_clock::now() - asked).count();
    EXPECT_EQ(second.status, 3) << second.out << second.err;
    EXPECT_NE(second.err.find("the card did not take set"), std::string::npos) << second.err;
    EXPECT_EQ(second.out.find("done"), std::string::npos) << second.out;
    EXPECT_EQ(first.Wait(10000), 3);
    std::printf("an edit behind a flush to a silent card: answered after %lld ms\n",
                static_cast<long long>(answered));
    Json::Value state;
    std::istringstream(CardState()) >> state;
    EXPECT_NE(state["params"][32].asInt(), 22) << state;

    card->WriteLine("mute off");
    auto third = ChildProcess::Run({kCtl, "set", "33", "5"}, Env());
    EXPECT_EQ(third.status, 0) << third.err;
    std::istringstream(CardState()) >> state;
    EXPECT_EQ(state["params"][33].asInt(), 5) << state;
    EXPECT_EQ(state["params"][32].asInt(), 22) << "the failed edit goes with the next flush";
    EXPECT_EQ(velora.Terminate(), 0) << velora.Stderr();
}

// A set to a silent card is never "done", whatever the value and whatever happens meanwhile:
// a value the panel holds already still goes to the card (it used to be answered "set: done" at
// once, the card never asked), and a silent card stays silent when it is unplugged and plugged
// again, so a set on its way across the replug and one after it are not done either.
TEST_F(VeloraEndToEnd, ASetToASilentCardIsNotDoneEvenAcrossAReplug) {
    // Each exchange with the silent card is given up after three tries; 250 ms a try instead of
    // 500 keeps what is tested and halves the waits.
    std::vector<std::string> env = Env();
    env.push_back("LYNT_REPLY_TIMEOUT_MS=250");
    ChildProcess velora({kVelora}, env);
    ASSERT_TRUE(
        WaitFor([&] { return CardState().find("\"host_state\":1") != std::string::npos; }, 15000))
        << Log();
    ASSERT_EQ(ChildProcess::Run({kCtl, "set", "31", "11"}, Env()).status, 0);
    Json::Value before;
    std::istringstream(CardState()) >> before;
    card->WriteLine("mute on");
    auto same = ChildProcess::Run({kCtl, "set", "31", "11"}, Env(), 20000);
    EXPECT_EQ(same.status, 3) << same.out << same.err;
    EXPECT_EQ(same.out.find("done"), std::string::npos) << same.out;

    const size_t tries = Count("WaitTimeout");
    ChildProcess across({kCtl, "set", "32", "22"}, Env());
    // Unplugged while the set waits for the card: once its first try has gone unanswered.
    ASSERT_TRUE(WaitFor([&] { return Count("WaitTimeout") > tries; }, 5000)) << Log();
    const size_t gone = Count("\"card not connected\"");
    card->WriteLine("unplug");
    ASSERT_TRUE(WaitFor([&] { return Count("\"card not connected\"") > gone; }, 5000)) << Log();
    const size_t connecting = Count("\"card connecting\"");
    card->WriteLine("plug");
    const std::string said = across.ReadLine(20000);
    EXPECT_NE(across.Wait(5000), 0) << said << across.Stderr();
    EXPECT_EQ(said.find("done"), std::string::npos) << said;
    // The next set goes while the replugged card is being started.
    ASSERT_TRUE(WaitFor([&] { return Count("\"card connecting\"") > connecting; }, 5000)) << Log();
    auto after = ChildProcess::Run({kCtl, "set", "33", "5"}, Env(), 20000);
    EXPECT_NE(after.status, 0) << after.out;
    Json::Value state;
    std::istringstream(CardState()) >> state;
    EXPECT_EQ(state["params"], before["params"]) << "a silent card takes nothing";

    // Answering again, the card is plugged once more and takes what it is sent.
    card->WriteLine("mute off");
    card->WriteLine("unplug");
    card->WriteLine("plug");
    auto taken = [&] { return ChildProcess::Run({kCtl, "set", "33", "5"}, Env()).status == 0; };
    ASSERT_TRUE(WaitFor(taken, 10000));
    std::istringstream(CardState()) >> state;
    EXPECT_EQ(state["params"][33].asInt(), 5) << state;
    EXPECT_EQ(velora.Terminate(), 0) << velora.Stderr();
}

// A second start while the first is still starting is not lost: the first listens before it
// sets up, and shows its window on the request once it can.
TEST_F(VeloraEndToEnd, ASecondStartDuringStartUpIsHandedOver) {
    // A card that never answers keeps the first start busy in its start-up for a while.
    ASSERT_TRUE(RestartSilentCard());
    ChildProcess velora({kVelora}, Env());
    // The second start must find the first one's lock, or it would become the first itself.
    ASSERT_TRUE(
        WaitFor([&] { return std::filesystem::exists(dir.Path() / "run" / "velora.lock"); }, 5000));
    auto second = ChildProcess::Run({kVelora}, Env(), 15000);
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_TRUE(WaitFor([&] { return Count("main window shown on request") == 1; }, 10000))
        << Log();
}

// A card that never answers costs the window nothing: it appears while the start-up exchange is
// still waiting for the card (three tries each of the key exchange and the host state), says
// "connecting" meanwhile, and "no card" once the card has had its chance.
TEST_F(VeloraEndToEnd, ASilentCardStillGetsItsWindowAtOnce) {
    ASSERT_TRUE(RestartSilentCard());
    ChildProcess velora({kVelora}, Env());
    ASSERT_TRUE(WaitFor([&] { return Count("did not answer host state 1") > 0; }, 15000)) << Log();
    const std::string log = Log();
    const size_t shown = log.find("main window shown");
    ASSERT_NE(shown, std::string::npos) << log;
    EXPECT_LT(shown, log.find("did not answer host state 1")) << log;
    EXPECT_LT(log.find("\"card connecting\""), log.find("did not answer host state 1")) << log;
    EXPECT_TRUE(WaitFor([&] { return Count("\"card not connected\"") > 0; }, 5000)) << Log();
    std::smatch ms;
    if (std::regex_search(log, ms, std::regex("main window shown (\\d+) ms after start"))) {
        std::printf("silent card: main window shown %s ms after start\n", ms[1].str().c_str());
    }
    // The goodbye still gets its tries before the program ends.
    EXPECT_EQ(velora.Terminate(8000), 0) << velora.Stderr();
}

// The main window's monitor knob follows the card both ways: dragged with the pointer it sets
// parameter 1 on the card, and the card's own knob moves it. The knob's place comes from the
// layouts: param_content (0,44) > wnd_mixer (12,42) > volume_container_wnd (8,6) > knob_monitor
// (365,50, 42 x 42).
class VeloraKnobEndToEnd : public VeloraEndToEnd {
protected:
    void SetUp() override {
        VeloraEndToEnd::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        if (!std::filesystem::exists(kXdotool)) {
            GTEST_SKIP() << "xdotool is not installed";
        }
    }

    ChildProcess::Result Xdo(std::vector<std::string> args) {
        args.insert(args.begin(), kXdotool);
        return ChildProcess::Run(args, Env());
    }

    // The main window's top-left on the screen, found by its title and size.
    bool MainWindowAt(int* x, int* y, std::string* windowId = nullptr) {
        auto found = Xdo({"search", "--name", "Orin LYNT"});
        std::istringstream ids(found.out);
        for (std::string id; ids >> id;) {
            auto g = Xdo({"getwindowgeometry", "--shell", id});
            std::smatch m;
            if (std::regex_search(g.out, m,
                                  std::regex("X=(-?\\d+)\\nY=(-?\\d+)\\nWIDTH=860\\nHEIGHT=675"))) {
                *x = std::stoi(m[1]);
                *y = std::stoi(m[2]);
                if (windowId) {
                    *windowId = id;
                }
                return true;
            }
        }
        return false;
    }

    int CardParam(int id) {
        std::smatch m;
        const std::string state = CardState();
        if (!std::regex_search(state, m, std::regex("\"params\":\\[([^\\]]*)\\]"))) return -1;
        std::istringstream values(m[1].str());
        std::string v;
        for (int i = 0; std::getline(values, v, ','); ++i) {
            if (i == id) return std::stoi(v);
        }
        return -1;
    }
};

TEST_F(VeloraKnobEndToEnd, MonitorKnobFollowsTheCardBothWays) {
    ChildProcess velora({kVelora}, Env());
    ASSERT_TRUE(WaitFor([&] { return Count("\"card connected\"") > 0; }, 15000)) << Log();
    int wx = 0;
    int wy = 0;
    ASSERT_TRUE(WaitFor([&] { return MainWindowAt(&wx, &wy); }, 5000));
    const int cx = wx + 0 + 12 + 8 + 365 + 21;
    const int cy = wy + 44 + 42 + 6 + 50 + 21;

    // Pressed straight above the centre the knob is at half its travel; dragged round to straight
    // right of the centre it stands at 235 of its 290 degrees: 81.
    Xdo({"mousemove", std::to_string(cx), std::to_string(cy - 15)});
    Xdo({"mousedown", "1"});
    for (int step = 1; step <= 5; ++step) {
        const double a = 1.5707963 * step / 5;
        Xdo({"mousemove", std::to_string(cx + static_cast<int>(15 * std::sin(a) + 0.5)),
             std::to_string(cy - static_cast<int>(15 * std::cos(a) + 0.5))});
    }
    Xdo({"mouseup", "1"});
    EXPECT_TRUE(WaitFor([&] { return CardParam(1) == 81; }, 5000)) << CardParam(1);

    // The card's knob in quarter steps: 25 is 100 on the panel.
    const size_t shownBefore = Count("shown 1 = 100");
    card->WriteLine("knob 1 25");
    EXPECT_TRUE(WaitFor([&] { return Count("shown 1 = 100") > shownBefore; }, 5000)) << Log();
    EXPECT_EQ(velora.Terminate(), 0) << velora.Stderr();
}

// Keys pressed at start, before the user clicked anything, change no parameter on the card. The
// noise box used to have the keyboard at start: Num 3 pressed for a pad (hotkeys off) made "453"
// of its "45", and Enter or moving the focus sent parameter 4 as 100.
// On a busy machine the panel may hear of the card's removal only after the upgrade opened the
// card's loader. The removal lets go of the card's node alone: it used to detach whatever was
// attached, the loader included, and the upgrade ended with the card stranded in its loader.
TEST_F(VeloraKnobEndToEnd, AnUpgradeKeepsTheLoaderWhenTheCardsRemovalIsHeardLate) {
    card.reset();
    std::filesystem::remove(socket);
    card = std::make_unique<ChildProcess>(
        std::vector<std::string>{kCard, "--socket", socket.string(), "--removal-delay", "600"},
        std::vector<std::string>{});
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(socket); }, 2000));
    const std::filesystem::path package = dir.Path() / "package.zip";
    {
        const std::vector<uint8_t> bytes =
            fwpack::BuildPackage(fwpack::SimplePackage("2.4", 4096));
        std::ofstream out(package, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    std::vector<std::string> env = Env();
    env.push_back("LYNT_FIRMWARE_PACKAGE=" + package.string());
    ChildProcess velora({kVelora}, env);
    ASSERT_TRUE(WaitFor([&] { return Count("\"card connected\"") > 0; }, 15000)) << Log();
    int wx = 0;
    int wy = 0;
    ASSERT_TRUE(WaitFor([&] { return MainWindowAt(&wx, &wy); }, 5000));
    ASSERT_EQ(ChildProcess::Run({kCtl, "panel", "upgrade"}, env).status, 0);
    ASSERT_TRUE(WaitFor([&] { return Count("the download done") == 1; }, 30000)) << Log();
    // "立即升级" in the dialog, then "确定" in the warning (both centred on the main window). Each
    // is clicked again until its effect shows: the button may not take a click before the dialog
    // has shown it, and while the warning is up the dialog under it takes none.
    auto warning = [&] {
        return Xdo({"search", "--onlyvisible", "--name", "注意事项"}).status == 0;
    };
    bool warned = false;
    for (int i = 0; i < 20 && !warned; ++i) {
        Xdo({"mousemove", std::to_string(wx + 552), std::to_string(wy + 395), "click", "1"});
        warned = WaitFor(warning, 500);
    }
    ASSERT_TRUE(warned) << Log();
    for (int i = 0; i < 20 && warning(); ++i) {
        Xdo({"mousemove", std::to_string(wx + 414), std::to_string(wy + 408), "click", "1"});
        WaitFor([&] { return !warning(); }, 500);
    }
    ASSERT_TRUE(WaitFor([&] { return Count("card was told to enter its loader") == 1; }, 10000))
        << Log();
    EXPECT_TRUE(WaitFor(
        [&] { return CardState().find("\"check_passed\":true") != std::string::npos; }, 60000))
        << CardState() << Log();
    EXPECT_TRUE(WaitFor([&] { return Count("the upgrade done") == 1; }, 10000)) << Log();
    EXPECT_EQ(Count("the upgrade failed"), 0u) << Log();
    EXPECT_EQ(Count("shows the error"), 0u) << Log();
    EXPECT_EQ(velora.Terminate(), 0) << velora.Stderr();
}

TEST_F(VeloraKnobEndToEnd, KeysAtStartChangeNoParameter) {
    ChildProcess velora({kVelora}, Env());
    ASSERT_TRUE(WaitFor([&] { return Count("\"card connected\"") > 0; }, 15000)) << Log();
    int wx = 0;
    int wy = 0;
    std::string window;
    ASSERT_TRUE(WaitFor([&] { return MainWindowAt(&wx, &wy, &window); }, 5000));
    auto params = [&] {
        std::smatch m;
        const std::string state = CardState();
        return std::regex_search(state, m, std::regex("\"params\":\\[([^\\]]*)\\]"))
                   ? m[1].str()
                   : std::string();
    };
    // The start-up push is over once the card's values hold still.
    std::string before = params();
    for (int still = 0; still < 4;) {
        std::this_thread::sleep_for(milliseconds(150));
        const std::string now = params();
        still = now == before ? still + 1 : 0;
        before = now;
    }
    ASSERT_FALSE(before.empty());
    ASSERT_EQ(CardParam(4), 45);

    // The keyboard goes to the panel's window, as a window manager gives it on start.
    Xdo({"windowfocus", "--sync", window});
    std::this_thread::sleep_for(milliseconds(300));
    Xdo({"key", "--delay", "40", "KP_3", "3", "KP_5", "BackSpace", "Return", "KP_Enter", "Up",
         "Next", "End"});
    // Somewhere without a control: the window's caption.
    Xdo({"mousemove", std::to_string(wx + 300), std::to_string(wy + 20)});
    Xdo({"click", "1"});
    std::this_thread::sleep_for(milliseconds(800));
    EXPECT_EQ(params(), before) << Log();
    EXPECT_EQ(CardParam(4), 45);
    EXPECT_EQ(velora.Terminate(), 0) << velora.Stderr();
}

// Sends raw bytes on the panel's socket and returns all it answers until it closes.
// The test process's own runtime folder is put back, so later cases in the same process (a
// direct run of the executable) do not look for their panels here.
std::string RawRequest(const std::filesystem::path& runtime, const std::string& bytes) {
    const char* was = ::getenv("XDG_RUNTIME_DIR");
    const std::optional<std::string> saved = was ? std::optional<std::string>(was) : std::nullopt;
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    int fd = platform::instance::ConnectToPanel();
    if (saved)
        ::setenv("XDG_RUNTIME_DIR", saved->c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
    if (fd < 0)
        return "no connection";
    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    ::shutdown(fd, SHUT_WR);
    std::string answer;
    char buffer[512];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
        answer.append(buffer, size_t(n));
    ::close(fd);
    return answer;
}

// While the panel runs, lyntctl's card commands go through it and answer as they do alone.
TEST_F(VeloraEndToEnd, LyntctlCommandsGoThroughThePanel) {
    auto directGet = ChildProcess::Run({kCtl, "get", "30"}, Env());
    ASSERT_EQ(directGet.status, 0) << directGet.err;
    auto directInfo = ChildProcess::Run({kCtl, "--json", "info"}, Env());
    ASSERT_EQ(directInfo.status, 0) << directInfo.err;

    ChildProcess velora({kVelora}, Env());
    ASSERT_TRUE(WaitFor([&] { return Count("\"card connected\"") > 0; }, 15000)) << Log();

    auto get = ChildProcess::Run({kCtl, "get", "30"}, Env());
    EXPECT_EQ(get.status, 0) << get.err;
    EXPECT_EQ(get.out, directGet.out);
    auto info = ChildProcess::Run({kCtl, "--json", "info"}, Env());
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.out, directInfo.out);

    auto set = ChildProcess::Run({kCtl, "set", "30", "55"}, Env());
    EXPECT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(set.out, "set: done\n");
    Json::Value state;
    std::istringstream(CardState()) >> state;
    EXPECT_EQ(state["params"][30].asInt(), 55) << state;
    // A value set through the panel shows on its control as the user's own edit would: the
    // monitor knob of the main window (the reverb volume has its control in the reverb dialog).
    auto knob = ChildProcess::Run({kCtl, "set", "1", "55"}, Env());
    EXPECT_EQ(knob.status, 0) << knob.err;
    EXPECT_TRUE(WaitFor([&] { return Count("shown 1 = 55") > 0; }, 5000)) << Log();

    const int effectBefore = state["effect_number"].asInt();
    auto effect = ChildProcess::Run({kCtl, "effect", "1"}, Env());
    EXPECT_EQ(effect.status, 0) << effect.err;
    EXPECT_EQ(effect.out, "effect: done\n");
    std::istringstream(CardState()) >> state;
    EXPECT_NE(state["effect_number"].asInt(), effectBefore) << state;

    // monitor reports what the panel takes from the card until lyntctl ends.
    ChildProcess monitor({kCtl, "monitor"}, Env());
    std::string line;
    // monitor prints changes only: the knob moves between two values until the panel's watch is
    // there to see it.
    for (int i = 0; i < 100 && !(line.starts_with("30 ") && line.ends_with("[44]")); ++i) {
        card->WriteLine(i % 2 ? "knob 30 44" : "knob 30 43");
        line = monitor.ReadLine(200);
    }
    EXPECT_TRUE(line.starts_with("30 ") && line.ends_with("[44]")) << line;
    monitor.Terminate();

    // An effect file goes through the panel's download; a folder is not read.
    modeltest::EffectFileParts parts;
    parts.a = modeltest::CountingRecords(20, 8);
    parts.b = modeltest::CountingRecords(9, 8, 100);
    parts.c = modeltest::CountingRecords(5, 24, 7);
    const std::filesystem::path file = dir.Path() / "stage.eff";
    parts.Write(file);
    auto sent = ChildProcess::Run({kCtl, "send-effect", file.string()}, Env());
    EXPECT_EQ(sent.status, 0) << sent.err;
    EXPECT_EQ(sent.out, "sent " + file.string() + "\n");
    std::istringstream(CardState()) >> state;
    EXPECT_TRUE(state["effect_download"]["counts_match"].asBool()) << state;
    auto folder = ChildProcess::Run({kCtl, "send-effect", dir.Path().string()}, Env());
    EXPECT_EQ(folder.status, 1);
    EXPECT_NE(folder.err.find("not a file this user can read"), std::string::npos) << folder.err;

    // The direct mode's checks and statuses: a bad value, an empty slot.
    auto bad = ChildProcess::Run({kCtl, "set", "30", "99999"}, Env());
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("does not fit"), std::string::npos) << bad.err;

    // Malformed and oversized requests are answered with an error; the panel carries on.
    const std::filesystem::path run = dir.Path() / "run";
    EXPECT_NE(RawRequest(run, "CTL 7\n{words:").find("{\"status\":1}"), std::string::npos);
    EXPECT_NE(RawRequest(run, "CTL 99999999\n").find("request too large"), std::string::npos);
    EXPECT_NE(RawRequest(run, "CTL 13\n{\"words\":[1]}").find("{\"status\":1}"), std::string::npos);
    EXPECT_NE(RawRequest(run, "CTL 32\n{\"words\":[\"panel\"],\"json\":false}")
                  .find("does not run panel"),
              std::string::npos);
    auto still = ChildProcess::Run({kCtl, "get", "30"}, Env());
    EXPECT_EQ(still.status, 0) << still.err;
    EXPECT_EQ(velora.Terminate(), 0) << velora.Stderr();
}

}  // namespace

namespace {

// The effect buttons' hotkeys: stored as the panel stores them before it starts, pressed on the
// X server, they reach the card. The card logs its frames, so the time from the press to the
// frame can be read.
class VeloraHotkeyEndToEnd : public VeloraKnobEndToEnd {
protected:
    void SetUp() override {
        VeloraKnobEndToEnd::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        card.reset();
        std::filesystem::remove(socket);
        framesLog = dir.Path() / "frames.log";
        card = std::make_unique<ChildProcess>(
            std::vector<std::string>{kCard, "--socket", socket.string(), "--frames-log",
                                     framesLog.string()},
            std::vector<std::string>{});
        ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(socket); }, 2000));
    }

    size_t HostFrameCount() {
        size_t n = 0;
        for (const auto& f : ReadFramesLog(framesLog)) n += f.direction == 'H';
        return n;
    }

    std::filesystem::path framesLog;
};

}  // namespace

TEST_F(VeloraHotkeyEndToEnd, AnEffectHotkeyAppliesItsEffectOnTheCard) {
    namespace pp = platform::profile;
    const std::filesystem::path data = dir.Path() / "data" / "Velora";
    std::filesystem::create_directories(data);
    // 户外 (button 10001) on Ctrl+F1: modifiers Ctrl (2) in the high word, VK_F1 (0x70) low.
    ASSERT_TRUE(pp::WritePrivateProfileString(u"HotKey", u"10001", std::to_string((2 << 16) | 0x70),
                                              data / "LyntConfigData.db"));
    ASSERT_TRUE(
        pp::WritePrivateProfileString(u"Config", u"EnableHotKey", u"1", data / "LyntMoodcfg.ini"));

    ChildProcess velora({kVelora}, Env());
    ASSERT_TRUE(WaitFor([&] { return Count("\"card connected\"") > 0; }, 15000)) << Log();
    int wx = 0;
    int wy = 0;
    ASSERT_TRUE(WaitFor([&] { return MainWindowAt(&wx, &wy); }, 5000));
    ASSERT_TRUE(WaitFor([&] { return Count("effect hotkeys registered: 1") > 0; }, 5000)) << Log();
    // The start-up exchange is over when the panel has sent nothing for a while.
    size_t seen = HostFrameCount();
    for (int quiet = 0; quiet < 6;) {
        std::this_thread::sleep_for(milliseconds(100));
        const size_t now = HostFrameCount();
        quiet = now == seen ? quiet + 1 : 0;
        seen = now;
    }

    Json::Value state;
    std::istringstream(CardState()) >> state;
    const int effectBefore = state["effect_number"].asInt();
    const size_t framesBefore = HostFrameCount();
    const auto pressed = steady_clock::now();
    Xdo({"key", "ctrl+F1"});
    const auto xdotoolDone = steady_clock::now();
    // The first frame the panel sends after the press, looked for every 2 ms.
    steady_clock::time_point arrived{};
    for (auto end = pressed + seconds(5); steady_clock::now() < end;) {
        if (HostFrameCount() > framesBefore) {
            arrived = steady_clock::now();
            break;
        }
        std::this_thread::sleep_for(milliseconds(2));
    }
    EXPECT_TRUE(WaitFor(
        [&] {
            std::istringstream(CardState()) >> state;
            return state["effect_number"].asInt() != effectBefore;
        },
        5000))
        << state << Log();
    if (arrived != steady_clock::time_point{}) {
        const auto ms = duration_cast<milliseconds>(arrived - pressed).count();
        RecordProperty("hotkey_to_frame_ms", static_cast<int>(ms));
        std::cout << "hotkey press (xdotool started) to the card's first frame: " << ms
                  << " ms; xdotool itself took "
                  << duration_cast<milliseconds>(xdotoolDone - pressed).count() << " ms\n";
    }
    EXPECT_EQ(velora.Terminate(), 0) << velora.Stderr();
}
