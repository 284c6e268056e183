#pragma once

#include <string>
#include <string_view>

class CWorkSpace;

// The checks the save-effect and save-preset dialogs make before they store anything, shared
// with lyntctl. A failure carries the user's message and whether it is shown as a tip (a
// warning over the dialog) or a message box.
struct SaveCheck {
    bool ok = true;
    const char* message = "";  // UTF-8
    bool asTip = false;
};

// Blanks, tabs, carriage returns and line feeds removed at both ends.
std::u16string TrimName(std::u16string_view name);

// slot: own effect slot 0-11, or -1 when none is chosen.
SaveCheck CheckSaveEffect(const CWorkSpace& workspace, int slot, std::u16string_view name);
// group 1-3; slot: custom preset 0-3, or -1 when none is chosen.
SaveCheck CheckSavePreset(const CWorkSpace& workspace, int group, int slot,
                          std::u16string_view name);

// The name of what saving to that slot would replace: the own effect or custom preset stored
// there. Empty when the slot holds nothing yet, so the dialog asks before replacing only then.
std::u16string ReplacedEffectName(const CWorkSpace& workspace, int slot);
std::u16string ReplacedPresetName(const CWorkSpace& workspace, int group, int slot);

// Check, then store; the failure of the store itself is "保存失败！".
SaveCheck SaveMyEffect(CWorkSpace& workspace, int slot, std::u16string_view name);
SaveCheck SavePreset(CWorkSpace& workspace, int group, int slot, std::u16string_view name);
