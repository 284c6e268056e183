#include "EffectRecords.h"

#include <algorithm>
#include <climits>
#include <string>

namespace model {

int LeadingDecimal(std::u16string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i] - u'0');
        if (value > static_cast<long long>(INT_MAX) + 1) {
            value = static_cast<long long>(INT_MAX) + 1;
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > INT_MAX) {
        return INT_MAX;
    }
    return static_cast<int>(value < INT_MIN ? INT_MIN : value);
}

std::u16string DecimalText(int value) {
    std::string narrow = std::to_string(value);
    return std::u16string(narrow.begin(), narrow.end());
}

namespace {
constexpr int kMaxCardValue = 0x0FFF;
int EffectNumberFrom(std::u16string_view indexText, int base) {
    return std::clamp(LeadingDecimal(indexText), 0, kMaxCardValue - base) + base;
}
}  // namespace

int DownloadedEffectNumber(std::u16string_view indexText) {
    return EffectNumberFrom(indexText, kDownloadedEffectBase);
}

int CustomFromDownloadNumber(std::u16string_view indexText) {
    return EffectNumberFrom(indexText, kCustomFromDownloadBase);
}

}  // namespace model
