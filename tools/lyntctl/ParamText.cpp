#include "ParamText.h"

#include <strings.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "profile/ProfileText.h"

namespace ctl {

namespace {

constexpr int kMuteBit = 0x80;

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool IsEq(const model::ParamDescriptor& d) {
    return d.id >= model::kParamEqFirst && d.id <= model::kParamEqLast;
}

// The raw range a value may take beyond the descriptor's maximum: bit fields carry more than one
// switch.
int RawMaximum(const model::ParamDescriptor& d) {
    return d.kind == model::kKindSwitch ? 0xFF : d.maximum;
}

std::string Shown(const model::ParamDescriptor& d, double value) {
    char text[64];
    if (IsEq(d)) {
        std::snprintf(text, sizeof text, "%.1f", value);
    } else {
        std::snprintf(text, sizeof text, "%ld", std::lround(value));
    }
    return text;
}

}  // namespace

std::string ParamName(const model::ParamDescriptor& d) {
    return platform::profile::ToUtf8(d.name);
}

bool ParseDecimal(const std::string& text, long min, long max, long* out) {
    size_t at = text.starts_with('-') || text.starts_with('+') ? 1 : 0;
    if (text.size() == at || text.size() > 12 ||
        text.find_first_not_of("0123456789", at) != std::string::npos) {
        return false;
    }
    const long v = std::strtol(text.c_str(), nullptr, 10);
    if (v < min || v > max) {
        return false;
    }
    *out = v;
    return true;
}

int FindParam(const std::string& arg) {
    const auto& list = model::ParamDescriptors();
    long id = 0;
    if (ParseDecimal(arg, 0, static_cast<long>(list.size()) - 1, &id)) {
        return static_cast<int>(id);
    }
    for (const auto& d : list) {
        if (SameIgnoringCase(d.key, arg) || ParamName(d) == arg) {
            return d.id;
        }
    }
    return -1;
}

bool HasMuteBit(int id) {
    for (const auto& sw : model::SwitchDescriptors()) {
        if (sw.id == id && sw.maximum == kMuteBit) {
            return true;
        }
    }
    return false;
}

double ShownValue(const model::ParamDescriptor& d, int raw) {
    const int level = HasMuteBit(d.id) ? raw & ~kMuteBit : raw;
    return level * static_cast<double>(d.scale) + d.offset;
}

std::string DisplayValue(const model::ParamDescriptor& d, int raw) {
    return Shown(d, ShownValue(d, raw));
}

std::string RangeText(const model::ParamDescriptor& d) {
    const std::string unit = d.shownUnit.empty() ? "" : " " + std::string(d.shownUnit);
    std::string text =
        Shown(d, d.offset) + " to " + Shown(d, d.maximum * d.scale + d.offset) + unit;
    if (d.scale != 1.0f) {
        text += " in steps of " + Shown(d, d.scale);
    }
    text += " (raw:0-" + std::to_string(RawMaximum(d)) + ")";
    if (HasMuteBit(d.id)) {
        text += "; mute and unmute set its mute bit";
    }
    return text;
}

bool ParseSetValue(const model::ParamDescriptor& d, const std::string& text, int* raw,
                   bool* givenRaw) {
    long value = 0;
    if (givenRaw) {
        *givenRaw = false;
    }
    if (text.size() > 4 && SameIgnoringCase(std::string_view(text).substr(0, 4), "raw:")) {
        const bool mute = HasMuteBit(d.id);
        if (!ParseDecimal(text.substr(4), 0, mute ? 0xFF : RawMaximum(d), &value) ||
            (mute && (value & ~kMuteBit) > d.maximum)) {
            return false;
        }
        *raw = static_cast<int>(value);
        if (givenRaw) {
            *givenRaw = true;
        }
        return true;
    }
    std::string number = text;
    if (!d.shownUnit.empty() && number.size() > d.shownUnit.size() &&
        SameIgnoringCase(std::string_view(number).substr(number.size() - d.shownUnit.size()),
                         d.shownUnit)) {
        number.resize(number.size() - d.shownUnit.size());
    }
    // A decimal number: a whole one, or one with a fraction where the steps are fractions.
    const size_t point = number.find('.');
    std::string whole = point == std::string::npos ? number : number.substr(0, point);
    std::string fraction = point == std::string::npos ? "" : number.substr(point + 1);
    if (point != std::string::npos &&
        (fraction.empty() || fraction.size() > 6 ||
         fraction.find_first_not_of("0123456789") != std::string::npos)) {
        return false;
    }
    const bool negative = whole.starts_with('-');
    if (whole == "-" || whole == "+" || whole.empty()) {
        whole += "0";  // "-.5"
    }
    if (!ParseDecimal(whole, -1000000, 1000000, &value)) {
        return false;
    }
    double shown = static_cast<double>(value);
    if (!fraction.empty()) {
        const double part = std::strtod(("0." + fraction).c_str(), nullptr);
        shown += negative ? -part : part;
    }
    const double steps = (shown - d.offset) / static_cast<double>(d.scale);
    const long stepsRounded = std::lround(steps);
    if (std::fabs(steps - static_cast<double>(stepsRounded)) > 1e-3 || stepsRounded < 0 ||
        stepsRounded > RawMaximum(d)) {
        return false;
    }
    *raw = static_cast<int>(stepsRounded);
    return true;
}

std::string ParamLine(const model::ParamDescriptor& d, int raw) {
    std::string line = std::to_string(d.id) + " " + ParamName(d) + " " + std::string(d.key) + " " +
                       DisplayValue(d, raw) + std::string(d.shownUnit);
    if (HasMuteBit(d.id) && (raw & kMuteBit)) {
        line += " muted";
    }
    return line + " [" + std::to_string(raw) + "]";
}

Json::Value JsonNumber(double value) {
    const double rounded = std::round(value);
    if (std::fabs(value - rounded) < 1e-9 && std::fabs(rounded) < 1e15) {
        return Json::Value(static_cast<Json::Int64>(rounded));
    }
    return Json::Value(std::round(value * 1000) / 1000);
}

Json::Value ParamObject(const char* type, const model::ParamDescriptor& d, int raw) {
    Json::Value o;
    o["type"] = type;
    o["id"] = d.id;
    o["key"] = std::string(d.key);
    o["name"] = ParamName(d);
    const double shown = ShownValue(d, raw);
    o["value"] = JsonNumber(IsEq(d) ? std::round(shown * 10) / 10 : std::round(shown));
    if (!d.shownUnit.empty()) {
        o["unit"] = std::string(d.shownUnit);
    }
    if (HasMuteBit(d.id)) {
        o["muted"] = (raw & kMuteBit) != 0;
    }
    o["raw"] = raw;
    return o;
}

}  // namespace ctl
