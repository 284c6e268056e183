#pragma once

#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>

// Where and how the user keeps a copy of a recording: the save dialog starts in the user's music
// folder with a name that tells recordings apart, and the copy is the user's own file.
namespace sound {

// The user's music folder: XDG_MUSIC_DIR of $XDG_CONFIG_HOME/user-dirs.dirs (default
// ~/.config), else ~/Music when it exists, else the home folder. Empty without a home.
std::filesystem::path MusicFolder();

// "录音_20261210_053012.mp3" for a recording saved at that local time.
std::u16string ProposedRecordingName(const std::tm& local);

// The path with ".mp3" added unless it already ends so (in any case).
std::filesystem::path WithMp3Extension(const std::filesystem::path& path);

// Copies the recording to target as a new file of the user's usual permissions (0666 less the
// umask), written in full before it replaces what was there. False (ec set) when target is the
// recording itself or anything fails; a failed copy leaves the target as it was.
bool SaveRecordingCopy(const std::filesystem::path& recording, const std::filesystem::path& target,
                       std::error_code& ec);

}  // namespace sound
