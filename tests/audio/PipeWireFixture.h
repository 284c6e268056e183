#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

// A private PipeWire with its PulseAudio protocol server, playing the card as PulseFixture does:
// a null sink "lynt" described "Orin LYNT!", heard on "lynt.monitor". Its own D-Bus session,
// runtime, state and configuration folders under a fresh mkdtemp folder, so it disturbs neither
// the desktop nor a PulseFixture running beside it. While the object lives, PULSE_SERVER points
// at it. Debian 12's packages: pipewire, wireplumber, dbus-daemon (not pipewire-pulse, which
// would remove pulseaudio).
class PipeWireFixture {
public:
    PipeWireFixture() = default;
    ~PipeWireFixture();
    PipeWireFixture(const PipeWireFixture&) = delete;
    PipeWireFixture& operator=(const PipeWireFixture&) = delete;

    static bool Installed();
    // Starts the four programs and waits (up to 10 s) until the sink answers; false with
    // Error() set.
    bool Start();
    void Stop();
    const std::string& Error() const { return m_error; }
    const std::filesystem::path& Folder() const { return m_folder; }
    std::string Pactl(const std::string& args) const;

private:
    pid_t Spawn(const std::vector<std::string>& args, const std::string& log);

    std::filesystem::path m_folder;
    std::vector<pid_t> m_pids;  // in start order; stopped in reverse
    std::string m_error;
    std::string m_savedServer;
    bool m_hadServer = false;
};
