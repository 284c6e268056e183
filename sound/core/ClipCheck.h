#pragma once

#include <filesystem>

namespace sound {

// A quick look at a file's first bytes: true when it starts as an MP3 stream does (an ID3v2 tag
// with something after it, or an MPEG audio frame header). Empty, missing and unreadable files
// and other formats are false. Whether the whole file plays is for the engine to find out.
bool LooksLikeMp3File(const std::filesystem::path& path);

}  // namespace sound
