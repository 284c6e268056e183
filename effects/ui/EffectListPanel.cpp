#include "effects/ui/EffectListPanel.h"

#include "effects/ui/KxTreeViewAdapter.h"
#include "toolkit/HostWindow.h"

namespace effects::ui {

std::unique_ptr<CKxTreeViewAdapter> CreateKxListAdapter(CEventHandlerEffect& page,
                                                        toolkit::CHostWindow& window) {
    auto* tree = window.FindChildByName<STreeView>(QStringLiteral("trctl_kx_eff_list"));
    return tree ? std::make_unique<CKxTreeViewAdapter>(page, *tree) : nullptr;
}

void MarkKxCurrent(CKxTreeViewAdapter* adapter, const model::EffectRecord& current,
                   bool buttonChecked) {
    if (!adapter) {
        return;
    }
    if (buttonChecked) {
        adapter->MarkCurrent({});
        return;
    }
    size_t n = 0;
    while (n < std::size(current.source) && current.source[n] != 0) {
        ++n;
    }
    adapter->MarkCurrent(std::u16string_view(current.source, n));
}

}  // namespace effects::ui
