#include "toolkit/STreeView.h"

#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScopedValueRollback>
#include <QStyledItemDelegate>
#include <QToolTip>

#include "toolkit/ControlEvent.h"
#include "toolkit/Theme.h"
#include "toolkit/TreeItemModel.h"

using toolkit::TreeItem;
using toolkit::TreeItemLook;

namespace {

// The item template: the toggle's box at the item's left, the text after it.
constexpr int kToggleLeft = 4;
constexpr int kToggleSize = 14;
constexpr int kTextWithToggle = kToggleLeft + kToggleSize + 4;
constexpr int kTextWithoutToggle = 8;
constexpr int kTextRightMargin = 6;
constexpr qreal kRowRadius = 4.0;

struct RoleColours {
    QColor background;  // invalid: none
    QColor text;
};

// The roles' colours on the dark theme. The current item keeps the accent in every state and
// takes the window colour for its text, which reads on cyan; downloaded items are dimmed.
RoleColours ColoursFor(const TreeItemLook& look, bool selected, bool hover) {
    namespace th = toolkit::theme;
    if (look.current) {
        return {th::kAccent, th::kWindow};
    }
    RoleColours c;
    c.text = look.downloaded ? th::kTextDim : th::kText;
    if (selected) {
        QColor sel = th::kAccent;
        sel.setAlpha(40);
        c.background = sel;
        if (!look.downloaded) {
            c.text = QColor(Qt::white);
        }
    } else if (hover) {
        c.background = th::kPanelHover;
    }
    return c;
}

int Depth(const TreeItem* item) {
    int d = 0;
    for (const TreeItem* p = item ? item->parent : nullptr; p; p = p->parent) {
        ++d;
    }
    return d;
}

// A chevron pointing right (collapsed) or down (expanded).
void DrawToggle(QPainter& p, const QRectF& box, bool expanded, const QColor& colour) {
    const QPointF c = box.center();
    const qreal h = box.height() / 4.5;
    QPainterPath path;
    if (expanded) {
        path.moveTo(c.x() - h, c.y() - h / 2);
        path.lineTo(c.x(), c.y() + h / 2);
        path.lineTo(c.x() + h, c.y() - h / 2);
    } else {
        path.moveTo(c.x() - h / 2, c.y() - h);
        path.lineTo(c.x() + h / 2, c.y());
        path.lineTo(c.x() - h / 2, c.y() + h);
    }
    QPen pen(colour, 1.6);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

}  // namespace

// Only sizes the rows: the rows are drawn whole by drawRow.
class STreeView::CDelegate : public QStyledItemDelegate {
public:
    explicit CDelegate(STreeView* view) : QStyledItemDelegate(view), m_view(view) {}
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return {m_view->viewport()->width(), m_view->itemHeight()};
    }

private:
    STreeView* m_view;
};

STreeView::STreeView(QWidget* parent)
    : QTreeView(parent),
      m_model(new toolkit::CTreeItemModel(this)),
      m_delegate(new CDelegate(this)) {
    setModel(m_model);
    setItemDelegate(m_delegate);
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setExpandsOnDoubleClick(false);
    setItemsExpandable(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover);
    viewport()->setAttribute(Qt::WA_Hover);
    // Layouts may ask for custom menus; either way right-clicks come here.
    connect(this, &QWidget::customContextMenuRequested, this, &STreeView::OnContextMenu);
    connect(this, &QTreeView::expanded, this,
            [this](const QModelIndex& i) { OnExpandedChanged(i, true); });
    connect(this, &QTreeView::collapsed, this,
            [this](const QModelIndex& i) { OnExpandedChanged(i, false); });
}

STreeView::~STreeView() {
    m_model->SetAdapter(nullptr);
}

void STreeView::SetAdapter(toolkit::ITreeViewAdapter* adapter) {
    m_model->SetAdapter(adapter);
    viewport()->update();
}

toolkit::ITreeViewAdapter* STreeView::Adapter() const {
    return m_model->Adapter();
}

TreeItem* STreeView::InsertItem(quintptr data, TreeItem* parent) {
    TreeItem* item = m_model->Append(parent, data);
    if (parent && parent->expanded && !m_model->InBatch()) {
        // A first child makes the parent expandable; show it as asked before.
        const QScopedValueRollback<bool> quiet(m_quiet, true);
        setExpanded(m_model->IndexOf(parent), true);
    }
    return item;
}

void STreeView::RemoveItem(TreeItem* item) {
    if (!item) {
        return;
    }
    m_hover = nullptr;  // may be inside what goes
    m_model->Remove(item);
}

void STreeView::RemoveAllItems() {
    m_hover = nullptr;
    m_model->Clear();
}

void STreeView::BeginUpdate() {
    if (!m_model->InBatch()) {
        m_hover = nullptr;
    }
    m_model->BeginBatch();
}

void STreeView::EndUpdate() {
    m_model->EndBatch();
    if (!m_model->InBatch()) {
        RestoreExpanded(nullptr);
    }
}

void STreeView::RestoreExpanded(const TreeItem* parent) {
    const QScopedValueRollback<bool> quiet(m_quiet, true);
    const int n = ChildCount(parent);
    for (int i = 0; i < n; ++i) {
        TreeItem* c = ChildItem(parent, i);
        if (c->expanded && !c->children.empty()) {
            setExpanded(m_model->IndexOf(c), true);
            RestoreExpanded(c);
        }
    }
}

quintptr STreeView::ItemData(const TreeItem* item) {
    return item ? item->data : 0;
}

TreeItem* STreeView::ParentItem(const TreeItem* item) {
    return item ? item->parent : nullptr;
}

int STreeView::ChildCount(const TreeItem* parent) const {
    return static_cast<int>(parent ? parent->children.size() : m_model->TopLevel().size());
}

TreeItem* STreeView::ChildItem(const TreeItem* parent, int index) const {
    const auto& list = parent ? parent->children : m_model->TopLevel();
    return index >= 0 && index < static_cast<int>(list.size())
               ? list[static_cast<size_t>(index)].get()
               : nullptr;
}

int STreeView::ItemCount() const {
    return m_model->Count();
}

void STreeView::SetItemExpanded(TreeItem* item, bool expanded) {
    if (!item) {
        return;
    }
    item->expanded = expanded;
    if (!m_model->InBatch()) {
        const QScopedValueRollback<bool> quiet(m_quiet, true);
        setExpanded(m_model->IndexOf(item), expanded);
    }
}

bool STreeView::IsItemExpanded(const TreeItem* item) {
    return item && item->expanded;
}

void STreeView::RedrawItem(const TreeItem* item) {
    if (!item) {
        viewport()->update();
        return;
    }
    const QRect r = ItemRect(item);
    if (!r.isEmpty()) {
        viewport()->update(r);
    }
}

QRect STreeView::ItemRect(const TreeItem* item) const {
    if (!item || m_model->InBatch()) {
        return {};
    }
    const QRect r = visualRect(m_model->IndexOf(item));
    if (r.isEmpty()) {
        return {};
    }
    return {0, r.top(), viewport()->width(), r.height()};
}

QRect STreeView::ToggleRect(const TreeItem* item) const {
    const QRect row = ItemRect(item);
    if (row.isEmpty() || item->children.empty()) {
        return {};
    }
    const int left = Depth(item) * indentation() + kToggleLeft;
    return {left, row.top() + (row.height() - kToggleSize) / 2, kToggleSize, kToggleSize};
}

TreeItem* STreeView::ItemAt(const QPoint& viewportPos) const {
    return toolkit::CTreeItemModel::ItemOf(indexAt(viewportPos));
}

TreeItem* STreeView::SelectedItem() const {
    const QModelIndexList rows =
        selectionModel() ? selectionModel()->selectedRows() : QModelIndexList();
    return rows.isEmpty() ? nullptr : toolkit::CTreeItemModel::ItemOf(rows.first());
}

void STreeView::setItemHeight(int height) {
    m_itemHeight = qMax(12, height);
    scheduleDelayedItemsLayout();
}

void STreeView::ToggleItem(TreeItem* item) {
    if (item && !item->children.empty()) {
        setExpanded(m_model->IndexOf(item), !item->expanded);
    }
}

void STreeView::OnExpandedChanged(const QModelIndex& index, bool expanded) {
    TreeItem* item = toolkit::CTreeItemModel::ItemOf(index);
    if (!item || m_quiet) {
        return;
    }
    item->expanded = expanded;
    if (toolkit::ITreeViewAdapter* adapter = Adapter()) {
        adapter->OnItemToggled(item, expanded);
    }
}

void STreeView::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    TreeItem* item = ItemAt(pos);
    if (event->button() == Qt::LeftButton && item &&
        ToggleRect(item).adjusted(-3, -3, 3, 3).contains(pos)) {
        ToggleItem(item);
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);
}

void STreeView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QTreeView::mouseDoubleClickEvent(event);
        return;
    }
    const QPoint pos = event->position().toPoint();
    TreeItem* item = ItemAt(pos);
    event->accept();
    if (!item || ToggleRect(item).adjusted(-3, -3, 3, 3).contains(pos)) {
        return;  // the press already toggled
    }
    if (!item->children.empty()) {
        ToggleItem(item);
    } else if (toolkit::ITreeViewAdapter* adapter = Adapter()) {
        adapter->OnItemDblClick(item);
    }
}

void STreeView::SetHover(TreeItem* item) {
    if (item == m_hover) {
        return;
    }
    RedrawItem(m_hover);
    m_hover = item;
    RedrawItem(m_hover);
}

void STreeView::mouseMoveEvent(QMouseEvent* event) {
    SetHover(ItemAt(event->position().toPoint()));
    QTreeView::mouseMoveEvent(event);
}

void STreeView::leaveEvent(QEvent* event) {
    SetHover(nullptr);
    QTreeView::leaveEvent(event);
}

void STreeView::contextMenuEvent(QContextMenuEvent* event) {
    // The viewport's events come here in its own coordinates; the menu key's go to the view.
    QPoint at = event->pos();
    if (event->reason() == QContextMenuEvent::Keyboard) {
        const QRect row = ItemRect(SelectedItem());
        at = row.isEmpty() ? QPoint(0, 0) : row.center();
    }
    OnContextMenu(at);
    event->accept();
}

void STreeView::OnContextMenu(const QPoint& viewportPos) {
    TreeItem* item = ItemAt(viewportPos);
    const QPoint screen = viewport()->mapToGlobal(viewportPos);
    if (toolkit::ITreeViewAdapter* adapter = Adapter()) {
        if (item) {
            setCurrentIndex(m_model->IndexOf(item));
        }
        adapter->OnItemContextMenu(item, screen);
        return;
    }
    toolkit::RaiseControlEvent(this, toolkit::EventKind::ContextMenu, 0, screen);
}

bool STreeView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        // The whole text, for an item drawn shortened.
        auto* help = static_cast<QHelpEvent*>(event);
        const TreeItem* item = ItemAt(help->pos());
        const toolkit::ITreeViewAdapter* adapter = Adapter();
        if (item && adapter) {
            const QString text = adapter->GetItemLook(item).text;
            const int left = Depth(item) * indentation() +
                             (item->children.empty() ? kTextWithoutToggle : kTextWithToggle);
            const int room = viewport()->width() - left - kTextRightMargin;
            if (fontMetrics().horizontalAdvance(text) > room) {
                QToolTip::showText(help->globalPos(), text, viewport(), ItemRect(item));
                return true;
            }
        }
        QToolTip::hideText();
        return true;
    }
    return QTreeView::viewportEvent(event);
}

void STreeView::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const {
    const TreeItem* item = toolkit::CTreeItemModel::ItemOf(index);
    const toolkit::ITreeViewAdapter* adapter = Adapter();
    if (!item || !adapter) {
        return;
    }
    const TreeItemLook look = adapter->GetItemLook(item);
    const bool selected = selectionModel() && selectionModel()->isSelected(index);
    const RoleColours colours = ColoursFor(look, selected, item == m_hover);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    const QRect row(0, option.rect.top(), viewport()->width(), option.rect.height());
    if (colours.background.isValid()) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(colours.background);
        painter->drawRoundedRect(QRectF(row).adjusted(2, 1, -2, -1), kRowRadius, kRowRadius);
    }
    const int indent = Depth(item) * indentation();
    const bool toggle = !item->children.empty();
    if (toggle) {
        const QRectF box(indent + kToggleLeft, row.top() + (row.height() - kToggleSize) / 2.0,
                         kToggleSize, kToggleSize);
        DrawToggle(*painter, box, item->expanded, colours.text);
    }
    const int left = indent + (toggle ? kTextWithToggle : kTextWithoutToggle);
    const QRect textRect(left, row.top(), qMax(0, row.width() - left - kTextRightMargin),
                         row.height());
    painter->setPen(colours.text);
    painter->setFont(font());
    painter->drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                      fontMetrics().elidedText(look.text, Qt::ElideRight, textRect.width()));
    painter->restore();
}

void STreeView::drawBranches(QPainter*, const QRect&, const QModelIndex&) const {
    // The toggle is part of the row (drawRow).
}
