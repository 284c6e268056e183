// The doctor against real set-ups: a virtual card, device nodes made with mknod and opened by an
// unprivileged user, rule folders, a private PulseAudio, a private session bus, the cloud stand-in.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>

#include "ChildProcess.h"
#include "CloudSim.h"
#include "Doctor.h"
#include "Json/JsonReader.h"
#include "PulseFixture.h"
#include "TempDir.h"
#include "VirtualCardServer.h"

namespace {

using doctor::CheckResult;
using doctor::Level;

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
            m_had = true;
        }
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { m_had ? ::setenv(m_name, m_old.c_str(), 1) : ::unsetenv(m_name); }

private:
    const char* m_name;
    std::string m_old;
    bool m_had = false;
};

// Runs check as the unprivileged user "nobody" in a child process and brings its result back:
// the permission checks mean nothing for root, who may open anything.
CheckResult AsNobody(const std::function<CheckResult()>& check) {
    int pipeFds[2];
    EXPECT_EQ(::pipe(pipeFds), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(3);
        }
        const CheckResult r = check();
        const std::string out =
            std::to_string(static_cast<int>(r.level)) + "\n" + r.found + "\n" + r.todo + "\n";
        (void)!::write(pipeFds[1], out.data(), out.size());
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child could not run";
    std::istringstream in(text);
    CheckResult r;
    std::string level;
    std::getline(in, level);
    std::getline(in, r.found);
    std::getline(in, r.todo);
    r.level = level.empty() ? Level::Fail : static_cast<Level>(std::stoi(level));
    return r;
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path) << text;
}

void InstallOurRule(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(VELORA_UDEV_RULE, folder / "70-velora-lynt.rules");
}

class DoctorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::chmod(dir.Path().c_str(), 0755);  // nobody must reach the nodes in it
        options.ruleFolders = {dir.Path() / "rules"};
        options.timeoutMs = 1500;
    }
    TempDir dir;
    doctor::Options options;
};

TEST_F(DoctorTest, VirtualCardIsFoundAndLeftAlone) {
    vcard::ServerOptions cardOptions;
    cardOptions.socketPath = dir.Path() / "#VID_2B53&PID_0041#0";
    vcard::CVirtualCardServer card(cardOptions);
    ASSERT_TRUE(card.Start());
    ScopedEnv cards("LYNT_VIRTUAL_CARD_DIR", dir.Path().c_str());

    const auto results = doctor::CheckCards(options);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].id, "card");
    EXPECT_EQ(results[0].level, Level::Ok);
    EXPECT_NE(results[0].found.find("#VID_2B53&PID_0041#0"), std::string::npos);
    EXPECT_EQ(results[1].id, "card_access");
    EXPECT_EQ(results[1].level, Level::Ok) << results[1].found;
    // Checking is not using: the card never saw a host.
    EXPECT_FALSE(card.IsHostConnected());
}

TEST_F(DoctorTest, NoCardSaysWhereItLookedAndWhatToDo) {
    std::filesystem::create_directories(dir.Path() / "empty");
    ScopedEnv cards("LYNT_VIRTUAL_CARD_DIR", (dir.Path() / "empty").c_str());
    const auto results = doctor::CheckCards(options);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].level, Level::Fail);
    EXPECT_NE(results[0].found.find((dir.Path() / "empty").string()), std::string::npos);
    EXPECT_FALSE(results[0].todo.empty());
}

// Each reason a node stays closed, told apart as an unprivileged user sees it.
TEST_F(DoctorTest, ClosedNodeTellsWhy) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "making device nodes and changing user needs root";
    }
    const std::filesystem::path node = dir.Path() / "hidraw7";
    // A copy of /dev/null: a real character device whose mode decides who may open it.
    if (::mknod(node.c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0) {
        GTEST_SKIP() << "mknod is not allowed here";
    }
    auto check = [&] { return doctor::CheckNodeAccess(node.string(), options); };

    ::chmod(node.c_str(), 0600);
    CheckResult r = AsNobody(check);
    EXPECT_EQ(r.level, Level::Fail);
    EXPECT_NE(r.found.find("没有安装声卡的 udev 规则"), std::string::npos) << r.found;
    EXPECT_NE(r.todo.find("udevadm"), std::string::npos);

    InstallOurRule(dir.Path() / "rules");
    r = AsNobody(check);
    EXPECT_EQ(r.level, Level::Fail);
    EXPECT_NE(r.found.find("还没有应用到这个节点"), std::string::npos) << r.found;
    EXPECT_NE(r.found.find("0600"), std::string::npos) << r.found;

    ::chmod(node.c_str(), 0660);  // as the rule leaves it, with the ACL going to the seat's user
    r = AsNobody(check);
    EXPECT_EQ(r.level, Level::Fail);
    EXPECT_NE(r.found.find("不是这台电脑座席上的活动用户"), std::string::npos) << r.found;

    ::chmod(node.c_str(), 0666);
    r = AsNobody(check);
    EXPECT_EQ(r.level, Level::Ok) << r.found;
}

TEST_F(DoctorTest, VirtualCardOfAnotherUserIsClosed) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "changing user needs root";
    }
    vcard::ServerOptions cardOptions;
    cardOptions.socketPath = dir.Path() / "#VID_2B53&PID_0041#0";
    vcard::CVirtualCardServer card(cardOptions);
    ASSERT_TRUE(card.Start());
    ::chmod(cardOptions.socketPath.c_str(), 0600);
    const CheckResult r =
        AsNobody([&] { return doctor::CheckNodeAccess(card.DevicePath(), options); });
    EXPECT_EQ(r.level, Level::Fail);
    EXPECT_NE(r.found.find("0600"), std::string::npos) << r.found;
    EXPECT_FALSE(r.todo.empty());
}

TEST_F(DoctorTest, RuleIsFoundByWhatItMatches) {
    EXPECT_EQ(doctor::CheckUdevRule(options).level, Level::Fail);  // folder missing
    std::filesystem::create_directories(dir.Path() / "rules");
    // Another vendor's rule, and ours only in a comment or under another extension.
    WriteFile(dir.Path() / "rules" / "60-other.rules",
              "# not 2b53\nSUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"046d\", MODE=\"0660\"\n");
    WriteFile(dir.Path() / "rules" / "70-velora-lynt.rules.disabled",
              "SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"2b53\", TAG+=\"uaccess\"\n");
    CheckResult r = doctor::CheckUdevRule(options);
    EXPECT_EQ(r.level, Level::Fail);
    EXPECT_NE(r.todo.find("/etc/udev/rules.d"), std::string::npos);

    options.ruleFolders.insert(options.ruleFolders.begin(), dir.Path() / "none");
    InstallOurRule(dir.Path() / "rules");
    r = doctor::CheckUdevRule(options);
    EXPECT_EQ(r.level, Level::Ok);
    EXPECT_NE(r.found.find("70-velora-lynt.rules"), std::string::npos);
}

TEST_F(DoctorTest, NoSoundServer) {
    ScopedEnv server("PULSE_SERVER", ("unix:" + (dir.Path() / "nothing").string()).c_str());
    const auto results = doctor::CheckSound(options);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0].id, "sound_server");
    EXPECT_EQ(results[0].level, Level::Fail);
    EXPECT_NE(results[0].todo.find("PULSE_SERVER"), std::string::npos);
    for (size_t i : {1u, 2u}) {
        EXPECT_EQ(results[i].level, Level::Fail);
        EXPECT_NE(results[i].found.find("没有声音服务器"), std::string::npos) << results[i].found;
    }
}

TEST_F(DoctorTest, CardDevicesOnAPrivatePulseAudio) {
    if (!PulseFixture::Installed()) {
        GTEST_SKIP() << "pulseaudio is not installed";
    }
    PulseFixture pulse;
    ASSERT_TRUE(pulse.Start()) << pulse.Error();
    auto results = doctor::CheckSound(options);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0].level, Level::Ok);
    EXPECT_NE(results[0].found.find("PulseAudio"), std::string::npos) << results[0].found;
    EXPECT_EQ(results[1].level, Level::Ok);
    EXPECT_NE(results[1].found.find("Orin LYNT!"), std::string::npos);
    // The capture device is the card's source, not the monitor of its sink.
    EXPECT_EQ(results[2].level, Level::Ok);
    EXPECT_NE(results[2].found.find("Orin LYNT! Input"), std::string::npos) << results[2].found;
    EXPECT_EQ(results[2].found.find("Monitor"), std::string::npos) << results[2].found;

    // The card's source gone: the sink's monitor does not stand in for it.
    pulse.Pactl("unload-module module-remap-source");
    results = doctor::CheckSound(options);
    EXPECT_EQ(results[1].level, Level::Ok);
    EXPECT_EQ(results[2].level, Level::Fail) << results[2].found;
}

TEST_F(DoctorTest, TrayHostAndHotkeysOnAPrivateBus) {
    // A session bus of our own, with nobody on it.
    ChildProcess bus({"/usr/bin/dbus-daemon", "--session", "--nofork", "--print-address"}, {});
    ASSERT_TRUE(bus.Started());
    const std::string address = bus.ReadLine(5000);
    ASSERT_FALSE(address.empty());
    ScopedEnv session("DBUS_SESSION_BUS_ADDRESS", address.c_str());
    ScopedEnv display("DISPLAY", nullptr);
    ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
    ScopedEnv type("XDG_SESSION_TYPE", nullptr);

    CheckResult r = doctor::CheckTrayHost(options);
    EXPECT_EQ(r.level, Level::Warn);
    EXPECT_FALSE(r.todo.empty());
    r = doctor::CheckHotkeys(options);
    EXPECT_EQ(r.level, Level::Warn) << r.found;  // no display and no portal on this bus
    EXPECT_NE(r.todo.find("lyntctl"), std::string::npos);

    sd_bus* watcher = nullptr;
    ASSERT_GE(sd_bus_open_user(&watcher), 0);
    ASSERT_GE(sd_bus_request_name(watcher, "org.kde.StatusNotifierWatcher", 0), 0);
    r = doctor::CheckTrayHost(options);
    EXPECT_EQ(r.level, Level::Ok) << r.found;
    sd_bus_flush_close_unref(watcher);

    {
        // An X display that is not there: grabs are what the session would use, and they fail.
        ScopedEnv dead("DISPLAY", ":97");
        r = doctor::CheckHotkeys(options);
        EXPECT_EQ(r.level, Level::Fail) << r.found;
        EXPECT_NE(r.found.find(":97"), std::string::npos);
    }
    bus.Terminate();
}

TEST_F(DoctorTest, CloudReachableAndNot) {
    cloudsim::CCloudSim sim({});
    ASSERT_TRUE(sim.Start(0));
    options.cloudUrl = sim.BaseUrl();
    CheckResult r = doctor::CheckCloud(options);
    EXPECT_EQ(r.level, Level::Ok) << r.found;
    sim.Stop();
    r = doctor::CheckCloud(options);
    EXPECT_EQ(r.level, Level::Fail);
    EXPECT_NE(r.todo.find("VELORA_CLOUD_URL"), std::string::npos);

    // The program's address honours VELORA_CLOUD_URL when no address is given.
    options.cloudUrl.clear();
    ScopedEnv url("VELORA_CLOUD_URL", "http://127.0.0.1:9/tuning");
    r = doctor::CheckCloud(options);
    EXPECT_EQ(r.level, Level::Fail);
    EXPECT_NE(r.found.find("127.0.0.1:9"), std::string::npos);
}

TEST_F(DoctorTest, DataFolder) {
    options.dataFolder = dir.Path() / "data";
    std::filesystem::create_directories(options.dataFolder);
    CheckResult r = doctor::CheckDataFolder(options);
    EXPECT_EQ(r.level, Level::Ok) << r.found;
    EXPECT_NE(r.found.find(" MB"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(options.dataFolder));  // the probe is gone

    WriteFile(dir.Path() / "file", "x");
    options.dataFolder = dir.Path() / "file" / "Velora";
    r = doctor::CheckDataFolder(options);
    EXPECT_EQ(r.level, Level::Fail);

    if (::geteuid() == 0) {
        options.dataFolder = dir.Path() / "data";
        ::chmod(options.dataFolder.c_str(), 0755);  // root's, and closed to nobody
        r = AsNobody([&] { return doctor::CheckDataFolder(options); });
        EXPECT_EQ(r.level, Level::Fail);
        EXPECT_NE(r.found.find("Permission denied"), std::string::npos) << r.found;
    }
}

// lyntctl doctor as a script reads it: one "check" line per check, every failure with its remedy,
// and the card left untouched.
TEST_F(DoctorTest, LyntctlDoctorJson) {
    vcard::ServerOptions cardOptions;
    cardOptions.socketPath = dir.Path() / "cards" / "#VID_2B53&PID_0041#0";
    std::filesystem::create_directories(cardOptions.socketPath.parent_path());
    vcard::CVirtualCardServer card(cardOptions);
    ASSERT_TRUE(card.Start());
    std::filesystem::create_directories(dir.Path() / "data");
    const auto run = ChildProcess::Run({LYNTCTL_BIN, "--json", "doctor"},
                                       {"LYNT_VIRTUAL_CARD_DIR=" + (dir.Path() / "cards").string(),
                                        "XDG_DATA_HOME=" + (dir.Path() / "data").string(),
                                        "PULSE_SERVER=unix:" + (dir.Path() / "nothing").string(),
                                        "VELORA_CLOUD_URL=http://127.0.0.1:9/tuning"},
                                       15000);
    EXPECT_EQ(run.status, 0) << run.err;
    std::istringstream lines(run.out);
    std::string line;
    std::vector<std::string> ids;
    int summaries = 0;
    while (std::getline(lines, line)) {
        Json::Value o;
        ASSERT_TRUE(json_reader::ParseObject(line, o)) << line;
        std::string type;
        ASSERT_TRUE(json_reader::GetString(o, "type", type)) << line;
        if (type == "summary") {
            ++summaries;
            continue;
        }
        ASSERT_EQ(type, "check") << line;
        std::string id;
        std::string level;
        ASSERT_TRUE(json_reader::GetString(o, "id", id) &&
                    json_reader::GetString(o, "level", level))
            << line;
        ids.push_back(id);
        EXPECT_TRUE(level == "ok" || level == "warn" || level == "fail") << line;
        if (level != "ok") {
            std::string todo;
            EXPECT_TRUE(json_reader::GetString(o, "todo", todo) && !todo.empty()) << line;
        }
        if (ids.back() == "card" || ids.back() == "card_access") {
            EXPECT_EQ(level, "ok") << line;
        }
        if (ids.back() == "sound_server" || ids.back() == "cloud") {
            EXPECT_EQ(level, "fail") << line;
        }
    }
    EXPECT_EQ(summaries, 1);
    const std::vector<std::string> expected{
        "card",          "card_access", "udev_rule", "sound_server", "audio_playback",
        "audio_capture", "tray",        "hotkeys",   "cloud",        "data_folder"};
    EXPECT_EQ(ids, expected);
    EXPECT_FALSE(card.IsHostConnected());
}

}  // namespace
