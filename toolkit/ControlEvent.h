#pragma once

#include <QPoint>
#include <QPointer>
#include <QString>
#include <QWidget>

namespace toolkit {

// What happened to a control. The layouts' handlers subscribe by kind plus control id or name.
enum class EventKind {
    Command,         // click of a button, a menu command
    StateChanged,    // checked state of a check or radio box
    SliderPos,       // "on_slider_pos": a knob or slider moved by the user
    ComboSelection,  // a combo box item chosen
    ContextMenu,     // right click on a control that asks for a context menu
    KillFocus,       // the control lost the keyboard focus
    ValueChanging,   // "on_edit_valuechanging" (29101): SEdit2 step
    ThumbMoving,     // "on_thumb_moving" (29100): SMoveThumb dragged
    TabSelChanged,   // "on_tab_sel_changed" (11001): a tab control shows another page
};

// Event ids as handlers see them. The widgets' own events keep the ids the Parts give them; they
// are not unique across widgets (the equaliser's value event shares 29101 with the edit).
inline constexpr int kEvtCommand = 10000;
inline constexpr int kEvtStateChanged = 10001;
inline constexpr int kEvtSliderPos = 10002;
inline constexpr int kEvtComboSelection = 10003;
inline constexpr int kEvtContextMenu = 10004;
inline constexpr int kEvtKillFocus = 10005;
inline constexpr int kEvtTabSelChanged = 11001;
inline constexpr int kEvtThumbMoving = 29100;
inline constexpr int kEvtEditValueChanging = 29101;

struct ControlEvent {
    EventKind kind = EventKind::Command;
    int controlId = 0;    // the control's "id" property, 0 when it has none
    QString controlName;  // the control's object name
    // SliderPos: the new value; StateChanged: 1 checked, 0 unchecked; ComboSelection: the index;
    // ValueChanging: the step (-1, 0, +1); TabSelChanged: the new page's index.
    int value = 0;
    QPoint point;  // ContextMenu: screen point; ThumbMoving: proposed top-left in the parent
    QPointer<QWidget> sender;

    int EventId() const;
    const char* EventName() const;

    static ControlEvent Make(QWidget* sender, EventKind kind, int value = 0, QPoint point = {});
};

// A window that takes control events (host windows and dialogs).
class IControlEventSink {
public:
    virtual ~IControlEventSink() = default;
    // True when the event was handled; an unhandled event goes on to the next window up.
    virtual bool HandleControlEvent(const ControlEvent& ev) = 0;
};

// Delivers the event to the nearest window up the sender's parent chain that takes control
// events, then further up (within the same top-level window) while nobody handles it. True when
// some handler took it.
bool RaiseControlEvent(const ControlEvent& ev);
inline bool RaiseControlEvent(QWidget* sender, EventKind kind, int value = 0, QPoint point = {}) {
    return RaiseControlEvent(ControlEvent::Make(sender, kind, value, point));
}

}  // namespace toolkit
