#include "effects/ui/SavePresetLauncher.h"

#include "toolkit/MessageBox.h"

namespace effects::ui {

// Until the save-preset dialog is in, saving says so instead of doing nothing silently.
int OpenSavePreset(QWidget* parent, CWorkSpace&, int) {
    toolkit::SMessageBox(parent, QStringLiteral("保存预设将在后续版本中提供"));
    return 0;
}

}  // namespace effects::ui
