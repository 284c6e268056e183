#include "CloudEffectFiles.h"

#include <system_error>

#include "CloudSoundNames.h"
#include "CloudEffFiles.h"
#include "EffectStore.h"
#include "Log/Log.h"
#include "profile/Profile.h"
#include "profile/ProfileText.h"

#define LOG_SOURCE "effects\\core\\CloudEffectFiles"

namespace effects {

namespace pp = platform::profile;

namespace {
// A path component; the record keeps at most 259 units of the whole path anyway.
constexpr size_t kMaxComponentUnits = 120;
}  // namespace

std::u16string CloudEffectFileName(std::u16string_view url) {
    size_t cut = url.rfind(u'/');
    if (cut == std::u16string_view::npos) {
        cut = url.rfind(u'\\');
    }
    std::u16string_view last = cut == std::u16string_view::npos ? url : url.substr(cut + 1);
    last = last.substr(0, last.find_first_of(u"?#"));
    return sound::SafeFileName(last, kMaxComponentUnits);
}

std::filesystem::path CloudEffectLocalPath(const std::filesystem::path& dataFolder,
                                           std::u16string_view category, std::u16string_view url) {
    if (dataFolder.empty()) {
        return {};
    }
    const std::u16string folder = sound::SafeFileName(category, kMaxComponentUnits);
    const std::u16string file = CloudEffectFileName(url);
    if (folder.empty() || file.empty()) {
        return {};
    }
    const std::filesystem::path base = model::CloudEffFolder(dataFolder);
    const std::filesystem::path path = base / pp::ToUtf8(folder) / pp::ToUtf8(file);
    if (!sound::IsInsideFolder(base, path)) {
        VLOG_ERROR("cloud", "CloudEffectLocalPath", "refused path %s", path.string().c_str());
        return {};
    }
    return path;
}

std::filesystem::path DownloadIniPath(const std::filesystem::path& dataFolder) {
    return model::CloudEffFolder(dataFolder) / pp::ToUtf8(kDownloadIni);
}

int ReadDownloadMark(const std::filesystem::path& dataFolder, std::u16string_view fileName) {
    if (dataFolder.empty() || fileName.empty()) {
        return 0;
    }
    return pp::GetPrivateProfileInt(kDownloadSection, fileName, 0, DownloadIniPath(dataFolder));
}

bool WriteDownloadMark(const std::filesystem::path& dataFolder, std::u16string_view fileName,
                       bool complete) {
    if (dataFolder.empty() || fileName.empty()) {
        return false;
    }
    return pp::WritePrivateProfileString(kDownloadSection, fileName, complete ? u"1" : u"0",
                                         DownloadIniPath(dataFolder));
}

int DownloadMarkOf(const std::filesystem::path& dataFolder, std::u16string_view category,
                   std::u16string_view url) {
    const std::filesystem::path path = CloudEffectLocalPath(dataFolder, category, url);
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec)) {
        return 0;
    }
    return ReadDownloadMark(dataFolder, CloudEffectFileName(url));
}

bool IsEffectDownloaded(const std::filesystem::path& dataFolder, int flag,
                        std::u16string_view category, std::u16string_view url) {
    return flag != 0 && DownloadMarkOf(dataFolder, category, url) != 0;
}

model::CloudEffectEntry MakeDownloadRecord(std::u16string_view name, std::u16string_view category,
                                           const std::filesystem::path& localPath) {
    model::CloudEffectEntry record{};
    model::SetRecordText(record.name, name);
    model::SetRecordText(record.category, category);
    model::SetRecordText(record.location, model::TextFromPath(localPath));
    record.reserved = 0;
    record.downloaded = 1;
    return record;
}

}  // namespace effects
