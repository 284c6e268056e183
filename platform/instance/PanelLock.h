#pragma once

#include <filesystem>

// The control panel holds a lock file for its whole run; other programs of ours (lyntctl) look
// at it so they do not open the card behind the panel's back.
namespace platform::instance {

// $XDG_RUNTIME_DIR/velora.lock, or a per-user file in the temporary folder without one.
std::filesystem::path PanelLockPath();
// The lock file names a process that is alive.
bool IsPanelRunning();

}  // namespace platform::instance
