#include "CreateHotkeys.h"

#include "Log/Log.h"
#include "PortalHotkeys.h"
#include "XcbHotkeys.h"

#include <QGuiApplication>

#define LOG_SOURCE "platform\\hotkeys\\CreateHotkeys"

namespace platform::hotkeys {

std::unique_ptr<IHotkeys> CreateHotkeys() {
    const bool wayland =
        WaylandSession(QGuiApplication::platformName().startsWith(QLatin1String("wayland")));
    const bool x11 = X11Display();
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
