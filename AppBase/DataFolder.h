#pragma once

#include <filesystem>

// The per-user data folder, where settings, lists, downloads, recordings and logs live.
namespace appbase {

// $XDG_DATA_HOME/Velora; ~/.local/share/Velora when XDG_DATA_HOME is unset, empty or relative
// (the XDG base directory rules ignore a relative one). Empty when no home folder is known.
std::filesystem::path DataFolderPath();

// DataFolderPath(), creating what is missing of it (mode 0700, as the XDG rules ask). Returns the
// path even when it could not be created (logged): the settings functions then fail and the
// program runs with its defaults.
std::filesystem::path DataFolder();

// A sub-folder of the data folder ("log", "CloudEff"), created when missing.
std::filesystem::path DataSubFolder(const std::filesystem::path& name);

// Creates every missing folder of path with the given mode; true when path is a folder afterwards.
bool CreateFolders(const std::filesystem::path& path, unsigned mode = 0700);

}  // namespace appbase
