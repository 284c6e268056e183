// What the desktop offers the panel: a tray host and a way to take global hotkeys.
#include <systemd/sd-bus.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

#include "Doctor.h"
#include "Hotkeys.h"

namespace doctor {

namespace {

struct BusUnref {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using BusPtr = std::unique_ptr<sd_bus, BusUnref>;

// The session bus with every call bounded by timeoutMs; null without one.
BusPtr SessionBus(int timeoutMs) {
    sd_bus* raw = nullptr;
    if (sd_bus_open_user(&raw) < 0) {
        return nullptr;
    }
    BusPtr bus(raw);
    sd_bus_set_method_call_timeout(bus.get(), static_cast<uint64_t>(timeoutMs) * 1000);
    return bus;
}

// 1 owned, 0 not owned, -1 the bus did not answer.
int NameHasOwner(sd_bus* bus, const char* name) {
    sd_bus_error error{};  // SD_BUS_ERROR_NULL, whose C compound literal C++ does not have
    sd_bus_message* reply = nullptr;
    int owned = 0;
    int r = sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "NameHasOwner", &error, &reply, "s", name);
    if (r >= 0) {
        r = sd_bus_message_read(reply, "b", &owned);
    }
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    return r < 0 ? -1 : (owned ? 1 : 0);
}

// The desktop portal answers for its GlobalShortcuts interface (asking may start the portal).
bool PortalHasGlobalShortcuts(sd_bus* bus) {
    sd_bus_error error{};  // SD_BUS_ERROR_NULL, whose C compound literal C++ does not have
    sd_bus_message* reply = nullptr;
    const int r =
        sd_bus_call_method(bus, "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                           "org.freedesktop.DBus.Properties", "Get", &error, &reply, "ss",
                           "org.freedesktop.portal.GlobalShortcuts", "version");
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    return r >= 0;
}

}  // namespace

CheckResult CheckTrayHost(const Options& options) {
    CheckResult r{"tray", "托盘", Level::Ok, {}, {}};
    BusPtr bus = SessionBus(options.timeoutMs);
    const int owned = bus ? NameHasOwner(bus.get(), "org.kde.StatusNotifierWatcher") : -1;
    if (owned == 1) {
        r.found = "有托盘宿主（org.kde.StatusNotifierWatcher）";
        return r;
    }
    r.level = Level::Warn;
    r.found = owned == 0 ? "会话总线上没有托盘宿主（org.kde.StatusNotifierWatcher）"
                         : "没有可用的会话总线，无法询问托盘宿主";
    r.todo =
        "面板照常可用，只是没有托盘图标；需要托盘时，请在桌面上启用系统托盘"
        "（GNOME 需要 AppIndicator 扩展）";
    return r;
}

CheckResult CheckHotkeys(const Options& options) {
    CheckResult r{"hotkeys", "全局热键", Level::Ok, {}, {}};
    const bool wayland = platform::hotkeys::WaylandSession(false);
    const bool x11 = platform::hotkeys::X11Display();
    bool portal = false;
    // Asking the bus costs a round trip; X sessions do not need it.
    if (wayland || !x11) {
        if (BusPtr bus = SessionBus(options.timeoutMs)) {
            portal = PortalHasGlobalShortcuts(bus.get());
        }
    }
    using platform::hotkeys::Availability;
    switch (platform::hotkeys::ChooseService(wayland, x11, portal)) {
        case Availability::kX11: {
            const std::string display = std::getenv("DISPLAY");
            xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
            const bool connected = xcb_connection_has_error(connection) == 0;
            xcb_disconnect(connection);
            if (connected) {
                r.found = "X11 键盘抓取（DISPLAY=" + display + "）";
                return r;
            }
            r.level = Level::Fail;
            r.found = "无法连接 X 显示 " + display + "，全局热键不可用";
            r.todo = "检查 DISPLAY 是否指向正在运行的 X 服务器，并在该桌面会话中运行";
            return r;
        }
        case Availability::kPortal:
            r.found = "桌面门户的全局快捷键（org.freedesktop.portal.GlobalShortcuts）";
            return r;
        case Availability::kUnavailable:
            break;
    }
    r.level = Level::Warn;
    r.found =
        wayland ? "Wayland 桌面没有提供全局快捷键门户" : "既没有 X11 显示，也没有全局快捷键门户";
    r.todo = "在桌面的键盘设置中为 lyntctl 命令设置快捷键，例如 lyntctl effect 2";
    return r;
}

}  // namespace doctor
