#pragma once

#include <QString>
#include <cstdint>

class QKeyEvent;

namespace toolkit {

// Hot keys are stored as the design stores them, so that saved settings keep their meaning: the
// Windows virtual-key code in the low 16 bits, the modifiers in the high 16 bits.
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

// Qt key (Qt::Key, without modifiers) to the virtual-key code of a US layout; 0 when the key has
// none. Shifted symbols map to their unshifted key ('!' is the '1' key). keypad selects the
// number pad's codes for digits and operators.
uint16_t QtKeyToVk(int qtKey, bool keypad = false);
// Virtual-key code to a Qt key; 0 when unknown.
int VkToQtKey(uint16_t vk);
uint16_t HotKeyModifiersOf(Qt::KeyboardModifiers modifiers);
// The hot key of a key press; 0 for a press of a modifier alone or an unmapped key.
uint32_t HotKeyFromKeyEvent(const QKeyEvent* event);
// Display text as the hot-key control shows it: "Ctrl+Shift+F1"; empty for 0.
QString HotKeyText(uint32_t hotkey);

}  // namespace toolkit
