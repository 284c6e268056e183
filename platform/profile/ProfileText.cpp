#include "profile/ProfileText.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace platform::profile {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

void AppendCodePoint(std::u16string& out, uint32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

// Length of the well-formed UTF-8 sequence at p (1-4), or 0 when it is not one; *cp gets the
// code point. Overlong forms, surrogates and values above U+10FFFF are not well formed.
size_t Utf8Sequence(const unsigned char* p, size_t avail, uint32_t* cp) {
    const unsigned char b0 = p[0];
    if (b0 < 0x80) {
        *cp = b0;
        return 1;
    }
    size_t len = 0;
    uint32_t value = 0;
    uint32_t min = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        value = b0 & 0x1F;
        min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        value = b0 & 0x0F;
        min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        value = b0 & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (avail < len) {
        return 0;
    }
    for (size_t i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80) {
            return 0;
        }
        value = (value << 6) | (p[i] & 0x3F);
    }
    if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    *cp = value;
    return len;
}

// invalidAsLatin1: a stray byte stands for the code point of the same value instead of U+FFFD.
std::u16string DecodeUtf8(std::string_view bytes, bool invalidAsLatin1) {
    std::u16string out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t i = 0;
    const size_t n = bytes.size();
    while (i < n) {
        // Fast path for runs of ASCII, which is nearly all of a settings file.
        if (p[i] < 0x80) {
            out.push_back(static_cast<char16_t>(p[i]));
            ++i;
            continue;
        }
        uint32_t cp = 0;
        const size_t len = Utf8Sequence(p + i, n - i, &cp);
        if (len == 0) {
            out.push_back(invalidAsLatin1 ? static_cast<char16_t>(p[i]) : kReplacement);
            ++i;
        } else {
            AppendCodePoint(out, cp);
            i += len;
        }
    }
    return out;
}

std::u16string DecodeUtf16(const char* data, size_t units, bool bigEndian) {
    std::u16string out(units, u'\0');
    if (units != 0) {
        std::memcpy(out.data(), data, units * 2);
    }
    const bool swap = bigEndian != (std::endian::native == std::endian::big);
    if (swap) {
        for (char16_t& c : out) {
            c = static_cast<char16_t>((c >> 8) | (c << 8));
        }
    }
    return out;
}

// A file without a mark whose first units are ASCII characters in UTF-16LE (low byte set, high
// byte zero) is taken for UTF-16LE; a UTF-8 or ANSI text has no zero bytes at all.
bool LooksLikeUtf16Le(std::string_view bytes) {
    if (bytes.size() < 4 || bytes.size() % 2 != 0) {
        return false;
    }
    const size_t check = std::min<size_t>(bytes.size(), 64);
    for (size_t i = 0; i + 1 < check; i += 2) {
        const auto lo = static_cast<unsigned char>(bytes[i]);
        const auto hi = static_cast<unsigned char>(bytes[i + 1]);
        if (hi != 0 || lo == 0 || lo >= 0x80) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::u16string FromUtf8(std::string_view utf8) {
    return DecodeUtf8(utf8, false);
}

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

DecodedText DecodeFileBytes(std::string_view bytes) {
    DecodedText result;
    const auto byteAt = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.empty()) {
        return result;
    }
    if (bytes.size() >= 2 && byteAt(0) == 0xFF && byteAt(1) == 0xFE) {
        const size_t units = (bytes.size() - 2) / 2;
        result.text = DecodeUtf16(bytes.data() + 2, units, false);
        result.encoding = FileEncoding::kUtf16Le;
        result.droppedOddByte = bytes.size() % 2 != 0;
    } else if (bytes.size() >= 2 && byteAt(0) == 0xFE && byteAt(1) == 0xFF) {
        const size_t units = (bytes.size() - 2) / 2;
        result.text = DecodeUtf16(bytes.data() + 2, units, true);
        result.encoding = FileEncoding::kUtf16Be;
        result.droppedOddByte = bytes.size() % 2 != 0;
    } else if (bytes.size() >= 3 && byteAt(0) == 0xEF && byteAt(1) == 0xBB && byteAt(2) == 0xBF) {
        result.text = DecodeUtf8(bytes.substr(3), true);
        result.encoding = FileEncoding::kUtf8Bom;
    } else if (LooksLikeUtf16Le(bytes)) {
        result.text = DecodeUtf16(bytes.data(), bytes.size() / 2, false);
        result.encoding = FileEncoding::kUtf16LeNoBom;
    } else {
        result.text = DecodeUtf8(bytes, true);
        result.encoding = FileEncoding::kUtf8;
    }
    return result;
}

std::string EncodeUtf16LeWithBom(std::u16string_view text) {
    std::string out(2 + text.size() * 2, '\0');
    out[0] = static_cast<char>(0xFF);
    out[1] = static_cast<char>(0xFE);
    if constexpr (std::endian::native == std::endian::little) {
        if (!text.empty()) {
            std::memcpy(out.data() + 2, text.data(), text.size() * 2);
        }
    } else {
        for (size_t i = 0; i < text.size(); ++i) {
            out[2 + 2 * i] = static_cast<char>(text[i] & 0xFF);
            out[3 + 2 * i] = static_cast<char>(text[i] >> 8);
        }
    }
    return out;
}

}  // namespace platform::profile
