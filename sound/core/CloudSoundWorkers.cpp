#include "CloudSoundWorkers.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <new>
#include <system_error>

#include "CloudSoundEvents.h"
#include "CloudSoundNames.h"
#include "DiskSpace.h"
#include "LibCurlHelper/LibCurlHelper.h"
#include "Log/Log.h"
#include "MoodConfig.h"
#include "profile/ProfileText.h"

#define LOG_SOURCE "sound\\core\\CloudSoundWorkers"

namespace sound {

using platform::profile::FromUtf8;
using platform::profile::ToUtf8;

namespace {

constexpr char kCategoryPath[] = "/api/live/getSpecialEffectCategory.json";
constexpr char kClipPath[] = "/api/live/findByCategory.json";

}  // namespace

CCloudSoundListDownloader::CCloudSoundListDownloader(CMoodConfig& store, std::string baseUrl)
    : m_store(store), m_baseUrl(std::move(baseUrl)) {
    m_buffer.reset(new (std::nothrow) char[kAnswerCapacity]);
    m_capacity = m_buffer ? kAnswerCapacity : 0;
}

CCloudSoundListDownloader::~CCloudSoundListDownloader() {
    Join();
}

int CCloudSoundListDownloader::Post(const std::string& path, const char* form) {
    if (m_capacity == 0) {
        return -1;
    }
    std::memset(m_buffer.get(), 0, m_capacity);
    const int n = CLibCurlHelper::HttpPost(m_baseUrl + path, form, m_buffer.get(), m_capacity,
                                           [this] { return IsStopRequested(); });
    // The answer is read as a zero-terminated string: one that fills the buffer has no room
    // for the terminator and is refused like an oversized one.
    return static_cast<size_t>(n) >= m_capacity ? -1 : n;
}

bool CCloudSoundListDownloader::FetchCategories(std::vector<CloudCategoryRecord>& out) {
    const int n = Post(kCategoryPath, nullptr);
    if (n <= 0) {
        m_error = u"从服务器获取特效分类失败";
        return false;
    }
    std::u16string message;
    switch (ReadCategoryAnswer(std::string_view(m_buffer.get(), static_cast<size_t>(n)), out,
                               message)) {
        case PayloadResult::kBadJson:
            m_error = u"解析json数据失败";
            return false;
        case PayloadResult::kNotOk:
            m_error = message;
            return false;
        case PayloadResult::kOk:
            break;
    }
    return true;
}

void CCloudSoundListDownloader::FetchClips(int32_t categoryId, size_t index) {
    const std::string form = "categoryId=" + std::to_string(categoryId);
    const int n = Post(kClipPath, form.c_str());
    if (n <= 0) {
        m_error = u"从服务器获取分类中的特效失败";
        return;
    }
    std::vector<MoodItem> clips;
    std::u16string message;
    switch (
        ReadClipAnswer(std::string_view(m_buffer.get(), static_cast<size_t>(n)), clips, message)) {
        case PayloadResult::kBadJson:
            m_error = u"解析JSON数据失败";
            return;
        case PayloadResult::kNotOk:
            m_error = message;
            return;
        case PayloadResult::kOk:
            break;
    }
    m_store.AppendCategoryItems(index, clips);
}

int CCloudSoundListDownloader::Run() {
    std::vector<CloudCategoryRecord> categories;
    const bool ok = FetchCategories(categories);
    if (ok) {
        m_store.ClearCategories();
        for (const CloudCategoryRecord& record : categories) {
            if (IsStopRequested()) {
                break;
            }
            const std::u16string name = CleanDisplayName(FromUtf8(record.name), 63);
            if (name.empty()) {
                continue;  // the store refuses it
            }
            const int index = m_store.AddCategory(name, {});
            if (index >= 0) {
                FetchClips(record.id, static_cast<size_t>(index));
            }
        }
    } else {
        VLOG_ERROR("cloud", "CCloudSoundListDownloader::Run", "category list failed: %s",
                   ToUtf8(m_error).c_str());
    }
    auto event = std::make_shared<EventThreadCloudSoundFinishEvent>();
    event->worker = this;
    event->success = ok ? 1 : 0;
    event->error = m_error;
    ccm_util::EventBus::Instance().Post(std::move(event));
    return ok ? 0 : 1;
}

CCloudSoundFileDownloader::CCloudSoundFileDownloader(const MoodItem& entry,
                                                     std::filesystem::path destination,
                                                     int32_t padId, int32_t mode)
    : m_entry(entry), m_destination(std::move(destination)), m_padId(padId), m_mode(mode) {}

CCloudSoundFileDownloader::~CCloudSoundFileDownloader() {
    Join();
}

int CCloudSoundFileDownloader::Run() {
    bool ok = false;
    // The size is told only once the answer comes: the reserve is asked for first, and again
    // while the file grows.
    appbase::CDiskWatch disk(m_destination);
    if (m_entry.kind == kMoodCloud && disk.Full()) {
        m_error = appbase::DiskFullText();
    } else if (m_entry.kind == kMoodCloud) {
        // Into a file of its own beside the destination, which it replaces only when complete:
        // a failed download leaves the previous copy (and anyone else's file) alone.
        std::string temp =
            (m_destination.parent_path() / ("." + m_destination.filename().string() + ".XXXXXX"))
                .string();
        const int fd = ::mkstemp(temp.data());
        if (fd >= 0) {
            ::close(fd);
            ok = CLibCurlHelper::HttpGetFile(ToUtf8(ClipPath(m_entry)), temp, [this, &disk] {
                     return IsStopRequested() || disk.Full();
                 }) == 1;
            std::error_code ec;
            if (ok) {
                std::filesystem::rename(temp, m_destination, ec);
                ok = !ec;
            }
            if (!ok) {
                std::filesystem::remove(temp, ec);
            }
        } else {
            VLOG_ERROR("cloud", "CCloudSoundFileDownloader::Run", "cannot create a file in %s",
                       m_destination.parent_path().string().c_str());
        }
        if (!ok) {
            m_error = disk.Full() ? appbase::DiskFullText() : u"下载文件失败";
        }
    } else {
        m_error = u"错误的参数";
    }
    auto event = std::make_shared<EventCloudSoundFileReady>();
    event->worker = this;
    event->cloudId = m_entry.cloudId;
    event->padId = m_padId;
    event->path = m_destination;
    event->name = ClipName(m_entry);
    event->mode = m_mode;
    event->success = ok;
    event->error = m_error;
    ccm_util::EventBus::Instance().Post(std::move(event));
    return ok ? 0 : 1;
}

}  // namespace sound
