// velora and lyntctl against peers that lie: a firmware server with hostile answers, requests on
// the panel's socket that are no requests, a client that stops reading. Whatever they send, the
// programs answer with a documented status and go on.
#include <gtest/gtest.h>
#include <httplib.h>
#include <json/json.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "../core/TempDir.h"
#include "../sound/ClipTestMp3.h"
#include "ChildProcess.h"
#include "PanelRequest.h"
#include "ProgramFolders.h"

namespace {

using namespace std::chrono;

const std::string kCard = LYNT_VIRTUAL_CARD_BIN;
const std::string kCtl = LYNTCTL_BIN;
const std::string kVelora = VELORA_BIN;

const char kServerInfo[] = "从服务器上获取固件信息失败";
const char kBadJson[] = "解析Json失败";
const char kNoServer[] = "获取服务器上的信息失败";

// The cloud service's upgrade check, answering whatever the test sets.
class CCheckServer {
public:
    CCheckServer() {
        m_server.Post("/tuning/api/effect_sound/checkAppUpgrade.json",
                      [this](const httplib::Request&, httplib::Response& res) {
                          std::string body;
                          size_t claimed = 0;
                          {
                              std::lock_guard<std::mutex> guard(m_mutex);
                              body = m_body;
                              claimed = m_claimedLength;
                              ++m_requests;
                          }
                          if (claimed > body.size()) {
                              // A length that lies: the body ends early and the connection goes.
                              res.set_content_provider(
                                  claimed, "application/json",
                                  [body](size_t offset, size_t, httplib::DataSink& sink) {
                                      if (offset == 0)
                                          sink.write(body.data(), body.size());
                                      return offset == 0;
                                  });
                          } else {
                              res.set_content(body, "application/json");
                          }
                      });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~CCheckServer() {
        m_server.stop();
        m_thread.join();
    }
    void Answer(std::string body, size_t claimedLength = 0) {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_body = std::move(body);
        m_claimedLength = claimedLength;
    }
    int Requests() {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_requests;
    }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/tuning"; }

private:
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    std::string m_body;
    size_t m_claimedLength = 0;
    int m_requests = 0;
};

std::string Check(const std::string& data) {
    return R"({"message":"ok","data":)" + data + "}";
}

struct AnswerRow {
    const char* name;
    std::string body;
    size_t claimedLength;  // 0: the body's own
    int status;
    const char* text;  // in standard error (status 0: in standard output)
};

const std::vector<AnswerRow>& HostileAnswers() {
    static const std::string url = R"("url":"http://127.0.0.1:1/p.zip")";
    static const std::vector<AnswerRow> rows = {
        // Read whole: the package is then asked for where the answer says, and is not there.
        {"sound", Check(R"({"currentVer":2004000,)" + url + "}"), 0, 3, "下载固件失败！"},
        {"version 1e19", Check(R"({"currentVer":1e19,)" + url + "}"), 0, 3, kServerInfo},
        {"version beyond 64 bits", Check(R"({"currentVer":123456789012345678901234,)" + url + "}"),
         0, 3, kServerInfo},
        {"negative version", Check(R"({"currentVer":-2004000,)" + url + "}"), 0, 3, kServerInfo},
        {"version a text", Check(R"({"currentVer":"2004000",)" + url + "}"), 0, 3, kServerInfo},
        {"data an array", Check("[[1],[2]]"), 0, 3, kServerInfo},
        {"url a number", Check(R"({"currentVer":2004000,"url":-1})"), 0, 3, kServerInfo},
        {"url another scheme", Check(R"({"currentVer":2004000,"url":"file:///etc/passwd"})"), 0, 3,
         "下载固件失败！"},
        {"1010 nested arrays", std::string(1010, '['), 0, 3, kBadJson},
        {"nested under data", Check(std::string(300, '[') + std::string(300, ']')), 0, 3, kBadJson},
        {"garbage", "\x01\x7f<html>\xff\xfe", 0, 3, kBadJson},
        {"cut by a lying length", Check(R"({"currentVer":2004000,)" + url + "}"), 900, 3,
         kNoServer},
        {"longer than the answer buffer",
         Check(R"({"currentVer":2004000,"pad":")" + std::string(1100, 'p') + "\"," + url + "}"), 0,
         3, kNoServer},
    };
    return rows;
}

// Reads what arrives on fd until it closes or ms pass.
std::string ReadAnswer(int fd, int ms) {
    std::string answer;
    char buffer[4096];
    for (auto end = steady_clock::now() + milliseconds(ms); steady_clock::now() < end;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        answer.append(buffer, size_t(n));
    }
    return answer;
}

class HostilePeers : public ::testing::Test {
protected:
    void SetUp() override {
        env = ProgramEnvironment(dir.Path());
        socket = dir.Path() / "cards" / "#VID_2B53&PID_0041#0";
    }

    void StartCard(std::vector<std::string> options = {}) {
        std::vector<std::string> argv{kCard, "--socket", socket.string()};
        argv.insert(argv.end(), options.begin(), options.end());
        card = std::make_unique<ChildProcess>(argv, std::vector<std::string>{});
        ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(socket); }, 2000));
    }

    // An X server for the panel; false (the test skips) when none starts.
    bool StartX() {
        xserver = std::make_unique<ChildProcess>(
            std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp",
                                     "-screen", "0", "1280x900x24"},
            std::vector<std::string>{});
        display = xserver->ReadLine(10000);
        return !display.empty();
    }

    // The panel, started in a folder of its own (not the test's), connected to the card.
    std::unique_ptr<ChildProcess> StartVelora(std::vector<std::string> extra = {}) {
        const std::filesystem::path here = std::filesystem::current_path();
        std::filesystem::create_directories(dir.Path() / "panel-cwd");
        std::filesystem::current_path(dir.Path() / "panel-cwd");
        std::vector<std::string> all = Env();
        all.insert(all.end(), extra.begin(), extra.end());
        auto velora = std::make_unique<ChildProcess>(std::vector<std::string>{kVelora}, all);
        std::filesystem::current_path(here);
        EXPECT_TRUE(
            WaitFor([&] { return Log().find("\"card connected\"") != std::string::npos; }, 20000))
            << Log();
        return velora;
    }

    std::vector<std::string> Env() {
        std::vector<std::string> all = env;
        all.push_back("DISPLAY=:" + display);
        return all;
    }

    ChildProcess::Result Ctl(std::vector<std::string> args, std::vector<std::string> extra = {},
                             int timeoutMs = 60000) {
        std::vector<std::string> all = Env();
        all.insert(all.end(), extra.begin(), extra.end());
        args.insert(args.begin(), kCtl);
        return ChildProcess::Run(args, all, timeoutMs);
    }

    std::string Log() {
        std::string all;
        std::error_code ec;
        for (const auto& e :
             std::filesystem::directory_iterator(dir.Path() / "data" / "Velora" / "log", ec)) {
            std::ifstream in(e.path());
            std::stringstream text;
            text << in.rdbuf();
            all += text.str();
        }
        return all;
    }

    bool WaitFor(const std::function<bool()>& done, int ms) {
        for (auto end = steady_clock::now() + milliseconds(ms); steady_clock::now() < end;) {
            if (done())
                return true;
            std::this_thread::sleep_for(milliseconds(50));
        }
        return done();
    }

    // The card's clip in slot, or null.
    Json::Value CardClip(int slot) {
        const Json::Value state = CardState();
        for (const Json::Value& c : state["clips"])
            if (c["slot"].asInt() == slot)
                return c;
        return {};
    }

    Json::Value CardState() {
        card->WriteLine("state");
        std::istringstream in(card->ReadLine(5000));
        Json::Value root;
        in >> root;
        return root;
    }

    // A connection to the panel with bytes sent on it, left open.
    // The test's own runtime folder is set for the connect only: the programs the next tests start
    // inherit this process's environment, which would send them to this test's folder.
    int Connect(const std::string& bytes) {
        const char* was = std::getenv("XDG_RUNTIME_DIR");
        const std::string before = was ? was : "";
        ::setenv("XDG_RUNTIME_DIR", (dir.Path() / "run").c_str(), 1);
        const int fd = platform::instance::ConnectToPanel();
        if (was)
            ::setenv("XDG_RUNTIME_DIR", before.c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
        if (fd >= 0)
            ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        return fd;
    }

    std::string Mp3(const std::string& name, double seconds) {
        const auto path = dir.Path() / name;
        const std::vector<uint8_t> b = testclip::Mp3Tone(seconds, 44100, 2, 330.0);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
        return path.string();
    }

    TempDir dir;
    std::vector<std::string> env;
    std::string display;
    std::filesystem::path socket;
    std::unique_ptr<ChildProcess> xserver;
    std::unique_ptr<ChildProcess> card;
};

// Each hostile check answer through the real `lyntctl firmware check`: a status and the user's
// text, never a signal (a version of 1e19 or deep nesting used to end it by SIGABRT).
TEST_F(HostilePeers, FirmwareCheckAnswersEachHostileAnswer) {
    StartCard();
    CCheckServer server;
    for (const AnswerRow& row : HostileAnswers()) {
        server.Answer(row.body, row.claimedLength);
        const auto r = Ctl({"firmware", "check"}, {"VELORA_CLOUD_URL=" + server.Base()});
        EXPECT_EQ(r.status, row.status) << row.name << ": " << r.err;
        const std::string& where = row.status == 0 ? r.out : r.err;
        EXPECT_NE(where.find(row.text), std::string::npos) << row.name << ": " << where;
    }
    EXPECT_EQ(server.Requests(), static_cast<int>(HostileAnswers().size()));
}

// The panel asks the same server when its firmware dialog opens (by itself when a card waits in
// its loader): the answers that ended lyntctl must leave the panel running.
TEST_F(HostilePeers, PanelLivesThroughHostileFirmwareAnswers) {
    if (!StartX())
        GTEST_SKIP() << "no X server could be started";
    StartCard();
    CCheckServer server;
    for (const size_t index : {size_t(1), size_t(8), size_t(10)}) {
        const AnswerRow& row = HostileAnswers()[index];
        server.Answer(row.body);
        const int before = server.Requests();
        auto velora = StartVelora({"VELORA_CLOUD_URL=" + server.Base()});
        ASSERT_EQ(Ctl({"panel", "upgrade"}).status, 0) << row.name;
        ASSERT_TRUE(WaitFor([&] { return server.Requests() > before; }, 15000)) << row.name;
        EXPECT_TRUE(WaitFor([&] { return Log().find("check answer") != std::string::npos; }, 5000))
            << row.name;
        // Still running, and it ends as asked (an abort would show as 134).
        EXPECT_EQ(velora->Terminate(5000), 0) << row.name << ": " << velora->Stderr();
        std::filesystem::remove_all(dir.Path() / "data" / "Velora" / "log");
    }
}

// Requests on the panel's socket that are none: each gets its status (1: the request cannot be
// read) and the panel goes on. The first row is the 91 bytes that used to end it by SIGABRT.
TEST_F(HostilePeers, PanelSocketAnswersEachHostileRequest) {
    if (!StartX())
        GTEST_SKIP() << "no X server could be started";
    StartCard();
    auto velora = StartVelora();
    const auto frame = [](const std::string& body) {
        return "CTL " + std::to_string(body.size()) + "\n" + body;
    };
    std::string words64;
    for (int i = 0; i < 65; ++i)
        words64 += std::string(i ? "," : "") + "\"get\"";
    struct Row {
        const char* name;
        std::string bytes;
        int status;
        const char* text;
    };
    const Row rows[] = {
        {"40 nested arrays",
         frame(R"({"words":)" + std::string(40, '[') + std::string(40, ']') + "}"), 1,
         "bad request"},
        {"1010 nested objects", frame(std::string(1010, '{')), 1, "bad request"},
        {"json a huge number", frame(R"({"words":["get","30"],"json":1e999})"), 1, "bad request"},
        {"word a negative number", frame(R"({"words":["get",-99999999999999999999],"json":false})"),
         1, "bad request"},
        {"words a text", frame(R"({"words":"get 30","json":false})"), 1, "bad request"},
        {"65 words", frame(R"({"words":[)" + words64 + R"(],"json":false})"), 1, "bad request"},
        {"top level array", frame(R"([{"words":["get","30"],"json":false}])"), 1, "bad request"},
        {"garbage body", frame("\x01\xff\xfe garbage \x7f"), 1, "bad request"},
        {"length longer than the body", "CTL 91\n" + std::string(R"({"words":["get"]})"), 1,
         "shorter than its length"},
        {"length shorter than the body", "CTL 5\n" + std::string(R"({"words":["get","30"]})"), 1,
         "bad request"},
        {"negative length", "CTL -91\n{}", 1, "bad request"},
        {"length beyond 64 bits", "CTL 123456789012345678901234567890\n{}", 1, "bad request"},
        {"length too large", "CTL 99999999\n", 1, "request too large"},
        {"sound", frame(R"({"words":["get","30"],"json":false})"), 0, "30 "},
    };
    for (const Row& row : rows) {
        const int fd = Connect(row.bytes);
        ASSERT_GE(fd, 0) << row.name;
        const std::string answer = ReadAnswer(fd, 5000);
        ::close(fd);
        EXPECT_NE(answer.find("{\"status\":" + std::to_string(row.status) + "}"), std::string::npos)
            << row.name << ": " << answer;
        EXPECT_NE(answer.find(row.text), std::string::npos) << row.name << ": " << answer;
    }
    const auto still = Ctl({"get", "30"});
    EXPECT_EQ(still.status, 0) << still.err;
    EXPECT_EQ(velora->Terminate(5000), 0) << velora->Stderr();
}

// send-clip through the panel: a relative name is the client's (the panel runs in another
// folder), and a transfer longer than the client's wait for a silent panel still ends with its
// answer, because progress lines keep coming.
TEST_F(HostilePeers, SendClipThroughThePanelStreamsProgress) {
    if (!StartX())
        GTEST_SKIP() << "no X server could be started";
    StartCard({"--reply-delay", "1"});
    auto velora = StartVelora();
    const std::string file = Mp3("clip.mp3", 2.0);
    const std::string relative =
        std::filesystem::relative(file, std::filesystem::current_path()).string();
    ASSERT_FALSE(std::filesystem::path(relative).is_absolute());
    const auto start = steady_clock::now();
    const auto r = Ctl({"--json", "send-clip", relative, "--slot", "1"},
                       {"LYNTCTL_PANEL_TIMEOUT_MS=1500"}, 120000);
    const double seconds = duration<double>(steady_clock::now() - start).count();
    std::printf("[ figure ] send-clip through the panel: %.2f s\n", seconds);
    ASSERT_EQ(r.status, 0) << r.err << r.out;
    EXPECT_NE(r.out.find("\"ok\":true"), std::string::npos) << r.out;
    EXPECT_GT(seconds, 3.0);  // twice the client's wait: the progress lines carried it
    const Json::Value clip = CardClip(1);
    EXPECT_TRUE(clip["complete"].asBool()) << clip;
    EXPECT_EQ(velora->Terminate(5000), 0) << velora->Stderr();
}

// The program ends while a clip sent through it is on its way: the transfer is stopped and waited
// for, the client told, the temporary file removed, and the program ends cleanly.
TEST_F(HostilePeers, ProgramEndDuringAPanelClipEndsTheTransfer) {
    if (!StartX())
        GTEST_SKIP() << "no X server could be started";
    StartCard({"--reply-delay", "5"});
    const std::filesystem::path temp = dir.Path() / "tmp";
    std::filesystem::create_directories(temp);
    auto velora = StartVelora({"TMPDIR=" + temp.string()});
    const std::string file = Mp3("long.mp3", 12.0);
    ChildProcess ctl({kCtl, "send-clip", file, "--slot", "0"}, Env());
    ASSERT_TRUE(WaitFor([&] { return CardClip(0)["received"].asUInt() > 20; }, 20000));
    EXPECT_EQ(velora->Terminate(5000), 0) << velora->Stderr();
    EXPECT_EQ(ctl.Wait(5000), 3);
    EXPECT_NE(ctl.Stderr().find("ended before send-clip was done"), std::string::npos)
        << ctl.Stderr();
    for (const auto& e : std::filesystem::directory_iterator(temp))
        ADD_FAILURE() << "left behind: " << e.path();
    // The card has stopped receiving: nothing more arrives once the program is gone.
    const unsigned received = CardClip(0)["received"].asUInt();
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_EQ(CardClip(0)["received"].asUInt(), received);
    EXPECT_FALSE(CardClip(0)["complete"].asBool());
}

// A monitor client that stops reading while the card sends levels at 1000 Hz: the panel drops
// level lines for it (never a parameter line) instead of queueing every one.
TEST_F(HostilePeers, StalledMonitorClientMissesLevelsNotParameters) {
    if (!StartX())
        GTEST_SKIP() << "no X server could be started";
    StartCard({"--levels-hz", "1000"});
    auto velora = StartVelora();
    const std::string body = R"({"words":["monitor","--levels"],"json":true})";
    const int fd = Connect("CTL " + std::to_string(body.size()) + "\n" + body);
    ASSERT_GE(fd, 0);
    // The first level line says the monitor is under way (a loaded machine may take seconds to
    // get there); a knob turned before that is not this client's to see.
    std::string got;
    for (auto end = steady_clock::now() + seconds(20);
         got.find("levels") == std::string::npos && steady_clock::now() < end;) {
        pollfd p{fd, POLLIN, 0};
        char byte[1];
        if (::poll(&p, 1, 50) > 0 && ::recv(fd, byte, 1, 0) == 1)
            got += byte[0];
    }
    ASSERT_NE(got.find("levels"), std::string::npos) << got;
    const auto start = steady_clock::now();
    std::this_thread::sleep_for(milliseconds(1500));
    card->WriteLine("knob 30 44");
    std::this_thread::sleep_for(milliseconds(4500));
    const double stalled = duration<double>(steady_clock::now() - start).count();
    got.clear();
    bool param = false;
    for (auto end = steady_clock::now() + seconds(10); !param && steady_clock::now() < end;) {
        got += ReadAnswer(fd, 200);
        param = got.find(R"(\"event\":\"param\",\"id\":30)") != std::string::npos ||
                got.find(R"(\"id\":30)") != std::string::npos;
    }
    ::close(fd);
    size_t levels = 0;
    for (size_t at = got.find("levels"); at != std::string::npos; at = got.find("levels", at + 1))
        ++levels;
    std::printf("[ figure ] stalled %.1f s at 1000 Hz: %zu level lines reached the client\n",
                stalled, levels);
    EXPECT_TRUE(param) << got.substr(0, 400);
    EXPECT_LT(static_cast<double>(levels), 0.5 * stalled * 1000) << "levels were all queued";
    const auto still = Ctl({"get", "30"});
    EXPECT_EQ(still.status, 0) << still.err;
    EXPECT_NE(still.out.find("44"), std::string::npos) << still.out;
    EXPECT_EQ(velora->Terminate(5000), 0) << velora->Stderr();
}

}  // namespace
