#pragma once

#include <cstdint>

#include "ccm_util/MessagePoster.h"
#include "toolkit/ControlEvent.h"

namespace toolkit {

class CHostWindow;

// A page of a host window (the main window's effects, sound pads, recording): it sets itself up
// on the window's controls and gets the window's messages, control events and menu commands
// before the window itself. Pages know the window only as a host window, so the pages' folders
// do not depend on the program's shell.
class IPageController {
public:
    virtual ~IPageController() = default;
    virtual void Setup(CHostWindow& window) = 0;
    // True when handled; routing ends there.
    virtual bool OnWindowMessage(uint32_t msg, ccm_util::WPARAM wParam,
                                 ccm_util::LPARAM lParam) = 0;
    virtual bool OnControlEvent(const ControlEvent& event) = 0;
    // A command from one of the window's menus; menu ids may repeat control ids.
    virtual bool OnMenuCommand(int /*id*/) { return false; }
};

}  // namespace toolkit
