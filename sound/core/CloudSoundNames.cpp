#include "CloudSoundNames.h"

#include <algorithm>
#include <system_error>

namespace sound {

namespace {

bool IsControl(char16_t c) {
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0);
}

std::u16string CutUnits(std::u16string text, size_t maxUnits) {
    if (text.size() > maxUnits) {
        size_t cut = maxUnits;
        if (cut > 0 && text[cut - 1] >= 0xD800 && text[cut - 1] <= 0xDBFF) {
            --cut;  // keep the pair whole
        }
        text.resize(cut);
    }
    return text;
}

}  // namespace

std::u16string SafeFileName(std::u16string_view name, size_t maxUnits) {
    std::u16string out;
    out.reserve(name.size());
    for (char16_t c : name) {
        out.push_back(c == u'/' || c == u'\\' || IsControl(c) ? u'_' : c);
    }
    for (size_t at = out.find(u".."); at != std::u16string::npos; at = out.find(u"..", at)) {
        out.replace(at, 2, u"_");
    }
    out = CutUnits(std::move(out), maxUnits);
    const bool usable =
        std::any_of(out.begin(), out.end(), [](char16_t c) { return c != u'.' && c != u' '; });
    return usable ? out : std::u16string();
}

std::u16string CleanDisplayName(std::u16string_view name, size_t maxUnits) {
    std::u16string out;
    for (char16_t c : name) {
        if (!IsControl(c)) {
            out.push_back(c);
        }
    }
    return CutUnits(std::move(out), maxUnits);
}

std::string CutUtf8(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return std::string(text);
    }
    size_t cut = maxBytes;
    // Step back over continuation bytes to the start of the sequence that would be split.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return std::string(text.substr(0, cut));
}

std::u16string DoubleAmpersands(std::u16string_view text) {
    std::u16string out;
    for (char16_t c : text) {
        out.push_back(c);
        if (c == u'&') {
            out.push_back(u'&');
        }
    }
    return out;
}

std::filesystem::path CloudSoundFolder(const std::filesystem::path& dataFolder) {
    return dataFolder / "CloudSound";
}

std::u16string CloudFileName(std::u16string_view url, int32_t cloudId) {
    const size_t slash = url.rfind(u'/');
    std::u16string name;
    if (slash != std::u16string_view::npos) {
        // Leave out a query or fragment: "a.mp3?x=1" is the file a.mp3.
        std::u16string_view last = url.substr(slash + 1);
        last = last.substr(0, last.find_first_of(u"?#"));
        name = SafeFileName(last, 255);
    }
    if (name.empty()) {
        const std::string fallback = std::to_string(cloudId) + ".mp3";
        name.assign(fallback.begin(), fallback.end());
    }
    return name;
}

bool IsInsideFolder(const std::filesystem::path& folder, const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::weakly_canonical(folder, ec);
    if (!ec && !base.has_filename()) {
        base = base.parent_path();  // "dir/" names the same folder as "dir"
    }
    if (ec || base.empty()) {
        return false;
    }
    const std::filesystem::path target = std::filesystem::weakly_canonical(path, ec);
    if (ec) {
        return false;
    }
    auto [inBase, inTarget] = std::mismatch(base.begin(), base.end(), target.begin(), target.end());
    return inBase == base.end() && inTarget != target.end();
}

}  // namespace sound
