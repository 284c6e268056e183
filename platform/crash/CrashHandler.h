#pragma once

#include <cstddef>
#include <ctime>
#include <filesystem>
#include <string>

// Writes a crash report when any thread faults, then lets the system's own handling follow
// (the signal is raised again with its default action).
namespace platform::crash {

// "<folder>/<program>_YYYYMMDDhhmmss.dmp": a text report with the signal, the faulting address,
// a backtrace of the faulting thread and the memory map. A second call does nothing.
bool InstallCrashHandler(const std::filesystem::path& folder, const std::string& programName);

// Removes all but the keep newest "<program>_*.dmp" reports in folder (newest by the time in
// their names); other files stay. Returns how many went. Install calls it with 10.
size_t PruneReports(const std::filesystem::path& folder, const std::string& programName,
                    size_t keep);

// Where the reports go: folder, or the executable's folder when folder is empty.
std::filesystem::path ReportFolder(const std::filesystem::path& folder);

// The report's file name for a local time.
std::string ReportFileName(const std::string& programName, const std::tm& localTime);

}  // namespace platform::crash
