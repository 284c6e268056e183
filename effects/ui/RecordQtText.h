#pragma once

#include <QString>

#include <string>
#include <string_view>

#include "EffectRecords.h"

// Record texts (UTF-16) as the effects page shows them.
namespace effects::ui {

// A record's field: its text ends at the terminator or at the field's end, whichever comes first.
template <size_t N>
QString FromU16(const char16_t (&field)[N]) {
    const std::u16string text = model::RecordText(field);
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

inline QString FromU16(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace effects::ui
