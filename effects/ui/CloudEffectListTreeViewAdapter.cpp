#include "effects/ui/CloudEffectListTreeViewAdapter.h"

#include <QMenu>
#include <algorithm>

#include "CloudEffectFiles.h"
#include "DiskSpace.h"
#include "EffectStore.h"
#include "Log/Log.h"
#include "profile/ProfileText.h"
#include "toolkit/Menu.h"
#include "toolkit/STreeView.h"

#define LOG_SOURCE "effects\\ui\\CloudEffectListTreeViewAdapter"

namespace effects::ui {

namespace {

QString FromU16(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

// The lists keep "&" doubled for labels that read it as a mnemonic; the tree draws plain text.
QString Shown(std::u16string_view text) {
    QString out = FromU16(text);
    out.replace(QStringLiteral("&&"), QStringLiteral("&"));
    return out;
}

bool SameIgnoringCase(std::u16string_view a, std::u16string_view b) {
    return FromU16(a).compare(FromU16(b), Qt::CaseInsensitive) == 0;
}

}  // namespace

CCloudEffectListTreeViewAdapter::CCloudEffectListTreeViewAdapter(IPage& page, STreeView& view,
                                                                 CCloudEffectLibrary& cloud)
    : m_page(page), m_view(view), m_cloud(cloud) {
    m_view.SetAdapter(this);
}

CCloudEffectListTreeViewAdapter::~CCloudEffectListTreeViewAdapter() {
    m_view.SetAdapter(nullptr);
}

template <typename F>
void CCloudEffectListTreeViewAdapter::ForEachLeaf(F&& f) {
    for (auto& category : m_root.children) {
        for (auto& leaf : category->children) {
            f(*leaf);
        }
    }
}

void CCloudEffectListTreeViewAdapter::Clear() {
    m_clicks.Forget();
    ++m_generation;
    m_view.RemoveAllItems();
    m_root.children.clear();
    m_view.RedrawItem(nullptr);
}

void CCloudEffectListTreeViewAdapter::Rebuild() {
    Clear();
    for (const model::CloudEffectEntry& entry : m_cloud.Entries()) {
        const std::u16string category = model::RecordText(entry.category);
        Node* parent = nullptr;
        for (auto& c : m_root.children) {
            if (c->name == category) {
                parent = c.get();
                break;
            }
        }
        if (!parent) {
            auto node = std::make_unique<Node>();
            node->name = category;
            node->parent = &m_root;
            parent = node.get();
            m_root.children.push_back(std::move(node));
        }
        auto leaf = std::make_unique<Node>();
        leaf->name = model::RecordText(entry.name);
        leaf->entry = entry;
        leaf->parent = parent;
        leaf->localPath = m_cloud.LocalPath(entry);
        leaf->downloadFlag = m_cloud.DownloadMark(entry);
        parent->children.push_back(std::move(leaf));
    }
    m_view.BeginUpdate();
    for (auto& category : m_root.children) {
        category->item = m_view.InsertItem(reinterpret_cast<quintptr>(category.get()));
        for (auto& leaf : category->children) {
            leaf->item = m_view.InsertItem(reinterpret_cast<quintptr>(leaf.get()), category->item);
        }
        m_view.SetItemExpanded(category->item, true);
    }
    m_view.EndUpdate();
    m_view.RedrawItem(nullptr);
}

CCloudEffectListTreeViewAdapter::Node* CCloudEffectListTreeViewAdapter::NodeOf(
    const toolkit::TreeItem* item) const {
    return item ? reinterpret_cast<Node*>(STreeView::ItemData(item)) : nullptr;
}

std::filesystem::path CCloudEffectListTreeViewAdapter::LocalPath(const Node& node) const {
    return node.localPath;
}

bool CCloudEffectListTreeViewAdapter::IsDownloaded(const Node& node) const {
    return node.IsLeaf() && IsEffectDownloaded(m_cloud.DataFolder(), node.downloadFlag,
                                               model::RecordText(node.entry.category),
                                               model::RecordText(node.entry.location));
}

void CCloudEffectListTreeViewAdapter::MarkCurrent(std::u16string_view path) {
    Node* before = nullptr;
    Node* now = nullptr;
    ForEachLeaf([&](Node& leaf) {
        if (leaf.current) {
            before = &leaf;
        }
        leaf.current = false;
        if (!now && !path.empty() &&
            SameIgnoringCase(model::TextFromPath(LocalPath(leaf)), path)) {
            now = &leaf;
        }
    });
    if (now) {
        now->current = true;
    }
    if (before != now) {
        if (now) {
            // Followed by the end-to-end tests: lyntctl's use reaches the panel's tree.
            VLOG_INFO("cloud", "CCloudEffectListTreeViewAdapter::MarkCurrent",
                      "current cloud effect %s", platform::profile::ToUtf8(now->name).c_str());
        }
        if (before) {
            m_view.RedrawItem(before->item);
        }
        if (now) {
            m_view.RedrawItem(now->item);
        }
    }
}

void CCloudEffectListTreeViewAdapter::RefreshMarks() {
    ForEachLeaf([&](Node& leaf) { leaf.downloadFlag = m_cloud.DownloadMark(leaf.entry); });
    m_view.RedrawItem(nullptr);
}

toolkit::TreeItemLook CCloudEffectListTreeViewAdapter::GetItemLook(
    const toolkit::TreeItem* item) const {
    toolkit::TreeItemLook look;
    const Node* node = NodeOf(item);
    if (!node) {
        return look;
    }
    if (node->IsLeaf()) {
        look.text = Shown(node->name);
        look.current = node->current;
        // The flag was read with the file's mark; drawing does not touch the disk.
        look.downloaded = node->downloadFlag != 0;
    } else {
        look.text = QStringLiteral("%1 [%2]").arg(Shown(node->name)).arg(node->children.size());
    }
    return look;
}

void CCloudEffectListTreeViewAdapter::Use(Node& node) {
    if (!m_page.UseEffectFile(node.name, LocalPath(node))) {
        m_page.Tip(QStringLiteral("%1音效使用失败!").arg(Shown(node.name)));
    }
}

void CCloudEffectListTreeViewAdapter::StoreInSlot(Node& node, int slot) {
    if (!m_page.SaveEffectToSlot(model::TextFromPath(LocalPath(node)), slot, node.name)) {
        m_page.Tip(QStringLiteral("保存%1音效失败!").arg(Shown(node.name)));
    }
}

void CCloudEffectListTreeViewAdapter::StartDownload(Node& node) {
    if (m_cloud.StartDownload(node.entry) == CloudDownloadStart::kFailed) {
        m_page.Tip(QStringLiteral("%1音效下载失败").arg(Shown(node.name)));
        m_clicks.Finished(true, false);  // nothing is coming for it
    }
}

void CCloudEffectListTreeViewAdapter::OnItemDblClick(toolkit::TreeItem* item) {
    Node* node = NodeOf(item);
    if (!node || !node->IsLeaf()) {
        return;
    }
    m_clicks.Clicked(node);
    if (node->current) {
        return;
    }
    if (IsDownloaded(*node)) {
        Use(*node);
    } else {
        StartDownload(*node);
    }
}

std::vector<int> CCloudEffectListTreeViewAdapter::MenuCommands(const Node* node) const {
    if (node && node->IsLeaf()) {
        std::vector<int> ids{kCmdSlot1, kCmdSlot2, kCmdRefresh};
        if (!IsDownloaded(*node)) {
            ids.push_back(kCmdDownload);
        }
        return ids;
    }
    return {kCmdRefresh};
}

void CCloudEffectListTreeViewAdapter::OnItemContextMenu(toolkit::TreeItem* item,
                                                        const QPoint& screenPos) {
    Node* node = NodeOf(item);
    toolkit::CMenu menu;
    if (!menu.LoadMenu(QStringLiteral("SMENU:menu_effect"))) {
        return;
    }
    const std::vector<int> ids = MenuCommands(node);
    const bool leaf = node && node->IsLeaf();
    if (!leaf) {
        // The slots' submenu has no command of its own: it is found by its first entry.
        if (QAction* first = menu.FindItem(kCmdSlot1)) {
            if (auto* sub = qobject_cast<QMenu*>(first->parent())) {
                menu.Native()->removeAction(sub->menuAction());
            }
        }
    }
    menu.InsertItem(-1, kCmdRefresh, QStringLiteral("刷新音效"));
    if (leaf && std::find(ids.begin(), ids.end(), kCmdDownload) != ids.end()) {
        menu.InsertItem(-1, kCmdDownload, QStringLiteral("下载音效"));
    }
    const unsigned generation = m_generation;
    const int chosen = menu.TrackPopupMenu(screenPos);
    // The menu's wait ran the event loop: a fetch may have rebuilt the tree meanwhile, and the
    // node is gone then.
    if (chosen != 0 && generation == m_generation) {
        OnMenuCommand(node, chosen);
    }
}

void CCloudEffectListTreeViewAdapter::OnMenuCommand(Node* node, int command) {
    if (command == kCmdRefresh) {
        Clear();
        m_page.StartCloudListFetch();
        return;
    }
    if (!node || !node->IsLeaf()) {
        return;
    }
    if (command == kCmdSlot1 || command == kCmdSlot2) {
        const int slot = command - 200;
        m_clicks.SlotRequested(node, slot);
        if (IsDownloaded(*node)) {
            m_clicks.Finished(true, true);  // used at once: nothing is pending
            StoreInSlot(*node, slot);
        } else {
            StartDownload(*node);
        }
    } else if (command == kCmdDownload) {
        m_clicks.Clicked(node);
        StartDownload(*node);
    }
}

void CCloudEffectListTreeViewAdapter::OnFileEnd(const CloudFileEnd& end) {
    Node* last = static_cast<Node*>(const_cast<void*>(m_clicks.LastClicked()));
    // Every effect with this file shows its new state.
    ForEachLeaf([&](Node& leaf) {
        if (LocalPath(leaf) == end.destination) {
            leaf.downloadFlag = end.success ? 1 : 0;
        }
    });
    const bool lastEnded = last && LocalPath(*last) == end.destination;
    const CCloudClickState::Decision d = m_clicks.Finished(lastEnded, end.success);
    switch (d.action) {
        case CCloudClickState::Action::kUse:
            Use(*last);
            break;
        case CCloudClickState::Action::kStoreSlot:
            StoreInSlot(*last, d.slot);
            break;
        case CCloudClickState::Action::kTipFailed:
            // A full disk is the user's to fix: say so rather than blame the download.
            m_page.Tip(end.error == appbase::DiskFullText()
                           ? QString::fromStdU16String(end.error)
                           : QStringLiteral("%1音效下载失败").arg(Shown(last->name)));
            break;
        case CCloudClickState::Action::kNone:
            break;
    }
    m_view.RedrawItem(nullptr);
}

}  // namespace effects::ui
