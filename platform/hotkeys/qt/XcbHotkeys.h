#pragma once

#include "Hotkeys.h"

#include <xcb/xcb.h>
#include <QObject>

#include <map>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace platform::hotkeys {

// Hotkeys as key grabs on the X server's root window, over a connection of their own so that
// the key presses come to us whatever window has the focus. Each key is grabbed also with Lock,
// NumLock and both, so the lock keys do not switch hotkeys off; a key another client has grabbed
// is refused (the server answers BadAccess).
class CXcbHotkeys : public QObject, public IHotkeys {
    Q_OBJECT
public:
    // Null when the display cannot be opened (null display: $DISPLAY).
    static std::unique_ptr<CXcbHotkeys> Connect(const char* display = nullptr);
    ~CXcbHotkeys() override;

    RegisterResult Register(int id, uint32_t value) override;
    void Unregister(int id) override;
    Availability Available() const override { return Availability::kX11; }
    void SetActivationHandler(std::function<void(int id)> handler) override {
        m_handler = std::move(handler);
    }

private:
    struct Disconnect {
        void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
    };
    struct Grab {
        uint32_t value;
        xcb_keycode_t keycode;
        uint16_t modifiers;  // X modifier mask without the lock bits
    };

    CXcbHotkeys(std::unique_ptr<xcb_connection_t, Disconnect> connection, xcb_window_t root);
    void ReadKeyboard();
    xcb_keycode_t KeycodeOf(uint32_t keysym) const;
    uint16_t XModifiers(uint16_t hotkeyModifiers) const;
    bool GrabAll(xcb_keycode_t keycode, uint16_t modifiers, bool* heldByOther);
    void UngrabAll(xcb_keycode_t keycode, uint16_t modifiers);
    void Regrab();
    void Sync();
    void DrainLater();
    void OnReadable();
    void Handle(xcb_generic_event_t* event);

    std::unique_ptr<xcb_connection_t, Disconnect> m_connection;
    xcb_window_t m_root;
    std::unique_ptr<QSocketNotifier> m_notifier;
    xcb_keycode_t m_minKeycode = 0;
    int m_keysymsPerCode = 0;
    std::vector<xcb_keysym_t> m_keysyms;
    uint16_t m_numLock = 0;
    std::map<int, Grab> m_grabs;
    std::function<void(int id)> m_handler;
};

}  // namespace platform::hotkeys
