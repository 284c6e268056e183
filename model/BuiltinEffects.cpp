#include "BuiltinEffects.h"

#include <cstring>
#include <initializer_list>
#include <string_view>

namespace model {

namespace {

using Values = std::initializer_list<int>;

constexpr Values kPlainEq = {100, 120, 126, 120, 143, 170, 60, 60,
                             150, 120, 140, 145, 160, 180, 120};
constexpr Values kPlainTail = {0, 99, 125, 0, 100, 0, 85, 100, 67, 17, 28, 58};
constexpr Values kOutdoorEq = {120, 120, 98,  90,  89,  113, 90, 120,
                               90,  120, 130, 120, 180, 120, 160};
constexpr Values kOutdoorTail = {0, 99, 125, 1, 100, 0, 85, 100, 67, 17, 28, 58};
constexpr Values kCustom1Eq = {120, 120, 137, 120, 120, 120, 100, 100,
                               110, 150, 120, 120, 100, 90,  122};
constexpr Values kCustom1Tail = {0, 0, 0, 1, 100, 31, 50, 10, 90, 23, 62, 50};

EffectRecord MakeEffect(std::u16string_view name, int number, Values eq, int ducking, Values tail,
                        int slotTag) {
    EffectRecord r;
    std::memset(&r, 0, sizeof r);
    for (int id : {0, 1, 2, 3, 7, 8}) {
        r.params[id] = 100;
    }
    for (int id = 38; id <= 46; ++id) {
        r.params[id] = 100;
    }
    r.params[4] = 45;
    r.params[5] = 25;
    r.params[25] = 39;
    r.params[kParamEffectNumber] = number;
    int id = kParamEqFirst;
    for (int v : eq) {
        r.params[id++] = v;
    }
    r.params[24] = ducking;
    id = 26;
    for (int v : tail) {
        r.params[id++] = v;
    }
    SetRecordText(r.name, name);
    r.position = kNoPosition;
    r.slotTag = slotTag;
    return r;
}

std::array<EffectRecord, kBuiltinEffectCount> MakeBuiltins() {
    EffectRecord ducking = MakeEffect(u"闪避", 1, kPlainEq, 1, kPlainTail, kNoSlotTag);
    ducking.params[kParamReverbSwitch] = 1;
    return {
        MakeEffect(u"原声", 4, kPlainEq, 0, kPlainTail, kNoSlotTag),
        MakeEffect(u"户外", 0, kOutdoorEq, 0, kOutdoorTail, kNoSlotTag),
        ducking,
        MakeEffect(u"KTV", 2, kPlainEq, 0, kPlainTail, kNoSlotTag),
        MakeEffect(u"音乐", 3, kPlainEq, 0, kPlainTail, kNoSlotTag),
        MakeEffect(u"自定义1", 5, kCustom1Eq, 57, kCustom1Tail, 0),
        MakeEffect(u"自定义2", 6, kPlainEq, 0, kPlainTail, 1),
    };
}

GroupPresetRecord MakePreset(std::u16string_view name, Values values) {
    GroupPresetRecord r;
    std::memset(&r, 0, sizeof r);
    SetRecordText(r.name, name);
    int i = 0;
    for (int v : values) {
        r.values[i++] = v;
    }
    r.count = i;
    return r;
}

}  // namespace

const std::array<EffectRecord, kBuiltinEffectCount>& BuiltinEffects() {
    static const std::array<EffectRecord, kBuiltinEffectCount> builtins = MakeBuiltins();
    return builtins;
}

// clang-format off
std::vector<GroupPresetRecord> StaticGroupPresets(int group) {
    switch (group) {
        case kGroupMixer:
            return {MakePreset(u"恢复默认", {100, 100, 100, 100, 45, 0})};
        case kGroupEqualiser:
            return {
                MakePreset(u"恢复默认", {120, 120, 120, 120, 120, 120, 120, 120, 120, 120, 120,
                                         120, 120, 120, 120}),
                MakePreset(u"明亮", {0, 13, 45, 129, 90, 95, 105, 99, 168, 125, 133, 101, 145,
                                     154, 93}),
                MakePreset(u"磁性", {0, 45, 74, 139, 83, 66, 100, 57, 50, 87, 129, 111, 161, 111,
                                     75}),
                MakePreset(u"温暖", {0, 15, 50, 125, 135, 91, 113, 60, 115, 123, 114, 87, 113,
                                     131, 101}),
                MakePreset(u"大众", {0, 13, 11, 129, 149, 147, 82, 162, 150, 138, 151, 120, 120,
                                     120, 101}),
            };
        case kGroupReverb:
            return {
                MakePreset(u"恢复默认", {1, 80, 0, 11, 3}),
                MakePreset(u"专业歌手", {1, 47, 57, 17, 7}),
                MakePreset(u"业余歌手", {1, 47, 79, 21, 18}),
                MakePreset(u"现场表演", {1, 100, 100, 15, 63}),
                MakePreset(u"说唱表演", {1, 49, 79, 16, 5}),
            };
        case kGroupVoice:
            return {
                MakePreset(u"恢复默认", {1, 0, 12}),
                MakePreset(u"娃娃音", {1, 100, 248}),
                MakePreset(u"魔兽音", {1, 100, 9}),
                MakePreset(u"男变女", {1, 100, 195}),
                MakePreset(u"女变男", {1, 100, 43}),
            };
        default:
            return {};
    }
}
// clang-format on

}  // namespace model
