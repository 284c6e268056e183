#pragma once

#include <cstdint>
#include <filesystem>

// The control panel holds a lock file for its whole run; other programs of ours (lyntctl) look
// at it so they do not open the card behind the panel's back.
namespace platform::instance {

// $XDG_RUNTIME_DIR/velora.lock, or a per-user file in the temporary folder without one.
std::filesystem::path PanelLockPath();
// The lock file names a process that is alive.
bool IsPanelRunning();

// The socket the running panel takes window messages on, as text lines "MSG WPARAM LPARAM".
std::filesystem::path PanelSocketPath();
// Sends one message to the running panel; false when none listens.
bool SendToPanel(uint32_t msg, uint64_t wParam, int64_t lParam);

}  // namespace platform::instance
