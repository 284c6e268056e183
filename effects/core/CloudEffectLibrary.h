#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "CloudEffectEvents.h"
#include "EffectRecords.h"
#include "ccm_util/EventBus.h"

class CWorkSpace;

namespace effects {

class CCloudEffectListDownloader;
class CCloudEffectDetailDownloader;

// A finished effect-file download, as the library hands it to its listener.
struct CloudFileEnd {
    std::filesystem::path destination;
    bool success = false;
    std::u16string error;
};

enum class CloudDownloadStart {
    kStarted,  // a worker downloads it; the end follows
    kRunning,  // that file is being downloaded already; its end follows
    kFailed,   // no usable local path for it, or the worker did not start
};

// The cloud effects as the effects page (and lyntctl) use them, on the UI thread:
//
//   CCloudEffectLibrary cloud(dataFolder, &workspace);
//   cloud.SetListListener([&](bool ok) { ok ? Rebuild() : ShowFailurePanelSoon(); });
//   cloud.SetFileListener([&](const CloudFileEnd& end) { ... use / store / tip ... });
//   cloud.StartFetch();
//   cloud.StartDownload(entry);
//
// It owns the workers (at most one list worker; one file worker per destination file), listens
// for their end events, keeps the last list, stores a download record for every finished
// download (settings file and the workspace's list) and deletes each worker before it tells the
// listener. Deleting the library stops and waits for its workers.
class CCloudEffectLibrary {
public:
    // workspace: where download records go (may be null: none are kept).
    CCloudEffectLibrary(std::filesystem::path dataFolder, CWorkSpace* workspace,
                        std::string baseUrl = DefaultBaseUrl());
    ~CCloudEffectLibrary();
    CCloudEffectLibrary(const CCloudEffectLibrary&) = delete;
    CCloudEffectLibrary& operator=(const CCloudEffectLibrary&) = delete;

    static std::string DefaultBaseUrl();

    void SetListListener(std::function<void(bool success)> listener);
    void SetFileListener(std::function<void(const CloudFileEnd&)> listener);

    // Starts fetching the list; false when a fetch runs already (it goes on and reports).
    bool StartFetch();
    bool IsFetching() const { return m_list != nullptr; }
    // Stops a running fetch without reporting it (the page goes).
    void StopFetch();
    const std::vector<model::CloudEffectEntry>& Entries() const { return m_entries; }
    const std::u16string& LastListError() const { return m_listError; }

    // Where an entry's file goes; empty when its names are not usable.
    std::filesystem::path LocalPath(const model::CloudEffectEntry& entry) const;
    // The download mark of the entry's file as the tree is built (0 when the file is missing).
    int DownloadMark(const model::CloudEffectEntry& entry) const;

    CloudDownloadStart StartDownload(const model::CloudEffectEntry& entry);
    bool IsDownloading(const std::filesystem::path& destination) const;
    size_t DownloadsRunning() const { return m_files.size(); }

    const std::filesystem::path& DataFolder() const { return m_dataFolder; }

private:
    void OnListFinished(const EventThreadCloudEffectFinishEvent& e);
    void OnFileFinished(const EventCommonThreadFinishEvent& e);

    const std::filesystem::path m_dataFolder;
    CWorkSpace* m_workspace;
    const std::string m_baseUrl;
    std::unique_ptr<CCloudEffectListDownloader> m_list;
    std::vector<model::CloudEffectEntry> m_entries;
    std::u16string m_listError;
    // By destination: one download per file.
    std::map<std::filesystem::path, std::unique_ptr<CCloudEffectDetailDownloader>> m_files;
    // Name and category of each running download, for its record.
    std::map<std::filesystem::path, model::CloudEffectEntry> m_fileEntries;
    std::function<void(bool)> m_listListener;
    std::function<void(const CloudFileEnd&)> m_fileListener;
    ccm_util::CEventSubscription m_listSub;
    ccm_util::CEventSubscription m_fileSub;
};

// What the tree does when a download ends: the last clicked effect is used, or stored in the
// remote-control slot asked for while it downloaded. Nodes are only compared, never followed.
class CCloudClickState {
public:
    enum class Action { kNone, kUse, kStoreSlot, kTipFailed };
    struct Decision {
        Action action = Action::kNone;
        int slot = -1;
    };

    // A double-click or "下载音效" on node: it becomes the last clicked effect; a slot asked for
    // before is dropped, since the user now wants the effect used.
    void Clicked(const void* node);
    // "遥控器自定义1/2" on node while it is not downloaded: stored in that slot when it arrives.
    void SlotRequested(const void* node, int slot);
    // The tree was emptied: nothing is clicked or pending any more.
    void Forget();
    const void* LastClicked() const { return m_last; }
    int PendingSlot() const { return m_pendingSlot; }

    // A download ended; lastClickedEnded: it was the last clicked effect's file.
    Decision Finished(bool lastClickedEnded, bool success);

private:
    const void* m_last = nullptr;
    const void* m_pendingNode = nullptr;
    int m_pendingSlot = -1;
};

}  // namespace effects
