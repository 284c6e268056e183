// lyntctl commands on effects and presets: the built-in effects, the user's own effects and the
// group presets, applied, stored and listed.
#include "CommandSupport.h"
#include "EffectRecords.h"
#include "SaveChecks.h"
#include "profile/ProfileText.h"

namespace ctl {

namespace {

using platform::profile::ToUtf8;

constexpr int kPresetGroupFirst = 1;
constexpr int kPresetGroupLast = 3;
constexpr int kCustomPresetSlots = 4;
// The groups' names, as scripts and the panel call them; the group is their number (1-3).
const char* const kGroupKeys[] = {"", "equaliser", "reverb", "voice"};
const char* const kGroupNames[] = {"", "均衡", "混响", "变声"};

// name: what was stored; cut: whether it is shorter than the name given.
int ReportCheck(const COutput& out, const SaveCheck& check, const std::string& what,
                const std::u16string& name, bool cut) {
    if (!check.ok) {
        out.Error(check.message);
        return kExitUsage;
    }
    Json::Value extra;
    extra["name"] = ToUtf8(name);
    extra["name_cut"] = cut;
    return Report(out, true, what, extra);
}

// GROUP: 1-3 or its name ("reverb", "混响"); 0 when it is none.
int FindGroup(const std::string& arg) {
    long group = 0;
    if (ParseDecimal(arg, kPresetGroupFirst, kPresetGroupLast, &group)) {
        return static_cast<int>(group);
    }
    for (int g = kPresetGroupFirst; g <= kPresetGroupLast; ++g) {
        if (::strcasecmp(arg.c_str(), kGroupKeys[g]) == 0 || arg == kGroupNames[g] ||
            (g == 1 && (::strcasecmp(arg.c_str(), "eq") == 0 ||
                        ::strcasecmp(arg.c_str(), "equalizer") == 0))) {
            return g;
        }
    }
    return 0;
}

std::vector<std::string> BuiltinNames(const CWorkSpace& ws) {
    std::vector<std::string> names;
    for (const auto& e : ws.BuiltinEffectList())
        names.push_back(ToUtf8(model::RecordText(e.name)));
    return names;
}

std::vector<std::string> OwnNames(const CWorkSpace& ws) {
    std::vector<std::string> names;
    for (const auto& e : ws.CustomEffects())
        names.push_back(ToUtf8(model::RecordText(e.name)));
    return names;
}

std::vector<std::string> PresetNames(const CWorkSpace& ws, int group) {
    std::vector<std::string> names;
    for (const auto& p : ws.GroupPresets(group))
        names.push_back(ToUtf8(model::RecordText(p.name)));
    return names;
}

bool PresetSaved(const CWorkSpace& ws, int group, int position) {
    return ws.GroupPresets(group)[static_cast<size_t>(position)].count ==
           static_cast<int32_t>(model::ParamGroups()[static_cast<size_t>(group)].ids.size());
}

std::string Listed(const std::vector<std::string>& names) {
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) {
        text += "\n  " + std::to_string(i) + " " + (names[i].empty() ? "(empty)" : names[i]);
    }
    return text;
}

}  // namespace

int CmdEffect(const Invocation& in) {
    if (in.args.size() != 1) {
        return Usage(in, "usage: lyntctl effect NAME|POSITION");
    }
    CTarget session(in.panel);
    const std::vector<std::string> names = BuiltinNames(session->Workspace());
    const int position = PositionOrName(in.args[0], names);
    if (position < 0) {
        return Usage(in, "no such built-in effect: " + in.args[0] + "; they are:" + Listed(names));
    }
    if (int status = session->Open(in.device, in.out)) {
        return status;
    }
    return Report(in.out, session->Workspace().ApplyBuiltinEffect(position), "effect");
}

int CmdMyEffect(const Invocation& in) {
    if (in.args.size() != 1) {
        return Usage(in, "usage: lyntctl my-effect NAME|SLOT   (SLOT 0-11)");
    }
    CTarget session(in.panel);
    const std::vector<std::string> names = OwnNames(session->Workspace());
    const int slot = PositionOrName(in.args[0], names);
    if (slot < 0) {
        return Usage(in, "no such own effect: " + in.args[0] + "; they are:" + Listed(names));
    }
    if (names[static_cast<size_t>(slot)].empty()) {
        return Usage(in, "my effect " + std::to_string(slot) + " is empty");
    }
    if (int status = session->Open(in.device, in.out)) {
        return status;
    }
    return Report(in.out, session->Workspace().ApplyMyCustomEffect(slot), "my-effect");
}

int CmdMyEffects(const Invocation& in) {
    if (!in.args.empty()) {
        return Usage(in, "usage: lyntctl my-effects");
    }
    CTarget session(in.panel);
    const std::vector<std::string> names = OwnNames(session->Workspace());
    for (size_t slot = 0; slot < names.size(); ++slot) {
        Json::Value o;
        o["type"] = "my_effect";
        o["slot"] = static_cast<Json::UInt>(slot);
        o["name"] = names[slot];
        o["empty"] = names[slot].empty();
        in.out.Emit(std::to_string(slot) + "\t" + (names[slot].empty() ? "-" : names[slot]), o);
    }
    return kExitOk;
}

int CmdSaveEffect(const Invocation& in) {
    long slot = 0;
    if (in.args.size() != 2 || !ParseDecimal(in.args[0], 0, 11, &slot)) {
        return Usage(in, "usage: lyntctl save-effect SLOT NAME   (SLOT 0-11)");
    }
    bool cut = false;
    const std::u16string name = FitName(in.out, TrimName(platform::profile::FromUtf8(in.args[1])),
                                        model::kEffectNameUnits, &cut);
    CTarget session(in.panel);
    // Name checks that need no card come first, so a bad name sends nothing.
    SaveCheck early = CheckSaveEffect(session->Workspace(), static_cast<int>(slot), name);
    if (!early.ok && std::string(early.message) != "您未连接设备，请先连接设备！") {
        in.out.Error(early.message);
        return kExitUsage;
    }
    if (int status = session->Open(in.device, in.out)) {
        return status;
    }
    return ReportCheck(in.out, SaveMyEffect(session->Workspace(), static_cast<int>(slot), name),
                       "save-effect", name, cut);
}

int CmdPreset(const Invocation& in) {
    const int group = in.args.size() == 2 ? FindGroup(in.args[0]) : 0;
    if (group == 0) {
        return Usage(in,
                     "usage: lyntctl preset GROUP NAME|POSITION   (GROUP 1 equaliser, 2 reverb, "
                     "3 voice)");
    }
    CTarget session(in.panel);
    const std::vector<std::string> names = PresetNames(session->Workspace(), group);
    const int position = PositionOrName(in.args[1], names);
    if (position < 0) {
        return Usage(in, "group " + std::to_string(group) + " has no preset " + in.args[1] +
                             "; it has:" + Listed(names));
    }
    if (!PresetSaved(session->Workspace(), group, position)) {
        return Usage(in, "您尚未保存预设！");
    }
    if (int status = session->Open(in.device, in.out)) {
        return status;
    }
    return Report(in.out, session->Workspace().ApplyGroupPreset(group, position), "preset");
}

int CmdPresets(const Invocation& in) {
    int only = 0;
    if (in.args.size() > 1 || (in.args.size() == 1 && (only = FindGroup(in.args[0])) == 0)) {
        return Usage(in, "usage: lyntctl presets [GROUP]   (GROUP 1 equaliser, 2 reverb, 3 voice)");
    }
    CTarget session(in.panel);
    for (int group = kPresetGroupFirst; group <= kPresetGroupLast; ++group) {
        if (only != 0 && group != only)
            continue;
        const std::vector<std::string> names = PresetNames(session->Workspace(), group);
        for (size_t position = 0; position < names.size(); ++position) {
            const bool custom = position >= CWorkSpace::kPresetCustomFirst &&
                                position < CWorkSpace::kPresetCustomFirst + kCustomPresetSlots;
            const bool saved = PresetSaved(session->Workspace(), group, static_cast<int>(position));
            Json::Value o;
            o["type"] = "preset";
            o["group"] = group;
            o["group_key"] = kGroupKeys[group];
            o["position"] = static_cast<Json::UInt>(position);
            o["name"] = names[position];
            o["custom"] = custom;
            if (custom)
                o["slot"] = static_cast<Json::UInt>(position - CWorkSpace::kPresetCustomFirst);
            o["saved"] = saved;
            in.out.Emit(
                std::to_string(group) + "\t" + kGroupKeys[group] + "\t" + std::to_string(position) +
                    "\t" + (saved ? names[position] : std::string("-")) +
                    (custom
                         ? "\tcustom " + std::to_string(position - CWorkSpace::kPresetCustomFirst)
                         : ""),
                o);
        }
    }
    return kExitOk;
}

int CmdSavePreset(const Invocation& in) {
    long slot = 0;
    const int group = in.args.size() == 3 ? FindGroup(in.args[0]) : 0;
    if (group == 0 || !ParseDecimal(in.args[1], 0, kCustomPresetSlots - 1, &slot)) {
        return Usage(in, "usage: lyntctl save-preset GROUP SLOT NAME   (GROUP 1-3, SLOT 0-3)");
    }
    bool cut = false;
    const std::u16string name = FitName(in.out, TrimName(platform::profile::FromUtf8(in.args[2])),
                                        model::kPresetNameUnits, &cut);
    CTarget session(in.panel);
    SaveCheck check = CheckSavePreset(session->Workspace(), group, static_cast<int>(slot), name);
    if (!check.ok) {
        in.out.Error(check.message);
        return kExitUsage;
    }
    // A preset is stored from the workspace's values; it needs no card.
    return ReportCheck(in.out,
                       SavePreset(session->Workspace(), group, static_cast<int>(slot), name),
                       "save-preset", name, cut);
}

}  // namespace ctl
