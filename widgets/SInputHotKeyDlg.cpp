#include "widgets/SInputHotKeyDlg.h"

#include <QLabel>

#include "toolkit/HotKey.h"
#include "toolkit/SHotKeyCtrl.h"

SInputHotKeyDlg::SInputHotKeyDlg(const QString& layoutName, uint32_t hotkey, const QString& title,
                                 QWidget* parent)
    : CHostDialog(layoutName, parent), m_hotkey(hotkey), m_text(toolkit::HotKeyText(hotkey)) {
    if (!title.isEmpty()) {
        if (auto* label = FindChildByName<QLabel>(QStringLiteral("txt_title"))) {
            label->setText(title);
        }
        setWindowTitle(title);
    }
    // Every key must reach the hot-key control, not an input method.
    setAttribute(Qt::WA_InputMethodEnabled, false);
    if (SHotKeyCtrl* ctrl = HotKeyControl()) {
        ctrl->SetHotKey(toolkit::HotKeyVk(hotkey), toolkit::HotKeyModifiers(hotkey));
        ctrl->setFocus(Qt::OtherFocusReason);
    }
    Events().OnCommand(QStringLiteral("btnOK"), [this] { Accept(); });
    Events().OnCommand(QStringLiteral("btnCancel"), [this] { EndDialog(toolkit::IDCANCEL); });
    Events().OnCommand(QStringLiteral("btn_close"), [this] { EndDialog(toolkit::IDCANCEL); });
}

SHotKeyCtrl* SInputHotKeyDlg::HotKeyControl() const {
    return FindChildByName<SHotKeyCtrl>(QStringLiteral("txt_hotkey_input"));
}

void SInputHotKeyDlg::Accept() {
    if (SHotKeyCtrl* ctrl = HotKeyControl()) {
        m_text = ctrl->HotKeyText();
        m_hotkey = uint32_t(ctrl->Modifiers()) * 65536u + ctrl->Key();
    }
    EndDialog(toolkit::IDOK);
}
