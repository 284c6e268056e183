#pragma once

#include <cstdint>
#include <string>

// The one table between Windows virtual-key codes (as hotkeys are stored), Qt keys (as the
// hotkey edit control reads them) and X key symbols (as the X server and the portal name keys).
namespace platform::hotkeys {

// Qt key (without modifiers) to the virtual-key code of a US layout; 0 when the key has none.
// Shifted symbols map to their unshifted key ('!' is the '1' key). keypad selects the number
// pad's codes for digits and operators.
uint16_t QtKeyToVk(int qtKey, bool keypad = false);
// Virtual-key code to a Qt key; 0 when unknown. Keypad codes give the plain digit or operator.
int VkToQtKey(uint16_t vk);
// Virtual-key code to the X key symbol of the key to grab; 0 when unknown. Letters give the
// lower-case symbol, the number pad its KP_ symbols.
uint32_t VkToKeysym(uint16_t vk);
// The key symbol's name as xkbcommon spells it ("a", "F5", "KP_0", "Return"); empty when unknown.
std::string VkToKeysymName(uint16_t vk);

}  // namespace platform::hotkeys
