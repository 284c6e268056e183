#include "Hotkeys.h"

#include <cstdlib>
#include <cstring>

namespace platform::hotkeys {

namespace {
// Effect buttons of the effects page: seven device effects, then twelve own effects.
constexpr int kFirstDeviceEffect = 10000;
constexpr int kFirstOwnEffect = 10007;
constexpr int kLastOwnEffect = 10018;

bool EnvSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}
}  // namespace

bool WaylandSession(bool platformIsWayland) {
    const char* type = std::getenv("XDG_SESSION_TYPE");
    if (type && *type) {
        return std::strcmp(type, "wayland") == 0;
    }
    return platformIsWayland || EnvSet("WAYLAND_DISPLAY");
}

bool X11Display() {
    return EnvSet("DISPLAY");
}

Availability ChooseService(bool waylandSession, bool x11Display, bool portalPresent) {
    if (!waylandSession && x11Display) {
        return Availability::kX11;
    }
    return portalPresent ? Availability::kPortal : Availability::kUnavailable;
}

std::string DesktopCommandFor(int id) {
    if (id >= kFirstDeviceEffect && id < kFirstOwnEffect) {
        return "lyntctl effect " + std::to_string(id - kFirstDeviceEffect);
    }
    if (id >= kFirstOwnEffect && id <= kLastOwnEffect) {
        return "lyntctl my-effect " + std::to_string(id - kFirstOwnEffect);
    }
    return {};
}

std::string UnavailableNotice(int id) {
    std::string notice = "此桌面不支持全局热键。";
    const std::string command = DesktopCommandFor(id);
    if (!command.empty()) {
        notice += "请在桌面的键盘设置中为命令“" + command + "”设置快捷键。";
    }
    return notice;
}

}  // namespace platform::hotkeys
