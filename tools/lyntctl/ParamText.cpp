#include "ParamText.h"

#include <cstdio>
#include <cstdlib>

#include "WorkSpace.h"
#include "profile/ProfileText.h"

namespace ctl {

std::string ParamName(const model::ParamDescriptor& d) {
    return platform::profile::ToUtf8(d.name);
}

int FindParam(const CWorkSpace& workspace, const std::string& arg) {
    const auto& list = workspace.Descriptors();
    char* end = nullptr;
    long id = std::strtol(arg.c_str(), &end, 10);
    if (!arg.empty() && *end == '\0') {
        return id >= 0 && id < static_cast<long>(list.size()) ? static_cast<int>(id) : -1;
    }
    for (const auto& d : list) {
        if (ParamName(d) == arg) {
            return d.id;
        }
    }
    return -1;
}

std::string DisplayValue(const model::ParamDescriptor& d, int raw) {
    std::string format = platform::profile::ToUtf8(d.format);
    double shown = raw * static_cast<double>(d.scale) + d.offset;
    char text[64];
    if (format.find('f') != std::string::npos) {
        std::snprintf(text, sizeof text, "%.1f", shown);
    } else {
        std::snprintf(text, sizeof text, "%d",
                      static_cast<int>(shown >= 0 ? shown + 0.5 : shown - 0.5));
    }
    return text;
}

bool ValueFits(const model::ParamDescriptor& d, long value) {
    if (value < 0 || value > 0x0FFF) {
        return false;
    }
    if (value <= d.maximum) {
        return true;
    }
    if (d.kind == model::kKindSwitch) {
        return value <= 0xFF;  // bit fields carry more than one switch
    }
    // Volumes carry their mute bit above the level.
    return d.sharedBits && d.maximum < 0x80 && value <= 0xFF && (value & 0x7F) <= d.maximum;
}

}  // namespace ctl
