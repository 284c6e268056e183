#include "ReportDescriptor.h"

#include <map>
#include <vector>

namespace {

struct Globals {
    uint32_t reportSize = 0;
    uint32_t reportCount = 0;
    uint32_t reportId = 0;
};

uint32_t ItemValue(const uint8_t* p, int size) {
    uint32_t v = 0;
    for (int i = 0; i < size; ++i) {
        v |= static_cast<uint32_t>(p[i]) << (8 * i);
    }
    return v;
}

int BytesOf(const std::map<uint32_t, uint64_t>& bitsPerReport) {
    uint64_t most = 0;
    for (const auto& [id, bits] : bitsPerReport) {
        most = std::max(most, bits);
    }
    if (most == 0) {
        return 0;
    }
    uint64_t bytes = (most + 7) / 8 + 1;
    return bytes > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(bytes);
}

}  // namespace

bool ParseReportDescriptor(const uint8_t* data, size_t size, ReportLengths* out) {
    Globals g;
    std::vector<Globals> stack;
    std::map<uint32_t, uint64_t> inputBits;
    std::map<uint32_t, uint64_t> outputBits;
    bool numbered = false;

    size_t i = 0;
    while (i < size) {
        uint8_t prefix = data[i];
        if (prefix == 0xFE) {  // long item: size byte, tag byte, data
            if (i + 2 >= size) {
                return false;
            }
            i += 3 + data[i + 1];
            continue;
        }
        int itemSize = prefix & 0x03;
        if (itemSize == 3) {
            itemSize = 4;
        }
        if (i + 1 + static_cast<size_t>(itemSize) > size) {
            return false;
        }
        uint32_t value = ItemValue(data + i + 1, itemSize);
        uint8_t tagType = prefix & 0xFC;
        switch (tagType) {
            case 0x74: g.reportSize = value; break;
            case 0x94: g.reportCount = value; break;
            case 0x84:
                g.reportId = value;
                numbered = true;
                break;
            case 0xA4: stack.push_back(g); break;
            case 0xB4:
                if (stack.empty()) {
                    return false;
                }
                g = stack.back();
                stack.pop_back();
                break;
            case 0x80:
                inputBits[g.reportId] += static_cast<uint64_t>(g.reportSize) * g.reportCount;
                break;
            case 0x90:
                outputBits[g.reportId] += static_cast<uint64_t>(g.reportSize) * g.reportCount;
                break;
            default: break;
        }
        i += 1 + static_cast<size_t>(itemSize);
    }
    out->input = BytesOf(inputBits);
    out->output = BytesOf(outputBits);
    out->numbered = numbered;
    return true;
}
