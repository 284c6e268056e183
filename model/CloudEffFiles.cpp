#include "CloudEffFiles.h"

#include <algorithm>
#include <system_error>

#include "Log/Log.h"

#define LOG_SOURCE "model\\CloudEffFiles"

namespace model {

std::filesystem::path CloudEffFolder(const std::filesystem::path& dataFolder) {
    return dataFolder / "CloudEff";
}

bool IsCloudEffectFile(const std::filesystem::path& dataFolder, const std::filesystem::path& file) {
    if (dataFolder.empty() || file.empty() || !file.is_absolute()) {
        return false;
    }
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::canonical(CloudEffFolder(dataFolder), ec);
    if (ec) {
        return false;
    }
    const std::filesystem::path target = std::filesystem::canonical(file, ec);
    if (ec || !std::filesystem::is_regular_file(target, ec)) {
        return false;
    }
    // Inside means: the folder's components are a proper prefix of the file's.
    auto [inFolder, inTarget] =
        std::mismatch(folder.begin(), folder.end(), target.begin(), target.end());
    return inFolder == folder.end() && inTarget != target.end();
}

bool DeleteCloudEffectFile(const std::filesystem::path& dataFolder,
                           const std::filesystem::path& file) {
    std::error_code ec;
    if (file.empty() || !std::filesystem::exists(file, ec)) {
        return false;  // nothing to delete
    }
    if (!IsCloudEffectFile(dataFolder, file)) {
        VLOG_ERROR("effect", "CWorkSpace::SaveMyCustomEffect",
                   "not deleting %s: not a downloaded effect file", file.string().c_str());
        return false;
    }
    if (!std::filesystem::remove(std::filesystem::canonical(file, ec), ec) || ec) {
        VLOG_ERROR("effect", "CWorkSpace::SaveMyCustomEffect", "cannot delete %s: %s",
                   file.string().c_str(), ec.message().c_str());
        return false;
    }
    return true;
}

}  // namespace model
