#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform::hotkeys {

enum class RegisterResult {
    kOk,
    kHeldByOther,  // another program (or another id of ours) already has the key
    kUnavailable,  // no hotkey service here, or the key does not exist on this keyboard
};

enum class Availability {
    kX11,          // key grabs on the X server
    kPortal,       // the desktop's GlobalShortcuts portal; the user confirms or changes bindings
    kUnavailable,  // neither: bind the lyntctl commands in the desktop's own keyboard settings
};

// System-wide hotkeys by id, with values as HotkeyValue.h lays them out. Activations come on the
// UI thread, where the pages that handle them live.
class IHotkeys {
public:
    virtual ~IHotkeys() = default;
    // Registering an id that is already registered replaces its key.
    virtual RegisterResult Register(int id, uint32_t value) = 0;
    // Unknown ids are ignored.
    virtual void Unregister(int id) = 0;
    virtual Availability Available() const = 0;
    // Called with the id of a pressed hotkey, on the UI thread.
    virtual void SetActivationHandler(std::function<void(int id)> handler) = 0;
};

// Refuses every hotkey: the session offers no way to take keys from other programs.
class CNoHotkeys : public IHotkeys {
public:
    RegisterResult Register(int, uint32_t) override { return RegisterResult::kUnavailable; }
    void Unregister(int) override {}
    Availability Available() const override { return Availability::kUnavailable; }
    void SetActivationHandler(std::function<void(int id)>) override {}
};

// Which service serves a session: on Wayland the portal when the session bus offers it (X key
// grabs there would only see keys typed into X windows), else X key grabs when there is an X
// display, else the portal if present, else none.
Availability ChooseService(bool waylandSession, bool x11Display, bool portalPresent);

// Whether the session is a Wayland one: XDG_SESSION_TYPE when it is set, else the toolkit's own
// platform (platformIsWayland) or a Wayland display in the environment.
bool WaylandSession(bool platformIsWayland);
// Whether the environment names an X display (DISPLAY).
bool X11Display();

// The lyntctl command a user can bind in the desktop's keyboard settings for a hotkey id where
// global hotkeys are unavailable; empty for ids with no such command.
std::string DesktopCommandFor(int id);
// What a hotkey control shows where global hotkeys are unavailable: that they are, and the
// command to bind instead when the id has one.
std::string UnavailableNotice(int id);

}  // namespace platform::hotkeys
