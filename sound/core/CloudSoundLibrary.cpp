#include "CloudSoundLibrary.h"

#include <algorithm>
#include <system_error>

#include "CloudSoundNames.h"
#include "CloudSoundWorkers.h"
#include "DataFolder.h"
#include "LibCurlHelper/LibCurlHelper.h"
#include "Log/Log.h"
#include "MoodConfig.h"
#include "profile/ProfileText.h"

#define LOG_SOURCE "sound\\core\\CloudSoundLibrary"

namespace sound {

namespace {
constexpr uint32_t kWorkerStopMs = 100;
// A transfer notices a stop request within about a second; only a longer wait is worth a log line.
constexpr uint32_t kQuitWarnMs = 1500;
}  // namespace

CCloudSoundLibrary::CCloudSoundLibrary(CMoodConfig& store, std::filesystem::path dataFolder,
                                       std::string baseUrl)
    : m_store(store), m_dataFolder(std::move(dataFolder)), m_baseUrl(std::move(baseUrl)) {
    m_listSub = ccm_util::CEventSubscription::Of<EventThreadCloudSoundFinishEvent>(
        [this](const EventThreadCloudSoundFinishEvent& e) { OnListFinished(e); });
    m_fileSub = ccm_util::CEventSubscription::Of<EventCloudSoundFileReady>(
        [this](const EventCloudSoundFileReady& e) { OnFileReady(e); });
}

CCloudSoundLibrary::~CCloudSoundLibrary() {
    // No event may reach us while the workers are joined and freed.
    m_listSub.Reset();
    m_fileSub.Reset();
    // All are asked to stop first: each transfer ends within about a second of its request, so
    // the waits overlap instead of adding up.
    if (m_list) {
        m_list->StopEvent().Set();
    }
    for (auto& [key, worker] : m_files) {
        worker->StopEvent().Set();
    }
    if (m_list) {
        m_list->StopAndJoin(kQuitWarnMs);
    }
    for (auto& [key, worker] : m_files) {
        worker->StopAndJoin(kQuitWarnMs);
    }
}

std::string CCloudSoundLibrary::DefaultBaseUrl() {
    return CloudBaseUrl();
}

void CCloudSoundLibrary::SetListListener(std::function<void(bool)> listener) {
    m_listListener = std::move(listener);
}

void CCloudSoundLibrary::SetFileListener(std::function<void(const CloudFileOutcome&)> listener) {
    m_fileListener = std::move(listener);
}

bool CCloudSoundLibrary::StartFetch() {
    if (m_list) {
        return false;
    }
    m_list = std::make_unique<CCloudSoundListDownloader>(m_store, m_baseUrl);
    if (!m_list->StartThread()) {
        m_list.reset();
        return false;
    }
    return true;
}

size_t CCloudSoundLibrary::TabCount() const {
    return std::min(m_store.CategoryCount(), kMaxTabs);
}

int32_t CCloudSoundLibrary::PadId(size_t category, size_t index) {
    return kFirstPadId + static_cast<int32_t>(category) * kPadsPerCategory +
           static_cast<int32_t>(index);
}

bool CCloudSoundLibrary::PadEntry(int32_t padId, size_t& category, size_t& index) {
    if (padId < kFirstPadId) {
        return false;
    }
    category = static_cast<size_t>((padId - kFirstPadId) / kPadsPerCategory);
    index = static_cast<size_t>(padId % kPadsPerCategory);
    return true;
}

bool CCloudSoundLibrary::ClaimedByAnother(const std::filesystem::path& path,
                                          int32_t cloudId) const {
    for (const MoodItem& item : m_store.Downloaded()) {
        if (item.cloudId != cloudId && ClipFilePath(item) == path) {
            return true;
        }
    }
    for (const auto& [key, worker] : m_files) {
        if (worker->Entry().cloudId != cloudId && worker->Destination() == path) {
            return true;
        }
    }
    return false;
}

std::filesystem::path CCloudSoundLibrary::Destination(const MoodItem& entry) const {
    if (m_dataFolder.empty()) {
        return {};
    }
    const std::filesystem::path folder = CloudSoundFolder(m_dataFolder);
    const std::u16string name = CloudFileName(ClipPath(entry), entry.cloudId);
    // Two clips may end their URLs alike: the second gets its id in the name, so neither
    // download overwrites (or, failing, deletes) the other's file.
    std::filesystem::path path = folder / platform::profile::ToUtf8(name);
    if (ClaimedByAnother(path, entry.cloudId)) {
        const std::filesystem::path plain(platform::profile::ToUtf8(name));
        path = folder / (plain.stem().string() + "_" + std::to_string(entry.cloudId) +
                         plain.extension().string());
        if (ClaimedByAnother(path, entry.cloudId)) {
            VLOG_ERROR("cloud", "CCloudSoundLibrary::Destination", "no free name for clip %d",
                       entry.cloudId);
            return {};
        }
    }
    if (!IsInsideFolder(folder, path)) {
        VLOG_ERROR("cloud", "CCloudSoundLibrary::Destination", "refused path %s",
                   path.string().c_str());
        return {};
    }
    return path;
}

std::optional<MoodItem> CCloudSoundLibrary::LocalCopy(int32_t padId) const {
    size_t category = 0;
    size_t index = 0;
    std::optional<MoodItem> entry;
    if (PadEntry(padId, category, index)) {
        entry = m_store.CloudItem(category, index);
    }
    if (!entry || entry->kind != kMoodCloud || entry->downloadState != kCloudDownloaded) {
        return std::nullopt;
    }
    std::optional<MoodItem> local = m_store.FindDownloaded(entry->cloudId);
    std::error_code ec;
    if (!local || !std::filesystem::is_regular_file(ClipFilePath(*local), ec)) {
        return std::nullopt;
    }
    return local;
}

CloudDownloadStart CCloudSoundLibrary::StartDownload(int32_t padId, int32_t mode,
                                                     const std::function<void()>& releasePlayer) {
    size_t category = 0;
    size_t index = 0;
    std::optional<MoodItem> entry;
    if (PadEntry(padId, category, index)) {
        entry = m_store.CloudItem(category, index);
    }
    if (!entry || entry->kind != kMoodCloud) {
        return CloudDownloadStart::kIgnored;
    }
    if (entry->downloadState == kCloudDownloaded && LocalCopy(padId)) {
        return CloudDownloadStart::kDownloaded;
    }
    if (entry->downloadState == kCloudDownloading) {
        return CloudDownloadStart::kIgnored;  // a second click while it downloads
    }
    if (!appbase::CreateFolders(CloudSoundFolder(m_dataFolder))) {
        VLOG_ERROR("cloud", "CCloudSoundLibrary::StartDownload", "no folder %s",
                   CloudSoundFolder(m_dataFolder).string().c_str());
        return CloudDownloadStart::kFailed;
    }
    const std::filesystem::path destination = Destination(*entry);
    if (destination.empty()) {
        return CloudDownloadStart::kFailed;
    }
    for (const auto& [key, running] : m_files) {
        if (running->Destination() == destination) {
            // The same clip listed in another category: its file is on its way already.
            return CloudDownloadStart::kIgnored;
        }
    }
    auto worker = std::make_unique<CCloudSoundFileDownloader>(*entry, destination, padId, mode);
    m_store.SetCloudItemState(category, index, kCloudDownloading);
    std::error_code ec;
    if (std::filesystem::exists(destination, ec) && releasePlayer) {
        // The old copy stays until the new one is complete and takes its place; the page's
        // player lets go of it all the same.
        releasePlayer();
    }
    if (!worker->StartThread()) {
        m_store.SetCloudItemState(category, index, kCloudIdle);
        return CloudDownloadStart::kFailed;
    }
    const void* key = worker.get();
    m_files.emplace(key, std::move(worker));
    return CloudDownloadStart::kStarted;
}

void CCloudSoundLibrary::OnListFinished(const EventThreadCloudSoundFinishEvent& e) {
    if (!m_list || e.worker != m_list.get()) {
        return;  // another library's worker
    }
    m_list->StopAndJoin(kWorkerStopMs);
    m_list.reset();
    m_listError = e.success ? std::u16string() : e.error;
    if (m_listListener) {
        m_listListener(e.success != 0);
    }
}

void CCloudSoundLibrary::OnFileReady(const EventCloudSoundFileReady& e) {
    auto it = m_files.find(e.worker);
    if (it == m_files.end()) {
        return;
    }
    size_t category = 0;
    size_t index = 0;
    const bool known = PadEntry(e.padId, category, index);
    if (known) {
        m_store.SetCloudItemState(category, index, kCloudIdle);
    }

    CloudFileOutcome outcome;
    outcome.padId = e.padId;
    outcome.mode = e.mode;
    std::error_code ec;
    if (e.success && std::filesystem::is_regular_file(e.path, ec) &&
        MakeClip(outcome.item, kMoodFile, e.name, platform::profile::FromUtf8(e.path.string()),
                 e.cloudId)) {
        if (known) {
            m_store.SetCloudItemState(category, index, kCloudDownloaded);
        }
        m_store.AddDownloaded(outcome.item);
        outcome.ready = true;
        if (e.mode == kCloudFavourite) {
            if (m_store.IsFavourite(outcome.item)) {
                outcome.alreadyFavourite = true;
            } else {
                outcome.favouriteAdded = m_store.AddFavourite(outcome.item);
            }
        }
    } else if (e.success) {
        outcome.fileMissing = true;
        outcome.error = u"未找到下载的特效文件";
    } else {
        outcome.error = e.error;
    }

    it->second->StopAndJoin(kWorkerStopMs);
    m_files.erase(it);
    if (m_fileListener) {
        m_fileListener(outcome);
    }
}

}  // namespace sound
