#pragma once

#include <filesystem>

namespace model {

// The folder downloaded effect files live in.
std::filesystem::path CloudEffFolder(const std::filesystem::path& dataFolder);

// True when `file` (links and ".." resolved) is a regular file somewhere under the data
// folder's CloudEff folder.
bool IsCloudEffectFile(const std::filesystem::path& dataFolder, const std::filesystem::path& file);

// Deletes a downloaded effect file. A path that leads anywhere else (a settings file can say
// anything) is left alone and false returned.
bool DeleteCloudEffectFile(const std::filesystem::path& dataFolder,
                           const std::filesystem::path& file);

}  // namespace model
