#pragma once

class CWorkSpace;
class QWidget;

namespace effects::ui {

// Opens the save-preset dialog for a group (1 equaliser, 2 reverb, 3 voice) modally over parent;
// 1 when a preset was stored, 2 when not.
int OpenSavePreset(QWidget* parent, CWorkSpace& ws, int group);

}  // namespace effects::ui
