#include "effects/ui/DlgSaveEffect.h"

#include <QComboBox>
#include <QLineEdit>

#include "SaveChecks.h"
#include "WorkSpace.h"
#include "effects/ui/SaveRefusal.h"

namespace effects::ui {

CDlgSaveEffect::CDlgSaveEffect(CWorkSpace& workspace, QWidget* parent)
    : CHostDialog(QStringLiteral("LAYOUT:XML_SAVEEFFECT"), parent),
      m_workspace(workspace),
      m_position(FindChildByName<QComboBox>(QStringLiteral("combo_save_to"))),
      m_name(FindChildByName<QLineEdit>(QStringLiteral("edit_name"))) {
    setObjectName(QStringLiteral("DlgSaveEffect"));
    setWindowTitle(QStringLiteral("保存音效"));
    if (m_position) {
        m_position->setCurrentIndex(0);  // "自定义3", own slot 0
    }
    Events().OnCommand(QStringLiteral("btnOK"), [this] { OnSave(); });
}

void CDlgSaveEffect::showEvent(QShowEvent* event) {
    CHostDialog::showEvent(event);
    if (m_name) {
        m_name->setFocus();
    }
}

void CDlgSaveEffect::OnSave() {
    const int slot = m_position ? m_position->currentIndex() : -1;
    const QString name = m_name ? m_name->text() : QString();
    const SaveCheck check = CheckSaveEffect(m_workspace, slot, name.toStdU16String());
    if (!check.ok) {
        ShowSaveRefusal(this, check, -30);
        return;
    }
    const std::u16string replaced = ReplacedEffectName(m_workspace, slot);
    if (!replaced.empty() &&
        !AskToReplace(this, m_position ? m_position->currentText() : QString(),
                      QStringLiteral("音效"), QString::fromStdU16String(replaced))) {
        return;
    }
    const SaveCheck result = SaveMyEffect(m_workspace, slot, name.toStdU16String());
    if (!result.ok) {
        ShowSaveRefusal(this, result, -30);
        return;
    }
    EndDialog(toolkit::IDOK);
}

}  // namespace effects::ui
