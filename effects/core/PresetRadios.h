#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "EffectRecords.h"

namespace effects {

// The preset radios of the equaliser and reverb/voice dialogs: id 11000 + group × 100 + position,
// position 1-4 the named presets, 5-8 the custom ones (list positions 1-8 of the group).
inline constexpr int kPresetRadioBase = 11000;
inline constexpr int kPresetRadioLast = 11600;
inline constexpr int kPresetPositions = 8;
inline constexpr int kFirstCustomPosition = 5;

struct PresetRadio {
    int group = 0;
    int position = 0;  // 1-8
};

// The group and position a radio command names; nullopt outside 11000-11600.
std::optional<PresetRadio> PresetRadioFromId(int id);
int PresetRadioId(int group, int position);

// Whether a click on a radio marks it: always for the named presets, and for a custom one only
// when it was applied (an unsaved custom preset leaves the marks alone).
bool MarksPreset(bool applied, int position);

// A radio's caption for a preset name: names longer than 5 characters become their first 4
// and "..".
std::u16string PresetCaption(std::u16string_view name);

struct CustomCaption {
    int position = 0;     // 5-8
    std::u16string text;  // the caption
    std::u16string tip;   // the full name
};

// Captions of the custom radios whose records exist and hold values; the others keep their own.
std::vector<CustomCaption> CustomPresetCaptions(const std::vector<model::GroupPresetRecord>& list);

}  // namespace effects
