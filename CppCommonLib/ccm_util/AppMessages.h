#pragma once

#include <cstdint>

// The program's private window messages.
inline constexpr uint32_t UM_NOTIFY_MAIN = 1125;
inline constexpr uint32_t UM_SHOW_UPGRADE = 1126;
inline constexpr uint32_t UM_TRAY_ICON = 2125;

// wParam values of UM_NOTIFY_MAIN.
inline constexpr uint64_t kNotifyDownloadProgress = 3;  // lParam: percent done
inline constexpr uint64_t kNotifyDownloadDone = 7;      // lParam: 1 all sent, 0 failed

// lyntctl pad: wParam the favourite's index (0 is the first), or kSoundPadStop.
inline constexpr uint32_t UM_SOUND_PAD = 1130;
inline constexpr uint64_t kSoundPadStop = 0xFFFF;
