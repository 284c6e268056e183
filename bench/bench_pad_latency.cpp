// A sound pad's latency end to end: from the trigger to the first sound on the card's sink, for
// velora's favourite 1 pressed as its hotkey (Num 0 through the X server) and asked for by
// `lyntctl pad 0` (the first favourite), each next to `paplay` of the same clip in the same run.
// The card's sink is a private PulseAudio null sink, heard on its monitor by a low-latency `pacat
// --record`; every figure carries the same monitor delay, so the differences over paplay are what
// counts. Then the panel's idle CPU with the card sending levels at 20 Hz, from /proc/PID/stat.
//
// The same on a private PipeWire (with its PulseAudio server) when it can run here.
//
// bench_pad_latency [--runs N] [--idle-seconds S] [--pulseaudio-only|--pipewire-only]
// BENCH_VELORA and BENCH_LYNTCTL name other builds' programs to time instead.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "AudioTestSupport.h"
#include "PipeWireFixture.h"
#include "PulseFixture.h"
#include "profile/Profile.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kRate = 44100;
constexpr int kThreshold = 64;             // a sample above this is sound
constexpr int kSilenceBeforeOnset = 4410;  // 100 ms of silence before an onset counts

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// A program started with extra environment; its output goes to a file (or nowhere).
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& env,
          const std::string& output = "/dev/null", int* stdoutPipe = nullptr) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        int pipeFds[2] = {-1, -1};
        if (stdoutPipe && ::pipe2(pipeFds, O_CLOEXEC) == 0) {
            posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        } else {
            posix_spawn_file_actions_addopen(&actions, 1, output.c_str(),
                                             O_WRONLY | O_CREAT | O_APPEND, 0600);
        }
        posix_spawn_file_actions_addopen(&actions, 2, output.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                         0600);
        std::vector<std::string> all;
        for (char** e = environ; *e; ++e) {
            all.emplace_back(*e);
        }
        all.insert(all.end(), env.begin(), env.end());
        std::vector<char*> args, envp;
        for (const auto& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        for (const auto& e : all) {
            envp.push_back(const_cast<char*>(e.c_str()));
        }
        envp.push_back(nullptr);
        if (posix_spawnp(&m_pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        if (pipeFds[1] >= 0) {
            ::close(pipeFds[1]);
            *stdoutPipe = pipeFds[0];
        }
    }
    ~Child() { Terminate(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t Pid() const { return m_pid; }
    int Wait() {
        if (m_pid <= 0) {
            return -1;
        }
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void Terminate() {
        if (m_pid <= 0) {
            return;
        }
        ::kill(m_pid, SIGTERM);
        for (int i = 0; i < 200; ++i) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return;
            }
            std::this_thread::sleep_for(10ms);
        }
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
};

int Run(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    Child child(argv, env);
    return child.Wait();
}

// The card's sink as the monitor hears it: the steady-clock time of every onset (sound after at
// least 100 ms of silence) and whether it is quiet now.
class Monitor {
public:
    explicit Monitor(const std::string& source)
        : m_recorder({"pacat", "--record", "--raw", "--format=s16le", "--rate=44100",
                      "--channels=2", "--latency-msec=2", "-d", source},
                     {}, "/dev/null", &m_fd) {
        m_thread = std::thread([this] { Loop(); });
    }
    ~Monitor() {
        m_recorder.Terminate();
        m_thread.join();
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }

    bool WaitQuiet(std::chrono::milliseconds limit) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, limit, [this] { return m_silent >= kSilenceBeforeOnset; });
    }
    size_t Onsets() {
        std::lock_guard lock(m_mutex);
        return m_onsets.size();
    }
    // The first onset after `seen` onsets, or nothing within the limit.
    bool WaitOnset(size_t seen, std::chrono::milliseconds limit, Clock::time_point& at) {
        std::unique_lock lock(m_mutex);
        if (!m_changed.wait_for(lock, limit, [&] { return m_onsets.size() > seen; })) {
            return false;
        }
        at = m_onsets[seen];
        return true;
    }

private:
    void Loop() {
        std::vector<int16_t> buffer(4096);
        size_t carry = 0;  // bytes of a split frame
        auto* bytes = reinterpret_cast<char*>(buffer.data());
        for (;;) {
            const ssize_t n = ::read(m_fd, bytes + carry, buffer.size() * 2 - carry);
            if (n <= 0) {
                return;
            }
            const auto now = Clock::now();
            const size_t total = carry + static_cast<size_t>(n);
            const size_t frames = total / 4;
            std::lock_guard lock(m_mutex);
            for (size_t f = 0; f < frames; ++f) {
                const int a = std::abs(static_cast<int>(buffer[f * 2]));
                const int b = std::abs(static_cast<int>(buffer[f * 2 + 1]));
                if (std::max(a, b) > kThreshold) {
                    if (m_silent >= kSilenceBeforeOnset) {
                        // The frame came (frames - f) frames before the read returned.
                        const auto back = std::chrono::nanoseconds(
                            static_cast<int64_t>(frames - f) * 1000000000 / kRate);
                        m_onsets.push_back(now - back);
                    }
                    m_silent = 0;
                } else {
                    ++m_silent;
                }
            }
            carry = total - frames * 4;
            std::memmove(bytes, bytes + frames * 4, carry);
            m_changed.notify_all();
        }
    }

    int m_fd = -1;
    Child m_recorder;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Clock::time_point> m_onsets;
    size_t m_silent = 0;
    std::thread m_thread;
};

struct Figures {
    std::string name;
    std::vector<double> ms;
};

double Median(std::vector<double> v) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void Print(const Figures& f, const Figures* reference) {
    if (f.ms.empty()) {
        std::printf("%-28s no sound heard\n", f.name.c_str());
        return;
    }
    const auto [lo, hi] = std::minmax_element(f.ms.begin(), f.ms.end());
    std::printf("%-28s median %7.1f ms  spread %6.1f..%6.1f ms  (n=%zu)", f.name.c_str(),
                Median(f.ms), *lo, *hi, f.ms.size());
    if (reference && !reference->ms.empty()) {
        std::printf("  %+6.1f ms over paplay", Median(f.ms) - Median(reference->ms));
    }
    std::printf("\n");
}

// The program built with the benchmark, or another build's (to compare two builds in turn).
std::string Program(const char* variable, const char* built) {
    const char* other = std::getenv(variable);
    return other && *other ? other : built;
}

// The machine's load average over the last minute, as /proc/loadavg gives it.
std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string oneMinute;
    in >> oneMinute;
    return oneMinute.empty() ? "?" : oneMinute;
}

// CPU time of a process in clock ticks (user + system).
long long CpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = all.rfind(')');
    if (close == std::string::npos) {
        return -1;
    }
    std::istringstream fields(all.substr(close + 2));
    std::string field;
    long long utime = 0, stime = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14) {
            utime = std::stoll(field);
        } else if (i == 15) {
            stime = std::stoll(field);
            break;
        }
    }
    return utime + stime;
}

// Wake-ups (context switches) of each of a process's threads, by thread name.
std::map<std::string, long long> Wakeups(pid_t pid) {
    std::map<std::string, long long> out;
    std::error_code ec;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        std::ifstream in(task.path() / "status");
        std::string name;
        long long switches = 0;
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("Name:", 0) == 0) {
                name = line.substr(line.find_first_not_of(" \t", 5));
            } else if (line.find("ctxt_switches:") != std::string::npos) {
                switches += std::atoll(line.c_str() + line.find(':') + 1);
            }
        }
        out[name + " " + task.path().filename().string()] = switches;
    }
    return out;
}

void WriteWave(const std::filesystem::path& path, const std::vector<int16_t>& pcm) {
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    const uint32_t bytes = static_cast<uint32_t>(pcm.size() * 2);
    out.write("RIFF", 4);
    u32(36 + bytes);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(2);
    u32(kRate);
    u32(kRate * 4);
    u16(4);
    u16(16);
    out.write("data", 4);
    u32(bytes);
    out.write(reinterpret_cast<const char*>(pcm.data()), bytes);
}

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One sound server's figures: the programs started against it, the triggers, the idle CPU.
int RunOn(const std::string& server, const std::filesystem::path& folder, int runs,
          int idleSeconds) {
    const std::filesystem::path root = folder / "bench";
    for (const char* sub : {"data/Velora", "run", "config", "cards"}) {
        std::filesystem::create_directories(root / sub);
    }
    ::chmod((root / "run").c_str(), 0700);
    std::vector<std::string> env = {"LYNT_VIRTUAL_CARD_DIR=" + (root / "cards").string(),
                                    "XDG_DATA_HOME=" + (root / "data").string(),
                                    "XDG_RUNTIME_DIR=" + (root / "run").string(),
                                    "XDG_CONFIG_HOME=" + (root / "config").string()};
    const std::string log = (root / "programs.log").string();

    // The clip of favourite 1 (the first built-in clip), as WAV for paplay: the very samples
    // velora plays, so both start with the same first sound.
    const auto pcm = audiotest::DecodeAll(ReadBytes(BUILTIN_CLIP_MP3));
    if (pcm.empty()) {
        std::printf("bench_pad_latency: cannot read %s\n", BUILTIN_CLIP_MP3);
        return 1;
    }
    const auto wave = root / "clip.wav";
    WriteWave(wave, pcm);

    int displayPipe = -1;
    Child xserver(
        {"/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x900x24"}, {},
        log, &displayPipe);
    std::string display;
    for (char c; ::read(displayPipe, &c, 1) == 1 && c != '\n';) {
        display.push_back(c);
    }
    ::close(displayPipe);
    if (display.empty()) {
        std::printf("bench_pad_latency: Xvfb did not start\n");
        return 1;
    }
    env.push_back("DISPLAY=:" + display);
    const auto socket = root / "cards" / "#VID_2B53&PID_0041#0";
    Child card({VIRTUAL_CARD_BIN, "--socket", socket.string(), "--levels-hz", "20"}, {}, log);
    for (int i = 0; i < 200 && !std::filesystem::exists(socket); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    // Hotkeys on and the pad volume at full, so velora plays the clip as paplay does.
    const auto moods = root / "data" / "Velora" / "LyntMoodcfg.ini";
    platform::profile::WritePrivateProfileString(u"Config", u"EnableHotKey", u"1", moods);
    platform::profile::WritePrivateProfileString(u"Config", u"Volume", u"100", moods);
    Child velora({Program("BENCH_VELORA", VELORA_BIN)}, env, log);
    bool up = false;
    for (int i = 0; i < 100 && !up; ++i) {
        std::this_thread::sleep_for(100ms);
        up = Run({"/usr/bin/xdotool", "search", "--name", "Orin LYNT!"}, env) == 0;
    }
    if (!up) {
        std::printf("bench_pad_latency: velora's window did not appear (see %s)\n", log.c_str());
        return 1;
    }
    std::this_thread::sleep_for(1s);

    Monitor monitor("lynt.monitor");
    Figures paplay{"paplay", {}};
    Figures hotkey{"hotkey Num 0 (xdotool)", {}};
    Figures pad{"lyntctl pad 0", {}};
    // The time from the trigger to the first sound, or a negative number when none was heard.
    auto take = [&](const std::vector<std::string>& trigger, bool background,
                    const std::function<void()>& stop) {
        monitor.WaitQuiet(3s);
        const size_t seen = monitor.Onsets();
        const auto t0 = Clock::now();
        std::unique_ptr<Child> player;
        if (background) {
            player = std::make_unique<Child>(trigger, env, log);
        } else {
            Run(trigger, env);
        }
        Clock::time_point at;
        const bool heard = monitor.WaitOnset(seen, 3s, at);
        if (player) {
            player->Terminate();
        }
        stop();
        return heard ? Ms(at - t0) : -1.0;
    };
    const std::string lyntctl = Program("BENCH_LYNTCTL", LYNTCTL_BIN);
    auto stopPanel = [&] { Run({lyntctl, "pad", "--stop"}, env); };
    const std::vector<std::string> paplayArgs = {"/usr/bin/paplay", "-d", "lynt", wave.string()};
    const std::vector<std::string> keyArgs = {"/usr/bin/xdotool", "key", "KP_0"};
    const std::vector<std::string> padArgs = {lyntctl, "pad", "0"};
    // One round unmeasured: the first press finds the grabs and warms the caches.
    take(paplayArgs, true, [] {});
    take(keyArgs, false, stopPanel);
    take(padArgs, false, stopPanel);
    // Each round is paplay then the two triggers, so that a busy moment of the machine weighs on
    // all three: the difference within a round is the figure that counts.
    Figures overHotkey{"  hotkey - paplay", {}};
    Figures overPad{"  lyntctl pad - paplay", {}};
    const std::string loadBefore = LoadAverage();
    for (int i = 0; i < runs; ++i) {
        const double reference = take(paplayArgs, true, [] {});
        const double key = take(keyArgs, false, stopPanel);
        const double byCtl = take(padArgs, false, stopPanel);
        for (auto [ms, into] : {std::pair{reference, &paplay}, {key, &hotkey}, {byCtl, &pad}}) {
            if (ms >= 0) {
                into->ms.push_back(ms);
            }
        }
        if (reference >= 0 && key >= 0) {
            overHotkey.ms.push_back(key - reference);
        }
        if (reference >= 0 && byCtl >= 0) {
            overPad.ms.push_back(byCtl - reference);
        }
    }
    std::printf(
        "pad latency on %s (trigger to first sound on the sink's monitor; load average "
        "%s before, %s after):\n",
        server.c_str(), loadBefore.c_str(), LoadAverage().c_str());
    Print(paplay, nullptr);
    Print(hotkey, &paplay);
    Print(pad, &paplay);
    std::printf("over paplay in the same round:\n");
    Print(overHotkey, nullptr);
    Print(overPad, nullptr);

    if (idleSeconds > 0) {
        monitor.WaitQuiet(3s);
        std::this_thread::sleep_for(2s);
        const long long t0 = CpuTicks(velora.Pid());
        const auto wakeups0 = Wakeups(velora.Pid());
        const auto w0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
        const long long t1 = CpuTicks(velora.Pid());
        const auto wakeups1 = Wakeups(velora.Pid());
        const double wall = std::chrono::duration<double>(Clock::now() - w0).count();
        std::vector<std::pair<double, std::string>> rates;
        for (const auto& [thread, n] : wakeups1) {
            const auto before = wakeups0.find(thread);
            const long long was = before == wakeups0.end() ? 0 : before->second;
            rates.emplace_back(static_cast<double>(n - was) / wall, thread);
        }
        std::sort(rates.rbegin(), rates.rend());
        std::printf("  wake-ups per second, busiest threads:");
        for (size_t i = 0; i < rates.size() && i < 5; ++i) {
            std::printf("  %s %.0f", rates[i].second.c_str(), rates[i].first);
        }
        std::printf("\n");
        const double cpu =
            static_cast<double>(t1 - t0) / static_cast<double>(::sysconf(_SC_CLK_TCK));
        std::printf(
            "panel idle on %s, card levels at 20 Hz, after the pads: %.2f %% of one "
            "core over %.0f s\n",
            server.c_str(), 100.0 * cpu / wall, wall);
    }
    std::fflush(stdout);
    velora.Terminate();
    card.Terminate();
    xserver.Terminate();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    int idleSeconds = 30;
    bool pulseAudio = true;
    bool pipeWire = true;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (option == "--idle-seconds" && i + 1 < argc) {
            idleSeconds = std::max(0, std::atoi(argv[++i]));
        } else if (option == "--pulseaudio-only") {
            pipeWire = false;
        } else if (option == "--pipewire-only") {
            pulseAudio = false;
        }
    }
    for (const char* tool :
         {"/usr/bin/Xvfb", "/usr/bin/xdotool", "/usr/bin/pacat", "/usr/bin/paplay"}) {
        if (::access(tool, X_OK) != 0) {
            std::printf("bench_pad_latency: skipped, %s is missing\n", tool);
            return 0;
        }
    }
    int status = 0;
    if (pulseAudio) {
        PulseFixture pulse;
        if (pulse.Start()) {
            status |= RunOn("PulseAudio", pulse.Folder(), runs, idleSeconds);
        } else {
            std::printf("PulseAudio: skipped, %s\n", pulse.Error().c_str());
        }
    }
    if (pipeWire) {
        PipeWireFixture pipewire;
        if (pipewire.Start()) {
            status |= RunOn("PipeWire", pipewire.Folder(), runs, idleSeconds);
        } else {
            std::printf("PipeWire: skipped, %s\n", pipewire.Error().c_str());
        }
    }
    return status;
}
