#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// Downloads and recordings ask before they write, so a full disk is a clear message instead of
// a half-written file and a system that cannot save anything else.
namespace appbase {

// What a write must leave free for the rest of the desktop.
inline constexpr uint64_t kDiskReserveBytes = 64ull * 1024 * 1024;

// Bytes this user may still write on the file system that holds path (or the nearest folder
// above it that exists). False when that cannot be told.
bool FreeBytes(const std::filesystem::path& path, uint64_t& bytes);

// True when bytes more can be written at path and kDiskReserveBytes stay free. When not (or when
// the space cannot be told, which is let through), why gets a text for the user.
bool EnoughSpaceFor(const std::filesystem::path& path, uint64_t bytes, std::u16string* why);

// The user's text for a refused write.
std::u16string DiskFullText();

}  // namespace appbase
