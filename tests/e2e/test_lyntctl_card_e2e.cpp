// lyntctl's card commands against the lynt-virtual-card process.
#include <gtest/gtest.h>
#include <json/json.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "../core/FramesLog.h"
#include "../core/TempDir.h"
#include "../model/ModelTestSupport.h"
#include "CardCommands.h"
#include "ChildProcess.h"
#include "EffectStore.h"
#include "ProgramFolders.h"

namespace {

using namespace std::chrono;

const std::string kCard = LYNT_VIRTUAL_CARD_BIN;
const std::string kCtl = LYNTCTL_BIN;

class LyntctlCard : public ::testing::Test {
protected:
    void SetUp() override {
        socket = dir.Path() / "#VID_2B53&PID_0041#0";
        framesLog = dir.Path() / "frames.log";
        cardProcess = std::make_unique<ChildProcess>(
            std::vector<std::string>{kCard, "--socket", socket.string(), "--frames-log", framesLog.string()},
            std::vector<std::string>{});
        ASSERT_TRUE(cardProcess->Started());
        for (int i = 0; i < 200 && !std::filesystem::exists(socket); ++i) {
            std::this_thread::sleep_for(milliseconds(10));
        }
        ASSERT_TRUE(std::filesystem::exists(socket));
        ProgramEnvironment(dir.Path());  // the folders exist before the first command
    }

    std::vector<std::string> Env() {
        auto env = ProgramEnvironment(dir.Path());
        env[0] = "LYNT_VIRTUAL_CARD_DIR=" + dir.Path().string();
        return env;
    }

    ChildProcess::Result Ctl(std::vector<std::string> args) {
        args.insert(args.begin(), kCtl);
        return ChildProcess::Run(args, Env(), 20000);
    }

    Json::Value State() {
        cardProcess->WriteLine("state");
        std::istringstream in(cardProcess->ReadLine(3000));
        Json::Value root;
        std::string errors;
        Json::parseFromStream(Json::CharReaderBuilder(), in, &root, &errors);
        return root;
    }

    int CardParam(int id) { return State()["params"][id].asInt(); }

    TempDir dir;
    std::filesystem::path socket;
    std::filesystem::path framesLog;
    std::unique_ptr<ChildProcess> cardProcess;
};

TEST_F(LyntctlCard, SetChangesTheCardAndGetShowsIt) {
    auto r = Ctl({"set", "30", "55", "EQ_1", "raw:150"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(CardParam(30), 55);
    EXPECT_EQ(CardParam(9), 150);
    EXPECT_EQ(State()["host_state"].asInt(), 0);  // lyntctl said goodbye

    auto get = Ctl({"get", "30", "EQ_1"});
    EXPECT_EQ(get.status, 0);
    EXPECT_EQ(get.out, "30 混响音量 reverb_volume 55 [55]\n9 EQ_1 eq_1 3.0dB [150]\n");
    auto json = Ctl({"--json", "get", "9"});
    EXPECT_EQ(json.out,
              "{\"id\":9,\"key\":\"eq_1\",\"name\":\"EQ_1\",\"raw\":150,\"type\":\"param\","
              "\"unit\":\"dB\",\"value\":3}\n");
    EXPECT_EQ(Ctl({"get"}).out.size() > 0, true);
}

TEST_F(LyntctlCard, WrongParamOrValueIsRefusedAndSendsNothing) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    for (const Case& c :
         {Case{{"set", "nope", "1"}, "no such parameter: nope (see lyntctl params)\n"},
          Case{{"set", "30", "101"},
               "value 101 does not fit 混响音量 (reverb_volume): 0 to 100 (raw:0-100)\n"},
          Case{{"set", "47", "1"}, "no such parameter: 47 (see lyntctl params)\n"},
          Case{{"set", "30"}, "usage: lyntctl set PARAM VALUE [PARAM VALUE...]\n"},
          Case{{"get", "EQ_99"}, "no such parameter: EQ_99 (see lyntctl params)\n"}}) {
        auto r = Ctl(c.args);
        EXPECT_EQ(r.status, 1) << c.args[1];
        EXPECT_EQ(r.err, c.message);
    }
    EXPECT_TRUE(HostFrames(framesLog).empty());
}

TEST_F(LyntctlCard, EffectAndPresetCommandsChangeTheCard) {
    // Position 2 "闪避" is the card's effect 1; "原声" is its effect 4.
    ASSERT_EQ(Ctl({"effect", "2"}).status, 0);
    EXPECT_EQ(CardParam(6), 1);
    ASSERT_EQ(Ctl({"effect", "原声"}).status, 0);
    EXPECT_EQ(CardParam(6), 4);

    // An own effect saved while effect 2 is current brings its reverb back.
    ASSERT_EQ(Ctl({"effect", "2"}).status, 0);
    ASSERT_EQ(Ctl({"set", "31", "44"}).status, 0);
    auto saved = Ctl({"save-effect", "3", "舞台"});
    ASSERT_EQ(saved.status, 0) << saved.err;
    ASSERT_EQ(Ctl({"effect", "0"}).status, 0);
    ASSERT_EQ(Ctl({"my-effect", "3"}).status, 0);
    EXPECT_EQ(CardParam(6), 0x41) << "an own effect saved over the card's effect 1";
    EXPECT_EQ(Ctl({"get", "6"}).out, "6 音效编号 effect_number 65 [65]\n");
    EXPECT_EQ(CardParam(31), 44);
    EXPECT_EQ(Ctl({"get", "31"}).out, "31 混响早期反射 reverb_early_reflections 44 [44]\n");

    // The first named equaliser preset, "明亮", sets the fifteen bands on the card and in the
    // settings the next command starts from.
    auto preset = Ctl({"--json", "preset", "1", "1"});
    ASSERT_EQ(preset.status, 0) << preset.err;
    const int bright[15] = {0, 13, 45, 129, 90, 95, 105, 99, 168, 125, 133, 101, 145, 154, 93};
    Json::Value params = State()["params"];
    std::vector<std::string> bandArgs = {"get"};
    for (int i = 0; i < 15; ++i) {
        EXPECT_EQ(params[9 + i].asInt(), bright[i]) << "EQ_" << i + 1;
        bandArgs.push_back("EQ_" + std::to_string(i + 1));
    }
    std::istringstream bands(Ctl(bandArgs).out);
    std::string line;
    int i = 0;
    for (; i < 15 && std::getline(bands, line); ++i) {
        EXPECT_NE(line.find("[" + std::to_string(bright[i]) + "]"), std::string::npos) << line;
    }
    EXPECT_EQ(i, 15);

    // The save dialogs' checks and messages.
    auto dup = Ctl({"save-effect", "4", " 户外 "});
    EXPECT_EQ(dup.status, 1);
    EXPECT_EQ(dup.err, "不能与默认音效名称相同！\n");
    auto other = Ctl({"save-effect", "5", "舞台"});
    EXPECT_EQ(other.err, "自定义音效中已存在相同名称！\n");
    EXPECT_EQ(Ctl({"save-effect", "3", "舞台"}).status, 0);  // the same slot may keep its name
    auto named = Ctl({"save-preset", "1", "1", "明亮 "});
    EXPECT_EQ(named.err, "已存在相同的预设名称！\n");
    EXPECT_EQ(Ctl({"save-preset", "1", "1", "我的均衡"}).status, 0);
    EXPECT_EQ(Ctl({"my-effect", "11"}).status, 1);  // nothing stored there
}

TEST_F(LyntctlCard, SendEffectLeavesEveryRecordOnTheCard) {
    modeltest::EffectFileParts parts;
    parts.a = modeltest::CountingRecords(20, 8);
    parts.b = modeltest::CountingRecords(9, 8, 100);
    parts.c = modeltest::CountingRecords(5, 24, 7);
    parts.params.push_back({31, 0, 100, 50.0f});
    std::filesystem::path file = dir.Path() / "stage.eff";
    parts.Write(file);
    auto r = Ctl({"send-effect", file.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");  // no progress on a pipe
    Json::Value effect = State()["effect_download"];
    EXPECT_TRUE(effect["counts_match"].asBool()) << effect.toStyledString();
    EXPECT_GT(effect["frames"].asInt(), 3);

    // The file is the current effect when the session ends, as after the panel sent it: its
    // values are not stored under the name and number of the effect before.
    model::EffectRecord stored{};
    ASSERT_TRUE(model::CEffectStore(dir.Path() / "data" / "Velora" / "LyntConfigData.db")
                    .ReadCurrentEffect(stored));
    EXPECT_EQ(model::RecordText(stored.name), u"stage");
    EXPECT_EQ(model::RecordText(stored.source), file.u16string());
    EXPECT_EQ(stored.params[6], 164);
    EXPECT_EQ(stored.downloaded, 1);
    EXPECT_EQ(stored.params[30], 50);

    std::filesystem::path junk = dir.Path() / "junk.eff";
    modeltest::EffectFileParts::WriteBytes(junk, {1, 2, 3});
    EXPECT_EQ(Ctl({"send-effect", junk.string()}).status, 1);
}

TEST_F(LyntctlCard, MonitorFollowsKnobsAndWaitsForAnUnpluggedCard) {
    ChildProcess monitor({kCtl, "monitor", "--levels"}, Env());
    auto waitHostState = [&](int want) {
        for (int i = 0; i < 100; ++i) {
            if (State()["host_state"].asInt() == want) return true;
            std::this_thread::sleep_for(milliseconds(50));
        }
        return false;
    };
    ASSERT_TRUE(waitHostState(1));
    std::this_thread::sleep_for(milliseconds(200));  // the full push is done
    cardProcess->WriteLine("knob 30 77");
    EXPECT_EQ(monitor.ReadLine(3000), "30 混响音量 reverb_volume 77 [77]");
    // The card counts the monitor volume in quarter steps: what is shown is what the workspace
    // (and `get`) holds.
    cardProcess->WriteLine("knob 1 20");
    EXPECT_EQ(monitor.ReadLine(3000), "1 监听音量 monitor_volume 80 [80]");
    // A report of the value already shown is no change to print.
    cardProcess->WriteLine("knob 1 20");
    cardProcess->WriteLine("knob 30 78");
    EXPECT_EQ(monitor.ReadLine(3000), "30 混响音量 reverb_volume 78 [78]");
    cardProcess->WriteLine("levels 5 600");
    EXPECT_EQ(monitor.ReadLine(3000), "levels 5 600");

    cardProcess->WriteLine("unplug");
    EXPECT_EQ(monitor.ReadLine(3000), "card unplugged; waiting for it to come back");
    cardProcess->WriteLine("plug");
    EXPECT_EQ(monitor.ReadLine(5000), "card is back");
    cardProcess->WriteLine("knob 0 12");
    EXPECT_EQ(monitor.ReadLine(3000), "0 话筒音量 mic_volume 48 [48]");

    monitor.Terminate();
    EXPECT_TRUE(waitHostState(0));  // an interrupted monitor still ends the session
}

TEST_F(LyntctlCard, CommandsStayAwayWhileThePanelRuns) {
    // A panel holds the lock but does not take commands: lyntctl says so, and leaves the card.
    std::ofstream(dir.Path() / "run" / "velora.lock") << ::getppid() << "\nvelora\n";
    auto r = Ctl({"info"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("does not take commands"), std::string::npos) << r.err;

    // One that takes the connection but never answers: lyntctl gives up with status 3.
    int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, (dir.Path() / "run" / "velora.sock").c_str());
    ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(server, 4), 0);
    std::vector<std::string> env = Env();
    env.push_back("LYNTCTL_PANEL_TIMEOUT_MS=200");
    auto silent = ChildProcess::Run({kCtl, "get", "30"}, env);
    ::close(server);
    EXPECT_EQ(silent.status, 3);
    EXPECT_NE(silent.err.find("did not answer in time"), std::string::npos) << silent.err;
    EXPECT_EQ(Ctl({"devices"}).status, 0);
    EXPECT_TRUE(HostFrames(framesLog).empty());
}

TEST_F(LyntctlCard, EqShowsTheBandsAndTheCurveTheyMake) {
    std::vector<std::string> set = {"set"};
    for (int id = 9; id <= 23; ++id) {
        set.push_back(std::to_string(id));
        set.push_back(id == 17 ? "6dB" : "raw:120");  // 1 kHz at +6 dB, the rest flat
    }
    ASSERT_EQ(Ctl(set).status, 0);

    auto r = Ctl({"--json", "eq", "--response", "64"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    std::vector<Json::Value> bands, curve;
    while (std::getline(lines, line)) {
        Json::Value o;
        std::istringstream in(line);
        ASSERT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), in, &o, nullptr)) << line;
        (o.isMember("band") ? bands : curve).push_back(o);
    }
    ASSERT_EQ(bands.size(), 15u);
    ASSERT_EQ(curve.size(), 64u);
    EXPECT_EQ(bands[8]["frequency"].asDouble(), 1000.0);
    EXPECT_EQ(bands[8]["gain"].asDouble(), 6.0);
    EXPECT_EQ(bands[8]["filter"].asString(), "peaking");
    EXPECT_EQ(bands[0]["gain"].asDouble(), 0.0);
    EXPECT_EQ(curve.front()["frequency"].asDouble(), 20.0);
    EXPECT_EQ(curve.back()["frequency"].asDouble(), 24000.0);
    auto peak = std::max_element(curve.begin(), curve.end(), [](auto& a, auto& b) {
        return a["response"].asDouble() < b["response"].asDouble();
    });
    EXPECT_NEAR((*peak)["frequency"].asDouble(), 1000.0, 150.0);
    EXPECT_NEAR((*peak)["response"].asDouble(), 5.8, 0.25);  // the 64 points miss 1 kHz a bit

    EXPECT_NE(Ctl({"eq"}).out.find("\n9 EQ_9 1000 Hz 6.0 dB Q 1.7 peaking\n"), std::string::npos);
    EXPECT_EQ(Ctl({"eq", "--response", "1"}).status, 1);
}

// The file's name becomes the current effect's, which keeps 63 characters: a longer one is cut
// there and said.
TEST_F(LyntctlCard, AnEffectFilesLongNameIsCutAndSaid) {
    modeltest::EffectFileParts parts;
    parts.a = modeltest::CountingRecords(2, 8);
    std::string seventy;
    for (int i = 0; i < 70; ++i)
        seventy += "长";
    const std::filesystem::path file = dir.Path() / (seventy + ".eff");
    parts.Write(file);
    auto r = Ctl({"send-effect", file.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "the name is longer than the 63 characters kept: stored as \"" +
                         seventy.substr(0, 63 * 3) + "\"\n");
    model::EffectRecord stored{};
    ASSERT_TRUE(model::CEffectStore(dir.Path() / "data" / "Velora" / "LyntConfigData.db")
                    .ReadCurrentEffect(stored));
    EXPECT_EQ(model::RecordText(stored.name), std::u16string(63, u'长'));
}

}  // namespace
