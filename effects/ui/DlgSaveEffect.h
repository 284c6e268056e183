#pragma once

#include "toolkit/HostWindow.h"

class CWorkSpace;
class QComboBox;
class QLineEdit;

namespace effects::ui {

// Stores the card's current effect in one of the twelve own effect slots under a name. Result
// IDOK when stored, IDCANCEL when the user gave up.
class CDlgSaveEffect : public toolkit::CHostDialog {
    Q_OBJECT
public:
    explicit CDlgSaveEffect(CWorkSpace& workspace, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnSave();

    CWorkSpace& m_workspace;
    QComboBox* m_position = nullptr;
    QLineEdit* m_name = nullptr;
};

}  // namespace effects::ui
