#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

// Runs a shell command and returns its standard output, or nothing when it failed.
std::string CommandOutput(const std::string& command);

// A private PulseAudio server for tests that plays the card: a null sink "Orin LYNT!" and a
// source "Orin LYNT! Input" that hears what the sink plays. The server's runtime folder is a fresh
// mkdtemp folder; while the object lives, PULSE_SERVER, PULSE_RUNTIME_PATH and XDG_RUNTIME_DIR
// point at it, so every client in the process (and its children) uses this server alone.
// Plain C++, usable from GoogleTest and Qt Test alike.
class PulseFixture {
public:
    PulseFixture();
    ~PulseFixture();
    PulseFixture(const PulseFixture&) = delete;
    PulseFixture& operator=(const PulseFixture&) = delete;

    static bool Installed();
    // A null sink asks its clients for data in blocks of up to 2 s unless one of them wants less;
    // a real card's sink runs at a few milliseconds. Set before Start, this keeps a listener of
    // 10 ms latency on the sink's monitor, so the sink runs at a card's pace: a recording gets
    // its first samples and a clip plays out without the null sink's 2 s blocks.
    void SetCardPace(bool on) { m_cardPace = on; }
    // Starts the server and waits (up to 10 s) until it answers; false with Error() set.
    bool Start();
    void Stop();
    // Ends the server and starts it again on the same socket, as a crash and a restart would.
    bool Restart();
    bool Running() const { return m_pid > 0; }
    const std::string& Error() const { return m_error; }
    const std::filesystem::path& Folder() const { return m_folder; }
    // Runs pactl against the server; its standard output, or empty on failure.
    std::string Pactl(const std::string& args) const;

private:
    bool Launch();
    bool StartPacer();
    void Kill();

    std::filesystem::path m_folder;
    pid_t m_pid = -1;
    bool m_cardPace = false;
    pid_t m_pacer = -1;
    std::string m_error;
    std::string m_savedServer, m_savedRuntime, m_savedXdg;
    bool m_hadServer = false, m_hadRuntime = false, m_hadXdg = false;
};
