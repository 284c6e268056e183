#pragma once

#include <cstdint>
#include <filesystem>

// The control panel holds a lock file for its whole run; other programs of ours (lyntctl) look
// at it so they do not open the card behind the panel's back.
namespace platform::instance {

// The user's private folder for the panel's locks and sockets: $XDG_RUNTIME_DIR when it is a
// folder of this user that nobody else can enter, otherwise "velora-<uid>" in the temporary
// folder, made so (0700, this user's, not a link); when another user holds that name, a folder
// in the user's cache folder. Empty when there is none: then there is no single-instance lock.
std::filesystem::path RuntimeFolder();
// A folder, not a link, of this user's, with no access for group or others.
bool IsPrivateFolder(const std::filesystem::path& folder);

// RuntimeFolder()/velora.lock.
std::filesystem::path PanelLockPath();
// The lock file names a process that is alive.
bool IsPanelRunning();

// The socket the running panel takes window messages on, as text lines "MSG WPARAM LPARAM".
std::filesystem::path PanelSocketPath();
// Sends one message to the running panel; false when none listens.
bool SendToPanel(uint32_t msg, uint64_t wParam, int64_t lParam);

}  // namespace platform::instance
