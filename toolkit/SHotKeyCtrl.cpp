#include "toolkit/SHotKeyCtrl.h"

#include <QKeyEvent>

#include "toolkit/HotKey.h"

SHotKeyCtrl::SHotKeyCtrl(QWidget* parent) : QLineEdit(parent) {
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setContextMenuPolicy(Qt::NoContextMenu);
    setReadOnly(true);  // typing never edits the text; keys are captured instead
    setFocusPolicy(Qt::StrongFocus);
    ShowCurrent();
}

void SHotKeyCtrl::SetHotKey(uint16_t vk, uint16_t modifiers) {
    const uint32_t old = HotKey();
    m_vk = vk;
    m_mods = vk ? modifiers : 0;
    ShowCurrent();
    if (HotKey() != old) {
        emit hotKeyChanged(HotKey());
    }
}

uint32_t SHotKeyCtrl::HotKey() const {
    return toolkit::MakeHotKey(m_vk, m_mods);
}

QString SHotKeyCtrl::HotKeyText() const {
    return toolkit::HotKeyText(HotKey());
}

void SHotKeyCtrl::ShowCurrent() {
    setText(m_vk ? HotKeyText() : QString());
}

bool SHotKeyCtrl::event(QEvent* event) {
    // Tab and Backtab with modifiers are hot keys too; plain Tab still moves the focus.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) &&
            (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            keyPressEvent(key);
            return true;
        }
    }
    return QLineEdit::event(event);
}

void SHotKeyCtrl::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if ((event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete) &&
        mods == Qt::NoModifier) {
        SetHotKey(0, 0);
        event->accept();
        return;
    }
    if (const uint32_t hk = toolkit::HotKeyFromKeyEvent(event)) {
        SetHotKey(toolkit::HotKeyVk(hk), toolkit::HotKeyModifiers(hk));
    } else {
        // A modifier alone: show what is held so far, the key just pressed included (window
        // systems differ on whether its own flag is already set).
        Qt::KeyboardModifiers held = mods;
        switch (event->key()) {
            case Qt::Key_Control:
                held |= Qt::ControlModifier;
                break;
            case Qt::Key_Shift:
                held |= Qt::ShiftModifier;
                break;
            case Qt::Key_Alt:
                held |= Qt::AltModifier;
                break;
            default:
                break;
        }
        setText(toolkit::HotKeyText(toolkit::MakeHotKey(0, toolkit::HotKeyModifiersOf(held))));
    }
    event->accept();
}

void SHotKeyCtrl::keyReleaseEvent(QKeyEvent* event) {
    // Once every modifier is up the control shows the combination it holds again.
    Qt::KeyboardModifiers held = event->modifiers() & ~Qt::KeypadModifier;
    switch (event->key()) {
        case Qt::Key_Control:
            held &= ~Qt::ControlModifier;
            break;
        case Qt::Key_Shift:
            held &= ~Qt::ShiftModifier;
            break;
        case Qt::Key_Alt:
            held &= ~Qt::AltModifier;
            break;
        default:
            break;
    }
    if (held == Qt::NoModifier) {
        ShowCurrent();
    }
    event->accept();
}

void SHotKeyCtrl::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    event->accept();
}

void SHotKeyCtrl::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
}

void SHotKeyCtrl::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    deselect();  // the keys replace the combination; a selection would suggest typing
}
