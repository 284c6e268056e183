#pragma once

#include "toolkit/HostWindow.h"

class CWorkSpace;
class QComboBox;
class QLineEdit;

namespace effects::ui {

// Stores the current values of one preset group (1 equaliser, 2 reverb, 3 voice) as one of its
// four custom presets. Result IDOK when stored, IDCANCEL when the user gave up.
class CDlgSavePreset : public toolkit::CHostDialog {
    Q_OBJECT
public:
    CDlgSavePreset(CWorkSpace& workspace, int group, QWidget* parent = nullptr);

    int Group() const { return m_group; }

private:
    void OnSave();

    CWorkSpace& m_workspace;
    int m_group;
    QComboBox* m_position = nullptr;
    QLineEdit* m_name = nullptr;
};

}  // namespace effects::ui
