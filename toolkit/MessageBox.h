#pragma once

#include <QString>

#include "toolkit/HostWindow.h"

namespace toolkit {

inline constexpr unsigned MB_OK = 0;
inline constexpr unsigned MB_OKCANCEL = 1;

// The program's message box, built from "LAYOUT:XML_MSGBOX": caption ("提示" unless given), the
// text, OK and optionally Cancel, modal over its owner.
class CMessageBox : public CHostDialog {
    Q_OBJECT
public:
    CMessageBox(QWidget* owner, const QString& text, const QString& caption = QString(),
                unsigned type = MB_OK);
    QString Caption() const;
    QString Text() const;
    bool HasCancel() const;
};

// Shows the message box and returns IDOK or IDCANCEL.
int SMessageBox(QWidget* owner, const QString& text, const QString& caption = QString(),
                unsigned type = MB_OK);

}  // namespace toolkit
