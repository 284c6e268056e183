#pragma once

#include <array>
#include <vector>

#include "EffectRecords.h"

// The effects the card holds itself and the presets every installation starts with.
namespace model {

inline constexpr int kDeviceCustomFirstPosition = 5;  // built-in positions 5 and 6
inline constexpr int kDeviceCustomSlots = 2;

// Positions 0-6: "原声", "户外", "闪避", "KTV", "音乐", "自定义1", "自定义2".
const std::array<EffectRecord, kBuiltinEffectCount>& BuiltinEffects();

// The named presets of a group (group 0 has one, the others five); custom ones follow them.
std::vector<GroupPresetRecord> StaticGroupPresets(int group);

}  // namespace model
