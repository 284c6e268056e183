// CWorkSpace: sending an effect file to the card.
#include "Log/Log.h"
#include "QVAudioProtocol.h"
#include "WorkSpace.h"

#define LOG_SOURCE "model\\WorkSpaceEffectFile"

using namespace model;

bool CWorkSpace::LoadEffectFile(const std::filesystem::path& path) {
    EffectFileContents file;
    if (!ReadEffectFile(path, file, &m_effectHeader)) {
        return false;
    }
    // The values go to the card with the download itself; here they only update the workspace.
    ApplyParamSection(file.params);
    std::vector<card::Frame> frames;
    if (!BuildEffectDownloadFrames(file, m_caps, frames)) {
        return false;
    }
    if (!m_protocol) {
        VLOG_ERROR("effect", "CWorkSpace::LoadEffectFile", "no card protocol");
        return false;
    }
    if (!m_protocol->StartDownload(std::move(frames))) {
        VLOG_ERROR("effect", "CWorkSpace::LoadEffectFile", "a download runs already; %s not sent",
                   path.string().c_str());
        return false;
    }
    return true;
}

void CWorkSpace::ApplyParamSection(std::span<const EffectParamRecord> records) {
    for (const EffectParamRecord& r : records) {
        // Numbers count from 1; number 1 (parameter 0, a volume) never comes from a file.
        if (r.number < 2 || r.number > kParamCount) {
            continue;
        }
        const ParamDescriptor& d = m_descriptors[r.number - 1];
        int value = 0;
        if (d.effect && MapEffectParamValue(r, d, value)) {
            m_current.params[d.id] = value;
        }
    }
}
