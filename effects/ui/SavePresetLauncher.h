#pragma once

class CWorkSpace;
class QWidget;

namespace effects::ui {

// Opens the save-preset dialog for a preset group (1 equaliser, 2 reverb, 3 voice), modal over
// parent. 1 when a preset was saved.
int OpenSavePreset(QWidget* parent, CWorkSpace& workspace, int group);

}  // namespace effects::ui
