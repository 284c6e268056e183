#pragma once

#include <QString>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "CloudEffectLibrary.h"
#include "EffectRecords.h"
#include "toolkit/TreeViewAdapter.h"

class STreeView;

namespace effects::ui {

class CEventHandlerEffect;

// The "云音效" tree: categories and their effects from the cloud list, each effect downloaded
// once into CloudEff and then used or stored in a remote-control slot through the page's
// operations. The nodes belong to the adapter alone; a download refers to its file, never to a
// node, so emptying the tree while files download leaves nothing dangling: a download whose
// node is gone is kept on disk and in the records, and nothing else happens.
class CCloudEffectListTreeViewAdapter : public toolkit::ITreeViewAdapter {
public:
    static constexpr int kCmdRefresh = 98;
    static constexpr int kCmdDownload = 99;
    static constexpr int kCmdSlot1 = 201;
    static constexpr int kCmdSlot2 = 202;

    struct Node {
        std::u16string name;  // a category's name, or an effect's (with "&" doubled)
        model::CloudEffectEntry entry{};
        std::filesystem::path localPath;  // where its file goes; empty when it cannot
        int downloadFlag = 0;
        bool current = false;
        Node* parent = nullptr;
        std::vector<std::unique_ptr<Node>> children;
        toolkit::TreeItem* item = nullptr;
        bool IsLeaf() const { return parent && parent->parent; }
    };

    // What the page does for the tree; tests stand in for it.
    class IPage {
    public:
        virtual ~IPage() = default;
        virtual bool UseEffectFile(std::u16string_view name, const std::filesystem::path& path) = 0;
        virtual bool SaveEffectToSlot(std::u16string_view identifier, int slot,
                                      std::u16string_view name) = 0;
        virtual void StartCloudListFetch() = 0;
        virtual void Tip(const QString& text) = 0;  // a warning, 2 s
    };

    CCloudEffectListTreeViewAdapter(IPage& page, STreeView& view, CCloudEffectLibrary& cloud);
    ~CCloudEffectListTreeViewAdapter() override;
    CCloudEffectListTreeViewAdapter(const CCloudEffectListTreeViewAdapter&) = delete;
    CCloudEffectListTreeViewAdapter& operator=(const CCloudEffectListTreeViewAdapter&) = delete;

    // Builds the tree from the library's list: categories in the order of their first effect,
    // expanded, effects in list order.
    void Rebuild();
    // Empties the view and the tree ("刷新音效").
    void Clear();
    // Marks the first effect whose local file is path (letter case ignored); empty clears.
    void MarkCurrent(std::u16string_view path);
    // Reads the download marks again (a download made elsewhere).
    void RefreshMarks();
    // The library's report of a finished download.
    void OnFileEnd(const CloudFileEnd& end);

    // The menu as it would show for node (null: empty space); null when it cannot be loaded.
    std::vector<int> MenuCommands(const Node* node) const;
    // A chosen menu command on node.
    void OnMenuCommand(Node* node, int command);

    // ITreeViewAdapter
    toolkit::TreeItemLook GetItemLook(const toolkit::TreeItem* item) const override;
    void OnItemDblClick(toolkit::TreeItem* item) override;
    void OnItemContextMenu(toolkit::TreeItem* item, const QPoint& screenPos) override;

    // For tests and lyntctl-driven changes.
    const Node& Root() const { return m_root; }
    Node* NodeOf(const toolkit::TreeItem* item) const;
    bool IsDownloaded(const Node& node) const;
    int PendingSlot() const { return m_clicks.PendingSlot(); }

private:
    void StartDownload(Node& node);
    void Use(Node& node);
    void StoreInSlot(Node& node, int slot);
    std::filesystem::path LocalPath(const Node& node) const;
    template <typename F>
    void ForEachLeaf(F&& f);

    IPage& m_page;
    STreeView& m_view;
    CCloudEffectLibrary& m_cloud;
    Node m_root;
    CCloudClickState m_clicks;
    unsigned m_generation = 0;  // counts the times the tree was emptied
};

}  // namespace effects::ui
