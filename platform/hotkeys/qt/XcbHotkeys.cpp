#include "XcbHotkeys.h"

#include "HotkeyValue.h"
#include "Log/Log.h"
#include "VirtualKeys.h"

#include <QSocketNotifier>

#include <cstdlib>

#define XK_MISCELLANY
#include <X11/keysymdef.h>

#define LOG_SOURCE "platform\\hotkeys\\XcbHotkeys"

namespace platform::hotkeys {

namespace {

constexpr uint8_t kBadAccess = 10;
constexpr uint16_t kHotkeyMask = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> Own(T* reply) {
    return Reply<T>(reply, &std::free);
}

}  // namespace

std::unique_ptr<CXcbHotkeys> CXcbHotkeys::Connect(const char* display) {
    int screenNumber = 0;
    std::unique_ptr<xcb_connection_t, Disconnect> connection(xcb_connect(display, &screenNumber));
    if (!connection || xcb_connection_has_error(connection.get())) {
        return nullptr;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection.get()));
    for (int i = 0; i < screenNumber && screens.rem; ++i) {
        xcb_screen_next(&screens);
    }
    if (!screens.rem) {
        return nullptr;
    }
    const xcb_window_t root = screens.data->root;
    return std::unique_ptr<CXcbHotkeys>(new CXcbHotkeys(std::move(connection), root));
}

CXcbHotkeys::CXcbHotkeys(std::unique_ptr<xcb_connection_t, Disconnect> connection,
                         xcb_window_t root)
    : m_connection(std::move(connection)), m_root(root) {
    ReadKeyboard();
    m_notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(m_connection.get()),
                                                   QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { OnReadable(); });
    DrainLater();
}

CXcbHotkeys::~CXcbHotkeys() {
    m_notifier.reset();
    for (const auto& [id, grab] : m_grabs) {
        UngrabAll(grab.keycode, grab.modifiers);
    }
    xcb_flush(m_connection.get());
}

// The keyboard map (key symbols per key code) and which modifier bit NumLock is.
void CXcbHotkeys::ReadKeyboard() {
    xcb_connection_t* c = m_connection.get();
    const xcb_setup_t* setup = xcb_get_setup(c);
    m_minKeycode = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    auto map = Own(xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, setup->min_keycode, uint8_t(count)), nullptr));
    auto modifiers = Own(xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr));
    m_keysyms.clear();
    m_keysymsPerCode = 0;
    m_numLock = 0;
    if (!map || !modifiers) {
        VLOG_ERROR("hotkey", "CXcbHotkeys::ReadKeyboard", "the X server sent no keyboard map");
        return;
    }
    m_keysymsPerCode = map->keysyms_per_keycode;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.get());
    m_keysyms.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(map.get()));

    const xcb_keycode_t numLock = KeycodeOf(XK_Num_Lock);
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(modifiers.get());
    const int perModifier = modifiers->keycodes_per_modifier;
    for (int mod = 0; mod < 8 && numLock; ++mod) {
        for (int k = 0; k < perModifier; ++k) {
            if (codes[mod * perModifier + k] == numLock) {
                m_numLock = uint16_t(1u << mod);
            }
        }
    }
}

// The key that carries keysym, preferring one where it is the unshifted symbol.
xcb_keycode_t CXcbHotkeys::KeycodeOf(uint32_t keysym) const {
    if (keysym == 0 || m_keysymsPerCode == 0) {
        return 0;
    }
    const size_t codes = m_keysyms.size() / size_t(m_keysymsPerCode);
    for (int column = 0; column < m_keysymsPerCode; ++column) {
        for (size_t code = 0; code < codes; ++code) {
            if (m_keysyms[code * size_t(m_keysymsPerCode) + size_t(column)] == keysym) {
                return xcb_keycode_t(m_minKeycode + code);
            }
        }
    }
    return 0;
}

uint16_t CXcbHotkeys::XModifiers(uint16_t hotkeyModifiers) const {
    uint16_t mask = 0;
    if (hotkeyModifiers & kHotkeyAlt)
        mask |= XCB_MOD_MASK_1;
    if (hotkeyModifiers & kHotkeyCtrl)
        mask |= XCB_MOD_MASK_CONTROL;
    if (hotkeyModifiers & kHotkeyShift)
        mask |= XCB_MOD_MASK_SHIFT;
    return mask;
}

bool CXcbHotkeys::GrabAll(xcb_keycode_t keycode, uint16_t modifiers, bool* heldByOther) {
    xcb_connection_t* c = m_connection.get();
    const uint16_t locks[] = {0, XCB_MOD_MASK_LOCK, m_numLock,
                              uint16_t(XCB_MOD_MASK_LOCK | m_numLock)};
    const size_t combinations = m_numLock ? 4 : 2;
    xcb_void_cookie_t cookies[4];
    for (size_t i = 0; i < combinations; ++i) {
        cookies[i] = xcb_grab_key_checked(c, 0, m_root, uint16_t(modifiers | locks[i]), keycode,
                                          XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    }
    bool ok = true;
    for (size_t i = 0; i < combinations; ++i) {
        if (auto error = Own(xcb_request_check(c, cookies[i]))) {
            ok = false;
            *heldByOther = *heldByOther || error->error_code == kBadAccess;
        }
    }
    if (!ok) {
        UngrabAll(keycode, modifiers);  // whichever combinations we did get
    }
    return ok;
}

void CXcbHotkeys::UngrabAll(xcb_keycode_t keycode, uint16_t modifiers) {
    const uint16_t locks[] = {0, XCB_MOD_MASK_LOCK, m_numLock,
                              uint16_t(XCB_MOD_MASK_LOCK | m_numLock)};
    for (uint16_t lock : locks) {
        xcb_ungrab_key(m_connection.get(), keycode, m_root, uint16_t(modifiers | lock));
    }
}

RegisterResult CXcbHotkeys::Register(int id, uint32_t value) {
    Unregister(id);
    if (xcb_connection_has_error(m_connection.get())) {
        return RegisterResult::kUnavailable;  // a broken connection reports no errors at all
    }
    const xcb_keycode_t keycode = KeycodeOf(VkToKeysym(HotKeyVk(value)));
    if (keycode == 0) {
        VLOG_ERROR("hotkey", "CXcbHotkeys::Register",
                   "no key for virtual key 0x%x on this keyboard", unsigned(HotKeyVk(value)));
        return RegisterResult::kUnavailable;
    }
    const uint16_t modifiers = XModifiers(HotKeyModifiers(value));
    for (const auto& [other, grab] : m_grabs) {
        // Grabbing it again would succeed and the other id's unregistering would release it.
        if (grab.keycode == keycode && grab.modifiers == modifiers) {
            return RegisterResult::kHeldByOther;
        }
    }
    bool heldByOther = false;
    if (!GrabAll(keycode, modifiers, &heldByOther)) {
        Sync();
        return heldByOther ? RegisterResult::kHeldByOther : RegisterResult::kUnavailable;
    }
    m_grabs[id] = Grab{value, keycode, modifiers};
    DrainLater();
    return RegisterResult::kOk;
}

void CXcbHotkeys::Unregister(int id) {
    auto it = m_grabs.find(id);
    if (it == m_grabs.end()) {
        return;
    }
    UngrabAll(it->second.keycode, it->second.modifiers);
    m_grabs.erase(it);
    Sync();
}

// Waits until the server has carried out what was sent, so that a key we let go of is free for
// other programs when we return.
void CXcbHotkeys::Sync() {
    xcb_connection_t* c = m_connection.get();
    Own(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    DrainLater();
}

// After a keyboard map change the keys may sit on other key codes, and NumLock on another bit.
void CXcbHotkeys::Regrab() {
    std::map<int, Grab> old;
    old.swap(m_grabs);
    for (const auto& [id, grab] : old) {
        UngrabAll(grab.keycode, grab.modifiers);
    }
    ReadKeyboard();
    for (const auto& [id, grab] : old) {
        if (Register(id, grab.value) != RegisterResult::kOk) {
            VLOG_ERROR("hotkey", "CXcbHotkeys::Regrab", "hotkey %d lost with the new keyboard map",
                       id);
        }
    }
}

// Waiting for a reply reads whatever events came before it into xcb's queue, where the socket
// notifier does not see them.
void CXcbHotkeys::DrainLater() {
    QMetaObject::invokeMethod(
        this, [this] { OnReadable(); }, Qt::QueuedConnection);
}

void CXcbHotkeys::OnReadable() {
    while (auto event = Own(xcb_poll_for_event(m_connection.get()))) {
        Handle(event.get());
    }
    if (xcb_connection_has_error(m_connection.get())) {
        VLOG_ERROR("hotkey", "CXcbHotkeys::OnReadable", "the X connection broke");
        m_notifier->setEnabled(false);
    }
}

void CXcbHotkeys::Handle(xcb_generic_event_t* event) {
    switch (event->response_type & 0x7F) {
        case XCB_KEY_PRESS: {
            const auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
            const uint16_t modifiers = press->state & kHotkeyMask;
            for (const auto& [id, grab] : m_grabs) {
                if (grab.keycode == press->detail && grab.modifiers == modifiers) {
                    if (m_handler)
                        m_handler(id);
                    return;
                }
            }
            break;
        }
        case XCB_MAPPING_NOTIFY: {
            const auto* mapping = reinterpret_cast<xcb_mapping_notify_event_t*>(event);
            if (mapping->request != XCB_MAPPING_POINTER) {
                Regrab();
            }
            break;
        }
        default:
            break;
    }
}

}  // namespace platform::hotkeys
