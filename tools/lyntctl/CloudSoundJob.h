#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "CloudSoundLibrary.h"
#include "MoodConfig.h"
#include "Output.h"

namespace ctl {

// One cloud clip fetched for lyntctl: the cloud's lists, then the clip with that id into the
// downloads folder. It runs on the thread whose dispatcher delivers the event bus (lyntctl pumps
// it; the panel runs it on its UI thread), and reports once.
//
// The lists and the download go through a store of the job's own, read from a copy of the
// sound-pad file, so the job never writes that file: the caller adds the finished clip to the
// store that owns the file (the panel's own, while the panel runs).
class CCloudSoundJob {
public:
    // status: kExitOk with the downloaded clip, else the exit status and the error text.
    using Done =
        std::function<void(int status, const sound::MoodItem& clip, const std::string& error)>;

    CCloudSoundJob(std::filesystem::path moodFile, std::filesystem::path dataFolder,
                   std::string baseUrl);
    ~CCloudSoundJob();
    CCloudSoundJob(const CCloudSoundJob&) = delete;
    CCloudSoundJob& operator=(const CCloudSoundJob&) = delete;

    // False (done not called) when the fetch cannot even start.
    bool Start(int32_t cloudId, Done done);
    bool Finished() const { return m_finished; }

private:
    void OnList(bool ok);
    void OnFile(const sound::CloudFileOutcome& outcome);
    void End(int status, const sound::MoodItem& clip, const std::string& error);

    std::filesystem::path m_copy;  // the job's own copy of the sound-pad file
    sound::CMoodConfig m_store;
    std::unique_ptr<sound::CCloudSoundLibrary> m_cloud;
    int32_t m_id = 0;
    Done m_done;
    bool m_finished = false;
};

// What lyntctl prints for a downloaded clip: its path (JSON: id, name, path).
void EmitCloudClip(const COutput& out, int32_t id, const sound::MoodItem& clip);

// Parses the ID of `cloud sound ID`; false when it is not a positive 32-bit number.
bool ParseCloudId(const std::string& text, int32_t* id);

}  // namespace ctl
