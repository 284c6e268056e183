#pragma once

#include <cstdint>

#include "ccm_util/MessagePoster.h"
#include "toolkit/ControlEvent.h"

class CMainDlg;

// A page of the main window (effects, sound pads, recording): it sets itself up on the window's
// controls and gets the window's messages and control events before the window itself.
class IPageController {
public:
    virtual ~IPageController() = default;
    virtual void Setup(CMainDlg& window) = 0;
    // True when handled; routing ends there.
    virtual bool OnWindowMessage(uint32_t msg, ccm_util::WPARAM wParam, ccm_util::LPARAM lParam) = 0;
    virtual bool OnControlEvent(const toolkit::ControlEvent& event) = 0;
    // A command from one of the window's menus; menu ids may repeat control ids.
    virtual bool OnMenuCommand(int /*id*/) { return false; }
};
