#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <string_view>

// Reading and setting the state of the controls a parameter binder drives, whatever widget class
// the layout used for them (our knobs, sliders and buttons, Qt's combo boxes, labels and edits).
namespace effects::ui {

// Slider bars and rotary knobs.
bool IsSlider(const QWidget* w);
void SetSliderRange(QWidget* w, int minimum, int maximum);
// The position, clamped to the slider's range.
void SetSliderPos(QWidget* w, int pos);

// Combo boxes: filled from the choices; a button with a drop-down shows the chosen caption.
QStringList SplitChoices(std::u16string_view choices);
void FillChoices(QWidget* w, const QStringList& choices);
void SelectItem(QWidget* w, int index);

// Check boxes, switches, option buttons.
void SetChecked(QWidget* w, bool checked);
bool IsChecked(const QWidget* w);

// Slider position or list selection; 0 for anything else.
int Position(const QWidget* w);

// Labels, edits and captions.
void SetText(QWidget* w, const QString& text);
QString Text(const QWidget* w);
// An edit field whose typed text is read back ("edit2", "richedit").
bool IsEditControl(const QWidget* w);

// The binding kind a control without a binding of its own is shown by (a linked control).
int KindOfWidget(const QWidget* w);

}  // namespace effects::ui
