#pragma once

#include <filesystem>
#include <string>

// Start at login through an XDG autostart entry named "Velora".
namespace platform::autostart {

// $XDG_CONFIG_HOME/autostart/velora.desktop (~/.config/autostart without it).
std::filesystem::path EntryPath();

// The entry exists, is not hidden, and starts this program (the given executable).
bool IsAutoStart(const std::filesystem::path& program);
// On: writes the entry, whose Exec holds the quoted program path and a fixed argument.
// Off: deletes it. False when the file could not be written or removed.
bool SetAutoStart(bool on, const std::filesystem::path& program);

// The Exec value for a program path: quoted and escaped as desktop entries require.
std::string ExecLine(const std::filesystem::path& program);
// The program of an Exec value: its first argument, unquoted and unescaped; empty if malformed.
std::string ProgramOfExec(const std::string& execValue);

inline constexpr const char* kStartArgument = "--autostart";

}  // namespace platform::autostart
