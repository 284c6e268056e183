#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "MoodItem.h"

// What the sound-pad page decides without a window: pad ids and the clips behind them, the texts
// of the pads and of the player bar, the grids' row counts and the rename dialog's rules.
namespace sound {

class CMoodConfig;

// Pad ids: their range tells the list, the offset the index.
inline constexpr int kFavouritePadFirst = 14000;
inline constexpr int kLocalPadFirst = 15000;  // built-in clips, then the user's own
inline constexpr int kUserPadFirst = 15015;   // the user's own clips
inline constexpr int kDownloadedPadFirst = 17000;
inline constexpr int kCloudPadFirst = 18000;  // + 1000 * category
inline constexpr int kCloudPadLast = 27999;
inline constexpr int kAddPadId = 99999;  // the local grid's "+"
inline constexpr size_t kMaxCloudTabs = 7;

enum class PadList { kNone, kFavourite, kBuiltin, kLocal, kDownloaded, kCloud };

struct PadRef {
    PadList list = PadList::kNone;
    size_t index = 0;     // in its list (kBuiltin: the built-in clip)
    size_t category = 0;  // kCloud only
};

// The list and index an id names; kNone for ids outside the pad ranges.
PadRef LookupPad(int id);
// The clip behind a pad, none when the index lies beyond its list. Cloud pads give the category's
// entry (kind 2), read under the store's lock.
std::optional<MoodItem> ClipForPad(const CMoodConfig& store, int id);

// "Ctrl+", "Shift+", "Alt+" for the modifiers, then the key's name; empty for 0. A key without a
// name gives the modifiers alone.
std::u16string HotkeyText(uint32_t hotkey);
// A favourite's pad: "name(hotkey)" when it has a hotkey with a text, else the name.
std::u16string FavouriteLabel(const MoodItem& item);
// The tooltip of a favourite's pad: while hotkeys are off, that its hotkey does nothing and how
// to turn hotkeys on; empty when hotkeys are on or the pad has no hotkey.
std::u16string FavouriteHotkeyTip(const MoodItem& item, bool hotkeysOn);

// Rows of a grid of five columns: n pads, plus the "+" pad when withAddPad.
int GridRowCount(size_t n, bool withAddPad);

// The name the rename dialog proposes: at most kMaxClipNameChars characters, then cut before the
// first "-" that is not the first character.
std::u16string ProposedClipName(std::u16string_view name);
// The file name without its last four characters (".mp3").
std::u16string NameFromFileName(std::u16string_view fileName);
// The name with leading and trailing spaces, tabs, carriage returns and line feeds removed.
std::u16string TrimClipName(std::u16string_view name);

// "%02u:%02u:%02u".
std::string ClockText(uint32_t hours, uint32_t minutes, uint32_t seconds);
std::string ClockTextOfMs(uint32_t milliseconds);
// The player bar's total: "/%02u:%02u" of whole seconds (minutes may pass 59).
std::string TotalText(uint32_t seconds);

// A clip's length as the player bar keeps it: lengths under one second count as one second.
struct ClipLength {
    uint32_t seconds = 0;
    uint32_t milliseconds = 0;
};
ClipLength BarLength(uint32_t seconds, uint32_t milliseconds);

}  // namespace sound
