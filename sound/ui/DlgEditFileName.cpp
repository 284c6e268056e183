#include "sound/ui/DlgEditFileName.h"

#include <QLineEdit>

#include "SoundPadText.h"
#include "toolkit/MessageBox.h"

namespace sound::ui {

CDlgEditFileName::CDlgEditFileName(const QString& proposedName, QWidget* parent)
    : CHostDialog(QStringLiteral("LAYOUT:XML_EDIT_ADDFILENAME"), parent),
      m_input(FindChildByName<QLineEdit>(QStringLiteral("txt_input"))) {
    setObjectName(QStringLiteral("DlgEditFileName"));
    setWindowTitle(QStringLiteral("设置特效名称"));
    setFixedSize(320, 174);
    if (m_input) {
        m_input->setMaxLength(int(kMaxClipNameChars));
        m_input->setText(
            QString::fromStdU16String(ProposedClipName(proposedName.toStdU16String())));
    }
    Events().OnCommand(QStringLiteral("btnOK"), [this] { OnOk(); });
}

void CDlgEditFileName::showEvent(QShowEvent* event) {
    CHostDialog::showEvent(event);
    if (m_input) {
        m_input->setFocus();
        m_input->selectAll();
    }
}

void CDlgEditFileName::OnOk() {
    const std::u16string name =
        TrimClipName(m_input ? m_input->text().toStdU16String() : std::u16string());
    if (name.empty()) {
        toolkit::SMessageBox(this, QStringLiteral("特效名称不能为空！"), QStringLiteral("提示"),
                             toolkit::MB_OK | toolkit::MB_ICONWARNING);
        return;
    }
    m_name = QString::fromStdU16String(name);
    EndDialog(toolkit::IDOK);
}

}  // namespace sound::ui
