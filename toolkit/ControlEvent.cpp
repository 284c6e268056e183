#include "toolkit/ControlEvent.h"

#include "toolkit/Controls.h"

namespace toolkit {

int ControlEvent::EventId() const {
    switch (kind) {
        case EventKind::Command:
            return kEvtCommand;
        case EventKind::StateChanged:
            return kEvtStateChanged;
        case EventKind::SliderPos:
            return kEvtSliderPos;
        case EventKind::ComboSelection:
            return kEvtComboSelection;
        case EventKind::ContextMenu:
            return kEvtContextMenu;
        case EventKind::KillFocus:
            return kEvtKillFocus;
        case EventKind::ValueChanging:
            return kEvtEditValueChanging;
        case EventKind::ThumbMoving:
            return kEvtThumbMoving;
        case EventKind::TabSelChanged:
            return kEvtTabSelChanged;
    }
    return 0;
}

const char* ControlEvent::EventName() const {
    switch (kind) {
        case EventKind::Command:
            return "on_command";
        case EventKind::StateChanged:
            return "on_state_changed";
        case EventKind::SliderPos:
            return "on_slider_pos";
        case EventKind::ComboSelection:
            return "on_combo_sel";
        case EventKind::ContextMenu:
            return "on_context_menu";
        case EventKind::KillFocus:
            return "on_kill_focus";
        case EventKind::ValueChanging:
            return "on_edit_valuechanging";
        case EventKind::ThumbMoving:
            return "on_thumb_moving";
        case EventKind::TabSelChanged:
            return "on_tab_sel_changed";
    }
    return "";
}

ControlEvent ControlEvent::Make(QWidget* sender, EventKind kind, int value, QPoint point) {
    ControlEvent ev;
    ev.kind = kind;
    ev.sender = sender;
    ev.value = value;
    ev.point = point;
    if (sender) {
        ev.controlId = ControlId(sender);
        ev.controlName = sender->objectName();
    }
    return ev;
}

bool RaiseControlEvent(const ControlEvent& ev) {
    // A window's own events (menu commands sent to it) start at the window itself. Events stay
    // within their top-level window: a dialog's controls never reach the window that owns it.
    for (QWidget* w = ev.sender; w; w = w->parentWidget()) {
        // dynamic_cast fails on a window that is being destroyed, so a dying window gets nothing.
        if (auto* sink = dynamic_cast<IControlEventSink*>(w)) {
            if (sink->HandleControlEvent(ev)) {
                return true;
            }
        }
        if (w->isWindow()) {
            break;
        }
    }
    return false;
}

}  // namespace toolkit
