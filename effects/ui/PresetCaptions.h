#pragma once

#include <QAbstractButton>
#include <span>

class CWorkSpace;

namespace effects::ui {

// The eight preset buttons of a group (positions 1-8): each custom one (5-8) whose preset was
// saved shows its name as caption (shortened) and tool tip; unsaved ones keep their caption.
void RefreshCustomPresetCaptions(const CWorkSpace& workspace, int group,
                                 std::span<QAbstractButton* const> buttons);

}  // namespace effects::ui
