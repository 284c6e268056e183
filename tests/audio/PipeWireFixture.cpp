#include "PipeWireFixture.h"

#include "PulseFixture.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <system_error>
#include <thread>

namespace {

// The daemon: a clock of its own and the card's null sink; wireplumber links the streams.
constexpr char kDaemonConf[] = R"(context.properties = {
    core.daemon = true
    core.name = pipewire-0
    default.clock.rate = 44100
}
context.spa-libs = {
    audio.convert.* = audioconvert/libspa-audioconvert
    support.*       = support/libspa-support
}
context.modules = [
    { name = libpipewire-module-protocol-native }
    { name = libpipewire-module-access args = { } }
    { name = libpipewire-module-metadata }
    { name = libpipewire-module-spa-node-factory }
    { name = libpipewire-module-client-node }
    { name = libpipewire-module-client-device }
    { name = libpipewire-module-adapter }
    { name = libpipewire-module-link-factory }
    { name = libpipewire-module-session-manager }
]
context.objects = [
    { factory = spa-node-factory
      args = { factory.name = support.node.driver node.name = Dummy-Driver
               node.group = pipewire.dummy priority.driver = 20000 } }
    { factory = adapter
      args = { factory.name = support.null-audio-sink node.name = lynt
               node.description = "Orin LYNT!" media.class = Audio/Sink
               audio.position = [ FL FR ] audio.rate = 44100 monitor.channel-volumes = true } }
]
)";

// PipeWire's PulseAudio server, a client of the daemon, on <runtime>/pulse/native.
constexpr char kPulseConf[] = R"(context.spa-libs = {
    audio.convert.* = audioconvert/libspa-audioconvert
    support.*       = support/libspa-support
}
context.modules = [
    { name = libpipewire-module-protocol-native }
    { name = libpipewire-module-client-node }
    { name = libpipewire-module-adapter }
    { name = libpipewire-module-metadata }
    { name = libpipewire-module-protocol-pulse args = { server.address = [ "unix:native" ] } }
]
)";

}  // namespace

PipeWireFixture::~PipeWireFixture() {
    Stop();
}

bool PipeWireFixture::Installed() {
    for (const char* tool : {"/usr/bin/pipewire", "/usr/bin/wireplumber", "/usr/bin/dbus-daemon",
                             "/usr/bin/pactl"}) {
        if (::access(tool, X_OK) != 0) {
            return false;
        }
    }
    return true;
}

pid_t PipeWireFixture::Spawn(const std::vector<std::string>& args, const std::string& log) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::dup2(fd, 1);
            ::dup2(fd, 2);
        }
        const std::string folder = m_folder.string();
        ::setenv("XDG_RUNTIME_DIR", (folder + "/run").c_str(), 1);
        ::setenv("HOME", folder.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (folder + "/state").c_str(), 1);
        ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + folder + "/run/bus").c_str(), 1);
        ::unsetenv("PIPEWIRE_REMOTE");
        std::vector<char*> argv;
        for (const auto& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (pid > 0) {
        m_pids.push_back(pid);
    }
    return pid;
}

bool PipeWireFixture::Start() {
    if (!Installed()) {
        m_error = "pipewire, wireplumber or dbus-daemon is not installed";
        return false;
    }
    std::string pattern =
        (std::filesystem::temp_directory_path() / "velora-pipewire-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        m_error = "cannot create a runtime folder";
        return false;
    }
    m_folder = pattern;
    for (const char* sub : {"run", "config", "state"}) {
        std::filesystem::create_directories(m_folder / sub);
    }
    ::chmod((m_folder / "run").c_str(), 0700);
    std::ofstream(m_folder / "daemon.conf") << kDaemonConf;
    std::ofstream(m_folder / "pulse.conf") << kPulseConf;
    const std::string log = (m_folder / "servers.log").string();
    const std::string bus = (m_folder / "run" / "bus").string();
    m_hadServer = ::getenv("PULSE_SERVER") != nullptr;
    if (m_hadServer) {
        m_savedServer = ::getenv("PULSE_SERVER");
    }
    ::setenv("PULSE_SERVER", ("unix:" + (m_folder / "run" / "pulse" / "native").string()).c_str(),
             1);
    auto waitFor = [](const std::filesystem::path& path) {
        for (int i = 0; i < 200 && !std::filesystem::exists(path); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return std::filesystem::exists(path);
    };
    Spawn({"/usr/bin/dbus-daemon", "--session", "--nofork", "--address=unix:path=" + bus}, log);
    if (!waitFor(bus)) {
        m_error = "dbus-daemon did not start";
        Stop();
        return false;
    }
    Spawn({"/usr/bin/pipewire", "-c", (m_folder / "daemon.conf").string()}, log);
    if (!waitFor(m_folder / "run" / "pipewire-0")) {
        m_error = "pipewire did not start";
        Stop();
        return false;
    }
    Spawn({"/usr/bin/wireplumber"}, log);
    Spawn({"/usr/bin/pipewire", "-c", (m_folder / "pulse.conf").string()}, log);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (Pactl("list short sinks").find("lynt") != std::string::npos &&
            Pactl("info").find("Default Sink: lynt") != std::string::npos) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    m_error = "PipeWire's pulse server did not answer (see " + log + ")";
    Stop();
    return false;
}

std::string PipeWireFixture::Pactl(const std::string& args) const {
    return CommandOutput("timeout 5 /usr/bin/pactl " + args + " 2>/dev/null");
}

void PipeWireFixture::Stop() {
    for (auto it = m_pids.rbegin(); it != m_pids.rend(); ++it) {
        ::kill(*it, SIGTERM);
        int status = 0;
        bool gone = false;
        for (int i = 0; i < 100 && !gone; ++i) {
            gone = ::waitpid(*it, &status, WNOHANG) == *it;
            if (!gone) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
        if (!gone) {
            ::kill(*it, SIGKILL);
            ::waitpid(*it, &status, 0);
        }
    }
    m_pids.clear();
    if (!m_folder.empty()) {
        if (m_hadServer) {
            ::setenv("PULSE_SERVER", m_savedServer.c_str(), 1);
        } else {
            ::unsetenv("PULSE_SERVER");
        }
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
        m_folder.clear();
    }
}
