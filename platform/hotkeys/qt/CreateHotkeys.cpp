#include "CreateHotkeys.h"

#include "Log/Log.h"
#include "PortalHotkeys.h"
#include "XcbHotkeys.h"

#include <QGuiApplication>

#include <cstdlib>
#include <cstring>

#define LOG_SOURCE "platform\\hotkeys\\CreateHotkeys"

namespace platform::hotkeys {

namespace {

bool EnvSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

bool WaylandSession() {
    const char* type = std::getenv("XDG_SESSION_TYPE");
    if (type && *type) {
        return std::strcmp(type, "wayland") == 0;
    }
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland")) ||
           EnvSet("WAYLAND_DISPLAY");
}

}  // namespace

std::unique_ptr<IHotkeys> CreateHotkeys() {
    const bool wayland = WaylandSession();
    const bool x11 = EnvSet("DISPLAY");
    // Asking the bus costs a round trip; X sessions do not need it.
    const bool portal = (wayland || !x11) && CPortalHotkeys::Present();
    switch (ChooseService(wayland, x11, portal)) {
        case Availability::kX11:
            if (auto grabs = CXcbHotkeys::Connect()) {
                return grabs;
            }
            VLOG_ERROR("hotkey", "CreateHotkeys", "cannot open the X display for key grabs");
            break;
        case Availability::kPortal:
            return std::make_unique<CPortalHotkeys>();
        case Availability::kUnavailable:
            break;
    }
    return std::make_unique<CNoHotkeys>();
}

}  // namespace platform::hotkeys
