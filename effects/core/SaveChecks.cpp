#include "SaveChecks.h"

#include "EffectRecords.h"
#include "WorkSpace.h"

namespace {

constexpr int kOwnEffectSlots = 12;
constexpr int kPresetSlots = 4;

char16_t FoldCase(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

bool SameIgnoringCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) {
            return false;
        }
    }
    return true;
}

SaveCheck Fail(const char* message, bool asTip = false) { return SaveCheck{false, message, asTip}; }

}  // namespace

std::u16string TrimName(std::u16string_view name) {
    auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
    size_t begin = 0;
    size_t end = name.size();
    while (begin < end && blank(name[begin])) ++begin;
    while (end > begin && blank(name[end - 1])) --end;
    return std::u16string(name.substr(begin, end - begin));
}

SaveCheck CheckSaveEffect(const CWorkSpace& workspace, int slot, std::u16string_view name) {
    if (slot < 0 || slot >= kOwnEffectSlots) {
        return Fail("请选择保存位置！");
    }
    std::u16string trimmed = TrimName(name);
    if (trimmed.empty()) {
        return Fail("音效名称不能为空！");
    }
    if (!workspace.IsCardReady()) {
        return Fail("您未连接设备，请先连接设备！");
    }
    for (const auto& builtin : workspace.BuiltinEffectList()) {
        if (SameIgnoringCase(trimmed, model::RecordText(builtin.name))) {
            return Fail("不能与默认音效名称相同！", true);
        }
    }
    const auto& own = workspace.CustomEffects();
    for (int k = 0; k < kOwnEffectSlots; ++k) {
        if (k != slot && SameIgnoringCase(trimmed, model::RecordText(own[static_cast<size_t>(k)].name))) {
            return Fail("自定义音效中已存在相同名称！", true);
        }
    }
    return {};
}

SaveCheck CheckSavePreset(const CWorkSpace& workspace, int group, int slot,
                          std::u16string_view name) {
    if (slot < 0 || slot >= kPresetSlots) {
        return Fail("请选择预设的保存位置！");
    }
    std::u16string trimmed = TrimName(name);
    if (trimmed.empty()) {
        return Fail("预设名称不能为空！");
    }
    if (workspace.PresetNameExists(group, slot, trimmed)) {
        return Fail("已存在相同的预设名称！", true);
    }
    return {};
}

std::u16string ReplacedEffectName(const CWorkSpace& workspace, int slot) {
    if (slot < 0 || slot >= kOwnEffectSlots) {
        return {};
    }
    const auto& own = workspace.CustomEffects()[static_cast<size_t>(slot)];
    if (own.empty) {
        return {};
    }
    return std::u16string(model::RecordText(own.name));
}

std::u16string ReplacedPresetName(const CWorkSpace& workspace, int group, int slot) {
    if (slot < 0 || slot >= kPresetSlots || group < 0 ||
        static_cast<size_t>(group) >= workspace.Groups().size()) {
        return {};
    }
    const auto& list = workspace.GroupPresets(group);
    const size_t at = static_cast<size_t>(slot + CWorkSpace::kPresetCustomFirst);
    if (at >= list.size() || list[at].count <= 0) {
        return {};
    }
    return std::u16string(model::RecordText(list[at].name));
}

SaveCheck SaveMyEffect(CWorkSpace& workspace, int slot, std::u16string_view name) {
    SaveCheck check = CheckSaveEffect(workspace, slot, name);
    if (check.ok && !workspace.SaveMyCustomEffect(slot, TrimName(name))) {
        return Fail("保存失败！");
    }
    return check;
}

SaveCheck SavePreset(CWorkSpace& workspace, int group, int slot, std::u16string_view name) {
    SaveCheck check = CheckSavePreset(workspace, group, slot, name);
    if (check.ok && !workspace.SaveCustomPreset(TrimName(name), group, slot)) {
        return Fail("保存失败！");
    }
    return check;
}
