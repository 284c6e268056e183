#pragma once

#include "Hotkeys.h"

#include <memory>

namespace platform::hotkeys {

// The hotkey service of this session (see ChooseService); never null. Call on the UI thread once
// the QGuiApplication exists: activations arrive through its event loop.
std::unique_ptr<IHotkeys> CreateHotkeys();

}  // namespace platform::hotkeys
