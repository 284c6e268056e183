#pragma once

#include <QTreeView>

#include "toolkit/TreeViewAdapter.h"

namespace toolkit {
class CTreeItemModel;
}

// The toolkit's tree view ("treeview"): items from an adapter (TreeViewAdapter.h), each drawn
// from the item template (toggle and text) in its role: current, downloaded, selected, hover.
// Items with children expand and collapse on their toggle and on a double-click; double-clicks
// on other items and right-clicks go to the adapter with the item. Without an adapter a
// right-click is the control's context-menu event, as for any control. Scrolls by pixels.
class STreeView : public QTreeView {
    Q_OBJECT
    Q_CLASSINFO("xmlTags", "treeview")
    Q_PROPERTY(int itemHeight READ itemHeight WRITE setItemHeight)
public:
    using TreeItem = toolkit::TreeItem;

    explicit STreeView(QWidget* parent = nullptr);
    ~STreeView() override;

    // Not owned; null detaches. The adapter resets it before it goes.
    void SetAdapter(toolkit::ITreeViewAdapter* adapter);
    toolkit::ITreeViewAdapter* Adapter() const;

    // Appends an item under parent (null: the top level), collapsed.
    TreeItem* InsertItem(quintptr data, TreeItem* parent = nullptr);
    // Removes the item with all it holds.
    void RemoveItem(TreeItem* item);
    void RemoveAllItems();
    // Many insertions at once: the view lays itself out once, at EndUpdate. Nest freely.
    void BeginUpdate();
    void EndUpdate();

    static quintptr ItemData(const TreeItem* item);
    static TreeItem* ParentItem(const TreeItem* item);
    // parent null: the top level.
    int ChildCount(const TreeItem* parent) const;
    TreeItem* ChildItem(const TreeItem* parent, int index) const;
    int ItemCount() const;

    // Expands or collapses without telling the adapter.
    void SetItemExpanded(TreeItem* item, bool expanded);
    static bool IsItemExpanded(const TreeItem* item);

    // Draws the item again (its look may have changed); null draws every item.
    void RedrawItem(const TreeItem* item);
    // The item's row in viewport coordinates (empty when it is not shown), and its toggle.
    QRect ItemRect(const TreeItem* item) const;
    QRect ToggleRect(const TreeItem* item) const;
    TreeItem* ItemAt(const QPoint& viewportPos) const;
    TreeItem* HoverItem() const { return m_hover; }
    TreeItem* SelectedItem() const;

    int itemHeight() const { return m_itemHeight; }
    void setItemHeight(int height);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void drawBranches(QPainter* painter, const QRect& rect,
                      const QModelIndex& index) const override;

private:
    class CDelegate;

    void OnContextMenu(const QPoint& viewportPos);
    void OnExpandedChanged(const QModelIndex& index, bool expanded);
    void ToggleItem(TreeItem* item);
    void SetHover(TreeItem* item);
    // Puts the view's expanded rows back after the model was rebuilt.
    void RestoreExpanded(const TreeItem* parent);

    toolkit::CTreeItemModel* m_model;
    CDelegate* m_delegate;
    TreeItem* m_hover = nullptr;
    int m_itemHeight = 26;
    bool m_quiet = false;  // expansion changes made by code, not by the user
};
