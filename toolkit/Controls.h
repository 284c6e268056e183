#pragma once

#include <QObject>
#include <QString>
#include <QWidget>

namespace toolkit {

// Numeric control ids live in the dynamic property "id" (set in the .ui files); 0 means none.
inline constexpr const char* kIdProperty = "id";
int ControlId(const QObject* control);
void SetControlId(QObject* control, int id);

// The first descendant of parent with that id, breadth first; null when there is none.
QWidget* FindChildById(const QObject* parent, int id);

template <typename T = QWidget>
T* FindByName(const QObject* parent, const QString& name) {
    return parent ? parent->findChild<T*>(name) : nullptr;
}

template <typename T = QWidget>
T* FindById(const QObject* parent, int id) {
    return qobject_cast<T*>(FindChildById(parent, id));
}

// The toolkit's class test: true when the control answers to the XML tag, its own or one of the
// controls it extends ("qvslider2" answers "qvslider" and "sliderbar"). Our classes list their
// tags in Q_CLASSINFO("xmlTags", "..."); Qt's standard controls answer to the toolkit's names
// ("button", "check", "radio", "edit", "text", "combobox", "sliderbar", "progress",
// "tabctrl").
bool IsClass(const QObject* control, const char* tag);

// Connects the standard Qt signals of root and its descendants to control events: button clicks
// (Command), check changes (StateChanged), QSlider moves by the user (SliderPos), combo choices
// (ComboSelection), tab controls showing another page (TabSelChanged, also when code selects
// it), custom context menus (ContextMenu) and focus loss (KillFocus); edit fields of a window
// without input methods lose theirs (InputMethod.h). Our own widgets raise their value events
// themselves. Wiring a control twice does nothing.
void WireControls(QWidget* root);
void WireControl(QWidget* control);

// Value controls (value boxes, knobs, sliders) take the focus only from the user: a click, Tab or
// a shortcut. Focus that comes with the window (at start, after a dialog or a menu closed) goes
// to the window itself, so that a stray key changes no value. Called from their focusInEvent;
// true when the focus was handed on and the event is done.
bool PassOnStrayFocus(QWidget* control, Qt::FocusReason reason);

}  // namespace toolkit
