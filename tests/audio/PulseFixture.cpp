#include "PulseFixture.h"

#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <system_error>
#include <thread>
#include <vector>

namespace {

bool Save(const char* name, std::string& value) {
    const char* v = ::getenv(name);
    if (v) {
        value = v;
    }
    return v != nullptr;
}

void Restore(const char* name, bool had, const std::string& value) {
    if (had) {
        ::setenv(name, value.c_str(), 1);
    } else {
        ::unsetenv(name);
    }
}

}  // namespace

PulseFixture::PulseFixture() = default;

PulseFixture::~PulseFixture() {
    Stop();
}

bool PulseFixture::Installed() {
    return ::access("/usr/bin/pulseaudio", X_OK) == 0 && ::access("/usr/bin/pactl", X_OK) == 0;
}

bool PulseFixture::Start() {
    if (!Installed()) {
        m_error = "pulseaudio is not installed";
        return false;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "velora-pulse-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        m_error = "cannot create a runtime folder";
        return false;
    }
    m_folder = pattern;
    const std::string socket = (m_folder / "native").string();
    m_hadServer = Save("PULSE_SERVER", m_savedServer);
    m_hadRuntime = Save("PULSE_RUNTIME_PATH", m_savedRuntime);
    m_hadXdg = Save("XDG_RUNTIME_DIR", m_savedXdg);
    ::setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
    ::setenv("PULSE_RUNTIME_PATH", m_folder.c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", m_folder.c_str(), 1);
    return Launch();
}

bool PulseFixture::Restart() {
    if (m_folder.empty()) {
        return false;
    }
    Kill();
    return Launch();
}

bool PulseFixture::Launch() {
    const std::string socket = (m_folder / "native").string();
    const std::string protocol = "module-native-protocol-unix auth-anonymous=1 socket=" + socket;
    // Two levels of quoting: the module arguments, then the property list inside them.
    const std::string sink =
        "module-null-sink sink_name=lynt rate=44100 sink_properties='device.description=\"Orin "
        "LYNT!\"'";
    // Qt lists no monitor sources, so the card's capture side is a plain source fed by the
    // sink's monitor: what plays on the card can be recorded from it.
    const std::string source =
        "module-remap-source master=lynt.monitor source_name=lynt_in "
        "source_properties='device.description=\"Orin LYNT! Input\"'";
    std::vector<std::string> args = {"/usr/bin/pulseaudio",
                                     "-n",
                                     "--daemonize=no",
                                     "--exit-idle-time=-1",
                                     "--disallow-exit",
                                     "--disable-shm=yes",
                                     "--use-pid-file=no",
                                     "--log-target=stderr",
                                     "--log-level=error",
                                     "-L",
                                     protocol,
                                     "-L",
                                     sink,
                                     "-L",
                                     source};
    if (::geteuid() == 0) {
        args.insert(args.begin() + 1, "--system=no");
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        m_error = "fork failed";
        return false;
    }
    if (pid == 0) {
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        ::setenv("HOME", m_folder.c_str(), 1);  // its cookie and state stay in the folder
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    m_pid = pid;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            m_error = "pulseaudio ended at start";
            return false;
        }
        if (Pactl("info").find("Server Name") != std::string::npos) {
            return !m_cardPace || StartPacer();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    m_error = "pulseaudio did not answer";
    Stop();
    return false;
}

std::string CommandOutput(const std::string& command) {
    std::FILE* p = ::popen(command.c_str(), "r");
    if (!p) {
        return {};
    }
    std::string out;
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), p)) > 0) {
        out.append(buffer.data(), n);
    }
    return ::pclose(p) == 0 ? out : std::string{};
}

std::string PulseFixture::Pactl(const std::string& args) const {
    return CommandOutput("/usr/bin/pactl " + args + " 2>/dev/null");
}

void PulseFixture::Stop() {
    Kill();
    if (!m_folder.empty()) {
        Restore("PULSE_SERVER", m_hadServer, m_savedServer);
        Restore("PULSE_RUNTIME_PATH", m_hadRuntime, m_savedRuntime);
        Restore("XDG_RUNTIME_DIR", m_hadXdg, m_savedXdg);
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
        m_folder.clear();
    }
}

bool PulseFixture::StartPacer() {
    const char* argv[] = {"/usr/bin/pacat",        "--record",  "--raw", "--latency-msec=10",
                          "--device=lynt.monitor", "/dev/null", nullptr};
    if (::posix_spawn(&m_pacer, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ) !=
        0) {
        m_pacer = -1;
        m_error = "pacat could not be started";
        return false;
    }
    return true;
}

void PulseFixture::Kill() {
    if (m_pacer > 0) {
        ::kill(m_pacer, SIGTERM);
        ::waitpid(m_pacer, nullptr, 0);
        m_pacer = -1;
    }
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        for (int i = 0; i < 100 && ::waitpid(m_pid, &status, WNOHANG) == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (::waitpid(m_pid, &status, WNOHANG) == 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
        }
        m_pid = -1;
    }
}
