#pragma once

#include <sys/stat.h>
#include <filesystem>
#include <memory>
#include <string>

#include "profile/ProfileDocument.h"

// File access behind the profile functions: bounded reads, atomic replacement, the read cache.
namespace platform::profile::detail {

enum class ReadStatus { kOk, kMissing, kTooLarge, kError };

// Reads a regular file, at most limit bytes (a FIFO or device never blocks the reader: it reads
// as an error). kTooLarge: bytes holds the first limit bytes.
ReadStatus ReadFileBytes(const std::filesystem::path& file, size_t limit, std::string* bytes,
                         struct stat* info);

// Replaces file with data: temporary file in the same folder, write, fsync, rename, fsync of the
// folder. original (may be null) gives the mode and owner to keep. False, with the temporary file
// removed and the file untouched, when any step before the rename fails.
bool ReplaceFileAtomically(const std::filesystem::path& file, const std::string& data,
                           const struct stat* original);

// The parsed file, shared read-only; an empty document for a missing or unreadable file.
std::shared_ptr<const CProfileDocument> LoadDocument(const std::filesystem::path& file);

// Tells the cache what a successful write left in the file.
void RememberDocument(const std::filesystem::path& file, const std::string& bytes,
                      std::shared_ptr<const CProfileDocument> doc);

// Parses file bytes; truncated: the bytes are only the start of the file, so the last,
// possibly cut line is dropped.
CProfileDocument ParseFileBytes(const std::string& bytes, bool truncated);

}  // namespace platform::profile::detail
