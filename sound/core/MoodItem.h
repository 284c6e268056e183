#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <type_traits>

// One sound-pad clip as the sound-pad file and the pages keep it. The first 76 bytes (80 for the
// last clip played) are stored byte for byte as struct values, so the layout is fixed:
// little-endian 32-bit integers and UTF-16 text.
namespace sound {

static_assert(std::endian::native == std::endian::little,
              "clips are stored as the bytes of this struct");

enum MoodKind : int32_t { kMoodResource = 0, kMoodFile = 1, kMoodCloud = 2 };
enum MoodDownloadState : int32_t { kCloudIdle = 0, kCloudDownloading = 1, kCloudDownloaded = 2 };

struct MoodItem {
    int32_t kind;           // MoodKind
    char16_t name[32];      // shown on the pad, NUL-terminated
    uint32_t hotkey;        // modifiers << 16 | virtual-key code, 0 = none (see HotkeyRegistrar.h)
    int32_t cloudId;        // 0 unless the clip came from the cloud
    char16_t path[260];     // resource name, file path or URL
    int32_t downloadState;  // MoodDownloadState, cloud entries only
};
static_assert(std::is_standard_layout_v<MoodItem> && std::is_trivially_copyable_v<MoodItem>);
static_assert(sizeof(MoodItem) == 600);
static_assert(offsetof(MoodItem, name) == 4);
static_assert(offsetof(MoodItem, hotkey) == 68);
static_assert(offsetof(MoodItem, cloudId) == 72);
static_assert(offsetof(MoodItem, path) == 76);
static_assert(offsetof(MoodItem, downloadState) == 596);

// What the file keeps of a list entry (kind, name, hotkey, cloud id) and of the last clip played
// (the same plus the first two characters of its path).
inline constexpr size_t kMoodStoredBytes = offsetof(MoodItem, path);
inline constexpr size_t kLastPlayedStoredBytes = kMoodStoredBytes + 2 * sizeof(char16_t);
static_assert(kMoodStoredBytes == 76 && kLastPlayedStoredBytes == 80);

// The rename dialog accepts no more.
inline constexpr size_t kMaxClipNameChars = 7;

std::u16string ClipName(const MoodItem& item);
std::u16string ClipPath(const MoodItem& item);

// Text in a path field must come back from the file as it went in: false (item untouched) when it
// is too long for the field or holds a line break or NUL.
bool SetClipPath(MoodItem& item, std::u16string_view path);
// Cut to the field (31 units); never splits a surrogate pair.
void SetClipName(MoodItem& item, std::u16string_view name);

// Fills item as an all-zero item with these fields; false when the path does not fit
// (see SetClipPath).
bool MakeClip(MoodItem& item, int32_t kind, std::u16string_view name, std::u16string_view path,
              int32_t cloudId = 0);

// Ends both text fields inside the struct, so text read from a damaged file never runs past them.
void TerminateClipText(MoodItem& item);

// The file a kind 1 clip plays from: only an absolute path, so no text from the settings file is
// ever resolved against the working folder; empty otherwise.
std::filesystem::path ClipFilePath(const MoodItem& item);

// The program's fifteen built-in clips, in pad order (pad id 15000 + index).
struct BuiltinClip {
    const char16_t* name;      // shown on the pad
    const char16_t* resource;  // the MP3 resource
};
inline constexpr size_t kBuiltinClipCount = 15;
extern const std::array<BuiltinClip, kBuiltinClipCount> kBuiltinClips;

// The kind 0 item of built-in clip index; an all-zero item for an index out of range.
MoodItem BuiltinClipItem(size_t index);
// Index of the built-in clip with exactly this resource name, -1 when there is none. Resource
// names read from the file are checked here before anything opens them.
int FindBuiltinClip(std::u16string_view resource);

}  // namespace sound
