#include "effects/ui/DlgSavePreset.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "SaveChecks.h"
#include "WorkSpace.h"
#include "effects/ui/SaveRefusal.h"

namespace effects::ui {

namespace {

QString GroupName(const CWorkSpace& workspace, int group) {
    const auto& groups = workspace.Groups();
    if (group < 0 || static_cast<size_t>(group) >= groups.size()) {
        return QString();
    }
    const auto name = groups[static_cast<size_t>(group)].name;
    return QString::fromUtf16(name.data(), static_cast<qsizetype>(name.size()));
}

}  // namespace

CDlgSavePreset::CDlgSavePreset(CWorkSpace& workspace, int group, QWidget* parent)
    : CHostDialog(QStringLiteral("LAYOUT:XML_SAVEPRESET"), parent),
      m_workspace(workspace),
      m_group(group),
      m_position(FindChildByName<QComboBox>(QStringLiteral("combo_save_to"))),
      m_name(FindChildByName<QLineEdit>(QStringLiteral("edit_name"))) {
    setObjectName(QStringLiteral("DlgSavePreset"));
    const QString title = QStringLiteral("保存预设-%1").arg(GroupName(workspace, group));
    setWindowTitle(title);
    if (auto* caption = FindChildByName<QLabel>(QStringLiteral("txt_title"))) {
        caption->setText(title);
    }
    if (m_position) {
        m_position->setCurrentIndex(-1);  // the user chooses which custom preset to replace
        m_position->setPlaceholderText(QStringLiteral("请选择"));
    }
    Events().OnCommand(QStringLiteral("btnOK"), [this] { OnSave(); });
}

void CDlgSavePreset::OnSave() {
    const int slot = m_position ? m_position->currentIndex() : -1;
    const QString name = m_name ? m_name->text() : QString();
    const SaveCheck check = CheckSavePreset(m_workspace, m_group, slot, name.toStdU16String());
    if (!check.ok) {
        ShowSaveRefusal(this, check, -20);
        return;
    }
    const std::u16string replaced = ReplacedPresetName(m_workspace, m_group, slot);
    if (!replaced.empty() &&
        !AskToReplace(this, m_position ? m_position->currentText() : QString(),
                      QStringLiteral("预设"), QString::fromStdU16String(replaced))) {
        return;
    }
    const SaveCheck result = SavePreset(m_workspace, m_group, slot, name.toStdU16String());
    if (!result.ok) {
        ShowSaveRefusal(this, result, -20);
        return;
    }
    EndDialog(toolkit::IDOK);
}

}  // namespace effects::ui
