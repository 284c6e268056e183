#include "SoundPadText.h"

#include <cstdio>

#include "HotkeyRegistrar.h"
#include "MoodConfig.h"

namespace sound {

PadRef LookupPad(int id) {
    PadRef ref;
    if (id >= kFavouritePadFirst && id < kLocalPadFirst) {
        ref.list = PadList::kFavourite;
        ref.index = size_t(id - kFavouritePadFirst);
    } else if (id >= kLocalPadFirst && id < kUserPadFirst) {
        ref.list = PadList::kBuiltin;
        ref.index = size_t(id - kLocalPadFirst);
    } else if (id >= kUserPadFirst && id <= 15998) {
        ref.list = PadList::kLocal;
        ref.index = size_t(id - kUserPadFirst);
    } else if (id >= kDownloadedPadFirst && id <= 17998) {
        ref.list = PadList::kDownloaded;
        ref.index = size_t(id - kDownloadedPadFirst);
    } else if (id >= kCloudPadFirst && id <= kCloudPadLast) {
        ref.list = PadList::kCloud;
        ref.category = size_t(id - kCloudPadFirst) / 1000;
        ref.index = size_t(id - kCloudPadFirst) % 1000;
    }
    return ref;
}

std::optional<MoodItem> ClipForPad(const CMoodConfig& store, int id) {
    const PadRef ref = LookupPad(id);
    auto at = [&ref](const std::vector<MoodItem>& list) -> std::optional<MoodItem> {
        if (ref.index < list.size()) {
            return list[ref.index];
        }
        return std::nullopt;
    };
    switch (ref.list) {
        case PadList::kFavourite:
            return at(store.Favourites());
        case PadList::kBuiltin:
            if (ref.index < kBuiltinClipCount) {
                return BuiltinClipItem(ref.index);
            }
            return std::nullopt;
        case PadList::kLocal:
            return at(store.LocalClips());
        case PadList::kDownloaded:
            return at(store.Downloaded());
        case PadList::kCloud:
            return store.CloudItem(ref.category, ref.index);
        case PadList::kNone:
            break;
    }
    return std::nullopt;
}

namespace {

std::u16string Ascii(const char* text) {
    std::u16string out;
    for (; *text; ++text) {
        out.push_back(char16_t(static_cast<unsigned char>(*text)));
    }
    return out;
}

std::u16string KeyName(uint32_t key) {
    static constexpr const char* kArrows[] = {"Left", "Up", "Right", "Down"};
    char buffer[16] = {};
    switch (key) {
        case 0x0D:
            return u"Enter";
        case 0x1B:
            return u"ESC";
        case 0x20:
            return u"Space";
        case 0x21:
            return u"PageUp";
        case 0x22:
            return u"PageDown";
        case 0x23:
            return u"End";
        case 0x24:
            return u"Home";
        case 0x2A:
            return u"Print";
        case 0x2D:
            return u"Insert";
        case 0x2E:
            return u"Delete";
        case 0x6A:
            return u"Num *";
        case 0x6B:
            return u"Num +";
        case 0x6E:
            return u"Num Del";
        default:
            break;
    }
    if (key >= 0x25 && key <= 0x28) {
        return Ascii(kArrows[key - 0x25]);
    }
    if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) {
        return std::u16string(1, char16_t(key));
    }
    if (key >= 0x60 && key <= 0x69) {
        std::snprintf(buffer, sizeof buffer, "Num %u", key - 0x60);
        return Ascii(buffer);
    }
    if (key >= 0x70 && key <= 0x7B) {
        std::snprintf(buffer, sizeof buffer, "F%u", key - 0x6F);
        return Ascii(buffer);
    }
    // The punctuation keys by their virtual-key codes (US layout).
    switch (key) {
        case 0xDE:
            return u"'";
        case 0xBC:
            return u",";
        case 0xBD:
            return u"-";
        case 0xBE:
            return u".";
        case 0xBF:
            return u"/";
        case 0xBA:
            return u";";
        case 0xBB:
            return u"=";
        case 0xDB:
            return u"[";
        case 0xDC:
            return u"\\";
        case 0xDD:
            return u"]";
        case 0xC0:
            return u"`";
        default:
            return {};
    }
}

}  // namespace

std::u16string HotkeyText(uint32_t hotkey) {
    if (hotkey == 0) {
        return {};
    }
    const uint32_t mods = HotkeyModifiers(hotkey);
    std::u16string text;
    if (mods & kHotkeyCtrl) {
        text += u"Ctrl+";
    }
    if (mods & kHotkeyShift) {
        text += u"Shift+";
    }
    if (mods & kHotkeyAlt) {
        text += u"Alt+";
    }
    return text + KeyName(HotkeyKey(hotkey));
}

std::u16string FavouriteLabel(const MoodItem& item) {
    const std::u16string name = ClipName(item);
    const std::u16string hotkey = HotkeyText(item.hotkey);
    if (hotkey.empty()) {
        return name;
    }
    return name + u"(" + hotkey + u")";
}

std::u16string FavouriteHotkeyTip(const MoodItem& item, bool hotkeysOn) {
    const std::u16string hotkey = HotkeyText(item.hotkey);
    if (hotkeysOn || hotkey.empty()) {
        return {};
    }
    return u"热键已关闭：" + hotkey + u" 现在不能播放这个音效。打开上方的“热键开关”即可使用热键。";
}

int GridRowCount(size_t n, bool withAddPad) {
    return int((n + (withAddPad ? 5 : 4)) / 5);
}

std::u16string ProposedClipName(std::u16string_view name) {
    std::u16string cut(name.substr(0, kMaxClipNameChars));
    // A surrogate pair is never split: the name stays valid text.
    if (!cut.empty() && cut.size() < name.size() && cut.back() >= 0xD800 && cut.back() <= 0xDBFF) {
        cut.pop_back();
    }
    const size_t dash = cut.find(u'-', 1);
    if (dash != std::u16string::npos) {
        cut.resize(dash);
    }
    return cut;
}

std::u16string NameFromFileName(std::u16string_view fileName) {
    if (fileName.size() <= 4) {
        return {};
    }
    return std::u16string(fileName.substr(0, fileName.size() - 4));
}

std::u16string TrimClipName(std::u16string_view name) {
    auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
    size_t begin = 0;
    size_t end = name.size();
    while (begin < end && blank(name[begin])) {
        ++begin;
    }
    while (end > begin && blank(name[end - 1])) {
        --end;
    }
    return std::u16string(name.substr(begin, end - begin));
}

std::string ClockText(uint32_t hours, uint32_t minutes, uint32_t seconds) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%02u:%02u:%02u", hours, minutes, seconds);
    return buffer;
}

std::string ClockTextOfMs(uint32_t milliseconds) {
    const uint32_t s = milliseconds / 1000;
    return ClockText(s / 3600, s / 60 % 60, s % 60);
}

std::string TotalText(uint32_t seconds) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "/%02u:%02u", seconds / 60, seconds % 60);
    return buffer;
}

ClipLength BarLength(uint32_t seconds, uint32_t milliseconds) {
    ClipLength length{seconds, milliseconds};
    if (length.milliseconds < 1000) {
        length = {1, 1000};
    } else if (length.seconds == 0) {
        length.seconds = length.milliseconds / 1000;
    }
    return length;
}

}  // namespace sound
