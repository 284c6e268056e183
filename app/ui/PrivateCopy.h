#pragma once

#include <filesystem>
#include <string>

// The upgrade tool runs from a copy, so it can replace the installed one. The copy lives in a
// folder only this user can enter and is made new by us: another local user cannot plant a
// program there for the panel to run.
namespace private_copy {

// RuntimeFolder()/velora-upgrade (0700, ours), or a fresh folder made by mkdtemp in the temporary
// folder. Empty when neither can be had.
std::filesystem::path PrivateFolder();

// Copies source to folder/name: an existing entry of that name is removed, the target is created
// new (never through a link) with mode 0700, and read back to match the source byte for byte.
// The target's path, or empty on any failure (logged).
std::filesystem::path CopyForRun(const std::filesystem::path& source,
                                 const std::filesystem::path& folder, const std::string& name);

// The file at path is the regular file of ours, not writable by others, that CopyForRun made in
// a private folder.
bool IsOurPrivateFile(const std::filesystem::path& path);

}  // namespace private_copy
