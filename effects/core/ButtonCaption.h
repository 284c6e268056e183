#pragma once

#include <string>
#include <string_view>

namespace effects {

// An effect button's caption: the effect's name, followed by its hotkey's text in brackets when
// it has one. Buttons are narrow, so a caption over 4 characters shows its first 3 and ".."; the
// tooltip always holds the whole caption.
struct ButtonCaption {
    std::u16string text;
    std::u16string tip;
};

ButtonCaption MakeButtonCaption(std::u16string_view name, std::u16string_view hotkeyText = {});

}  // namespace effects
