#include "toolkit/TreeItemModel.h"

namespace toolkit {

CTreeItemModel::CTreeItemModel(QObject* parent) : QAbstractItemModel(parent) {}

CTreeItemModel::~CTreeItemModel() = default;

TreeItem* CTreeItemModel::Holder(const QModelIndex& parent) const {
    return parent.isValid() ? ItemOf(parent) : const_cast<TreeItem*>(&m_root);
}

TreeItem* CTreeItemModel::ItemOf(const QModelIndex& index) {
    return index.isValid() ? static_cast<TreeItem*>(index.internalPointer()) : nullptr;
}

QModelIndex CTreeItemModel::IndexOf(const TreeItem* item) const {
    if (!item || item == &m_root) {
        return {};
    }
    return createIndex(item->row, 0, const_cast<TreeItem*>(item));
}

int CTreeItemModel::CountOf(const TreeItem& item) {
    int n = 1;
    for (const auto& c : item.children) {
        n += CountOf(*c);
    }
    return n;
}

TreeItem* CTreeItemModel::Append(TreeItem* parent, quintptr data) {
    TreeItem* holder = parent ? parent : &m_root;
    auto item = std::make_unique<TreeItem>();
    item->parent = parent;
    item->row = static_cast<int>(holder->children.size());
    item->data = data;
    TreeItem* raw = item.get();
    if (m_batch == 0) {
        beginInsertRows(IndexOf(parent), raw->row, raw->row);
    }
    holder->children.push_back(std::move(item));
    ++m_count;
    if (m_batch == 0) {
        endInsertRows();
    }
    return raw;
}

void CTreeItemModel::Remove(TreeItem* item) {
    if (!item) {
        return;
    }
    TreeItem* holder = item->parent ? item->parent : &m_root;
    const int row = item->row;
    if (row < 0 || row >= static_cast<int>(holder->children.size()) ||
        holder->children[static_cast<size_t>(row)].get() != item) {
        return;  // not one of ours
    }
    if (m_batch == 0) {
        beginRemoveRows(IndexOf(item->parent), row, row);
    }
    m_count -= CountOf(*item);
    holder->children.erase(holder->children.begin() + row);
    for (size_t i = static_cast<size_t>(row); i < holder->children.size(); ++i) {
        holder->children[i]->row = static_cast<int>(i);
    }
    if (m_batch == 0) {
        endRemoveRows();
    }
}

void CTreeItemModel::Clear() {
    if (m_batch == 0) {
        beginResetModel();
    }
    m_root.children.clear();
    m_count = 0;
    if (m_batch == 0) {
        endResetModel();
    }
}

void CTreeItemModel::BeginBatch() {
    if (m_batch++ == 0) {
        beginResetModel();
    }
}

void CTreeItemModel::EndBatch() {
    if (m_batch > 0 && --m_batch == 0) {
        endResetModel();
    }
}

QModelIndex CTreeItemModel::index(int row, int column, const QModelIndex& parent) const {
    const TreeItem* holder = Holder(parent);
    if (m_batch > 0 || column != 0 || !holder || row < 0 ||
        row >= static_cast<int>(holder->children.size())) {
        return {};
    }
    return createIndex(row, 0, holder->children[static_cast<size_t>(row)].get());
}

QModelIndex CTreeItemModel::parent(const QModelIndex& child) const {
    const TreeItem* item = ItemOf(child);
    return item ? IndexOf(item->parent) : QModelIndex();
}

int CTreeItemModel::rowCount(const QModelIndex& parent) const {
    // Between the two halves of a batch's reset the views must see nothing.
    if (m_batch > 0 || parent.column() > 0) {
        return 0;
    }
    const TreeItem* holder = Holder(parent);
    return holder ? static_cast<int>(holder->children.size()) : 0;
}

int CTreeItemModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant CTreeItemModel::data(const QModelIndex& index, int role) const {
    const TreeItem* item = ItemOf(index);
    if (!item || !m_adapter || role != Qt::DisplayRole) {
        return {};
    }
    return m_adapter->GetItemLook(item).text;
}

Qt::ItemFlags CTreeItemModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

}  // namespace toolkit
