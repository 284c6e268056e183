#include "MoodItem.h"

#include "profile/ProfileText.h"

namespace sound {

namespace {

template <size_t N>
std::u16string FieldText(const char16_t (&field)[N]) {
    size_t n = 0;
    while (n < N && field[n] != u'\0') {
        ++n;
    }
    return std::u16string(field, n);
}

template <size_t N>
void SetField(char16_t (&field)[N], std::u16string_view text) {
    for (size_t i = 0; i < N; ++i) {
        field[i] = i < text.size() ? text[i] : u'\0';
    }
}

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

}  // namespace

const std::array<BuiltinClip, kBuiltinClipCount> kBuiltinClips{{
    {u"大哄笑", u"DJ_DHX"},
    {u"小哄笑", u"DJ_XHX"},
    {u"掌声", u"DJ_ZS"},
    {u"亲嘴", u"DJ_QZ"},
    {u"鄙视", u"DJ_BS"},
    {u"群笑", u"DJ_QX"},
    {u"打耳光", u"DJ_DEG"},
    {u"点关注", u"DJ_DGZ"},
    {u"尴尬", u"DJ_GG"},
    {u"尬曲", u"DJ_GQ"},
    {u"机枪", u"DJ_JQ"},
    {u"乌鸦飞过", u"DJ_WYFG"},
    {u"嗨曲", u"DJ_HQ"},
    {u"坑曲", u"DJ_KQ"},
    {u"礼曲", u"DJ_LQ"},
}};

std::u16string ClipName(const MoodItem& item) {
    return FieldText(item.name);
}

std::u16string ClipPath(const MoodItem& item) {
    return FieldText(item.path);
}

bool SetClipPath(MoodItem& item, std::u16string_view path) {
    if (path.size() >= std::size(item.path) ||
        path.find_first_of(std::u16string_view(u"\r\n\0", 3)) != std::u16string_view::npos) {
        return false;
    }
    SetField(item.path, path);
    return true;
}

void SetClipName(MoodItem& item, std::u16string_view name) {
    constexpr size_t kMax = std::size(MoodItem{}.name) - 1;
    if (name.size() > kMax) {
        name = name.substr(0, IsHighSurrogate(name[kMax - 1]) ? kMax - 1 : kMax);
    }
    SetField(item.name, name.substr(0, name.find(u'\0')));
}

bool MakeClip(MoodItem& item, int32_t kind, std::u16string_view name, std::u16string_view path,
              int32_t cloudId) {
    MoodItem made{};
    if (!SetClipPath(made, path)) {
        return false;
    }
    made.kind = kind;
    made.cloudId = cloudId;
    SetClipName(made, name);
    item = made;
    return true;
}

void TerminateClipText(MoodItem& item) {
    item.name[std::size(item.name) - 1] = u'\0';
    item.path[std::size(item.path) - 1] = u'\0';
}

std::filesystem::path ClipFilePath(const MoodItem& item) {
    const std::u16string text = ClipPath(item);
    if (text.empty()) {
        return {};
    }
    std::filesystem::path path(platform::profile::ToUtf8(text));
    return path.is_absolute() ? path : std::filesystem::path();
}

MoodItem BuiltinClipItem(size_t index) {
    MoodItem item{};
    if (index < kBuiltinClips.size()) {
        MakeClip(item, kMoodResource, kBuiltinClips[index].name, kBuiltinClips[index].resource);
    }
    return item;
}

int FindBuiltinClip(std::u16string_view resource) {
    for (size_t i = 0; i < kBuiltinClips.size(); ++i) {
        if (resource == kBuiltinClips[i].resource) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace sound
