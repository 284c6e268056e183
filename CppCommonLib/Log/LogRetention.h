#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace vlog {

// What the log may keep on disk. A card that sends garbage all day must not fill the disk.
struct LogLimits {
    int keepDays = 14;                             // daily files older than this go
    uintmax_t maxTotalBytes = 20u * 1024 * 1024;   // all of the module's files together
    uintmax_t maxFileBytes = 8u * 1024 * 1024;     // one day's file; later lines that day dropped
    unsigned burstLines = 20;                      // lines from one place per window ...
    unsigned burstSeconds = 10;                    // ... before the rest are counted, not written
};

// Removes "<module>_<yyyymmdd>.log" files in folder that are older than keepDays before today
// (a yyyymmdd text), then the oldest others until the rest fit in maxTotalBytes. Today's file is
// never removed. Other files are left alone. Returns how many files went.
size_t PruneLogFolder(const std::filesystem::path& folder, const std::string& module,
                      const std::string& today, const LogLimits& limits);

// Days from 1970-01-01 of a yyyymmdd text; false when it is no valid date.
bool DayNumber(const std::string& yyyymmdd, long& day);

}  // namespace vlog
