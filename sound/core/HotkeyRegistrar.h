#pragma once

#include <cstdint>

// Global hotkeys as the sound-pad store keeps them. A hotkey value is the virtual-key code in the
// low 16 bits and the modifiers in the high 16 bits (Alt 1, Ctrl 2, Shift 4); 0 is none. The
// files hold these values, so they stay as they are on every platform.
namespace sound {

inline constexpr uint32_t kHotkeyAlt = 1;
inline constexpr uint32_t kHotkeyCtrl = 2;
inline constexpr uint32_t kHotkeyShift = 4;

constexpr uint32_t MakeHotkey(uint32_t modifiers, uint32_t virtualKey) {
    return (modifiers << 16) | (virtualKey & 0xFFFF);
}
constexpr uint32_t HotkeyModifiers(uint32_t hotkey) {
    return hotkey >> 16;
}
constexpr uint32_t HotkeyKey(uint32_t hotkey) {
    return hotkey & 0xFFFF;
}

// Only these are handed to the system: a value from a damaged file with unknown modifier bits or
// a key outside the virtual-key range (1..254) is kept in the list but never registered.
constexpr bool IsRegistrableHotkey(uint32_t hotkey) {
    const uint32_t key = HotkeyKey(hotkey);
    return (HotkeyModifiers(hotkey) & ~(kHotkeyAlt | kHotkeyCtrl | kHotkeyShift)) == 0 &&
           key >= 1 && key <= 0xFE;
}

// The system-wide hotkey service as the store uses it. Register makes the hotkey deliver id to the
// pages' hotkey handlers and returns false when it cannot (another program holds the key, no
// hotkeys on this desktop); Unregister releases an id registered before.
class IHotkeyRegistrar {
public:
    virtual ~IHotkeyRegistrar() = default;
    virtual bool Register(int id, uint32_t hotkey) = 0;
    virtual void Unregister(int id) = 0;
};

}  // namespace sound
