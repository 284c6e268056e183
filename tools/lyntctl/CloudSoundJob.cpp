#include "CloudSoundJob.h"

#include <stdlib.h>
#include <unistd.h>

#include <climits>
#include <system_error>

#include "CtlSession.h"
#include "profile/ProfileText.h"

namespace ctl {

using platform::profile::ToUtf8;

bool ParseCloudId(const std::string& text, int32_t* id) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value <= 0 || value > INT32_MAX) {
        return false;
    }
    *id = static_cast<int32_t>(value);
    return true;
}

CCloudSoundJob::CCloudSoundJob(std::filesystem::path moodFile, std::filesystem::path dataFolder,
                               std::string baseUrl) {
    // The copy lives beside the file (same private folder); the store writes only to it.
    std::string pattern = moodFile.string() + ".lyntctl-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd >= 0) {
        ::close(fd);
        m_copy = pattern;
        std::error_code ec;
        if (std::filesystem::exists(moodFile, ec)) {
            std::filesystem::copy_file(moodFile, m_copy,
                                       std::filesystem::copy_options::overwrite_existing, ec);
        }
        m_store.Init(m_copy);
    }
    m_cloud = std::make_unique<sound::CCloudSoundLibrary>(m_store, std::move(dataFolder),
                                                          std::move(baseUrl));
}

CCloudSoundJob::~CCloudSoundJob() {
    m_cloud.reset();  // waits for its workers before the store goes
    if (!m_copy.empty()) {
        std::error_code ec;
        std::filesystem::remove(m_copy, ec);
    }
}

bool CCloudSoundJob::Start(int32_t cloudId, Done done) {
    if (m_copy.empty()) {
        return false;
    }
    m_id = cloudId;
    m_done = std::move(done);
    m_cloud->SetListListener([this](bool ok) { OnList(ok); });
    m_cloud->SetFileListener([this](const sound::CloudFileOutcome& o) { OnFile(o); });
    return m_cloud->StartFetch();
}

void CCloudSoundJob::OnList(bool ok) {
    if (!ok) {
        End(kExitNoAnswer, {}, "cloud: " + ToUtf8(m_cloud->LastListError()));
        return;
    }
    for (size_t k = 0; k < m_store.CategoryCount(); ++k) {
        const auto items = m_store.CategoryItems(k);
        for (size_t i = 0; i < items.size(); ++i) {
            if (items[i].cloudId != m_id) {
                continue;
            }
            const int32_t pad = sound::CCloudSoundLibrary::PadId(k, i);
            if (m_cloud->StartDownload(pad, sound::kCloudPlay) !=
                sound::CloudDownloadStart::kStarted) {
                End(kExitNoAnswer, {}, "cloud: 下载文件失败");
            }
            return;
        }
    }
    End(kExitUsage, {}, "no cloud sound " + std::to_string(m_id));
}

void CCloudSoundJob::OnFile(const sound::CloudFileOutcome& outcome) {
    if (!outcome.ready) {
        End(kExitNoAnswer, {}, "cloud: " + ToUtf8(outcome.error));
        return;
    }
    End(kExitOk, outcome.item, {});
}

void EmitCloudClip(const COutput& out, int32_t id, const sound::MoodItem& clip) {
    const std::string path = ToUtf8(sound::ClipPath(clip));
    Json::Value o;
    o["type"] = "cloud_sound";
    o["id"] = static_cast<Json::Int>(id);
    o["name"] = ToUtf8(sound::ClipName(clip));
    o["path"] = path;
    out.Emit(path, o);
}

void CCloudSoundJob::End(int status, const sound::MoodItem& clip, const std::string& error) {
    if (m_finished) {
        return;
    }
    m_finished = true;
    // The copy has served: nothing of the job writes to it any more.
    std::error_code ec;
    std::filesystem::remove(m_copy, ec);
    if (m_done) {
        m_done(status, clip, error);
    }
}

}  // namespace ctl
