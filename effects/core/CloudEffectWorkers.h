#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "EffectRecords.h"
#include "ccm_util/ThreadObject.h"

namespace effects {

// Fetches the cloud's effect list, then posts EventThreadCloudEffectFinishEvent with the entries.
class CCloudEffectListDownloader : public ccm_util::CThreadObject {
public:
    static constexpr size_t kAnswerCapacity = 102400;

    explicit CCloudEffectListDownloader(std::string baseUrl);
    ~CCloudEffectListDownloader() override;

protected:
    int Run() override;

private:
    bool Fetch(std::vector<model::CloudEffectEntry>& entries);

    const std::string m_baseUrl;
    std::unique_ptr<char[]> m_buffer;
    size_t m_capacity = 0;  // 0 when the buffer could not be allocated
    std::u16string m_error;
};

// Downloads one effect file to its destination, marks it in Download.ini ("1" complete, "0"
// failed), then posts EventCommonThreadFinishEvent. The body goes to a private temporary file
// beside the destination and is renamed over it only when complete, so a failed download (an
// error page included) leaves no file and two downloads of one file never write into each
// other.
class CCloudEffectDetailDownloader : public ccm_util::CThreadObject {
public:
    CCloudEffectDetailDownloader(std::filesystem::path dataFolder, std::string url,
                                 std::filesystem::path destination);
    ~CCloudEffectDetailDownloader() override;

    const std::filesystem::path& Destination() const { return m_destination; }

protected:
    int Run() override;

private:
    bool Download();

    const std::filesystem::path m_dataFolder;
    const std::string m_url;
    const std::filesystem::path m_destination;
    std::u16string m_error;
    bool m_diskFull = false;
};

}  // namespace effects
