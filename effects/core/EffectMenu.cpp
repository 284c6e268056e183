#include "EffectMenu.h"

namespace effects {

EffectMenuPlan PlanEffectMenu(int buttonIndex, bool slotSaved, bool hotkeysOffered,
                              bool hasHotkey) {
    EffectMenuPlan plan;
    const bool device = buttonIndex >= 0 && buttonIndex < 7;
    const bool mine = buttonIndex >= 7 && buttonIndex < 19;
    if (!device && !(mine && slotSaved)) {
        return plan;
    }
    plan.saveToDevice = mine;
    if (hotkeysOffered) {
        plan.hotkeyEntries.push_back(kCmdSetHotkey);
        if (hasHotkey) {
            plan.hotkeyEntries.push_back(kCmdDeleteHotkey);
            plan.hotkeyEntries.push_back(kCmdEditHotkey);
        }
    }
    plan.show = plan.saveToDevice || !plan.hotkeyEntries.empty();
    return plan;
}

}  // namespace effects
