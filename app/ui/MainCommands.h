#pragma once

// The commands of the main window (its menu, res/menus/menu_main.xml) and of the tray menu
// (res/menus/menu_tray.xml). The numbers are those the menu files carry, so they stay as they are.
namespace main_cmd {

inline constexpr int kDeviceInfo = 1;   // "设备信息"
inline constexpr int kCheckUpdate = 2;  // "检查更新": the upgrade tool, or the firmware dialog
inline constexpr int kAbout = 3;        // "关于"
inline constexpr int kUserManual = 4;      // "用户手册": the manual PDF beside the program
inline constexpr int kShowMain = 7;         // tray "Show"
inline constexpr int kToggleAutoStart = 8;  // no menu item: start with the system on or off
inline constexpr int kTrayAbout = 9;        // tray "About"; from the main window it is modal
inline constexpr int kExit = 10;            // tray "Exit"; the main window closes
inline constexpr int kDoctor = 11;          // "诊断"

// The range the main window takes for itself once its pages have declined a menu command.
inline constexpr int kFirst = kDeviceInfo;
inline constexpr int kLast = kDoctor;

}  // namespace main_cmd
