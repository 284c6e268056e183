#include "toolkit/HotKey.h"

#include <QKeyEvent>
#include <QKeySequence>

namespace toolkit {

namespace {

struct KeyPair {
    int qt;
    uint16_t vk;
};

// Keys whose codes do not follow from a range. The first entry for a virtual key is the one
// shown for it.
constexpr KeyPair kKeys[] = {
    {Qt::Key_Backspace, 0x08},
    {Qt::Key_Tab, 0x09},
    {Qt::Key_Backtab, 0x09},
    {Qt::Key_Clear, 0x0C},
    {Qt::Key_Return, 0x0D},
    {Qt::Key_Enter, 0x0D},
    {Qt::Key_Pause, 0x13},
    {Qt::Key_CapsLock, 0x14},
    {Qt::Key_Escape, 0x1B},
    {Qt::Key_Space, 0x20},
    {Qt::Key_PageUp, 0x21},
    {Qt::Key_PageDown, 0x22},
    {Qt::Key_End, 0x23},
    {Qt::Key_Home, 0x24},
    {Qt::Key_Left, 0x25},
    {Qt::Key_Up, 0x26},
    {Qt::Key_Right, 0x27},
    {Qt::Key_Down, 0x28},
    {Qt::Key_Select, 0x29},
    {Qt::Key_Print, 0x2C},
    {Qt::Key_Insert, 0x2D},
    {Qt::Key_Delete, 0x2E},
    {Qt::Key_Help, 0x2F},
    {Qt::Key_Meta, 0x5B},
    {Qt::Key_Menu, 0x5D},
    {Qt::Key_Sleep, 0x5F},
    {Qt::Key_NumLock, 0x90},
    {Qt::Key_ScrollLock, 0x91},
    // Browser and media keys.
    {Qt::Key_Back, 0xA6},
    {Qt::Key_Forward, 0xA7},
    {Qt::Key_Refresh, 0xA8},
    {Qt::Key_Stop, 0xA9},
    {Qt::Key_Search, 0xAA},
    {Qt::Key_Favorites, 0xAB},
    {Qt::Key_HomePage, 0xAC},
    {Qt::Key_VolumeMute, 0xAD},
    {Qt::Key_VolumeDown, 0xAE},
    {Qt::Key_VolumeUp, 0xAF},
    {Qt::Key_MediaNext, 0xB0},
    {Qt::Key_MediaPrevious, 0xB1},
    {Qt::Key_MediaStop, 0xB2},
    {Qt::Key_MediaTogglePlayPause, 0xB3},
    {Qt::Key_MediaPlay, 0xB3},
    {Qt::Key_LaunchMail, 0xB4},
    {Qt::Key_LaunchMedia, 0xB5},
    // Punctuation of a US layout and its shifted symbols.
    {Qt::Key_Semicolon, 0xBA},
    {Qt::Key_Colon, 0xBA},
    {Qt::Key_Equal, 0xBB},
    {Qt::Key_Plus, 0xBB},
    {Qt::Key_Comma, 0xBC},
    {Qt::Key_Less, 0xBC},
    {Qt::Key_Minus, 0xBD},
    {Qt::Key_Underscore, 0xBD},
    {Qt::Key_Period, 0xBE},
    {Qt::Key_Greater, 0xBE},
    {Qt::Key_Slash, 0xBF},
    {Qt::Key_Question, 0xBF},
    {Qt::Key_QuoteLeft, 0xC0},
    {Qt::Key_AsciiTilde, 0xC0},
    {Qt::Key_BracketLeft, 0xDB},
    {Qt::Key_BraceLeft, 0xDB},
    {Qt::Key_Backslash, 0xDC},
    {Qt::Key_Bar, 0xDC},
    {Qt::Key_BracketRight, 0xDD},
    {Qt::Key_BraceRight, 0xDD},
    {Qt::Key_Apostrophe, 0xDE},
    {Qt::Key_QuoteDbl, 0xDE},
    // Shifted digits.
    {Qt::Key_ParenRight, 0x30},
    {Qt::Key_Exclam, 0x31},
    {Qt::Key_At, 0x32},
    {Qt::Key_NumberSign, 0x33},
    {Qt::Key_Dollar, 0x34},
    {Qt::Key_Percent, 0x35},
    {Qt::Key_AsciiCircum, 0x36},
    {Qt::Key_Ampersand, 0x37},
    {Qt::Key_Asterisk, 0x38},
    {Qt::Key_ParenLeft, 0x39},
};

constexpr uint16_t kVkNumpad0 = 0x60;
constexpr uint16_t kVkF1 = 0x70;

uint16_t KeypadVk(int qtKey) {
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) {
        return uint16_t(kVkNumpad0 + (qtKey - Qt::Key_0));
    }
    switch (qtKey) {
        case Qt::Key_Asterisk:
            return 0x6A;
        case Qt::Key_Plus:
            return 0x6B;
        case Qt::Key_Minus:
            return 0x6D;
        case Qt::Key_Period:
            return 0x6E;
        case Qt::Key_Slash:
            return 0x6F;
        default:
            return 0;
    }
}

}  // namespace

uint16_t QtKeyToVk(int qtKey, bool keypad) {
    if (keypad) {
        if (uint16_t vk = KeypadVk(qtKey)) {
            return vk;
        }
    }
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)) {
        return uint16_t(qtKey);  // Qt's codes for letters and digits are their ASCII codes, as VK's
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) {
        return uint16_t(kVkF1 + (qtKey - Qt::Key_F1));
    }
    for (const KeyPair& k : kKeys) {
        if (k.qt == qtKey) {
            return k.vk;
        }
    }
    return 0;
}

int VkToQtKey(uint16_t vk) {
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) {
        return vk;
    }
    if (vk >= kVkF1 && vk < kVkF1 + 24) {
        return Qt::Key_F1 + (vk - kVkF1);
    }
    if (vk >= kVkNumpad0 && vk <= kVkNumpad0 + 9) {
        return Qt::Key_0 + (vk - kVkNumpad0);
    }
    switch (vk) {
        case 0x6A:
            return Qt::Key_Asterisk;
        case 0x6B:
            return Qt::Key_Plus;
        case 0x6D:
            return Qt::Key_Minus;
        case 0x6E:
            return Qt::Key_Period;
        case 0x6F:
            return Qt::Key_Slash;
        default:
            break;
    }
    for (const KeyPair& k : kKeys) {
        if (k.vk == vk) {
            return k.qt;
        }
    }
    return 0;
}

uint16_t HotKeyModifiersOf(Qt::KeyboardModifiers modifiers) {
    uint16_t m = 0;
    if (modifiers & Qt::AltModifier)
        m |= kHotkeyAlt;
    if (modifiers & Qt::ControlModifier)
        m |= kHotkeyCtrl;
    if (modifiers & Qt::ShiftModifier)
        m |= kHotkeyShift;
    return m;
}

uint32_t HotKeyFromKeyEvent(const QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Control || key == Qt::Key_Shift || key == Qt::Key_Alt ||
        key == Qt::Key_AltGr || key == Qt::Key_Meta || key == Qt::Key_unknown) {
        return 0;
    }
    const uint16_t vk = QtKeyToVk(key, event->modifiers() & Qt::KeypadModifier);
    if (vk == 0) {
        return 0;
    }
    return MakeHotKey(vk, HotKeyModifiersOf(event->modifiers()));
}

QString HotKeyText(uint32_t hotkey) {
    const uint16_t vk = HotKeyVk(hotkey);
    const uint16_t mods = HotKeyModifiers(hotkey);
    QString text;
    if (mods & kHotkeyCtrl)
        text += QStringLiteral("Ctrl+");
    if (mods & kHotkeyShift)
        text += QStringLiteral("Shift+");
    if (mods & kHotkeyAlt)
        text += QStringLiteral("Alt+");
    if (vk == 0) {
        return text;
    }
    QString name;
    if (vk >= kVkNumpad0 && vk <= 0x6F) {
        name = QStringLiteral("Num ");
    }
    const int qtKey = VkToQtKey(vk);
    name += qtKey ? QKeySequence(qtKey).toString(QKeySequence::PortableText)
                  : QStringLiteral("0x%1").arg(vk, 2, 16, QLatin1Char('0'));
    return text + name;
}

}  // namespace toolkit
