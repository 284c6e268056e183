#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

// The card's parameters: what each id means, its range, how it is shown and what role it plays.
namespace model {

inline constexpr int kParamCount = 47;  // ids 0-46
inline constexpr int kParamSlots = 64;  // values an effect record holds
inline constexpr int kParamEffectNumber = 6;
inline constexpr int kParamExciterBass = 7;
inline constexpr int kParamExciterTreble = 8;
inline constexpr int kParamEqFirst = 9;
inline constexpr int kParamEqLast = 23;
inline constexpr int kParamVoiceSwitch = 26;
inline constexpr int kParamReverbSwitch = 29;
inline constexpr int kParamReverbVolume = 30;

enum ParamKind : int32_t { kKindRange = 0, kKindSwitch = 3, kKindNumber = 7 };

struct ParamDescriptor {
    int32_t id;
    std::u16string_view name;
    int32_t kind;
    int32_t minimum;
    int32_t maximum;  // the bit mask in a switch descriptor
    float scale;      // shown = raw × scale + offset
    std::u16string_view format;
    std::u16string_view unit;
    int32_t reserved;
    // The workspace's value before anything else is known. Loading the stored current effect at
    // start replaces it, so it only shows when nothing is stored and no built-in effect loads.
    // (A control's binding copies it under the same name, with the other meaning: see
    // effects::BindingRecord::initial.)
    int32_t initial;
    bool effect;      // travels with effects and presets
    bool refresh;     // shown by RefreshControls
    int32_t group;    // upper nibble of the middle byte of a CMD_SET_PARAMS entry
    bool sharedBits;  // other controls show switch bits of the same value
    int32_t offset;
    // The English identifier scripts use beside the Chinese name (lyntctl, JSON output).
    std::string_view key = {};
    // The unit of the shown value (raw × scale + offset), empty when it has none. Not the
    // binding's choice list, which the unit field above carries.
    std::string_view shownUnit = {};
};

struct ParamGroup {
    std::u16string_view name;
    std::span<const int> ids;
};

inline constexpr int kGroupMixer = 0;
inline constexpr int kGroupEqualiser = 1;
inline constexpr int kGroupReverb = 2;
inline constexpr int kGroupVoice = 3;
inline constexpr int kGroupCount = 4;

inline constexpr int kBuiltinEffectCount = 7;

const std::array<ParamDescriptor, kParamCount>& ParamDescriptors();
const std::array<ParamDescriptor, 17>& SwitchDescriptors();
const std::array<ParamGroup, kGroupCount>& ParamGroups();

// Card effect number 0-6 → position in the built-in effect list; -1 for any other number.
int BuiltinPositionOfEffectNumber(int number);

inline bool IsParamId(int id) {
    return id >= 0 && id < kParamCount;
}

// 0x80 of a volume is its mute bit; the card counts the level of these in quarter steps.
inline bool IsQuarterStepParam(int id) {
    return id == 0 || id == 1 || id == 38;
}

}  // namespace model
