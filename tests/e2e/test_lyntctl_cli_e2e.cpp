// lyntctl as a script sees it: reads that leave the card alone, one user of the card at a time,
// values as get shows them, every failure with its status and message, and one JSON schema,
// alone and through the running panel.
#include <gtest/gtest.h>
#include <json/json.h>

#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "../core/FramesLog.h"
#include "../core/TempDir.h"
#include "CardCommands.h"
#include "ChildProcess.h"
#include "ProgramFolders.h"

namespace {

using namespace std::chrono;

const std::string kCard = LYNT_VIRTUAL_CARD_BIN;
const std::string kCtl = LYNTCTL_BIN;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool Parse(const std::string& line, Json::Value* o) {
    std::istringstream in(line);
    std::string errors;
    return Json::parseFromStream(Json::CharReaderBuilder(), in, o, &errors) && o->isObject();
}

class LyntctlCli : public ::testing::Test {
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
        for (int i = 0; i < 200 && !std::filesystem::exists(socket); ++i)
            std::this_thread::sleep_for(milliseconds(10));
        ASSERT_TRUE(std::filesystem::exists(socket));
    }

    // extra replaces an entry of the same name (another runtime folder, say).
    std::vector<std::string> Env(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> env = ProgramEnvironment(dir.Path());
        env.push_back("LYNTCTL_BUSY_WAIT_MS=300");
        for (const std::string& e : extra) {
            const std::string name = e.substr(0, e.find('=') + 1);
            std::erase_if(env, [&](const std::string& have) { return have.starts_with(name); });
            env.push_back(e);
        }
        return env;
    }

    ChildProcess::Result Ctl(std::vector<std::string> args,
                             const std::vector<std::string>& extra = {}) {
        args.insert(args.begin(), kCtl);
        return ChildProcess::Run(args, Env(extra), 20000);
    }

    Json::Value State() {
        card->WriteLine("state");
        Json::Value o;
        Parse(card->ReadLine(3000), &o);
        return o;
    }
    int CardParam(int id) { return State()["params"][id].asInt(); }

    // A direct monitor holds the card until it is stopped.
    std::unique_ptr<ChildProcess> StartMonitor() {
        auto monitor =
            std::make_unique<ChildProcess>(std::vector<std::string>{kCtl, "monitor"}, Env());
        for (int i = 0; i < 100 && State()["host_state"].asInt() != 1; ++i)
            std::this_thread::sleep_for(milliseconds(50));
        std::this_thread::sleep_for(milliseconds(200));  // its full push is done
        return monitor;
    }

    TempDir dir;
    std::filesystem::path socket;
    std::filesystem::path framesLog;
    std::unique_ptr<ChildProcess> card;
};

// The card has no read command: get and the lists show the stored values and send nothing, so a
// knob turned on the card stays where it was turned.
TEST_F(LyntctlCli, ReadsSendNothingToTheCard) {
    ASSERT_EQ(Ctl({"set", "reverb_volume", "55"}).status, 0);
    card->WriteLine("knob 30 77");
    ASSERT_EQ(CardParam(30), 77);
    const size_t before = HostFrames(framesLog).size();
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"get"},
                                               {"get", "30"},
                                               {"eq", "--response", "4"},
                                               {"effects"},
                                               {"params"},
                                               {"presets"},
                                               {"my-effects"},
                                               {"pads"},
                                               {"devices"}}) {
        const auto r = Ctl(args);
        EXPECT_EQ(r.status, 0) << args[0] << ": " << r.err;
    }
    EXPECT_EQ(HostFrames(framesLog).size(), before);
    EXPECT_EQ(CardParam(30), 77);
    EXPECT_EQ(Ctl({"get", "30"}).out, "30 混响音量 reverb_volume 55 [55]\n");
    // The help says where these values come from.
    EXPECT_NE(Ctl({"help", "get"}).out.find("given at each"), std::string::npos);
}

// What get shows, set takes: the value with or without its unit, the raw value as raw:N, decimal
// numbers only. Raw values worked by hand: reverb time shows raw × 100 ms, an equaliser band
// raw × 0.1 − 12 dB.
TEST_F(LyntctlCli, SetTakesWhatGetShows) {
    ASSERT_EQ(Ctl({"set", "reverb_time", "1700"}).status, 0);
    EXPECT_EQ(CardParam(35), 17);
    EXPECT_EQ(Ctl({"get", "35"}).out, "35 混响时长 reverb_time 1700ms [17]\n");
    ASSERT_EQ(Ctl({"set", "REVERB_TIME", "1800MS", "Eq_1", "-3.5dB"}).status, 0);
    EXPECT_EQ(CardParam(35), 18);
    EXPECT_EQ(CardParam(9), 85);
    ASSERT_EQ(Ctl({"set", "混响时长", "raw:20", "030", "010"}).status, 0);
    EXPECT_EQ(CardParam(35), 20);
    EXPECT_EQ(CardParam(30), 10) << "010 is ten";

    struct Refused {
        std::vector<std::string> args;
        std::string err;
    };
    for (const Refused& c : {
             Refused{{"set", "35", "1750"},
                     "value 1750 does not fit 混响时长 (reverb_time): 0 to 6000 ms in steps of "
                     "100 (raw:0-60)\n"},
             Refused{{"set", "30", "0x10"},
                     "value 0x10 does not fit 混响音量 (reverb_volume): 0 to 100 (raw:0-100)\n"},
             Refused{{"set", "eq_1", "12.1"},
                     "value 12.1 does not fit EQ_1 (eq_1): -12.0 to 12.0 dB in steps of 0.1 "
                     "(raw:0-240)\n"},
             Refused{{"set", "35", "raw:61"},
                     "value raw:61 does not fit 混响时长 (reverb_time): 0 to 6000 ms in steps of "
                     "100 (raw:0-60)\n"},
             Refused{{"set", "35", "17dB"},
                     "value 17dB does not fit 混响时长 (reverb_time): 0 to 6000 ms in steps of "
                     "100 (raw:0-60)\n"},
         }) {
        const auto r = Ctl(c.args);
        EXPECT_EQ(r.status, 1) << c.args[2];
        EXPECT_EQ(r.err, c.err);
    }

    // The mute bits: a command of their own; a level set afterwards leaves the bit alone.
    ASSERT_EQ(Ctl({"mute", "mic_volume"}).status, 0);
    EXPECT_EQ(CardParam(0) & 0x80, 0x80);
    ASSERT_EQ(Ctl({"set", "mic_volume", "50"}).status, 0);
    EXPECT_EQ(CardParam(0), 0x80 | 50);
    EXPECT_EQ(Ctl({"get", "0"}).out, "0 话筒音量 mic_volume 50 muted [178]\n");
    ASSERT_EQ(Ctl({"unmute", "0"}).status, 0);
    EXPECT_EQ(CardParam(0), 50);
    const auto noBit = Ctl({"mute", "reverb_time"});
    EXPECT_EQ(noBit.status, 1);
    EXPECT_TRUE(noBit.err.starts_with("混响时长 (reverb_time) has no mute bit")) << noBit.err;
}

// One user of the card at a time: a second direct lyntctl, from this runtime folder or another
// (as under sudo), waits a little, then says who has the card; the first goes on undisturbed.
TEST_F(LyntctlCli, ASecondUserOfTheCardIsToldWhoHasIt) {
    auto monitor = StartMonitor();
    const std::string holder = "the card is in use by lyntctl (pid " +
                               std::to_string(monitor->Pid()) + "); try again when it is done\n";
    const auto second = Ctl({"set", "30", "5"});
    EXPECT_EQ(second.status, 4);
    EXPECT_EQ(second.err, holder);
    std::filesystem::create_directories(dir.Path() / "other-run");
    const auto sudo = Ctl({"info"}, {"XDG_RUNTIME_DIR=" + (dir.Path() / "other-run").string()});
    EXPECT_EQ(sudo.status, 4);
    EXPECT_EQ(sudo.err, holder);
    EXPECT_NE(CardParam(30), 5);

    card->WriteLine("knob 30 66");
    EXPECT_EQ(monitor->ReadLine(3000), "30 混响音量 reverb_volume 66 [66]");
    ::kill(monitor->Pid(), SIGINT);
    EXPECT_EQ(monitor->Wait(5000), 0) << monitor->Stderr();
    EXPECT_EQ(Ctl({"set", "30", "5"}).status, 0) << "the card is free again";
    EXPECT_EQ(CardParam(30), 5);
}

// Every failure path with its status and message, and nothing sent where the command is refused.
TEST_F(LyntctlCli, EveryFailureHasItsStatusAndMessage) {
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int status;
        std::string err;  // a line ending in "..." is a prefix
    };
    const std::string usage = "; see lyntctl --help\n";
    const std::vector<Case> refused = {
        {"missing arguments",
         {"set", "30"},
         1,
         "usage: lyntctl set PARAM VALUE [PARAM VALUE...]\n"},
        {"nothing at all", {}, 1, "lyntctl: no command given" + usage},
        {"unknown command", {"frobnicate"}, 1, "lyntctl: unknown command frobnicate" + usage},
        {"unknown option",
         {"--frob", "get"},
         1,
         "lyntctl: unknown option --frob (options go before the command)" + usage},
        {"option after the command",
         {"get", "--json"},
         1,
         "no such parameter: --json (see lyntctl params)\n"},
        {"no such parameter", {"get", "47"}, 1, "no such parameter: 47 (see lyntctl params)\n"},
        {"extra arguments", {"info", "now"}, 1, "usage: lyntctl info\n"},
        {"extra arguments to a list", {"params", "x"}, 1, "usage: lyntctl params\n"},
        {"no such effect", {"effect", "9"}, 1, "no such built-in effect: 9; they are:..."},
        {"an empty own effect", {"my-effect", "11"}, 1, "my effect 11 is empty\n"},
        {"an empty custom preset", {"preset", "1", "5"}, 1, "您尚未保存预设！\n"},
        {"no such preset", {"preset", "equaliser", "99"}, 1, "group 1 has no preset 99..."},
        {"no such pad", {"pad", "99"}, 1, "no favourite sound pads yet\n"},
        {"a hex number", {"effect", "0x1"}, 1, "no such built-in effect: 0x1..."},
        {"a bad package",
         {"firmware", "check", "--package", "/nonexistent.zip"},
         1,
         "cannot read /nonexistent.zip\n"},
    };
    auto check = [](const Case& c, const ChildProcess::Result& r) {
        EXPECT_EQ(r.status, c.status) << c.what << ": " << r.err;
        if (c.err.ends_with("...")) {
            EXPECT_TRUE(r.err.starts_with(c.err.substr(0, c.err.size() - 3)))
                << c.what << ": " << r.err;
        } else {
            EXPECT_EQ(r.err, c.err) << c.what;
        }
    };
    for (const Case& c : refused)
        check(c, Ctl(c.args));
    EXPECT_TRUE(HostFrames(framesLog).empty()) << "a refused command sends nothing";

    const std::string absent = "vcard:" + (dir.Path() / "cards" / "#VID_2B53&PID_0041#9").string();
    check({"no card", {}, 2, "未连接设备！\n"}, Ctl({"--device", absent, "set", "30", "5"}));
    check({"no card for info", {}, 2, "未连接设备！\n"}, Ctl({"--device", absent, "info"}));
    check({"the panel is not running",
           {},
           2,
           "the control panel is not running: the sound pads play only in the panel\n"},
          Ctl({"pad", "--stop"}));
    // A bare socket path names the card as vcard: does.
    EXPECT_EQ(Ctl({"--device", socket.string(), "set", "30", "6"}).status, 0);

    auto monitor = StartMonitor();
    check({"a second lyntctl", {}, 4, "the card is in use by lyntctl..."}, Ctl({"effect", "0"}));
    monitor.reset();

    card->WriteLine("mute on");
    check({"a silent card", {}, 3, "the card did not answer\n"},
          Ctl({"set", "30", "7"}, {"LYNT_REPLY_TIMEOUT_MS=50"}));
    card->WriteLine("mute off");

    // Under --json the error is an object on standard output, with its status.
    const auto json = Ctl({"--json", "set", "30", "101"});
    EXPECT_EQ(json.status, 1);
    EXPECT_EQ(json.err, "");
    EXPECT_EQ(json.out,
              "{\"message\":\"value 101 does not fit 混响音量 (reverb_volume): 0 to 100 "
              "(raw:0-100)\",\"status\":1,\"type\":\"error\"}\n");
}

// Help like a well-kept tool's: the list in columns, a page per command, the version.
TEST_F(LyntctlCli, HelpShowsEveryCommandAndOnePageEach) {
    const auto help = Ctl({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* command :
         {"devices",     "info",    "params",  "get",         "set",         "mute",
          "unmute",      "eq",      "effects", "effect",      "my-effects",  "my-effect",
          "save-effect", "presets", "preset",  "save-preset", "send-effect", "send-clip",
          "pads",        "pad",     "panel",   "monitor",     "firmware",    "cloud"}) {
        EXPECT_NE(help.out.find("\n  " + std::string(command)), std::string::npos) << command;
        const auto page = Ctl({"help", command});
        EXPECT_EQ(page.status, 0);
        EXPECT_TRUE(page.out.starts_with("usage: lyntctl [OPTIONS] " + std::string(command)))
            << page.out;
        EXPECT_NE(page.out.find("Exit status:\n  0 "), std::string::npos) << command;
        EXPECT_NE(page.out.find("Example:\n  lyntctl "), std::string::npos) << command;
        EXPECT_EQ(Ctl({command, "--help"}).out, page.out);
    }
    EXPECT_EQ(help.out.find("cloud-effect-file"), std::string::npos);
    const auto version = Ctl({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.starts_with("lyntctl ")) << version.out;
    // After "--" a -h is a name like any other.
    const auto named = Ctl({"my-effect", "--", "-h"});
    EXPECT_EQ(named.status, 1);
    EXPECT_TRUE(named.err.starts_with("no such own effect: -h")) << named.err;
}

// Every line under --json is an object with a type; the keys each type promises are there, and
// numbers are numbers.
void CheckSchema(const std::string& command, const std::string& out) {
    const std::map<std::string, std::vector<std::string>> required = {
        {"param", {"id", "key", "name", "value", "raw"}},
        {"param_info", {"id", "key", "name", "minimum", "maximum", "step", "raw_maximum"}},
        {"band",
         {"band", "key", "frequency", "frequency_unit", "gain", "gain_unit", "q", "filter"}},
        {"point", {"frequency", "frequency_unit", "response", "response_unit"}},
        {"result", {"command", "ok"}},
        {"error", {"status", "message"}},
        {"warning", {"status", "message"}},
        {"device", {"path", "vendor_id", "product_id", "mode"}},
        {"info", {"product", "firmware_version", "hardware_version", "device_type"}},
        {"firmware",
         {"firmware_version", "hardware_version", "newest_firmware_version", "upgrade_available",
          "source"}},
        {"effect", {"list", "position", "name"}},
        {"my_effect", {"slot", "name"}},
        {"preset", {"group", "group_key", "position", "name", "saved"}},
        {"pad", {"position", "name"}},
        {"event", {"event"}},
    };
    const std::set<std::string> numbers = {
        "id",        "value", "raw",  "minimum",     "maximum",    "step",
        "frequency", "gain",  "q",    "response",    "status",     "position",
        "slot",      "group", "band", "clip_length", "sent_length"};
    for (const std::string& line : Lines(out)) {
        Json::Value o;
        ASSERT_TRUE(Parse(line, &o)) << command << ": " << line;
        const std::string type = o["type"].asString();
        auto keys = required.find(type);
        ASSERT_NE(keys, required.end()) << command << ": " << line;
        for (const std::string& key : keys->second)
            EXPECT_TRUE(o.isMember(key)) << command << ": " << key << " in " << line;
        for (const std::string& key : o.getMemberNames()) {
            if (numbers.count(key)) {
                EXPECT_TRUE(o[key].isNumeric()) << command << ": " << key << " in " << line;
            }
        }
    }
}

const std::vector<std::vector<std::string>> kSchemaCommands = {{"devices"},
                                                               {"info"},
                                                               {"params"},
                                                               {"get"},
                                                               {"eq", "--response", "3"},
                                                               {"effects"},
                                                               {"my-effects"},
                                                               {"presets"},
                                                               {"set", "30", "40"},
                                                               {"mute", "0"},
                                                               {"unmute", "0"},
                                                               {"effect", "1"},
                                                               {"preset", "2", "1"},
                                                               {"save-preset", "1", "0", "Mine"},
                                                               {"set", "30", "101"},
                                                               {"get", "nope"},
                                                               {"preset", "1", "6"}};

TEST_F(LyntctlCli, EveryJsonLineHasATypeAndItsKeys) {
    for (const auto& args : kSchemaCommands) {
        std::vector<std::string> json = {"--json"};
        json.insert(json.end(), args.begin(), args.end());
        const auto r = Ctl(json);
        EXPECT_EQ(r.err, "") << args[0];
        EXPECT_FALSE(r.out.empty()) << args[0];
        CheckSchema(args[0], r.out);
    }
    // One spelling per fact: the card's firmware version.
    Json::Value info;
    ASSERT_TRUE(Parse(Ctl({"--json", "info"}).out, &info));
    EXPECT_TRUE(info["firmware_version"].isString());
    EXPECT_EQ(info["device_type"].asString(), "sound_card") << "English enumeration values";
}

#ifdef VELORA_BIN
// Through the running panel the output is what lyntctl prints alone, byte for byte; and a lyntctl
// of another runtime folder (sudo, ssh) finds the card held by the panel instead of breaking in.
TEST_F(LyntctlCli, ThroughThePanelTheOutputIsTheSame) {
    ChildProcess xserver(
        {"/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x900x24"},
        {});
    const std::string display = xserver.ReadLine(10000);
    if (display.empty())
        GTEST_SKIP() << "no X server could be started";
    const std::vector<std::vector<std::string>> reads = {{"--json", "get"},
                                                         {"get"},
                                                         {"--json", "params"},
                                                         {"--json", "eq", "--response", "3"},
                                                         {"presets"},
                                                         {"--json", "my-effects"},
                                                         {"--json", "set", "30", "101"},
                                                         {"--json", "preset", "1", "6"},
                                                         {"set", "nope", "1"}};
    std::vector<ChildProcess::Result> direct;
    for (const auto& args : reads)
        direct.push_back(Ctl(args));

    ChildProcess velora({VELORA_BIN}, Env({"DISPLAY=:" + display}));
    bool connected = false;
    for (int i = 0; i < 300 && !connected; ++i) {
        connected = State()["host_state"].asInt() == 1;
        std::this_thread::sleep_for(milliseconds(50));
    }
    ASSERT_TRUE(connected) << velora.Stderr();
    std::this_thread::sleep_for(milliseconds(500));  // its full push is done
    for (size_t i = 0; i < reads.size(); ++i) {
        const auto panel = Ctl(reads[i]);
        EXPECT_EQ(panel.status, direct[i].status) << reads[i][0] << " " << reads[i][1];
        EXPECT_EQ(panel.out, direct[i].out) << reads[i][0] << " " << reads[i][1];
        EXPECT_EQ(panel.err, direct[i].err) << reads[i][0] << " " << reads[i][1];
    }
    for (const auto& args : kSchemaCommands) {
        if (args[0] == "devices" || args[0] == "info")
            continue;  // asked of the card, or not the panel's
        std::vector<std::string> json = {"--json"};
        json.insert(json.end(), args.begin(), args.end());
        CheckSchema(args[0] + " through the panel", Ctl(json).out);
    }

    std::filesystem::create_directories(dir.Path() / "other-run");
    const auto sudo =
        Ctl({"set", "30", "9"}, {"XDG_RUNTIME_DIR=" + (dir.Path() / "other-run").string()});
    EXPECT_EQ(sudo.status, 4);
    EXPECT_TRUE(sudo.err.starts_with("the card is in use by velora (pid " +
                                     std::to_string(velora.Pid()) + ")"))
        << sudo.err;
    const auto still = Ctl({"set", "30", "9"});
    EXPECT_EQ(still.status, 0) << "the panel's own commands go on: " << still.err;
    EXPECT_EQ(CardParam(30), 9);
    EXPECT_EQ(velora.Terminate(), 0);
}
#endif

// Commands that only read open a session that gives the card nothing: a knob turned on the card
// stays where it was turned, and no parameter frame goes out although the stored value differs.
// A command that changes the card still gives it the stored values first.
TEST_F(LyntctlCli, InfoMonitorAndFirmwareCheckLeaveTheCardsValues) {
    ASSERT_EQ(Ctl({"set", "reverb_volume", "55"}).status, 0);
    card->WriteLine("knob 30 77");
    ASSERT_EQ(CardParam(30), 77);
    const size_t sets = HostFrames(framesLog, card::CMD_SET_PARAMS).size();

    const auto info = Ctl({"info"});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("固件版本：V"), std::string::npos) << info.out;
    EXPECT_EQ(CardParam(30), 77);
    EXPECT_EQ(State()["host_state"].asInt(), 0) << "the session was ended";

    ChildProcess cloudSim({CLOUD_SIM_BIN, "--port", "0"}, {});
    const std::string cloud = "VELORA_CLOUD_URL=" + cloudSim.ReadLine(5000);
    const auto check = Ctl({"--json", "firmware", "check"}, {cloud});
    EXPECT_EQ(check.status, 0) << check.err;
    CheckSchema("firmware check", check.out);
    EXPECT_EQ(CardParam(30), 77);

    auto monitor = StartMonitor();
    EXPECT_EQ(CardParam(30), 77);
    card->WriteLine("knob 30 66");
    EXPECT_EQ(monitor->ReadLine(3000), "30 混响音量 reverb_volume 66 [66]");
    ::kill(monitor->Pid(), SIGINT);
    EXPECT_EQ(monitor->Wait(5000), 0) << monitor->Stderr();
    EXPECT_EQ(HostFrames(framesLog, card::CMD_SET_PARAMS).size(), sets);
    EXPECT_EQ(Ctl({"get", "30"}).out, "30 混响音量 reverb_volume 66 [66]\n") << "what monitor saw";

    // The info line and firmware check's spell the versions alike.
    Json::Value versions;
    ASSERT_TRUE(Parse(Ctl({"--json", "info"}).out, &versions));
    Json::Value checked;
    ASSERT_TRUE(Parse(check.out, &checked));
    EXPECT_EQ(versions["firmware_version"], checked["firmware_version"]);
    EXPECT_EQ(versions["hardware_version"], checked["hardware_version"]);

    card->WriteLine("knob 30 12");
    ASSERT_EQ(Ctl({"set", "31", "3"}).status, 0);
    EXPECT_GT(HostFrames(framesLog, card::CMD_SET_PARAMS).size(), sets);
    EXPECT_EQ(CardParam(30), 66) << "a command that changes the card gives it the stored values";
}

// A name longer than its record keeps is cut there (never inside a character) and said, with
// what was stored; status 0. The checks see the stored name, so two long names that differ
// only past the cut are one name.
TEST_F(LyntctlCli, ANameCutToWhatTheRecordKeepsIsSaid) {
    std::string seventy;
    for (int i = 0; i < 70; ++i)
        seventy += i < 63 ? "声" : "尾";
    std::string kept;
    for (int i = 0; i < 63; ++i)
        kept += "声";
    const auto saved = Ctl({"save-effect", "0", seventy});
    EXPECT_EQ(saved.status, 0) << saved.err;
    EXPECT_EQ(saved.err,
              "the name is longer than the 63 characters kept: stored as \"" + kept + "\"\n");
    EXPECT_EQ(saved.out, "save-effect: done\n");
    const std::vector<std::string> listed = Lines(Ctl({"my-effects"}).out);
    ASSERT_FALSE(listed.empty());
    EXPECT_EQ(listed[0], "0\t" + kept);

    // The same first 63 characters: the name slot 0 has.
    const auto twin = Ctl({"save-effect", "1", kept + "别的字"});
    EXPECT_EQ(twin.status, 1);
    EXPECT_TRUE(twin.err.ends_with("自定义音效中已存在相同名称！\n")) << twin.err;

    // A character outside the basic plane (two UTF-16 units) at the cut goes whole.
    const std::string sixtyTwo = kept.substr(0, 62 * 3);
    const auto emoji = Ctl({"--json", "save-effect", "2", sixtyTwo + "😀x"});
    EXPECT_EQ(emoji.status, 0) << emoji.err;
    CheckSchema("save-effect", emoji.out);
    const std::vector<std::string> lines = Lines(emoji.out);
    ASSERT_EQ(lines.size(), 2u) << emoji.out;
    Json::Value result;
    Json::Value warning;
    ASSERT_TRUE(Parse(lines[0], &result) && Parse(lines[1], &warning));
    EXPECT_EQ(result["name"].asString(), sixtyTwo);
    EXPECT_TRUE(result["name_cut"].asBool());
    EXPECT_EQ(warning["type"].asString(), "warning");
    EXPECT_EQ(warning["status"].asInt(), 0);

    // A preset keeps 15.
    const auto preset = Ctl({"save-preset", "voice", "0", "ABCDEFGHIJKLMNOPQRST"});
    EXPECT_EQ(preset.status, 0) << preset.err;
    EXPECT_EQ(preset.err,
              "the name is longer than the 15 characters kept: stored as \"ABCDEFGHIJKLMNO\"\n");
    EXPECT_NE(Ctl({"presets", "voice"}).out.find("\tABCDEFGHIJKLMNO\tcustom 0"), std::string::npos);
    const auto fits = Ctl({"save-preset", "voice", "1", "Short"});
    EXPECT_EQ(fits.err, "");
}

// firmware check beside a panel that holds the card but takes no commands: status 3 with the
// reason, and nothing sent to the card behind the panel's back.
TEST_F(LyntctlCli, FirmwareCheckBesideASilentPanelSaysSo) {
    std::ofstream(dir.Path() / "run" / "velora.lock") << ::getppid() << "\nvelora\n";
    const auto check = Ctl({"firmware", "check", "--package", "/nonexistent.zip"});
    EXPECT_EQ(check.status, 1) << "the package is read first";
    const auto silent = Ctl({"--json", "firmware", "check"});
    EXPECT_EQ(silent.status, 3);
    EXPECT_EQ(silent.out,
              "{\"message\":\"the control panel is running but does not take commands\","
              "\"status\":3,\"type\":\"error\"}\n");
    EXPECT_TRUE(HostFrames(framesLog).empty());
}

#ifdef VELORA_BIN
// firmware check only reads, so it goes on while the panel runs: the panel tells the card's
// versions, and the line is the one lyntctl prints alone. The upgrade is still the panel's.
TEST_F(LyntctlCli, FirmwareCheckGoesOnBesideThePanel) {
    ChildProcess cloudSim({CLOUD_SIM_BIN, "--port", "0"}, {});
    const std::string cloud = "VELORA_CLOUD_URL=" + cloudSim.ReadLine(5000);
    const auto direct = Ctl({"firmware", "check"}, {cloud});
    ASSERT_EQ(direct.status, 0) << direct.err;
    const auto directJson = Ctl({"--json", "firmware", "check"}, {cloud});

    ChildProcess xserver(
        {"/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x900x24"},
        {});
    const std::string display = xserver.ReadLine(10000);
    if (display.empty())
        GTEST_SKIP() << "no X server could be started";
    ChildProcess velora({VELORA_BIN}, Env({"DISPLAY=:" + display}));
    bool connected = false;
    for (int i = 0; i < 300 && !connected; ++i) {
        connected = State()["host_state"].asInt() == 1;
        std::this_thread::sleep_for(milliseconds(50));
    }
    ASSERT_TRUE(connected) << velora.Stderr();

    const auto panel = Ctl({"firmware", "check"}, {cloud});
    EXPECT_EQ(panel.status, 0) << panel.err;
    EXPECT_EQ(panel.out, direct.out);
    EXPECT_EQ(panel.err, "");
    const auto json = Ctl({"--json", "firmware", "check"}, {cloud});
    EXPECT_EQ(json.out, directJson.out);
    CheckSchema("firmware check through the panel", json.out);

    const auto upgrade = Ctl({"firmware", "upgrade", "--yes"}, {cloud});
    EXPECT_EQ(upgrade.status, 4);
    EXPECT_NE(upgrade.err.find("lyntctl panel upgrade"), std::string::npos) << upgrade.err;
    EXPECT_TRUE(HostFrames(framesLog, card::CMD_FW_ENTER_BOOT).empty());

    card->WriteLine("unplug");
    std::this_thread::sleep_for(milliseconds(600));
    const auto unplugged = Ctl({"firmware", "check"}, {cloud});
    EXPECT_EQ(unplugged.status, 2);
    EXPECT_EQ(unplugged.err, "未连接设备！\n");
    EXPECT_EQ(velora.Terminate(), 0);
}
#endif

}  // namespace
