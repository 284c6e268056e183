#include "EffectView.h"

#include "ParamTables.h"

namespace effects {

namespace {

// The device effect button of each card effect number 0..6.
constexpr int kButtonOfEffectNumber[] = {1, 2, 3, 4, 0, 5, 6};
constexpr int kDeviceButtons = 7;

char16_t Fold(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool SameIgnoringCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (Fold(a[i]) != Fold(b[i])) {
            return false;
        }
    }
    return true;
}

template <size_t N>
std::u16string_view Text(const char16_t (&field)[N]) {
    size_t n = 0;
    while (n < N && field[n] != 0) {
        ++n;
    }
    return {field, n};
}

}  // namespace

EffectCovers CoversFor(int effectNumber, bool downloaded) {
    if (downloaded) {
        return {Cover::Shown, Cover::Hidden, Cover::Hidden, Cover::Hidden};
    }
    switch (((effectNumber % 16) + 16) % 16) {
        case 2:
        case 4:
            return {Cover::Hidden, Cover::Unchanged, Cover::Shown, Cover::Shown};
        case 3:
        case 5:
        case 6:
            return {Cover::Shown, Cover::Hidden, Cover::Hidden, Cover::Hidden};
        case 8:
            return {Cover::Hidden, Cover::Shown, Cover::Unchanged, Cover::Hidden};
        default:
            return {Cover::Hidden, Cover::Hidden, Cover::Hidden, Cover::Shown};
    }
}

int CustomSlotWithSource(const std::array<model::EffectRecord, 12>& custom,
                         std::u16string_view source) {
    if (source.empty()) {
        return -1;  // an unsaved slot's empty source names nothing
    }
    for (size_t s = 0; s < custom.size(); ++s) {
        if (SameIgnoringCase(Text(custom[s].source), source)) {
            return static_cast<int>(s);
        }
    }
    return -1;
}

EffectView DeriveEffectView(const model::EffectRecord& current,
                            const std::array<model::EffectRecord, 12>& custom) {
    EffectView view;
    const int number = current.params[model::kParamEffectNumber];
    view.covers = CoversFor(number, current.downloaded != 0);
    if (current.downloaded) {
        if (number == 5 || number == 6) {
            view.checkedButton = number;
            view.effectPage = 0;
        } else if (number > 64) {
            const int slot = CustomSlotWithSource(custom, Text(current.source));
            if (slot >= 0) {
                view.checkedButton = kDeviceButtons + slot;
                view.effectPage = 1;
            }
        }
        return view;
    }
    view.followVoiceTab = true;
    if (number >= 0 && number <= 6) {
        view.checkedButton = kButtonOfEffectNumber[number];
        view.effectPage = 0;
    } else {
        if (current.slotTag >= 0 && current.slotTag <= 13) {
            view.checkedButton = current.slotTag + 5;
        }
        view.effectPage = 1;
    }
    return view;
}

int EffectNumberOfIdentifier(std::u16string_view identifier) {
    int value = 0;
    for (char16_t c : identifier) {
        if (c < u'0' || c > u'9') {
            break;
        }
        if (value > 100000000) {
            return -1;  // no effect has such a number; keeps the sum from overflowing
        }
        value = value * 10 + (c - u'0');
    }
    return value + 7;
}

}  // namespace effects
