#include "toolkit/HotKey.h"

#include <QKeyEvent>
#include <QKeySequence>

namespace toolkit {

namespace {
constexpr uint16_t kVkNumpad0 = 0x60;
constexpr uint16_t kVkDivide = 0x6F;
}  // namespace

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
    if (vk >= kVkNumpad0 && vk <= kVkDivide) {
        name = QStringLiteral("Num ");
    }
    const int qtKey = VkToQtKey(vk);
    name += qtKey ? QKeySequence(qtKey).toString(QKeySequence::PortableText)
                  : QStringLiteral("0x%1").arg(vk, 2, 16, QLatin1Char('0'));
    return text + name;
}

}  // namespace toolkit
