#include "ConfigData.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <string>

#include "DataFolder.h"
#include "Log/Log.h"
#include "profile/Profile.h"

#define LOG_SOURCE "AppBase\\ConfigData"

namespace pp = platform::profile;

namespace {

constexpr const char* kTag = "config";

// First start: a file that holds only the UTF-16LE byte-order mark, so every later
// write keeps the file in UTF-16.
bool CreateWithByteOrderMark(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return errno == EEXIST;  // someone else created it meanwhile: fine
    }
    static constexpr unsigned char kBom[] = {0xFF, 0xFE};
    ssize_t n;
    do {
        n = ::write(fd, kBom, sizeof kBom);
    } while (n < 0 && errno == EINTR);
    const bool ok = n == static_cast<ssize_t>(sizeof kBom) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!ok || !closed) {
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

}  // namespace

CConfigData::CConfigData() {
    for (const SettingRow& row : kTable) {
        m_values[static_cast<size_t>(row.index)] = row.defaultValue;
    }
}

CConfigData& CConfigData::Instance() {
    static CConfigData instance;
    return instance;
}

std::filesystem::path CConfigData::DefaultPath() {
    const std::filesystem::path folder = appbase::DataFolder();
    std::error_code ec;
    if (folder.empty() || !std::filesystem::is_directory(folder, ec)) {
        VLOG_ERROR(kTag, "CConfigData::DefaultPath", "no data folder: no settings file");
        return {};
    }
    return folder / kFileName;
}

bool CConfigData::Load(const std::filesystem::path& path) {
    m_path.clear();
    m_loaded = false;
    for (const SettingRow& row : kTable) {
        m_values[static_cast<size_t>(row.index)] = row.defaultValue;
    }
    if (path.empty() || !path.is_absolute()) {
        VLOG_ERROR(kTag, "CConfigData::Load",
                   "no settings file in a data folder (path \"%s\"); using the defaults",
                   path.c_str());
        return false;
    }
    m_path = path;
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
        if (!CreateWithByteOrderMark(path)) {
            VLOG_ERROR(kTag, "CConfigData::Load", "cannot create %s: %s; using the defaults",
                       path.c_str(), std::strerror(errno));
        }
    }
    for (const SettingRow& row : kTable) {
        m_values[static_cast<size_t>(row.index)] =
            pp::GetPrivateProfileInt(config_keys::kSettings, row.key, row.defaultValue, m_path);
    }
    m_loaded = true;
    return true;
}

int CConfigData::GetInt(int index) const {
    if (index < 0 || index >= kSettingCount) {
        VLOG_ERROR(kTag, "CConfigData::GetInt", "unknown setting index %d", index);
        return 0;
    }
    return m_values[static_cast<size_t>(index)];
}

bool CConfigData::SetDownloadCount(long count) {
    return pp::WritePrivateProfileString(config_keys::kDownloadEffect, config_keys::kCount,
                                         std::to_string(count), m_path);
}

long CConfigData::GetDownloadCount() const {
    const int count =
        pp::GetPrivateProfileInt(config_keys::kDownloadEffect, config_keys::kCount, 0, m_path);
    return count < 0 ? 0 : count;
}

bool CConfigData::AddDownloadRecord(const void* record, size_t size) {
    if (record == nullptr || m_path.empty()) {
        return false;
    }
    // A negative count from a hand-edited file would put the record under a key that no reader
    // asks for; start again at 0 instead.
    const long count = GetDownloadCount();
    return pp::CProfileBatch()
        .WriteStruct(config_keys::kDownloadEffect, std::to_string(count), record, size)
        .WriteString(config_keys::kDownloadEffect, config_keys::kCount, std::to_string(count + 1))
        .Commit(m_path);
}

std::u16string CConfigData::GetLastRecordTime() const {
    char16_t buffer[kTextBufferChars];
    const uint32_t n = pp::GetPrivateProfileString(config_keys::kTime, config_keys::kLastRecordTime,
                                                   u"", buffer, kTextBufferChars, m_path);
    return std::u16string(buffer, n);
}

bool CConfigData::SetLastRecordTime(std::u16string_view text) {
    return pp::WritePrivateProfileString(config_keys::kTime, config_keys::kLastRecordTime, text,
                                         m_path);
}
