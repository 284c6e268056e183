#include "ParamEntries.h"

#include <algorithm>

namespace card {

void EncodeParamEntry(uint8_t* at, int id, int group, int value) {
    at[0] = static_cast<uint8_t>(id);
    at[1] = static_cast<uint8_t>(((group & 0x0F) << 4) | ((value >> 8) & 0x0F));
    at[2] = static_cast<uint8_t>(value & 0xFF);
}

int DecodeParamEntries(const Frame& frame, const std::function<void(const ParamEntry&)>& fn) {
    int count = std::min<int>(frame[kParamCountOffset], kMaxParamEntries);
    for (int i = 0; i < count; ++i) {
        const uint8_t* e = frame.data() + kParamEntriesOffset + i * kParamEntrySize;
        fn(ParamEntry{e[0], ((e[1] & 0x0F) << 8) | e[2]});
    }
    return count;
}

}  // namespace card
