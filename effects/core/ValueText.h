#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace effects {

struct BindingRecord;

// The one conversion of a value format: %d shows an integer, %f a real number.
enum FormatKind : int32_t { kFormatNone = 0, kFormatInteger = 1, kFormatReal = 2 };

// What a value reads as when its format cannot show it.
inline constexpr std::u16string_view kInvalidFormatText = u"无效的参数转换符";

// The kind of a format with exactly one %d or %f conversion (flags, width and precision
// allowed, "%%" for a percent sign). Anything else — another conversion, a length modifier, "*",
// a second conversion — is kFormatNone: formats come from tables and records, so they are never
// handed to printf unchecked.
FormatKind FormatKindOf(std::u16string_view format);

// The value through the format: rounded to an integer for a %d format, as it is for %f.
// kInvalidFormatText when FormatKindOf rejects the format.
std::u16string FormatValue(std::u16string_view format, double value);

struct ValueText {
    int32_t raw = 0;
    std::u16string text;
};

// A shown value (display units) back to the raw value, clamped to the binding's range, and the
// text of that raw value.
ValueText ValueToText(double shown, const BindingRecord& b);

// The text a control shows for a raw value when it is bound; an empty format shows the integer.
std::u16string InitialText(const BindingRecord& b, int32_t value);

// The number typed into a field; text that is not a number reads as 0.
double ParseNumber(std::u16string_view text);

// What a value box makes of the text being typed into it: a number within the box's range, a
// beginning that may still become one ("", "-", "1." or "0" of a range 5..20), or text no further
// typing can bring into the range, which the box refuses.
enum class TypedText { Acceptable, Intermediate, Invalid };
TypedText CheckTypedText(std::u16string_view text, double low, double high, bool decimals);

// The range a binding's value box shows, in display units, lowest first.
struct ShownRange {
    double low = 0.0;
    double high = 0.0;
};
ShownRange ShownRangeOf(const BindingRecord& b);

// The change one step of an edit box's value-changing event makes, in display units: one raw
// unit of the parameter, so that a step always moves the value and never skips most of the range.
double EditStep(int step, float scale);

}  // namespace effects
