#pragma once

#include <array>
#include <string_view>

#include "EffectRecords.h"

namespace effects {

// How a grey cover of the page ends up after an effect change.
enum class Cover { Hidden, Shown, Unchanged };

// The covers over the parts of the page an effect has no use for, and the save button.
struct EffectCovers {
    Cover common = Cover::Hidden;    // "forbid_not_commom_param"
    Cover electric = Cover::Hidden;  // "forbid_not_electric_param"
    Cover reverb = Cover::Hidden;    // "forbid_reverb_param"
    Cover save = Cover::Shown;       // "save_effect_btn"
};

// The card's effect numbers repeat every 16; a downloaded effect carries its own sound, so only
// the mixer stays editable.
EffectCovers CoversFor(int effectNumber, bool downloaded);

// What the page shows for the current effect.
struct EffectView {
    int checkedButton = -1;  // effect button index 0..18, -1 none
    int effectPage = -1;     // page of "tab_effect", -1 unchanged
    EffectCovers covers;
    bool followVoiceTab = false;  // select the reverb/voice page from the voice switch
};

EffectView DeriveEffectView(const model::EffectRecord& current,
                            const std::array<model::EffectRecord, 12>& custom);

// The custom slot whose source names this identifier (letter case ignored), or -1.
int CustomSlotWithSource(const std::array<model::EffectRecord, 12>& custom,
                         std::u16string_view source);

// The card's effect number of a downloaded effect: its identifier's leading decimal digits
// (0 when there are none, as with a file path) plus 7.
int EffectNumberOfIdentifier(std::u16string_view identifier);

}  // namespace effects
