#include "ButtonCaption.h"

namespace effects {

ButtonCaption MakeButtonCaption(std::u16string_view name, std::u16string_view hotkeyText) {
    ButtonCaption c;
    c.tip.assign(name);
    if (!hotkeyText.empty()) {
        c.tip += u'(';
        c.tip += hotkeyText;
        c.tip += u')';
    }
    c.text = c.tip.size() > 4 ? c.tip.substr(0, 3) + u".." : c.tip;
    return c;
}

}  // namespace effects
