#include "effects/ui/SavePresetLauncher.h"

#include "effects/ui/DlgSavePreset.h"

namespace effects::ui {

int OpenSavePreset(QWidget* parent, CWorkSpace& ws, int group) {
    CDlgSavePreset dialog(ws, group, parent);
    return dialog.DoModal();
}

}  // namespace effects::ui
