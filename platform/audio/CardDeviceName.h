#pragma once

#include <string_view>

namespace platform::audio {

// The sound server names the card's devices after the card ("Orin LYNT! Analog Stereo"), so the
// pages and the doctor find them by this part of the name.
inline constexpr std::u16string_view kCardDeviceName = u"Orin LYNT!";
inline constexpr std::string_view kCardDeviceNameUtf8 = "Orin LYNT!";

inline bool NamesCardDevice(std::string_view utf8Name) {
    return utf8Name.find(kCardDeviceNameUtf8) != std::string_view::npos;
}

}  // namespace platform::audio
