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

uint32_t SHotKeyCtrl::HotKey() const { return toolkit::MakeHotKey(m_vk, m_mods); }

QString SHotKeyCtrl::HotKeyText() const { return toolkit::HotKeyText(HotKey()); }

void SHotKeyCtrl::ShowCurrent() { setText(m_vk ? HotKeyText() : QString()); }

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
        // A modifier alone: show what is held so far.
        setText(toolkit::HotKeyText(toolkit::MakeHotKey(0, toolkit::HotKeyModifiersOf(mods))));
    }
    event->accept();
}

void SHotKeyCtrl::keyReleaseEvent(QKeyEvent* event) {
    if (event->modifiers() == Qt::NoModifier) {
        ShowCurrent();
    }
    event->accept();
}

void SHotKeyCtrl::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    event->accept();
}

void SHotKeyCtrl::contextMenuEvent(QContextMenuEvent* event) { event->accept(); }
