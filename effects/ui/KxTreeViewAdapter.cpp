#include "effects/ui/KxTreeViewAdapter.h"

#include "effects/ui/EventHandlerEffect.h"
#include "toolkit/Menu.h"
#include "widgets/CTipWnd.h"

namespace effects::ui {

namespace {

QString ToQ(const std::u16string& text) {
    return QString::fromStdU16String(text);
}

}  // namespace

CKxTreeViewAdapter::CKxTreeViewAdapter(CEventHandlerEffect& page, STreeView& view,
                                       effects::EffectListFiles files)
    : m_page(page), m_view(&view), m_store(std::move(files)) {
    m_store.Load();
    view.SetAdapter(this);
    BuildView();
}

CKxTreeViewAdapter::~CKxTreeViewAdapter() {
    if (m_view) {
        m_view->SetAdapter(nullptr);
        m_view->RemoveAllItems();
    }
}

CTreeData* CKxTreeViewAdapter::NodeOf(const toolkit::TreeItem* item) {
    return reinterpret_cast<CTreeData*>(STreeView::ItemData(item));
}

void CKxTreeViewAdapter::BuildView() {
    if (!m_view) {
        return;
    }
    m_view->BeginUpdate();
    m_view->RemoveAllItems();
    AddItems(m_store.Root(), nullptr);
    m_view->EndUpdate();
}

void CKxTreeViewAdapter::AddItems(CTreeData& node, toolkit::TreeItem* parent) {
    for (const auto& child : node.Children()) {
        toolkit::TreeItem* item =
            m_view->InsertItem(reinterpret_cast<quintptr>(child.get()), parent);
        child->viewItem = item;
        if (!child->IsLeaf()) {
            m_view->SetItemExpanded(item, child->collapsed == 0);
            AddItems(*child, item);
        }
    }
}

toolkit::TreeItemLook CKxTreeViewAdapter::GetItemLook(const toolkit::TreeItem* item) const {
    toolkit::TreeItemLook look;
    const CTreeData* node = NodeOf(item);
    if (!node) {
        return look;
    }
    look.text = node->IsLeaf()
                    ? ToQ(node->GetName())
                    : QStringLiteral("%1 [%2]").arg(ToQ(node->GetName())).arg(node->ChildCount());
    look.current = node->currentMark != 0;
    return look;
}

void CKxTreeViewAdapter::OnItemToggled(toolkit::TreeItem* item, bool expanded) {
    CTreeData* node = NodeOf(item);
    if (!node || node->IsLeaf()) {
        return;
    }
    node->collapsed = expanded ? 0 : 1;
    m_store.Save();  // a failure is logged; the tab goes on as the user left it
}

void CKxTreeViewAdapter::OnItemDblClick(toolkit::TreeItem* item) {
    const CTreeData* node = NodeOf(item);
    if (node && node->IsLeaf() && node->currentMark == 0) {
        Use(*node);
    }
}

void CKxTreeViewAdapter::Use(const CTreeData& leaf) {
    const std::u16string path = leaf.GetPath();
    if (path.empty()) {
        Tip(QStringLiteral("%1音效使用失败!").arg(ToQ(leaf.GetName())), true);
        return;
    }
    m_page.UseEffectNumber(effects::LeadingNumber(path), leaf.GetName());
}

std::unique_ptr<toolkit::CMenu> CKxTreeViewAdapter::BuildMenu(const CTreeData* node) const {
    if (!node || !node->IsLeaf()) {
        return nullptr;  // lists have no entries
    }
    auto menu = std::make_unique<toolkit::CMenu>();
    if (!menu->LoadMenu(QStringLiteral("SMENU:menu_kxeffect_item"))) {
        return nullptr;
    }
    return menu;
}

void CKxTreeViewAdapter::OnItemContextMenu(toolkit::TreeItem* item, const QPoint& screenPos) {
    CTreeData* node = NodeOf(item);
    std::unique_ptr<toolkit::CMenu> menu = BuildMenu(node);
    if (!menu) {
        return;
    }
    QPointer<STreeView> view = m_view;
    const int command = menu->TrackPopupMenu(screenPos);
    // The menu's loop may have outlived the tab (the program ending): then nothing is done.
    if (command != 0 && view) {
        OnMenuCommand(node, command);
    }
}

void CKxTreeViewAdapter::OnMenuCommand(CTreeData* node, int command) {
    if (!node || !node->IsLeaf()) {
        return;
    }
    const std::u16string name = node->GetName();
    const std::u16string path = node->GetPath();
    if (command == kCmdUse) {
        Use(*node);  // the current one too
    } else if (command == kCmdSlot1 || command == kCmdSlot2) {
        if (path.empty()) {
            Tip(QStringLiteral("音效文件不存在"), true);
        } else if (!m_page.SaveEffectToSlot(path, command - 200, name)) {
            Tip(QStringLiteral("音效保存到设备失败"), true);
        }
    } else if (command >= kCmdMyEffectFirst && command < kCmdMyEffectFirst + kMyEffectCount) {
        if (!path.empty()) {
            m_page.AddToMyEffects(command - kCmdMyEffectFirst, name, path);
        }
    }
}

void CKxTreeViewAdapter::MarkCurrent(std::u16string_view path) {
    CTreeData* before = m_current;
    CTreeData* found = nullptr;
    for (CTreeData* leaf : effects::Leaves(m_store.Root())) {
        leaf->currentMark = 0;
        if (!found && !path.empty() && effects::SameIgnoringCase(leaf->GetPath(), path)) {
            found = leaf;
        }
    }
    for (const auto& list : m_store.Root().Children()) {
        list->currentMark = 0;
    }
    if (found) {
        found->currentMark = 1;
    }
    m_current = found;
    if (m_view) {
        if (before) {
            m_view->RedrawItem(static_cast<toolkit::TreeItem*>(before->viewItem));
        }
        if (found) {
            m_view->RedrawItem(static_cast<toolkit::TreeItem*>(found->viewItem));
        }
    }
}

void CKxTreeViewAdapter::Tip(const QString& text, bool warning) const {
    if (m_view) {
        CTipWnd::ShowTipOnWindow(m_view->window(), text, warning, 2000);
    }
}

}  // namespace effects::ui
