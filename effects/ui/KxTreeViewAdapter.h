#pragma once

#include <QPointer>
#include <memory>
#include <string_view>

#include "EffectListFile.h"
#include "toolkit/STreeView.h"

namespace toolkit {
class CMenu;
}

namespace effects::ui {

class CEventHandlerEffect;

// The "KX音效" tab: the card's effect lists from EffectList.xml in the tree view. A double-click
// uses an effect, the item's menu uses it, stores it in a remote-control slot or copies it to "我的
// 音效"; opening or closing a list is saved to the file at once. The page marks the effect in use.
class CKxTreeViewAdapter : public toolkit::ITreeViewAdapter {
public:
    static constexpr int kCmdUse = 200;
    static constexpr int kCmdSlot1 = 201;
    static constexpr int kCmdSlot2 = 202;
    static constexpr int kCmdMyEffectFirst = 300;
    static constexpr int kMyEffectCount = 12;

    CKxTreeViewAdapter(CEventHandlerEffect& page, STreeView& view,
                       effects::EffectListFiles files = effects::DefaultEffectListFiles());
    ~CKxTreeViewAdapter() override;
    CKxTreeViewAdapter(const CKxTreeViewAdapter&) = delete;
    CKxTreeViewAdapter& operator=(const CKxTreeViewAdapter&) = delete;

    // Marks the first effect whose identifier is path (letter case ignored); empty clears.
    void MarkCurrent(std::u16string_view path);

    // The menu an item would show (null: none), and a command chosen in it.
    std::unique_ptr<toolkit::CMenu> BuildMenu(const CTreeData* node) const;
    void OnMenuCommand(CTreeData* node, int command);

    const effects::CEffectListStore& Store() const { return m_store; }
    STreeView* View() const { return m_view; }
    static CTreeData* NodeOf(const toolkit::TreeItem* item);

    toolkit::TreeItemLook GetItemLook(const toolkit::TreeItem* item) const override;
    void OnItemDblClick(toolkit::TreeItem* item) override;
    void OnItemContextMenu(toolkit::TreeItem* item, const QPoint& screenPos) override;
    void OnItemToggled(toolkit::TreeItem* item, bool expanded) override;

private:
    void BuildView();
    void AddItems(CTreeData& node, toolkit::TreeItem* parent);
    void Use(const CTreeData& leaf);
    void Tip(const QString& text, bool warning) const;

    CEventHandlerEffect& m_page;
    QPointer<STreeView> m_view;
    effects::CEffectListStore m_store;
    CTreeData* m_current = nullptr;
};

}  // namespace effects::ui

using effects::ui::CKxTreeViewAdapter;
