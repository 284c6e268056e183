#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

// Names from the cloud service are text from the network: before one becomes part of a path it
// is made safe here, and every path built from one is checked to stay inside its folder.
namespace sound {

// One path component from a server's name: separators ("/", "\\"), NUL and control characters
// become "_", every ".." becomes "_", and the result is cut to maxUnits UTF-16 units without
// splitting a surrogate pair. Empty when nothing usable is left (all dots or blanks).
std::u16string SafeFileName(std::u16string_view name, size_t maxUnits);

// A name shown on a pad or a tab: control characters and NUL removed, cut to maxUnits.
std::u16string CleanDisplayName(std::u16string_view name, size_t maxUnits);

// Cuts UTF-8 text to at most maxBytes without splitting a sequence.
std::string CutUtf8(std::string_view text, size_t maxBytes);

// Doubles every "&", so a toolkit that reads "&" as a mnemonic shows it as typed.
std::u16string DoubleAmpersands(std::u16string_view text);

// The data folder's "CloudSound" folder, where downloaded clips go.
std::filesystem::path CloudSoundFolder(const std::filesystem::path& dataFolder);

// The file name a clip downloads to: the URL's part after its last "/", made safe; "%d.mp3" with
// the cloud id when the URL has no "/" or that part is not usable.
std::u16string CloudFileName(std::u16string_view url, int32_t cloudId);

// True when path, with "." and ".." resolved and existing links followed, lies strictly inside
// folder.
bool IsInsideFolder(const std::filesystem::path& folder, const std::filesystem::path& path);

}  // namespace sound
