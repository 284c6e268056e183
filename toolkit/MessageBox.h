#pragma once

#include <QString>

#include "toolkit/HostWindow.h"

namespace toolkit {

inline constexpr unsigned MB_OK = 0;
inline constexpr unsigned MB_OKCANCEL = 1;
// Added to a type: the box tells of an error or a refusal and shows the warning mark instead of
// the information mark.
inline constexpr unsigned MB_ICONWARNING = 0x30;

// The program's message box, built from "LAYOUT:XML_MSGBOX": caption ("提示" unless given), the
// text, OK and optionally Cancel, modal over its owner and centred on the owner's window.
class CMessageBox : public CHostDialog {
    Q_OBJECT
public:
    CMessageBox(QWidget* owner, const QString& text, const QString& caption = QString(),
                unsigned type = MB_OK);
    QString Caption() const;
    QString Text() const;
    bool HasCancel() const;
    bool IsWarning() const { return m_warning; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool m_warning = false;
};

// Shows the message box and returns IDOK or IDCANCEL.
int SMessageBox(QWidget* owner, const QString& text, const QString& caption = QString(),
                unsigned type = MB_OK);

}  // namespace toolkit
