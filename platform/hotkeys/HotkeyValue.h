#pragma once

#include <cstdint>

namespace platform::hotkeys {

// Hotkeys are stored as the settings files have always stored them: the Windows virtual-key code
// in the low 16 bits, the modifier flags in the high 16 bits.
inline constexpr uint16_t kHotkeyAlt = 1;
inline constexpr uint16_t kHotkeyCtrl = 2;
inline constexpr uint16_t kHotkeyShift = 4;

inline constexpr uint32_t MakeHotKey(uint16_t vk, uint16_t modifiers) {
    return (uint32_t(modifiers) << 16) | vk;
}
inline constexpr uint16_t HotKeyVk(uint32_t hotkey) {
    return uint16_t(hotkey & 0xFFFF);
}
inline constexpr uint16_t HotKeyModifiers(uint32_t hotkey) {
    return uint16_t(hotkey >> 16);
}

}  // namespace platform::hotkeys
