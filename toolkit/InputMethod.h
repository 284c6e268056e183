#pragma once

class QWidget;

namespace toolkit {

// Input methods (composing Chinese and other scripts) in a window's edit fields. A window that
// takes none (the main window: its fields take numbers and hot keys) turns them off for every
// edit field in it, now and later: WireControl turns them off for each edit field it wires in
// such a window.
void DisableInputMethods(QWidget* window);

// True when a window up the control's parent chain (up to its top-level window) took input
// methods off.
bool InputMethodsDisabled(const QWidget* control);

// The control answers that it takes no input method, whatever its own state (a QLineEdit made
// editable again would turn its own attribute back on), and composition never reaches it.
void BlockInputMethod(QWidget* control);

// Line and text edits and spin boxes.
bool IsEditField(const QWidget* control);

}  // namespace toolkit
