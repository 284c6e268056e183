// The sound pads end to end: velora under a private X server with the virtual card, playing on a
// private PulseAudio whose null sink is the card. A favourite's hotkey pressed with xdotool, and
// lyntctl pad 0, must both be heard on the sink's monitor.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "../audio/PulseFixture.h"
#include "../core/TempDir.h"
#include "ChildProcess.h"
#include "ProgramFolders.h"
#include "profile/Profile.h"

namespace {

using namespace std::chrono;

const std::string kCard = LYNT_VIRTUAL_CARD_BIN;
const std::string kCtl = LYNTCTL_BIN;
const std::string kVelora = VELORA_BIN;

// 16-bit stereo at 44.1 kHz: a tenth of a second is 4410 frames of 4 bytes.
constexpr size_t kTenthBytes = 4410 * 4;
// What counts as heard: a tenth of a second louder than this root mean square (0..32767).
constexpr double kHeard = 100.0;

// The loudest tenth of a second in raw from offset on (whole tenths only), as root mean square.
double LoudestTenth(const std::filesystem::path& raw, size_t offset, size_t* end) {
    std::ifstream in(raw, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::vector<char> block(kTenthBytes);
    double loudest = 0;
    *end = offset;
    while (in.read(block.data(), static_cast<std::streamsize>(block.size()))) {
        double sum = 0;
        for (size_t i = 0; i + 1 < block.size(); i += 2) {
            int16_t v = 0;
            std::memcpy(&v, block.data() + i, sizeof v);
            sum += double(v) * v;
        }
        loudest = std::max(loudest, std::sqrt(sum / double(block.size() / 2)));
        *end += block.size();
    }
    return loudest;
}

class SoundPadEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        if (!PulseFixture::Installed() || !std::filesystem::exists("/usr/bin/Xvfb") ||
            !std::filesystem::exists("/usr/bin/xdotool") ||
            !std::filesystem::exists("/usr/bin/parec")) {
            GTEST_SKIP() << "needs PulseAudio, parec, Xvfb and xdotool";
        }
        pulse.SetCardPace(true);  // parec hears each take at once, not in 2 s blocks
        ASSERT_TRUE(pulse.Start()) << pulse.Error();
        env = ProgramEnvironment(dir.Path());
        xserver = std::make_unique<ChildProcess>(
            std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp",
                                     "-screen", "0", "1280x900x24"},
            std::vector<std::string>{});
        display = xserver->ReadLine(10000);
        ASSERT_FALSE(display.empty()) << xserver->Stderr();
        env.push_back("DISPLAY=:" + display);
        const auto socket = dir.Path() / "cards" / "#VID_2B53&PID_0041#0";
        card = std::make_unique<ChildProcess>(
            std::vector<std::string>{kCard, "--socket", socket.string()},
            std::vector<std::string>{});
        for (int i = 0; i < 200 && !std::filesystem::exists(socket); ++i) {
            std::this_thread::sleep_for(milliseconds(10));
        }
        // Hotkeys on, as the user switches them on; the favourites come at the first start.
        const auto moods = dir.Path() / "data" / "Velora" / "LyntMoodcfg.ini";
        std::filesystem::create_directories(moods.parent_path());
        ASSERT_TRUE(
            platform::profile::WritePrivateProfileString(u"Config", u"EnableHotKey", u"1", moods));
        velora = std::make_unique<ChildProcess>(std::vector<std::string>{kVelora}, env);
        // The panel answers lyntctl once its window is up.
        bool up = false;
        for (int i = 0; i < 100 && !up; ++i) {
            std::this_thread::sleep_for(milliseconds(100));
            up =
                ChildProcess::Run({"/usr/bin/xdotool", "search", "--name", "Orin LYNT!"}, env, 2000)
                    .status == 0;
        }
        ASSERT_TRUE(up) << velora->Stderr();
        std::this_thread::sleep_for(milliseconds(500));
    }

    void TearDown() override {
        if (velora)
            velora->Terminate();
        if (card)
            card->Terminate();
        if (xserver)
            xserver->Terminate();
    }

    // velora's log lines about hotkeys and the pads, for a failure's message.
    std::string Log() {
        std::string all;
        std::error_code ec;
        for (const auto& e :
             std::filesystem::directory_iterator(dir.Path() / "data" / "Velora" / "log", ec)) {
            std::ifstream in(e.path());
            for (std::string line; std::getline(in, line);) {
                if (line.find("otkey") != std::string::npos ||
                    line.find("sound") != std::string::npos) {
                    all += line + "\n";
                }
            }
        }
        return all;
    }

    // The loudest tenth of a second the card's sink plays after action runs, as RMS: recorded
    // until something is heard or ms have passed (a loaded machine starts a clip late).
    double Heard(const std::function<void()>& action, int ms) {
        const auto raw = dir.Path() / ("heard" + std::to_string(++takes) + ".raw");
        ChildProcess parec({"/usr/bin/parec", "--raw", "--format=s16le", "--rate=44100",
                            "--channels=2", "-d", "lynt.monitor", raw.string()},
                           {});
        // From a quiet tenth on: parec is recording, and the last take's clip has ended.
        size_t offset = 0;
        for (auto end = steady_clock::now() + seconds(15); steady_clock::now() < end;) {
            std::this_thread::sleep_for(milliseconds(100));
            const size_t before = offset;
            if (LoudestTenth(raw, offset, &offset) <= kHeard / 2 && offset > before)
                break;
        }
        action();
        double loudest = 0;
        for (auto end = steady_clock::now() + milliseconds(ms);
             steady_clock::now() < end && loudest <= kHeard;) {
            std::this_thread::sleep_for(milliseconds(100));
            loudest = std::max(loudest, LoudestTenth(raw, offset, &offset));
        }
        parec.Terminate();
        return std::max(loudest, LoudestTenth(raw, offset, &offset));
    }

    PulseFixture pulse;
    TempDir dir;
    std::vector<std::string> env;
    std::string display;
    std::unique_ptr<ChildProcess> xserver, card, velora;
    int takes = 0;
};

TEST_F(SoundPadEndToEnd, HotkeyAndLyntctlPadAreHeardOnTheCard) {
    const double quiet = Heard([] {}, 1500);
    // The grabs are made as the window comes up: a press that came before them is pressed again.
    // Each take listens 2.5 s, so a press lost before the grabs costs no more than that.
    double hotkey = 0;
    for (int attempt = 0; attempt < 6 && hotkey <= kHeard; ++attempt) {
        hotkey = Heard(
            [this] {
                EXPECT_EQ(ChildProcess::Run({"/usr/bin/xdotool", "key", "KP_0"}, env).status, 0);
            },
            2500);
    }
    EXPECT_GT(hotkey, kHeard) << "silence after Num 0 (quiet " << quiet << ")\n" << Log();
    // Heard is enough: the next take need not wait for the rest of the clip (a speed-up only,
    // so its answer is not checked here).
    (void)ChildProcess::Run({kCtl, "pad", "--stop"}, env);
    const double pad = Heard(
        [this] {
            const auto r = ChildProcess::Run({kCtl, "pad", "0"}, env);  // the first, counted from 0
            EXPECT_EQ(r.status, 0) << r.err;
        },
        10000);
    EXPECT_GT(pad, kHeard) << "silence after lyntctl pad 0 (quiet " << quiet << ")";
    EXPECT_LT(quiet, kHeard / 2);
}

// lyntctl pad answers with what the panel did, not with having asked: the pad it plays by position
// or name, a stop, and a pad there is not (status 1, the list shown); the other forms of the
// command still reach the full program.
TEST_F(SoundPadEndToEnd, LyntctlPadAnswersOnceThePanelPlaysIt) {
    auto ctl = [this](const std::vector<std::string>& args) {
        std::vector<std::string> argv{kCtl};
        argv.insert(argv.end(), args.begin(), args.end());
        return ChildProcess::Run(argv, env);
    };
    auto played = ctl({"pad", "1"});
    EXPECT_EQ(played.status, 0) << played.err;
    EXPECT_EQ(played.out, "pad 1 (小哄笑): playing\n");
    auto stopped = ctl({"pad", "--stop"});
    EXPECT_EQ(stopped.status, 0) << stopped.err;
    EXPECT_EQ(stopped.out, "pad: stopped\n");

    auto byName = ctl({"--json", "pad", "小哄笑"});
    EXPECT_EQ(byName.status, 0) << byName.err;
    EXPECT_NE(byName.out.find("\"position\":1"), std::string::npos) << byName.out;
    EXPECT_NE(byName.out.find("\"ok\":true"), std::string::npos) << byName.out;
    ctl({"pad", "--stop"});

    auto none = ctl({"pad", "99"});
    EXPECT_EQ(none.status, 1);
    EXPECT_TRUE(none.err.starts_with("no favourite sound pad 99; they are:\n  0 大哄笑\n"))
        << none.err;
    EXPECT_TRUE(none.out.empty()) << none.out;

    auto usage = ctl({"pad"});
    EXPECT_EQ(usage.status, 1);
    EXPECT_EQ(usage.err, "usage: lyntctl pad NAME|POSITION|--stop\n");
    auto help = ctl({"pad", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("lyntctl pad 0"), std::string::npos) << help.out;
}

}  // namespace
