#pragma once

#include <QPoint>
#include <QString>

// The toolkit's tree view (STreeView) shows items whose content an adapter supplies.
//
// An adapter owns its own data (a tree of nodes, say) and fills the view with items, one per
// node, through STreeView::InsertItem(data, parent): data is the adapter's own pointer or number,
// read back with STreeView::ItemData. Each item is drawn from the view's item template: a toggle
// (shown, in its expanded or collapsed state, only on items that have children) and a text
// ("txt_iterm_name"). Whenever an item is drawn the view asks the adapter for its look. The view
// tells the adapter what the user did with an item; the adapter never sees Qt's model classes.
//
// The adapter is not owned by the view: set it with STreeView::SetAdapter and reset it (null)
// before the adapter goes.
namespace toolkit {

// One item of an STreeView, owned by the view; valid until the item (or an ancestor) is removed
// or the view is emptied.
struct TreeItem;

// What an item shows and in which role it is drawn. The colours of the roles come from the theme.
struct TreeItemLook {
    QString text;             // the item's text
    bool current = false;     // the active one: accent background whatever the mouse does
    bool downloaded = false;  // the text is drawn dimmed (unless current)
};

class ITreeViewAdapter {
public:
    virtual ~ITreeViewAdapter() = default;

    virtual TreeItemLook GetItemLook(const TreeItem* item) const = 0;

    // A double-click on an item without children. An item with children is expanded or
    // collapsed by the view instead (and OnItemToggled follows).
    virtual void OnItemDblClick(TreeItem* item) { (void)item; }
    // A right-click (or the menu key): the item under the cursor, or null over empty space; the
    // point is on the screen, where a menu opens.
    virtual void OnItemContextMenu(TreeItem* item, const QPoint& screenPos) {
        (void)item;
        (void)screenPos;
    }
    // The user expanded or collapsed the item (its toggle, a double-click, the keyboard). Not
    // called for STreeView::SetItemExpanded.
    virtual void OnItemToggled(TreeItem* item, bool expanded) {
        (void)item;
        (void)expanded;
    }
};

}  // namespace toolkit
