// lyntctl commands that read or change the card's parameters, effects and presets.
#include <cstdlib>

#include "Commands.h"
#include "CtlSession.h"
#include "DeviceInfo.h"
#include "EffectRecords.h"
#include "ParamText.h"
#include "SaveChecks.h"
#include "common/Device/HidDevice/HidBase.h"
#include "profile/ProfileText.h"

namespace ctl {

namespace {

bool ParseNumber(const std::string& text, long min, long max, long* out) {
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || v < min || v > max) {
        return false;
    }
    *out = v;
    return true;
}

int Usage(const Invocation& in, const std::string& message) {
    in.out.Error(message);
    return kExitUsage;
}

int Report(const COutput& out, bool ok, const std::string& what) {
    if (!ok) {
        out.Error("the card did not take " + what);
        return kExitNoAnswer;
    }
    Json::Value o;
    o["ok"] = true;
    o["done"] = what;
    out.Emit(what + ": done", o);
    return kExitOk;
}

int ReportCheck(const COutput& out, const SaveCheck& check, const std::string& what) {
    if (!check.ok) {
        out.Error(check.message);
        return kExitUsage;
    }
    return Report(out, true, what);
}

}  // namespace

int CmdDevices(const Invocation& in) {
    for (uint16_t product : {CHidDeviceBuilder::kProductId, CHidDeviceBuilder::kLoaderProductId}) {
        std::vector<std::string> paths;
        int count = CHidBase::EnumDevices(paths, CHidDeviceBuilder::kVendorId, product);
        for (const auto& p : paths) {
            char ids[16];
            std::snprintf(ids, sizeof ids, "%04x %04x", CHidDeviceBuilder::kVendorId, product);
            Json::Value o;
            o["path"] = p;
            o["vendor_id"] = std::string(ids, 4);
            o["product_id"] = std::string(ids + 5, 4);
            in.out.Emit(p + " " + ids, o);
        }
        if (count > static_cast<int>(paths.size())) {
            in.out.Error(std::to_string(count - static_cast<int>(paths.size())) +
                         " more cards not listed");
        }
    }
    return kExitOk;
}

int CmdInfo(const Invocation& in) {
    CTarget session(in.panel);
    if (int status = session->Open(in.device, in.out)) {
        return status;
    }
    auto reply = std::make_shared<card::Frame>();
    CQVAudioProtocol* protocol = &session->Protocol();
    const COutput out = in.out;
    return session->Exchange(
        [protocol, reply] { return protocol->QueryDeviceInfo(reply->data()); },
        [out, reply](bool answered) {
            if (out.Json()) {
                Json::Value o;
                o["product"] = "Orin LYNT!";
                if (answered) {
                    o["hardware_version"] =
                        card::FormatVersion((*reply)[card::kHardwareVersionOffset]);
                    o["firmware_version"] =
                        card::FormatVersion((*reply)[card::kFirmwareVersionOffset]);
                    o["device_type"] = card::DeviceTypeName((*reply)[card::kDeviceTypeOffset]);
                }
                out.Emit("", o);
            } else {
                out.Print(card::FormatDeviceInfo(answered ? reply.get() : nullptr));
            }
            if (!answered) {
                out.Error("the card did not answer the information request");
                return kExitNoAnswer;
            }
            return kExitOk;
        });
}

int CmdGet(const Invocation& in) {
    CTarget session(in.panel);
    std::vector<int> ids;
    for (const auto& arg : in.args) {
        int id = FindParam(session->Workspace(), arg);
        if (id < 0) {
            return Usage(in, "no such parameter: " + arg);
        }
        ids.push_back(id);
    }
    if (ids.empty()) {
        for (const auto& d : session->Workspace().Descriptors())
            ids.push_back(d.id);
    }
    if (int status = session->Open(in.device, in.out)) {
        return status;
    }
    for (int id : ids) {
        const auto& d = session->Workspace().Descriptors()[static_cast<size_t>(id)];
        int raw = session->Workspace().GetParam(id);
        Json::Value o;
        o["id"] = id;
        o["name"] = ParamName(d);
        o["value"] = DisplayValue(d, raw);
        o["raw"] = raw;
        in.out.Emit(std::to_string(id) + " " + ParamName(d) + " " + DisplayValue(d, raw) + " [" +
                        std::to_string(raw) + "]",
                    o);
    }
    return kExitOk;
}

int CmdSet(const Invocation& in) {
    if (in.args.empty() || in.args.size() % 2 != 0) {
        return Usage(in, "usage: lyntctl set PARAM VALUE [PARAM VALUE...]");
    }
    CTarget session(in.panel);
    CWorkSpace& ws = session->Workspace();
    std::vector<std::pair<int, int>> edits;
    for (size_t i = 0; i < in.args.size(); i += 2) {
        int id = FindParam(ws, in.args[i]);
        if (id < 0) {
            return Usage(in, "no such parameter: " + in.args[i]);
        }
        const auto& d = ws.Descriptors()[static_cast<size_t>(id)];
        long value = 0;
        if (!ParseNumber(in.args[i + 1], 0, 0x0FFF, &value) || !ValueFits(d, value)) {
            return Usage(in, "value " + in.args[i + 1] + " does not fit " + ParamName(d) + " (0-" +
                                 std::to_string(d.maximum) + ")");
        }
        edits.emplace_back(id, static_cast<int>(value));
    }
    if (int status = session->Open(in.device, in.out)) {
        return status;
    }
    for (auto [id, value] : edits) {
        ws.SetParam(id, value);
    }
    return Report(in.out, ws.FlushPending(), "set");
}

int CmdEffect(const Invocation& in) {
    if (in.args.size() != 1) {
        return Usage(in, "usage: lyntctl effect NAME|POSITION");
    }
    CTarget session(in.panel);
    const auto& list = session->Workspace().BuiltinEffectList();
    long position = -1;
    if (!ParseNumber(in.args[0], 0, static_cast<long>(list.size()) - 1, &position)) {
        for (size_t i = 0; i < list.size(); ++i) {
            if (platform::profile::ToUtf8(model::RecordText(list[i].name)) == in.args[0]) {
                position = static_cast<long>(i);
            }
        }
    }
    if (position < 0) {
        std::string names;
        for (size_t i = 0; i < list.size(); ++i) {
            names += "\n  " + std::to_string(i) + " " +
                     platform::profile::ToUtf8(model::RecordText(list[i].name));
        }
        return Usage(in, "no such built-in effect: " + in.args[0] + "; they are:" + names);
    }
    if (int status = session->Open(in.device, in.out)) {
        return status;
    }
    return Report(in.out, session->Workspace().ApplyBuiltinEffect(static_cast<int>(position)),
                  "effect");
}

int CmdMyEffect(const Invocation& in) {
    long slot = 0;
    if (in.args.size() != 1 || !ParseNumber(in.args[0], 0, 11, &slot)) {
        return Usage(in, "usage: lyntctl my-effect SLOT   (SLOT 0-11)");
    }
    CTarget session(in.panel);
    if (int status = session->Open(in.device, in.out)) {
        return status;
    }
    const auto& own = session->Workspace().CustomEffects()[static_cast<size_t>(slot)];
    if (model::RecordText(own.name).empty()) {
        return Usage(in, "my effect " + std::to_string(slot) + " is empty");
    }
    return Report(in.out, session->Workspace().ApplyMyCustomEffect(static_cast<int>(slot)),
                  "my-effect");
}

int CmdSaveEffect(const Invocation& in) {
    long slot = 0;
    if (in.args.size() != 2 || !ParseNumber(in.args[0], 0, 11, &slot)) {
        return Usage(in, "usage: lyntctl save-effect SLOT NAME   (SLOT 0-11)");
    }
    std::u16string name = platform::profile::FromUtf8(in.args[1]);
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
                       "save-effect");
}

int CmdPreset(const Invocation& in) {
    long group = 0;
    long position = 0;
    if (in.args.size() != 2 || !ParseNumber(in.args[0], 1, 3, &group) ||
        !ParseNumber(in.args[1], 0, 63, &position)) {
        return Usage(
            in, "usage: lyntctl preset GROUP POSITION   (GROUP 1 equaliser, 2 reverb, 3 voice)");
    }
    CTarget session(in.panel);
    if (position >=
        static_cast<long>(session->Workspace().GroupPresets(static_cast<int>(group)).size())) {
        return Usage(
            in, "group " + std::to_string(group) + " has no preset " + std::to_string(position));
    }
    if (int status = session->Open(in.device, in.out)) {
        return status;
    }
    return Report(
        in.out,
        session->Workspace().ApplyGroupPreset(static_cast<int>(group), static_cast<int>(position)),
        "preset");
}

int CmdSavePreset(const Invocation& in) {
    long group = 0;
    long slot = 0;
    if (in.args.size() != 3 || !ParseNumber(in.args[0], 1, 3, &group) ||
        !ParseNumber(in.args[1], 0, 3, &slot)) {
        return Usage(in, "usage: lyntctl save-preset GROUP SLOT NAME   (GROUP 1-3, SLOT 0-3)");
    }
    std::u16string name = platform::profile::FromUtf8(in.args[2]);
    CTarget session(in.panel);
    SaveCheck check = CheckSavePreset(session->Workspace(), static_cast<int>(group),
                                      static_cast<int>(slot), name);
    if (!check.ok) {
        in.out.Error(check.message);
        return kExitUsage;
    }
    // A preset is stored from the workspace's values; it needs no card.
    return ReportCheck(
        in.out,
        SavePreset(session->Workspace(), static_cast<int>(group), static_cast<int>(slot), name),
        "save-preset");
}

}  // namespace ctl
