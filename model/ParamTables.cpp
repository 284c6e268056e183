#include "ParamTables.h"

namespace model {

namespace {

constexpr ParamDescriptor P(int32_t id, std::u16string_view name, std::string_view key,
                            int32_t kind, int32_t maximum, std::u16string_view format, float scale,
                            int32_t offset, int32_t initial, bool effect, bool refresh,
                            bool sharedBits, std::string_view shownUnit = {}) {
    return ParamDescriptor{id,      name,   kind,    0, maximum,    scale,  format, u"", 0,
                           initial, effect, refresh, 1, sharedBits, offset, key,    shownUnit};
}

constexpr ParamDescriptor Range(int32_t id, std::u16string_view name, std::string_view key,
                                int32_t maximum, int32_t initial, bool effect, bool refresh,
                                bool sharedBits) {
    return P(id, name, key, kKindRange, maximum, u"%d", 1.0f, 0, initial, effect, refresh,
             sharedBits);
}

constexpr ParamDescriptor Eq(int32_t id, std::u16string_view name, std::string_view key) {
    return P(id, name, key, kKindRange, 240, u"%0.1f", 0.1f, -12, 12, true, true, false, "dB");
}

constexpr bool Y = true;
constexpr bool N = false;

// clang-format off
constexpr std::array<ParamDescriptor, kParamCount> kDescriptors = {
    Range(0, u"话筒音量", "mic_volume", 100, 6, N, Y, Y),
    Range(1, u"监听音量", "monitor_volume", 100, 6, N, Y, Y),
    Range(2, u"线路伴奏音量", "line_music_volume", 100, 100, N, Y, Y),
    Range(3, u"手机录音音量", "phone_record_volume", 100, 100, N, Y, Y),
    Range(4, u"降噪等级", "noise_reduction", 100, 45, N, Y, N),
    P(5, u"混音开关", "mix_switches", kKindSwitch, 1, u"%d", 1.0f, 0, 1, N, Y, Y),
    P(6, u"音效编号", "effect_number", kKindNumber, 22, u"%d", 1.0f, 0, 1, Y, N, N),
    Range(7, u"激励器_低音", "exciter_bass", 200, 100, N, N, Y),
    Range(8, u"激励器_高音", "exciter_treble", 200, 100, N, N, Y),
    Eq(9, u"EQ_1", "eq_1"),
    Eq(10, u"EQ_2", "eq_2"),
    Eq(11, u"EQ_3", "eq_3"),
    Eq(12, u"EQ_4", "eq_4"),
    Eq(13, u"EQ_5", "eq_5"),
    Eq(14, u"EQ_6", "eq_6"),
    Eq(15, u"EQ_7", "eq_7"),
    Eq(16, u"EQ_8", "eq_8"),
    Eq(17, u"EQ_9", "eq_9"),
    Eq(18, u"EQ_10", "eq_10"),
    Eq(19, u"EQ_11", "eq_11"),
    Eq(20, u"EQ_12", "eq_12"),
    Eq(21, u"EQ_13", "eq_13"),
    Eq(22, u"EQ_14", "eq_14"),
    Eq(23, u"EQ_15", "eq_15"),
    P(24, u"闪避开关", "ducking", kKindSwitch, 1, u"%d", 1.0f, 0, 0, Y, N, N),
    Range(25, u"动态处理器_比率A压限", "compressor_ratio", 100, 60, N, N, N),
    P(26, u"变声开关", "voice_changer", kKindSwitch, 1, u"%d", 1.0f, 0, 1, Y, N, N),
    Range(27, u"变声音量", "voice_volume", 100, 100, Y, Y, Y),
    P(28, u"变声等级", "voice_level", kKindRange, 250, u"%d", 1.0f, -125, 125, Y, Y, N),
    P(29, u"混响开关", "reverb", kKindSwitch, 1, u"%d", 1.0f, 0, 1, Y, N, N),
    Range(30, u"混响音量", "reverb_volume", 100, 100, Y, Y, Y),
    Range(31, u"混响早期反射", "reverb_early_reflections", 100, 10, Y, N, N),
    Range(32, u"混响比例", "reverb_mix", 100, 100, Y, Y, N),
    Range(33, u"空间广度", "spatial_width", 100, 10, Y, N, N),
    Range(34, u"混响扩展程度", "reverb_diffusion", 100, 100, Y, N, N),
    P(35, u"混响时长", "reverb_time", kKindRange, 60, u"%d", 100.0f, 0, 15, Y, Y, N, "ms"),
    Range(36, u"混响预延迟量", "reverb_predelay", 160, 7, Y, Y, N),
    Range(37, u"混响输出音量", "reverb_output_volume", 100, 28, Y, N, N),
    Range(38, u"手机直播音量", "phone_live_volume", 100, 100, N, Y, Y),
    Range(39, u"电脑直播音量", "pc_live_volume", 100, 100, N, Y, Y),
    Range(40, u"监听子音量", "monitor_sub_volume", 100, 100, N, Y, Y),
    Range(41, u"无线话筒音量", "wireless_mic_volume", 100, 100, N, Y, Y),
    Range(42, u"48V话筒音量", "mic_48v_volume", 100, 100, N, Y, Y),
    Range(43, u"5V话筒音量", "mic_5v_volume", 100, 100, N, Y, Y),
    Range(44, u"吉他音量", "guitar_volume", 100, 100, N, Y, Y),
    Range(45, u"直播输入筒音量", "live_input_volume", 100, 100, N, Y, Y),
    Range(46, u"音箱音量", "speaker_volume", 100, 100, N, Y, Y),
};
// clang-format on

static_assert([] {
    for (int i = 0; i < kParamCount; ++i) {
        if (kDescriptors[static_cast<size_t>(i)].id != i) {
            return false;
        }
    }
    return true;
}());

// Scripts name parameters by these: each one there, and no two alike.
static_assert([] {
    for (size_t i = 0; i < kDescriptors.size(); ++i) {
        if (kDescriptors[i].key.empty()) {
            return false;
        }
        for (size_t j = i + 1; j < kDescriptors.size(); ++j) {
            if (kDescriptors[i].key == kDescriptors[j].key) {
                return false;
            }
        }
    }
    return true;
}());

// A switch shows one bit of a parameter: kind switch, the mask in the maximum, every other number
// 0, the flags those of the parameter.
constexpr ParamDescriptor Switch(std::u16string_view name, int32_t param, int32_t mask) {
    const ParamDescriptor& p = kDescriptors[static_cast<size_t>(param)];
    return ParamDescriptor{param,     name, kKindSwitch,  0, mask, 0.0f, u"", u"", 0, 0, p.effect,
                           p.refresh, 0,    p.sharedBits, 0, p.key, {}};
}

// clang-format off
constexpr std::array<ParamDescriptor, 17> kSwitches = {
    Switch(u"话筒静音", 0, 0x80),
    Switch(u"监听开关", 1, 0x80),
    Switch(u"伴奏静音", 2, 0x80),
    Switch(u"录音静音", 3, 0x80),
    Switch(u"话筒+10dB", 5, 0x02),
    Switch(u"伴奏+10dB", 5, 0x04),
    Switch(u"手机直播静音", 38, 0x80),
    Switch(u"电脑直播静音", 39, 0x80),
    Switch(u"监听子静音", 40, 0x80),
    Switch(u"无线话筒静音", 41, 0x80),
    Switch(u"48V话筒静音", 42, 0x80),
    Switch(u"5V话筒静音", 43, 0x80),
    Switch(u"吉他静音", 44, 0x80),
    Switch(u"直播输入筒音量", 45, 0x80),
    Switch(u"音箱音量", 46, 0x80),
    Switch(u"PC监听开关", 5, 0x08),
    Switch(u"phone充电开关", 5, 0x10),
};
// clang-format on

constexpr int kMixerIds[] = {0, 1, 2, 3, 4, 5};
constexpr int kEqIds[] = {9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23};
constexpr int kReverbIds[] = {29, 30, 32, 35, 36};
constexpr int kVoiceIds[] = {26, 27, 28};

constexpr std::array<ParamGroup, kGroupCount> kGroups = {
    ParamGroup{u"调音台", kMixerIds},
    ParamGroup{u"均衡", kEqIds},
    ParamGroup{u"混响", kReverbIds},
    ParamGroup{u"变声", kVoiceIds},
};

constexpr int kEffectNumberToPosition[kBuiltinEffectCount] = {1, 2, 3, 4, 0, 5, 6};

}  // namespace

const std::array<ParamDescriptor, kParamCount>& ParamDescriptors() {
    return kDescriptors;
}

const std::array<ParamDescriptor, 17>& SwitchDescriptors() {
    return kSwitches;
}

const std::array<ParamGroup, kGroupCount>& ParamGroups() {
    return kGroups;
}

int BuiltinPositionOfEffectNumber(int number) {
    if (number < 0 || number >= kBuiltinEffectCount) {
        return -1;
    }
    return kEffectNumberToPosition[number];
}

}  // namespace model
