#pragma once

#include <QString>

#include "toolkit/HostWindow.h"

class QLineEdit;

namespace sound::ui {

// Names a local clip, when it is added and when it is renamed. The proposed name is cut as the
// pads show names; OK with a name of only blanks is refused with a message and the dialog stays.
// Result IDOK (Name() holds the name) or IDCANCEL.
class CDlgEditFileName : public toolkit::CHostDialog {
    Q_OBJECT
public:
    explicit CDlgEditFileName(const QString& proposedName, QWidget* parent = nullptr);
    QString Name() const { return m_name; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnOk();

    QLineEdit* m_input = nullptr;
    QString m_name;
};

}  // namespace sound::ui
