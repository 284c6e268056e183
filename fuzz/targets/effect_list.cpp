// EffectList.xml, the card's named effect lists: read, written back, and what was written must
// read back with the same lists.
#include <cstdlib>

#include "EffectListFile.h"
#include "FuzzTarget.h"

namespace {

size_t CountNodes(const effects::CTreeData& node) {
    size_t n = 1;
    for (const auto& child : node.Children()) {
        n += CountNodes(*child);
    }
    return n;
}

}  // namespace

VELORA_FUZZ_TARGET(effect_list) {
    const auto file = velora_fuzz::WriteInput("EffectList.xml", data, size);
    effects::CEffectListStore store({file.parent_path(), {}});
    if (store.Load() != effects::EffectListState::kLoaded || !store.Save()) {
        return;
    }
    effects::CEffectListStore again({file.parent_path(), {}});
    if (again.Load() != effects::EffectListState::kLoaded ||
        CountNodes(again.Root()) != CountNodes(store.Root())) {
        std::abort();
    }
}
