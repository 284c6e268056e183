#include "FirmwareVersion.h"

#include <cstdio>
#include <cstdlib>

namespace firmware {

namespace {

// The numbers of a version; text that is not a number counts as 0, as atoi would read it.
void SplitVersion(const std::string& text, long long out[4]) {
    size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        out[i] = 0;
        if (pos > text.size()) {
            continue;
        }
        size_t dot = text.find('.', pos);
        std::string part =
            text.substr(pos, dot == std::string::npos ? std::string::npos : dot - pos);
        out[i] = std::strtoll(part.c_str(), nullptr, 10);
        pos = dot == std::string::npos ? text.size() + 1 : dot + 1;
    }
}

}  // namespace

std::string Trim(const std::string& text) {
    const char* spaces = " \t\r\n";
    size_t first = text.find_first_not_of(spaces);
    if (first == std::string::npos) {
        return {};
    }
    size_t last = text.find_last_not_of(spaces);
    return text.substr(first, last - first + 1);
}

int CompareVersions(const std::string& a, const std::string& b) {
    long long va[4];
    long long vb[4];
    SplitVersion(Trim(a), va);
    SplitVersion(Trim(b), vb);
    for (int i = 0; i < 4; ++i) {
        if (va[i] != vb[i]) {
            return va[i] < vb[i] ? -1 : 1;
        }
    }
    return 0;
}

bool ConditionHolds(const std::string& condition, const std::string& version) {
    const std::string c = Trim(condition);
    if (c.size() < 2) {
        return false;
    }
    const int diff = CompareVersions(version, c.substr(1));
    switch (c[0]) {
        case 'E':
            return diff == 0;
        case 'G':
            return diff > 0;
        case 'L':
            return diff < 0;
        default:
            return false;
    }
}

std::string CardVersionText(uint8_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d", value / 10, value % 10);
    return text;
}

std::string ServerVersionText(long long currentVer) {
    char text[48];
    std::snprintf(text, sizeof text, "%lld.%lld", currentVer / 1000000,
                  (currentVer % 1000000) / 1000);
    return text;
}

}  // namespace firmware
