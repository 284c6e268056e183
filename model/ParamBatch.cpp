#include "ParamBatch.h"

#include "ParamEntries.h"
#include "ParamTables.h"

namespace model {

std::vector<card::Frame> BuildSetParamsFrames(const std::map<int, int>& pending) {
    using namespace card;
    std::vector<Frame> frames;
    const auto& descriptors = ParamDescriptors();
    int inFrame = 0;
    for (const auto& [id, value] : pending) {
        if (!IsParamId(id)) {
            continue;
        }
        if (frames.empty() || inFrame == kMaxParamEntries) {
            Frame f{};
            f[0] = CMD_SET_PARAMS;
            f[kBatchIndexOffset] = static_cast<uint8_t>(frames.size());
            frames.push_back(f);
            inFrame = 0;
        }
        Frame& f = frames.back();
        EncodeParamEntry(f.data() + kParamEntriesOffset + inFrame * kParamEntrySize, id,
                         descriptors[static_cast<size_t>(id)].group, value);
        f[kParamCountOffset] = static_cast<uint8_t>(++inFrame);
    }
    if (!frames.empty()) {
        frames.back()[kLastFrameOffset] = 1;
    }
    return frames;
}

}  // namespace model
