#include "CloudEffectLibrary.h"

#include <system_error>

#include "CloudEffectFiles.h"
#include "CloudEffectWorkers.h"
#include "LibCurlHelper/LibCurlHelper.h"
#include "Log/Log.h"
#include "WorkSpace.h"
#include "profile/ProfileText.h"

#define LOG_SOURCE "effects\\core\\CloudEffectLibrary"

namespace effects {

namespace {
constexpr uint32_t kWorkerStopMs = 100;
// A transfer notices a stop request within about a second; only a longer wait is worth a log line.
constexpr uint32_t kQuitWarnMs = 1500;
}  // namespace

CCloudEffectLibrary::CCloudEffectLibrary(std::filesystem::path dataFolder, CWorkSpace* workspace,
                                         std::string baseUrl)
    : m_dataFolder(std::move(dataFolder)), m_workspace(workspace), m_baseUrl(std::move(baseUrl)) {
    m_listSub = ccm_util::CEventSubscription::Of<EventThreadCloudEffectFinishEvent>(
        [this](const EventThreadCloudEffectFinishEvent& e) { OnListFinished(e); });
    m_fileSub = ccm_util::CEventSubscription::Of<EventCommonThreadFinishEvent>(
        [this](const EventCommonThreadFinishEvent& e) { OnFileFinished(e); });
}

CCloudEffectLibrary::~CCloudEffectLibrary() {
    // No end event may reach us while the workers are joined and freed.
    m_listSub.Reset();
    m_fileSub.Reset();
    // All are asked first, so the waits overlap instead of adding up.
    if (m_list) {
        m_list->StopEvent().Set();
    }
    for (auto& [path, worker] : m_files) {
        worker->StopEvent().Set();
    }
    if (m_list) {
        m_list->StopAndJoin(kQuitWarnMs);
    }
    for (auto& [path, worker] : m_files) {
        worker->StopAndJoin(kQuitWarnMs);
    }
}

std::string CCloudEffectLibrary::DefaultBaseUrl() {
    return CloudBaseUrl();
}

void CCloudEffectLibrary::SetListListener(std::function<void(bool)> listener) {
    m_listListener = std::move(listener);
}

void CCloudEffectLibrary::SetFileListener(std::function<void(const CloudFileEnd&)> listener) {
    m_fileListener = std::move(listener);
}

bool CCloudEffectLibrary::StartFetch() {
    if (m_list) {
        return false;
    }
    m_list = std::make_unique<CCloudEffectListDownloader>(m_baseUrl);
    if (!m_list->StartThread()) {
        m_list.reset();
        return false;
    }
    return true;
}

void CCloudEffectLibrary::StopFetch() {
    if (m_list) {
        m_list->StopAndJoin(kQuitWarnMs);
        m_list.reset();  // its end event, if posted, names a worker that is gone: ignored
    }
}

std::filesystem::path CCloudEffectLibrary::LocalPath(const model::CloudEffectEntry& entry) const {
    return CloudEffectLocalPath(m_dataFolder, model::RecordText(entry.category),
                                model::RecordText(entry.location));
}

int CCloudEffectLibrary::DownloadMark(const model::CloudEffectEntry& entry) const {
    return DownloadMarkOf(m_dataFolder, model::RecordText(entry.category),
                          model::RecordText(entry.location));
}

bool CCloudEffectLibrary::IsDownloading(const std::filesystem::path& destination) const {
    return m_files.count(destination) != 0;
}

CloudDownloadStart CCloudEffectLibrary::StartDownload(const model::CloudEffectEntry& entry) {
    const std::filesystem::path destination = LocalPath(entry);
    if (destination.empty()) {
        return CloudDownloadStart::kFailed;
    }
    if (IsDownloading(destination)) {
        return CloudDownloadStart::kRunning;
    }
    auto worker = std::make_unique<CCloudEffectDetailDownloader>(
        m_dataFolder, platform::profile::ToUtf8(model::RecordText(entry.location)), destination);
    if (!worker->StartThread()) {
        return CloudDownloadStart::kFailed;
    }
    m_fileEntries[destination] = entry;
    m_files.emplace(destination, std::move(worker));
    return CloudDownloadStart::kStarted;
}

void CCloudEffectLibrary::OnListFinished(const EventThreadCloudEffectFinishEvent& e) {
    if (!m_list || e.sender != m_list.get()) {
        return;  // another library's worker, or one stopped before it ended
    }
    m_list->StopAndJoin(kWorkerStopMs);
    m_list.reset();
    if (e.success) {
        m_entries = e.entries;
        m_listError.clear();
    } else {
        m_listError = e.error;
    }
    if (m_listListener) {
        m_listListener(e.success != 0);
    }
}

void CCloudEffectLibrary::OnFileFinished(const EventCommonThreadFinishEvent& e) {
    if (e.kind != EventCommonThreadFinishEvent::kEffectFileKind) {
        return;
    }
    auto it = m_files.find(e.destination);
    if (it == m_files.end() || it->second.get() != e.sender) {
        return;
    }
    it->second->StopAndJoin(kWorkerStopMs);
    m_files.erase(it);
    model::CloudEffectEntry entry = m_fileEntries[e.destination];
    m_fileEntries.erase(e.destination);

    CloudFileEnd end;
    end.destination = e.destination;
    end.error = e.error;
    std::error_code ec;
    end.success = e.success && std::filesystem::is_regular_file(e.destination, ec);
    if (end.success && m_workspace) {
        const model::CloudEffectEntry record = MakeDownloadRecord(
            model::RecordText(entry.name), model::RecordText(entry.category), e.destination);
        if (!m_workspace->RecordDownloadedEffect(record)) {
            VLOG_ERROR("cloud", "CCloudEffectLibrary::OnFileFinished",
                       "download record of %s not stored", e.destination.string().c_str());
        }
    }
    if (m_fileListener) {
        m_fileListener(end);
    }
}

void CCloudClickState::Clicked(const void* node) {
    m_last = node;
    m_pendingNode = nullptr;
    m_pendingSlot = -1;
}

void CCloudClickState::SlotRequested(const void* node, int slot) {
    m_last = node;
    m_pendingNode = node;
    m_pendingSlot = slot;
}

void CCloudClickState::Forget() {
    m_last = nullptr;
    m_pendingNode = nullptr;
    m_pendingSlot = -1;
}

CCloudClickState::Decision CCloudClickState::Finished(bool lastClickedEnded, bool success) {
    Decision d;
    if (!lastClickedEnded) {
        return d;  // another effect's download: the slot asked for the last clicked one waits
    }
    if (!success) {
        d.action = Action::kTipFailed;
    } else if (m_pendingNode == m_last && m_pendingSlot > 0) {
        d.action = Action::kStoreSlot;
        d.slot = m_pendingSlot;
    } else {
        d.action = Action::kUse;
    }
    m_pendingNode = nullptr;
    m_pendingSlot = -1;
    return d;
}

}  // namespace effects
