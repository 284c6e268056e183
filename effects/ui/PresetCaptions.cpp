#include "effects/ui/PresetCaptions.h"

#include "WorkSpace.h"

namespace effects::ui {

QString PresetCaption(const QString& name) {
    return name.size() > 5 ? name.left(4) + QStringLiteral("..") : name;
}

void RefreshCustomPresetCaptions(const CWorkSpace& workspace, int group,
                                 std::span<QAbstractButton* const> buttons) {
    const auto& presets = workspace.GroupPresets(group);
    for (int position = CWorkSpace::kPresetCustomFirst;
         position < CWorkSpace::kPresetCustomFirst + 4; ++position) {
        const size_t button = static_cast<size_t>(position - 1);
        if (button >= buttons.size() || !buttons[button] ||
            static_cast<size_t>(position) >= presets.size() ||
            presets[static_cast<size_t>(position)].count <= 0) {
            continue;
        }
        const QString name = QString::fromStdU16String(
            model::RecordText(presets[static_cast<size_t>(position)].name));
        buttons[button]->setToolTip(name);
        buttons[button]->setText(PresetCaption(name));
    }
}

}  // namespace effects::ui
