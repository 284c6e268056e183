#pragma once

#include <vector>

namespace effects {

// Commands of the effect buttons' context menu.
inline constexpr int kCmdSetHotkey = 99;
inline constexpr int kCmdDeleteHotkey = 100;
inline constexpr int kCmdEditHotkey = 101;
inline constexpr int kCmdRemoteSlot1 = 201;  // "遥控器自定义1"
inline constexpr int kCmdRemoteSlot2 = 202;  // "遥控器自定义2"

struct EffectMenuPlan {
    bool show = false;
    // "保存到设备" with the remote-control slots: only a My Effect can be stored there, the
    // device effects are the card's own.
    bool saveToDevice = false;
    std::vector<int> hotkeyEntries;  // inserted at the top, in this order
};

// The context menu of effect button index 0..18 (0..6 device effects, 7..18 My Effects). An
// unsaved My Effect has nothing to offer. The hotkey entries come only where hotkeys are offered.
EffectMenuPlan PlanEffectMenu(int buttonIndex, bool slotSaved, bool hotkeysOffered, bool hasHotkey);

}  // namespace effects
