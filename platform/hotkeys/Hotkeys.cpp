#include "Hotkeys.h"

namespace platform::hotkeys {

namespace {
// Effect buttons of the effects page: seven device effects, then twelve own effects.
constexpr int kFirstDeviceEffect = 10000;
constexpr int kFirstOwnEffect = 10007;
constexpr int kLastOwnEffect = 10018;
}  // namespace

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

}  // namespace platform::hotkeys
