#pragma once

#include <QAbstractItemModel>
#include <memory>
#include <vector>

#include "toolkit/TreeViewAdapter.h"

namespace toolkit {

struct TreeItem {
    TreeItem* parent = nullptr;  // null for the top level
    std::vector<std::unique_ptr<TreeItem>> children;
    int row = 0;  // position among the parent's children
    quintptr data = 0;
    bool expanded = false;  // what the item should be; the view follows it
};

// The items of one STreeView as Qt's views want them: one column, the adapter's text as the
// display role. The view keeps the items; the model only walks them.
class CTreeItemModel : public QAbstractItemModel {
public:
    explicit CTreeItemModel(QObject* parent = nullptr);
    ~CTreeItemModel() override;

    void SetAdapter(ITreeViewAdapter* adapter) { m_adapter = adapter; }
    ITreeViewAdapter* Adapter() const { return m_adapter; }

    // Appends an item under parent (null: the top level).
    TreeItem* Append(TreeItem* parent, quintptr data);
    void Remove(TreeItem* item);
    void Clear();
    // While a batch runs the views are not told about each insertion; they rebuild once at its
    // end. Batches nest.
    void BeginBatch();
    void EndBatch();
    bool InBatch() const { return m_batch > 0; }

    const std::vector<std::unique_ptr<TreeItem>>& TopLevel() const { return m_root.children; }
    QModelIndex IndexOf(const TreeItem* item) const;
    static TreeItem* ItemOf(const QModelIndex& index);
    int Count() const { return m_count; }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    TreeItem* Holder(const QModelIndex& parent) const;
    static int CountOf(const TreeItem& item);

    TreeItem m_root;
    ITreeViewAdapter* m_adapter = nullptr;
    int m_batch = 0;
    int m_count = 0;
};

}  // namespace toolkit
