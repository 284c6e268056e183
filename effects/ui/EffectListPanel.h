#pragma once

#include <memory>

#include "EffectRecords.h"

namespace toolkit {
class CHostWindow;
}

namespace effects::ui {

class CEventHandlerEffect;
class CKxTreeViewAdapter;

// The effect-list panel's part of the effects page's set-up and refresh.

// The "KX音效" tab's adapter on the window's "trctl_kx_eff_list"; null without that tree.
std::unique_ptr<CKxTreeViewAdapter> CreateKxListAdapter(CEventHandlerEffect& page,
                                                        toolkit::CHostWindow& window);

// Marks the current effect in the card's lists, unless an effect button shows it already.
void MarkKxCurrent(CKxTreeViewAdapter* adapter, const model::EffectRecord& current,
                   bool buttonChecked);

}  // namespace effects::ui
