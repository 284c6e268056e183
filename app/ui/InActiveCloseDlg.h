#pragma once

#include "toolkit/HostWindow.h"

// A pop-up that goes away by itself: on its close button, on a close request, and when the user
// clicks elsewhere (it loses activation while the cursor is outside it). It deletes itself.
class CInActiveCloseDlg : public toolkit::CHostWindow {
    Q_OBJECT
public:
    CInActiveCloseDlg(const QString& layoutName, QWidget* parent = nullptr);

protected:
    bool event(QEvent* event) override;
};

// The About box as a pop-up centred over `over` (or the screen); modal, it is owned by `over`
// and blocks the program's other windows while it is open.
CInActiveCloseDlg* ShowAboutPopup(QWidget* over, bool modal = false);
