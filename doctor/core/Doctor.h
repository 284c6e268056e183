#pragma once

#include <filesystem>
#include <string>
#include <vector>

// The doctor: checks of what the card and the program need from this machine, each telling what
// it found and, when something is wrong, what to do. lyntctl prints them, the panel's "诊断"
// dialog shows them; both get the same words. Every check is bounded in time and none of them
// sends anything to the card.
namespace doctor {

enum class Level { Ok, Warn, Fail };

struct CheckResult {
    std::string id;     // stable English name for scripts ("card", "sound_server", ...)
    std::string title;  // what is checked, for people
    Level level = Level::Ok;
    std::string found;  // what the check found, one line
    std::string todo;   // what to do about it; empty when the check passed
};

// "ok", "warn", "fail": the words scripts read.
const char* LevelName(Level level);

// Where the checks look. Defaults are this machine's; tests point them at their own set-ups.
struct Options {
    // Folders udev reads its rules from.
    std::vector<std::filesystem::path> ruleFolders{"/etc/udev/rules.d", "/usr/lib/udev/rules.d",
                                                   "/lib/udev/rules.d"};
    std::string devicePath;            // a card's node to check instead of those udev lists
    std::filesystem::path dataFolder;  // empty: the program's data folder
    std::string cloudUrl;              // empty: the program's cloud address (VELORA_CLOUD_URL)
    int timeoutMs = 2000;              // the bound of each check that waits on something
};

// Runs every check, side by side, and returns them in a fixed order. Returns within about
// options.timeoutMs (plus the cloud's connect time-out, which is of the same size).
std::vector<CheckResult> RunChecks(const Options& options = {});

// The single checks, for the tests and for anyone who needs one. A card check returns one result
// per card found (or one saying none was).
std::vector<CheckResult> CheckCards(const Options& options);
// Whether this user may read and write a card's node (a hidraw node or a virtual card's socket),
// and when not, why: the rule missing, the rule not applied, or not the seat's user.
CheckResult CheckNodeAccess(const std::string& path, const Options& options);
CheckResult CheckUdevRule(const Options& options);
CheckResult CheckTrayHost(const Options& options);
CheckResult CheckHotkeys(const Options& options);
// The sound server and the card's playback and capture devices, asked in one visit.
std::vector<CheckResult> CheckSound(const Options& options);
CheckResult CheckCloud(const Options& options);
CheckResult CheckDataFolder(const Options& options);

// The file among the rule folders that gives access to the card (vendor 2b53), or empty.
std::filesystem::path FindUdevRule(const std::vector<std::filesystem::path>& folders);

}  // namespace doctor
