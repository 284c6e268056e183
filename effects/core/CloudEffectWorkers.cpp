#include "CloudEffectWorkers.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <new>
#include <system_error>

#include "DataFolder.h"
#include "DiskSpace.h"
#include "CloudEffectAnswer.h"
#include "CloudEffectEvents.h"
#include "CloudEffectFiles.h"
#include "LibCurlHelper/LibCurlHelper.h"
#include "Log/Log.h"
#include "profile/ProfileText.h"

#define LOG_SOURCE "effects\\core\\CloudEffectWorkers"

namespace effects {

using platform::profile::FromUtf8;
using platform::profile::ToUtf8;

namespace {
constexpr char kListPath[] = "/api/effect_sound/getSoundByCategory.json";
constexpr char kListForm[] = "genreId=15&pageNumber=1&categoryId=-1&pageSize=10000";
}  // namespace

CCloudEffectListDownloader::CCloudEffectListDownloader(std::string baseUrl)
    : m_baseUrl(std::move(baseUrl)) {
    m_buffer.reset(new (std::nothrow) char[kAnswerCapacity]);
    m_capacity = m_buffer ? kAnswerCapacity : 0;
}

CCloudEffectListDownloader::~CCloudEffectListDownloader() {
    Join();
}

bool CCloudEffectListDownloader::Fetch(std::vector<model::CloudEffectEntry>& entries) {
    entries.clear();
    int n = -1;
    if (m_capacity > 0) {
        std::memset(m_buffer.get(), 0, m_capacity);
        n = CLibCurlHelper::HttpPost(m_baseUrl + kListPath, kListForm, m_buffer.get(), m_capacity,
                                     [this] { return IsStopRequested(); });
    }
    // Read as a zero-terminated string: an answer that fills the buffer has no terminator.
    if (n <= 0 || static_cast<size_t>(n) >= m_capacity) {
        m_error = u"从服务器获取云音效列表失败";
        return false;
    }
    std::u16string message;
    switch (ReadEffectListAnswer(std::string_view(m_buffer.get(), static_cast<size_t>(n)), entries,
                                 message)) {
        case EffectListResult::kBadJson:
            m_error = u"解析json数据失败";
            return false;
        case EffectListResult::kNotOk:
            m_error = message;
            return false;
        case EffectListResult::kOk:
            break;
    }
    return true;
}

int CCloudEffectListDownloader::Run() {
    auto event = std::make_shared<EventThreadCloudEffectFinishEvent>();
    bool ok = false;
    try {
        ok = Fetch(event->entries);
    } catch (const std::exception& e) {
        m_error = u"从服务器获取云音效列表失败";
        VLOG_ERROR("cloud", "CCloudEffectListDownloader::Run", "%s", e.what());
    }
    if (!ok) {
        event->entries.clear();
        VLOG_ERROR("cloud", "CCloudEffectListDownloader::Run", "effect list failed: %s",
                   ToUtf8(m_error).c_str());
    }
    event->sender = this;
    event->success = ok ? 1 : 0;
    event->error = m_error;
    ccm_util::EventBus::Instance().Post(std::move(event));
    return ok ? 0 : 1;
}

CCloudEffectDetailDownloader::CCloudEffectDetailDownloader(std::filesystem::path dataFolder,
                                                           std::string url,
                                                           std::filesystem::path destination)
    : m_dataFolder(std::move(dataFolder)),
      m_url(std::move(url)),
      m_destination(std::move(destination)) {}

CCloudEffectDetailDownloader::~CCloudEffectDetailDownloader() {
    Join();
}

bool CCloudEffectDetailDownloader::Download() {
    const std::filesystem::path folder = m_destination.parent_path();
    if (!appbase::CreateFolders(folder)) {
        VLOG_ERROR("cloud", "CCloudEffectDetailDownloader::Run", "no folder %s",
                   folder.string().c_str());
        return false;
    }
    // The size is told only once the answer comes: the reserve is asked for first, and again
    // while the file grows.
    appbase::CDiskWatch disk(m_destination);
    if (disk.Full()) {
        m_diskFull = true;
        return false;
    }
    std::string pattern = m_destination.string() + ".XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        VLOG_ERROR("cloud", "CCloudEffectDetailDownloader::Run", "no temporary file in %s: %s",
                   folder.string().c_str(), std::strerror(errno));
        return false;
    }
    ::close(fd);
    const std::filesystem::path part(pattern);
    bool ok = CLibCurlHelper::HttpGetFile(m_url, part, [this, &disk] {
                  return IsStopRequested() || disk.Full();
              }) == 1;
    m_diskFull = !ok && disk.Full();
    std::error_code ec;
    if (ok) {
        std::filesystem::rename(part, m_destination, ec);
        if (ec) {
            VLOG_ERROR("cloud", "CCloudEffectDetailDownloader::Run", "cannot keep %s: %s",
                       m_destination.string().c_str(), ec.message().c_str());
            ok = false;
        }
    }
    if (!ok) {
        std::filesystem::remove(part, ec);
    }
    return ok;
}

int CCloudEffectDetailDownloader::Run() {
    bool ok = false;
    try {
        ok = Download();
        const std::u16string fileName = FromUtf8(m_destination.filename().string());
        WriteDownloadMark(m_dataFolder, fileName, ok);
        if (!ok) {
            // Whatever an earlier download left is no longer what the marks say.
            std::error_code ec;
            std::filesystem::remove(m_destination, ec);
            m_error = m_diskFull ? appbase::DiskFullText() : u"下载云音效数据失败";
        }
    } catch (const std::exception& e) {
        ok = false;
        m_error = u"下载云音效数据失败";
        VLOG_ERROR("cloud", "CCloudEffectDetailDownloader::Run", "%s", e.what());
    }
    auto event = std::make_shared<EventCommonThreadFinishEvent>();
    event->kind = EventCommonThreadFinishEvent::kEffectFileKind;
    event->sender = this;
    event->destination = m_destination;
    event->success = ok ? 1 : 0;
    event->error = m_error;
    ccm_util::EventBus::Instance().Post(std::move(event));
    return ok ? 0 : 1;
}

}  // namespace effects
