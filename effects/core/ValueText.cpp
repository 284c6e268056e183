#include "ValueText.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>

#include "ParamBinding.h"

namespace effects {

namespace {

// Widths and precisions beyond this are refused, so a conversion always fits the buffer.
constexpr int kMaxFieldDigits = 2;

struct ParsedFormat {
    FormatKind kind = kFormatNone;
    std::u16string before;  // literal text, "%%" already made "%"
    std::u16string after;
    std::string conversion;  // "%", flags, width, precision; without the conversion letter
};

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// Digits at text[i...], at most kMaxFieldDigits of them; false when there are more.
bool TakeDigits(std::u16string_view text, size_t& i, std::string& conversion) {
    int n = 0;
    while (i < text.size() && IsDigit(text[i])) {
        if (++n > kMaxFieldDigits) {
            return false;
        }
        conversion.push_back(static_cast<char>(text[i++]));
    }
    return true;
}

ParsedFormat Parse(std::u16string_view format) {
    ParsedFormat out;
    ParsedFormat invalid;
    bool found = false;
    for (size_t i = 0; i < format.size(); ++i) {
        std::u16string& literal = found ? out.after : out.before;
        if (format[i] != u'%') {
            literal.push_back(format[i]);
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == u'%') {
            literal.push_back(u'%');
            ++i;
            continue;
        }
        if (found) {
            return invalid;  // a second conversion would read an argument that is not there
        }
        std::string conversion = "%";
        ++i;
        while (i < format.size() &&
               std::u16string_view(u"-+ #0").find(format[i]) != std::u16string_view::npos) {
            conversion.push_back(static_cast<char>(format[i++]));
        }
        if (!TakeDigits(format, i, conversion)) {
            return invalid;
        }
        if (i < format.size() && format[i] == u'.') {
            conversion.push_back('.');
            ++i;
            if (!TakeDigits(format, i, conversion)) {
                return invalid;
            }
        }
        if (i >= format.size() || (format[i] != u'd' && format[i] != u'f')) {
            return invalid;
        }
        out.kind = format[i] == u'd' ? kFormatInteger : kFormatReal;
        if (out.kind == kFormatInteger && conversion.find('#') != std::string::npos) {
            return invalid;  // "#" means nothing for integers
        }
        out.conversion = std::move(conversion);
        found = true;
    }
    return found ? out : invalid;
}

std::u16string Widen(const char* text) {
    std::u16string out;
    for (const char* p = text; *p; ++p) {
        out.push_back(static_cast<unsigned char>(*p));
    }
    return out;
}

// Within int32 range, truncated toward zero; a value a hair below a whole number (float scales
// such as 0.1 are not exact) counts as that number, so "3.0" dB stays 150 and does not become 149.
int32_t WholeRaw(double raw, int32_t minimum) {
    if (std::isnan(raw)) {
        return minimum;
    }
    if (raw >= 2147483647.0) {
        return INT32_MAX;
    }
    if (raw <= -2147483648.0) {
        return INT32_MIN;
    }
    const double nearest = std::round(raw);
    return static_cast<int32_t>(std::fabs(raw - nearest) < 1e-4 ? nearest : std::trunc(raw));
}

}  // namespace

FormatKind FormatKindOf(std::u16string_view format) {
    return Parse(format).kind;
}

std::u16string FormatValue(std::u16string_view format, double value) {
    ParsedFormat f = Parse(format);
    if (f.kind == kFormatNone || !std::isfinite(value)) {
        return std::u16string(kInvalidFormatText);
    }
    char buffer[256];
    int n = 0;
    if (f.kind == kFormatInteger) {
        const double rounded = std::clamp(std::round(value), -9.0e18, 9.0e18);
        n = std::snprintf(buffer, sizeof buffer, (f.conversion + "lld").c_str(),
                          static_cast<long long>(rounded));
    } else {
        // Only the conversion's digits are written; a huge number is shown in full.
        n = std::snprintf(buffer, sizeof buffer, (f.conversion + "f").c_str(), value);
    }
    if (n < 0 || n >= static_cast<int>(sizeof buffer)) {
        return std::u16string(kInvalidFormatText);
    }
    return f.before + Widen(buffer) + f.after;
}

ValueText ValueToText(double shown, const BindingRecord& b) {
    const double scale = b.scale;
    const int32_t raw = WholeRaw((shown - b.offset) / scale, b.minimum);
    ValueText out;
    out.raw = std::clamp(raw, b.minimum, std::max(b.minimum, b.maximum));
    if (b.formatKind == kFormatNone) {
        out.text = std::u16string(kInvalidFormatText);
    } else {
        out.text = FormatValue(b.format, b.offset + out.raw * scale);
    }
    return out;
}

std::u16string InitialText(const BindingRecord& b, int32_t value) {
    if (b.format.empty()) {
        const int32_t v = std::clamp(value, b.minimum, std::max(b.minimum, b.maximum));
        return FormatValue(u"%d", std::trunc(b.offset + v * static_cast<double>(b.scale)));
    }
    return ValueToText(b.offset + value * static_cast<double>(b.scale), b).text;
}

double ParseNumber(std::u16string_view text) {
    std::string narrow;
    for (char16_t c : text) {
        if (c > 0x7F) {
            return 0.0;
        }
        narrow.push_back(static_cast<char>(c));
    }
    const size_t first = narrow.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return 0.0;
    }
    const size_t last = narrow.find_last_not_of(" \t\r\n");
    std::string_view s(narrow.data() + first, last - first + 1);
    if (s.front() == '+') {
        s.remove_prefix(1);
    }
    double value = 0.0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(value)) {
        return 0.0;
    }
    return value;
}

TypedText CheckTypedText(std::u16string_view text, double low, double high, bool decimals) {
    std::string narrow;
    bool point = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'-' && i == 0 && low < 0) {
            // only where negative numbers are in the range
        } else if (c == u'.' && decimals && !point) {
            point = true;
        } else if (!IsDigit(c)) {
            return TypedText::Invalid;
        }
        narrow.push_back(static_cast<char>(c));
    }
    const bool negative = !narrow.empty() && narrow.front() == '-';
    const std::string_view digits = std::string_view(narrow).substr(negative ? 1 : 0);
    if (digits.empty() || digits == ".") {
        return TypedText::Intermediate;
    }
    double value = 0.0;
    const auto [end, ec] = std::from_chars(narrow.data(), narrow.data() + narrow.size(), value);
    if (ec != std::errc() || end != narrow.data() + narrow.size()) {
        return TypedText::Intermediate;  // "1." and the like
    }
    if (value >= low && value <= high && narrow.back() != '.') {
        return TypedText::Acceptable;
    }
    // More digits only move a number away from zero.
    if ((!negative && value > high) || (negative && value < low)) {
        return TypedText::Invalid;
    }
    return TypedText::Intermediate;
}

ShownRange ShownRangeOf(const BindingRecord& b) {
    const double a = b.offset + b.minimum * static_cast<double>(b.scale);
    const double z = b.offset + std::max(b.minimum, b.maximum) * static_cast<double>(b.scale);
    return {std::min(a, z), std::max(a, z)};
}

double EditStep(int step, float scale) {
    if (scale == 0.0f || !std::isfinite(scale)) {
        return step;
    }
    return step * static_cast<double>(scale);
}

}  // namespace effects
