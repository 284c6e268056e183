#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "CloudSoundEvents.h"
#include "MoodItem.h"
#include "ccm_util/EventBus.h"

namespace sound {

class CMoodConfig;
class CCloudSoundListDownloader;
class CCloudSoundFileDownloader;

// The cloud sound library as the sound-pad page (and lyntctl) uses it, on the UI thread:
//
//   CCloudSoundLibrary cloud(store, appbase::DataFolder());
//   cloud.SetListListener([&](bool ok) { ok ? RebuildCloudTabs() : ShowRetryLink(); });
//   cloud.SetFileListener([&](const CloudFileOutcome& o) { ... play / tip / send ... });
//   cloud.StartFetch();                       // page start and the retry link
//   cloud.StartDownload(padId, kCloudPlay);   // a click on a cloud pad
//
// It owns the workers, listens for their end events on the event bus, keeps the entries'
// download states and the downloaded and favourite lists in the store up to date, deletes each
// worker, then tells the listener. Deleting the library waits for its workers.
struct CloudFileOutcome {
    int32_t padId = 0;
    int32_t mode = kCloudPlay;
    MoodItem item{};                // kind 1: the downloaded file (valid when ready)
    bool ready = false;             // downloaded and the file is there
    bool fileMissing = false;       // the download reported success but the file is gone
    bool alreadyFavourite = false;  // mode 1: a favourite with this path existed
    bool favouriteAdded = false;    // mode 1: added now
    std::u16string error;           // failure: the worker's text for the tip
};

enum class CloudDownloadStart {
    kStarted,     // a worker is downloading; the outcome follows
    kDownloaded,  // already here: LocalCopy gives the item, no traffic
    kIgnored,     // no such entry, not a cloud entry, or being downloaded already
    kFailed,      // the download folder cannot be made, or the path would leave it
};

class CCloudSoundLibrary {
public:
    static constexpr int32_t kFirstPadId = 18000;  // pad id of category 0, entry 0
    static constexpr int32_t kPadsPerCategory = 1000;
    static constexpr size_t kMaxTabs = 7;

    CCloudSoundLibrary(CMoodConfig& store, std::filesystem::path dataFolder,
                       std::string baseUrl = DefaultBaseUrl());
    ~CCloudSoundLibrary();
    CCloudSoundLibrary(const CCloudSoundLibrary&) = delete;
    CCloudSoundLibrary& operator=(const CCloudSoundLibrary&) = delete;

    static std::string DefaultBaseUrl();

    void SetListListener(std::function<void(bool success)> listener);
    void SetFileListener(std::function<void(const CloudFileOutcome&)> listener);

    // Starts fetching the categories and their clips; false when a fetch runs already.
    bool StartFetch();
    bool IsFetching() const { return m_list != nullptr; }
    // The list worker's error text after a failed fetch.
    const std::u16string& LastListError() const { return m_listError; }

    // Number of cloud tabs to show: the categories, at most kMaxTabs.
    size_t TabCount() const;

    static int32_t PadId(size_t category, size_t index);
    // False for an id outside the cloud pads.
    static bool PadEntry(int32_t padId, size_t& category, size_t& index);

    // A click (mode 0), "add to favourites" (1) or "send to card" (2) on a cloud pad. Ignored
    // while a download to the same file runs. releasePlayer is called when an old copy of the
    // file exists: the page's player may have it open.
    CloudDownloadStart StartDownload(int32_t padId, int32_t mode,
                                     const std::function<void()>& releasePlayer = {});
    // The downloaded file of a cloud pad whose entry is downloaded and whose file exists.
    std::optional<MoodItem> LocalCopy(int32_t padId) const;
    // Where the entry's file goes: the URL's last part, or with the clip's id added when another
    // clip's file (downloaded or downloading) has that name; empty when that would not be
    // inside the download folder.
    std::filesystem::path Destination(const MoodItem& entry) const;
    size_t DownloadsRunning() const { return m_files.size(); }

private:
    bool ClaimedByAnother(const std::filesystem::path& path, int32_t cloudId) const;
    void OnListFinished(const EventThreadCloudSoundFinishEvent& e);
    void OnFileReady(const EventCloudSoundFileReady& e);

    CMoodConfig& m_store;
    const std::filesystem::path m_dataFolder;
    const std::string m_baseUrl;
    std::unique_ptr<CCloudSoundListDownloader> m_list;
    std::u16string m_listError;
    std::map<const void*, std::unique_ptr<CCloudSoundFileDownloader>> m_files;
    std::function<void(bool)> m_listListener;
    std::function<void(const CloudFileOutcome&)> m_fileListener;
    ccm_util::CEventSubscription m_listSub;
    ccm_util::CEventSubscription m_fileSub;
};

}  // namespace sound
