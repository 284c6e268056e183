#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "CloudSoundPayload.h"
#include "MoodItem.h"
#include "ccm_util/ThreadObject.h"

namespace sound {

class CMoodConfig;

// Fetches the cloud's sound categories and each category's clips into the store, then posts
// EventThreadCloudSoundFinishEvent. The store must outlive the worker.
class CCloudSoundListDownloader : public ccm_util::CThreadObject {
public:
    static constexpr size_t kAnswerCapacity = 102400;

    // baseUrl: the server's base address (CloudBaseUrl()).
    CCloudSoundListDownloader(CMoodConfig& store, std::string baseUrl);
    ~CCloudSoundListDownloader() override;

    // Valid after the end event.
    const std::u16string& Error() const { return m_error; }

protected:
    int Run() override;

private:
    bool FetchCategories(std::vector<CloudCategoryRecord>& out);
    void FetchClips(int32_t categoryId, size_t index);
    int Post(const std::string& path, const char* form);

    CMoodConfig& m_store;
    const std::string m_baseUrl;
    std::unique_ptr<char[]> m_buffer;
    size_t m_capacity = 0;  // 0 when the buffer could not be allocated
    std::u16string m_error;
};

// Downloads one cloud clip to its destination, then posts EventCloudSoundFileReady.
class CCloudSoundFileDownloader : public ccm_util::CThreadObject {
public:
    CCloudSoundFileDownloader(const MoodItem& entry, std::filesystem::path destination,
                              int32_t padId, int32_t mode);
    ~CCloudSoundFileDownloader() override;

    const MoodItem& Entry() const { return m_entry; }
    const std::filesystem::path& Destination() const { return m_destination; }

protected:
    int Run() override;

private:
    const MoodItem m_entry;
    const std::filesystem::path m_destination;
    const int32_t m_padId;
    const int32_t m_mode;
    std::u16string m_error;
};

}  // namespace sound
