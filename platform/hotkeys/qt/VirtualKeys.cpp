#include "VirtualKeys.h"

#include <Qt>

#define XK_MISCELLANY
#define XK_LATIN1
#include <X11/XF86keysym.h>
#include <X11/keysymdef.h>

namespace platform::hotkeys {

namespace {

struct Key {
    uint16_t vk;
    int qt;
    uint32_t keysym;
    const char* name;
};

// Keys whose codes do not follow from a range. The first entry for a virtual key is the one
// shown for it; shifted symbols grab their unshifted key.
constexpr Key kKeys[] = {
    {0x08, Qt::Key_Backspace, XK_BackSpace, "BackSpace"},
    {0x09, Qt::Key_Tab, XK_Tab, "Tab"},
    {0x09, Qt::Key_Backtab, XK_Tab, "Tab"},
    {0x0C, Qt::Key_Clear, XK_Clear, "Clear"},
    {0x0D, Qt::Key_Return, XK_Return, "Return"},
    {0x0D, Qt::Key_Enter, XK_Return, "Return"},
    {0x13, Qt::Key_Pause, XK_Pause, "Pause"},
    {0x14, Qt::Key_CapsLock, XK_Caps_Lock, "Caps_Lock"},
    {0x1B, Qt::Key_Escape, XK_Escape, "Escape"},
    {0x20, Qt::Key_Space, XK_space, "space"},
    {0x21, Qt::Key_PageUp, XK_Page_Up, "Page_Up"},
    {0x22, Qt::Key_PageDown, XK_Page_Down, "Page_Down"},
    {0x23, Qt::Key_End, XK_End, "End"},
    {0x24, Qt::Key_Home, XK_Home, "Home"},
    {0x25, Qt::Key_Left, XK_Left, "Left"},
    {0x26, Qt::Key_Up, XK_Up, "Up"},
    {0x27, Qt::Key_Right, XK_Right, "Right"},
    {0x28, Qt::Key_Down, XK_Down, "Down"},
    {0x29, Qt::Key_Select, XK_Select, "Select"},
    {0x2C, Qt::Key_Print, XK_Print, "Print"},
    {0x2D, Qt::Key_Insert, XK_Insert, "Insert"},
    {0x2E, Qt::Key_Delete, XK_Delete, "Delete"},
    {0x2F, Qt::Key_Help, XK_Help, "Help"},
    {0x5B, Qt::Key_Meta, XK_Super_L, "Super_L"},
    {0x5D, Qt::Key_Menu, XK_Menu, "Menu"},
    {0x5F, Qt::Key_Sleep, XF86XK_Sleep, "XF86Sleep"},
    {0x90, Qt::Key_NumLock, XK_Num_Lock, "Num_Lock"},
    {0x91, Qt::Key_ScrollLock, XK_Scroll_Lock, "Scroll_Lock"},
    // Browser and media keys.
    {0xA6, Qt::Key_Back, XF86XK_Back, "XF86Back"},
    {0xA7, Qt::Key_Forward, XF86XK_Forward, "XF86Forward"},
    {0xA8, Qt::Key_Refresh, XF86XK_Refresh, "XF86Refresh"},
    {0xA9, Qt::Key_Stop, XF86XK_Stop, "XF86Stop"},
    {0xAA, Qt::Key_Search, XF86XK_Search, "XF86Search"},
    {0xAB, Qt::Key_Favorites, XF86XK_Favorites, "XF86Favorites"},
    {0xAC, Qt::Key_HomePage, XF86XK_HomePage, "XF86HomePage"},
    {0xAD, Qt::Key_VolumeMute, XF86XK_AudioMute, "XF86AudioMute"},
    {0xAE, Qt::Key_VolumeDown, XF86XK_AudioLowerVolume, "XF86AudioLowerVolume"},
    {0xAF, Qt::Key_VolumeUp, XF86XK_AudioRaiseVolume, "XF86AudioRaiseVolume"},
    {0xB0, Qt::Key_MediaNext, XF86XK_AudioNext, "XF86AudioNext"},
    {0xB1, Qt::Key_MediaPrevious, XF86XK_AudioPrev, "XF86AudioPrev"},
    {0xB2, Qt::Key_MediaStop, XF86XK_AudioStop, "XF86AudioStop"},
    {0xB3, Qt::Key_MediaTogglePlayPause, XF86XK_AudioPlay, "XF86AudioPlay"},
    {0xB3, Qt::Key_MediaPlay, XF86XK_AudioPlay, "XF86AudioPlay"},
    {0xB4, Qt::Key_LaunchMail, XF86XK_Mail, "XF86Mail"},
    {0xB5, Qt::Key_LaunchMedia, XF86XK_AudioMedia, "XF86AudioMedia"},
    // Punctuation of a US layout and its shifted symbols.
    {0xBA, Qt::Key_Semicolon, XK_semicolon, "semicolon"},
    {0xBA, Qt::Key_Colon, XK_semicolon, "semicolon"},
    {0xBB, Qt::Key_Equal, XK_equal, "equal"},
    {0xBB, Qt::Key_Plus, XK_equal, "equal"},
    {0xBC, Qt::Key_Comma, XK_comma, "comma"},
    {0xBC, Qt::Key_Less, XK_comma, "comma"},
    {0xBD, Qt::Key_Minus, XK_minus, "minus"},
    {0xBD, Qt::Key_Underscore, XK_minus, "minus"},
    {0xBE, Qt::Key_Period, XK_period, "period"},
    {0xBE, Qt::Key_Greater, XK_period, "period"},
    {0xBF, Qt::Key_Slash, XK_slash, "slash"},
    {0xBF, Qt::Key_Question, XK_slash, "slash"},
    {0xC0, Qt::Key_QuoteLeft, XK_grave, "grave"},
    {0xC0, Qt::Key_AsciiTilde, XK_grave, "grave"},
    {0xDB, Qt::Key_BracketLeft, XK_bracketleft, "bracketleft"},
    {0xDB, Qt::Key_BraceLeft, XK_bracketleft, "bracketleft"},
    {0xDC, Qt::Key_Backslash, XK_backslash, "backslash"},
    {0xDC, Qt::Key_Bar, XK_backslash, "backslash"},
    {0xDD, Qt::Key_BracketRight, XK_bracketright, "bracketright"},
    {0xDD, Qt::Key_BraceRight, XK_bracketright, "bracketright"},
    {0xDE, Qt::Key_Apostrophe, XK_apostrophe, "apostrophe"},
    {0xDE, Qt::Key_QuoteDbl, XK_apostrophe, "apostrophe"},
    // Shifted digits.
    {0x30, Qt::Key_ParenRight, XK_0, "0"},
    {0x31, Qt::Key_Exclam, XK_1, "1"},
    {0x32, Qt::Key_At, XK_2, "2"},
    {0x33, Qt::Key_NumberSign, XK_3, "3"},
    {0x34, Qt::Key_Dollar, XK_4, "4"},
    {0x35, Qt::Key_Percent, XK_5, "5"},
    {0x36, Qt::Key_AsciiCircum, XK_6, "6"},
    {0x37, Qt::Key_Ampersand, XK_7, "7"},
    {0x38, Qt::Key_Asterisk, XK_8, "8"},
    {0x39, Qt::Key_ParenLeft, XK_9, "9"},
};

// The number pad's operators; its digits follow from a range.
constexpr Key kKeypad[] = {
    {0x6A, Qt::Key_Asterisk, XK_KP_Multiply, "KP_Multiply"},
    {0x6B, Qt::Key_Plus, XK_KP_Add, "KP_Add"},
    {0x6C, Qt::Key_Comma, XK_KP_Separator, "KP_Separator"},
    {0x6D, Qt::Key_Minus, XK_KP_Subtract, "KP_Subtract"},
    {0x6E, Qt::Key_Period, XK_KP_Decimal, "KP_Decimal"},
    {0x6F, Qt::Key_Slash, XK_KP_Divide, "KP_Divide"},
};

constexpr uint16_t kVkNumpad0 = 0x60;
constexpr uint16_t kVkF1 = 0x70;
constexpr int kFunctionKeys = 24;

bool IsLetter(uint16_t vk) {
    return vk >= 'A' && vk <= 'Z';
}
bool IsDigit(uint16_t vk) {
    return vk >= '0' && vk <= '9';
}
bool IsFunctionKey(uint16_t vk) {
    return vk >= kVkF1 && vk < kVkF1 + kFunctionKeys;
}
bool IsKeypadDigit(uint16_t vk) {
    return vk >= kVkNumpad0 && vk <= kVkNumpad0 + 9;
}

// The table row of a virtual key that no range covers.
const Key* RowOf(uint16_t vk) {
    for (const Key& k : kKeypad) {
        if (k.vk == vk)
            return &k;
    }
    for (const Key& k : kKeys) {
        if (k.vk == vk)
            return &k;
    }
    return nullptr;
}

}  // namespace

uint16_t QtKeyToVk(int qtKey, bool keypad) {
    if (keypad) {
        if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) {
            return uint16_t(kVkNumpad0 + (qtKey - Qt::Key_0));
        }
        for (const Key& k : kKeypad) {
            if (k.qt == qtKey && k.vk != 0x6C)
                return k.vk;  // the separator has no key of its own
        }
    }
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)) {
        return uint16_t(qtKey);  // Qt's codes for letters and digits are their ASCII codes, as VK's
    }
    if (qtKey >= Qt::Key_F1 && qtKey < Qt::Key_F1 + kFunctionKeys) {
        return uint16_t(kVkF1 + (qtKey - Qt::Key_F1));
    }
    for (const Key& k : kKeys) {
        if (k.qt == qtKey)
            return k.vk;
    }
    return 0;
}

int VkToQtKey(uint16_t vk) {
    if (IsLetter(vk) || IsDigit(vk))
        return vk;
    if (IsFunctionKey(vk))
        return Qt::Key_F1 + (vk - kVkF1);
    if (IsKeypadDigit(vk))
        return Qt::Key_0 + (vk - kVkNumpad0);
    const Key* row = RowOf(vk);
    return row ? row->qt : 0;
}

uint32_t VkToKeysym(uint16_t vk) {
    if (IsLetter(vk))
        return XK_a + (vk - 'A');
    if (IsDigit(vk))
        return XK_0 + (vk - '0');
    if (IsFunctionKey(vk))
        return XK_F1 + (vk - kVkF1);
    if (IsKeypadDigit(vk))
        return XK_KP_0 + (vk - kVkNumpad0);
    const Key* row = RowOf(vk);
    return row ? row->keysym : 0;
}

std::string VkToKeysymName(uint16_t vk) {
    if (IsLetter(vk))
        return std::string(1, char('a' + (vk - 'A')));
    if (IsDigit(vk))
        return std::string(1, char(vk));
    if (IsFunctionKey(vk))
        return "F" + std::to_string(vk - kVkF1 + 1);
    if (IsKeypadDigit(vk))
        return "KP_" + std::to_string(vk - kVkNumpad0);
    const Key* row = RowOf(vk);
    return row ? row->name : std::string();
}

}  // namespace platform::hotkeys
