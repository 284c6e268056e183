#include "effects/ui/PresetCaptions.h"

#include "WorkSpace.h"
#include "PresetRadios.h"

namespace effects::ui {

void RefreshCustomPresetCaptions(const CWorkSpace& workspace, int group,
                                 std::span<QAbstractButton* const> buttons) {
    for (const auto& caption : CustomPresetCaptions(workspace.GroupPresets(group))) {
        const size_t button = static_cast<size_t>(caption.position - 1);
        if (button < buttons.size() && buttons[button]) {
            buttons[button]->setToolTip(QString::fromStdU16String(caption.tip));
            buttons[button]->setText(QString::fromStdU16String(caption.text));
        }
    }
}

}  // namespace effects::ui
