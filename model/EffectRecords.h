#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "ParamTables.h"

// The binary records kept in the settings file. They are written byte for byte as the struct
// values Windows wrote, so the layouts are fixed: little-endian 32-bit integers and UTF-16 text.
namespace model {

static_assert(std::endian::native == std::endian::little,
              "records are stored as the bytes of these structs");

// One effect: every parameter value plus name, source and bookkeeping (1560 bytes).
struct EffectRecord {
    int32_t params[kParamSlots];
    char16_t name[64];     // including the terminator
    char16_t source[260];  // a downloaded effect's index in decimal, or an effect file's path
    int32_t reserved[160];
    int32_t position;    // list position the current effect was applied from, -1 when none
    int32_t slotTag;     // see kSlotTag* and CWorkSpace
    int32_t empty;       // 1 in a custom slot never saved
    int32_t downloaded;  // 1 for a card-stored downloaded effect or one sent from a file
};
static_assert(std::is_standard_layout_v<EffectRecord> &&
              std::is_trivially_copyable_v<EffectRecord>);
static_assert(sizeof(EffectRecord) == 1560);
static_assert(offsetof(EffectRecord, name) == 64 * 4);
static_assert(offsetof(EffectRecord, source) == 96 * 4);
static_assert(offsetof(EffectRecord, reserved) == 226 * 4);
static_assert(offsetof(EffectRecord, position) == 386 * 4);
static_assert(offsetof(EffectRecord, slotTag) == 387 * 4);
static_assert(offsetof(EffectRecord, empty) == 388 * 4);
static_assert(offsetof(EffectRecord, downloaded) == 389 * 4);

// The values of one parameter group under a name (168 bytes).
struct GroupPresetRecord {
    char16_t name[16];
    int32_t values[32];  // in the order of the group's ids
    int32_t count;       // must equal the group's id count to be usable
    int32_t reserved;
};
static_assert(std::is_standard_layout_v<GroupPresetRecord> &&
              std::is_trivially_copyable_v<GroupPresetRecord>);
static_assert(sizeof(GroupPresetRecord) == 168);
static_assert(offsetof(GroupPresetRecord, values) == 32);
static_assert(offsetof(GroupPresetRecord, count) == 160);
static_assert(offsetof(GroupPresetRecord, reserved) == 164);

// An entry of the cloud effect list, also stored for every finished download (784 bytes).
struct CloudEffectEntry {
    char16_t name[64];
    char16_t category[64];
    char16_t location[260];  // the URL in the cloud list, the local file in a download record
    int32_t reserved;
    int32_t downloaded;
};
static_assert(std::is_standard_layout_v<CloudEffectEntry> &&
              std::is_trivially_copyable_v<CloudEffectEntry>);
static_assert(sizeof(CloudEffectEntry) == 784);
static_assert(offsetof(CloudEffectEntry, location) == 256);
static_assert(offsetof(CloudEffectEntry, reserved) == 776);
static_assert(offsetof(CloudEffectEntry, downloaded) == 780);

inline constexpr int32_t kNoPosition = -1;
inline constexpr int32_t kNoSlotTag = -1;

// Effect numbers (parameter 6) beyond the card's own 0-6.
inline constexpr int kDownloadedEffectBase = 7;      // n + 7: downloaded effect n on the card
inline constexpr int kCustomEffectBase = 0x40;       // 0x40 + k: custom saved over effect k
inline constexpr int kCustomFromDownloadBase = 64;   // n + 64: custom slot filled from download n
inline constexpr int kCustomOverDownloadBase = 150;  // 150 + s: custom saved over a download
inline constexpr int kFileEffectNumber = 164;        // an effect sent from a file

// The text of a record field up to its terminator; a field without one ends at its size, so a
// damaged record never reads past its field.
template <size_t N>
std::u16string RecordText(const char16_t (&field)[N]) {
    size_t n = 0;
    while (n < N && field[n] != u'\0') {
        ++n;
    }
    return std::u16string(field, n);
}

// How many units of text a field of `units` units (terminator included) keeps: never the first
// half of a character outside the basic plane without its second.
inline size_t RecordTextFits(std::u16string_view text, size_t units) {
    if (units == 0) {
        return 0;
    }
    size_t n = text.size() < units - 1 ? text.size() : units - 1;
    if (n < text.size() && n > 0 && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) {
        --n;
    }
    return n;
}

// The longest names the records keep.
inline constexpr size_t kEffectNameUnits = sizeof(EffectRecord::name) / sizeof(char16_t) - 1;
inline constexpr size_t kPresetNameUnits = sizeof(GroupPresetRecord::name) / sizeof(char16_t) - 1;

// Stores text cut as RecordTextFits says and zeroes the rest of the field.
template <size_t N>
void SetRecordText(char16_t (&field)[N], std::u16string_view text) {
    const size_t n = RecordTextFits(text, N);
    for (size_t i = 0; i < N; ++i) {
        field[i] = i < n ? text[i] : u'\0';
    }
}

// The leading decimal number of a text as the C runtime reads it (white space, sign, digits; 0
// when there is none), clamped to the int range.
int LeadingDecimal(std::u16string_view text);

std::u16string DecimalText(int value);

// Parameter 6 for downloaded effect n (n + 7) and for a custom slot filled from it (n + 64), n
// being the leading number of the text; kept within the card's 12-bit values.
int DownloadedEffectNumber(std::u16string_view indexText);
int CustomFromDownloadNumber(std::u16string_view indexText);

}  // namespace model
