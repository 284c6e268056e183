#pragma once

#include <QString>
#include <cstdint>

#include "HotkeyValue.h"
#include "VirtualKeys.h"

class QKeyEvent;

namespace toolkit {

// Hot keys keep the stored layout (platform/hotkeys/HotkeyValue.h) and the one key table the
// global hotkeys use (platform/hotkeys/qt/VirtualKeys.h).
using platform::hotkeys::HotKeyModifiers;
using platform::hotkeys::HotKeyVk;
using platform::hotkeys::kHotkeyAlt;
using platform::hotkeys::kHotkeyCtrl;
using platform::hotkeys::kHotkeyShift;
using platform::hotkeys::MakeHotKey;
using platform::hotkeys::QtKeyToVk;
using platform::hotkeys::VkToQtKey;

uint16_t HotKeyModifiersOf(Qt::KeyboardModifiers modifiers);
// The hot key of a key press; 0 for a press of a modifier alone or an unmapped key.
uint32_t HotKeyFromKeyEvent(const QKeyEvent* event);
// Display text as the hot-key control shows it: "Ctrl+Shift+F1"; empty for 0.
QString HotKeyText(uint32_t hotkey);

}  // namespace toolkit
