#pragma once

#include <QString>
#include <cstdint>

#include "toolkit/HostWindow.h"

class SHotKeyCtrl;

// The hot-key dialog, from the layout the caller names (the program uses
// "LAYOUT:XML_HOTKEYDLG"). The value is the Windows virtual-key code in the low 16 bits and the
// modifiers Alt 1, Ctrl 2, Shift 4 in the high 16 bits, so stored hot keys keep their meaning.
class SInputHotKeyDlg : public toolkit::CHostDialog {
    Q_OBJECT
public:
    SInputHotKeyDlg(const QString& layoutName, uint32_t hotkey, const QString& title,
                    QWidget* parent = nullptr);

    uint32_t HotKey() const { return m_hotkey; }
    QString HotKeyText() const { return m_text; }
    SHotKeyCtrl* HotKeyControl() const;

private:
    void Accept();

    uint32_t m_hotkey;
    QString m_text;
};
