#pragma once

#include <cstddef>
#include <filesystem>
#include <vector>

#include "MoodItem.h"
#include "profile/Profile.h"

// The sound-pad file, data folder + "LyntMoodcfg.ini": a UTF-16LE profile file read and written
// only through platform/profile. Each clip list is two sections: "<list>" with "count" and the
// 76-byte struct value of entry i under key "i", and "<list>Path" with entry i's path.
namespace sound::mood_file {

inline constexpr char16_t kCount[] = u"count";
inline constexpr char16_t kLastPlayMood[] = u"LastPlayMood";          // key "0", 80 bytes
inline constexpr char16_t kLastPlayMoodPath[] = u"LastPlayMoodPath";  // key "0"
inline constexpr char16_t kLastPlayMoodTotal[] = u"LastPlayMoodTotal";
inline constexpr char16_t kMoodTotalTime[] = u"MoodTotalTime";  // whole seconds
inline constexpr char16_t kConfig[] = u"Config";
inline constexpr char16_t kVolume[] = u"Volume";
inline constexpr char16_t kEnableHotKey[] = u"EnableHotKey";

struct ListSections {
    const char16_t* items;
    const char16_t* paths;
};
inline constexpr ListSections kFavourites{u"HotkeyMood", u"HotkeyMoodPath"};
inline constexpr ListSections kLocalClips{u"DIY", u"DIYPath"};
inline constexpr ListSections kDownloaded{u"Download", u"DownloadPath"};

// A list longer than this comes only from a damaged or hostile file: the rest is not read, and
// the store adds no more, so loading and saving stay quick.
inline constexpr size_t kMaxListEntries = 1000;

// Creates a missing file holding only the byte-order mark FF FE, so that every later write keeps
// it UTF-16LE; private to the user. True when the file exists afterwards.
bool CreateWithByteOrderMark(const std::filesystem::path& file);

// The entries of a list whose struct value and path both read and whose path fits the field, in
// key order, with the rest of each item zero. Damaged entries are skipped one by one.
std::vector<MoodItem> ReadList(const ListSections& sections, const std::filesystem::path& file);

// Adds to batch the list's sections written afresh: count, entries 0..n-1, their paths. The
// caller deletes the old sections first.
void WriteList(platform::profile::CProfileBatch& batch, const ListSections& sections,
               const std::vector<MoodItem>& list);

// The last clip played: the 80-byte value and its path (empty when the path is missing). False,
// item untouched, when the value is missing or damaged.
bool ReadLastPlayed(MoodItem& item, const std::filesystem::path& file);
void WriteLastPlayed(platform::profile::CProfileBatch& batch, const MoodItem& item);

}  // namespace sound::mood_file
