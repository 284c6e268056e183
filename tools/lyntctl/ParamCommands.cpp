// lyntctl commands on the card's parameters: the stored values, setting them, the mute bits and
// the list of what there is.
#include <cmath>

#include "CommandSupport.h"

namespace ctl {

namespace {

const model::ParamDescriptor& Descriptor(int id) {
    return model::ParamDescriptors()[static_cast<size_t>(id)];
}

std::string Describe(const model::ParamDescriptor& d) {
    return ParamName(d) + " (" + std::string(d.key) + ")";
}

int NoSuchParam(const Invocation& in, const std::string& arg) {
    return Usage(in, "no such parameter: " + arg + " (see lyntctl params)");
}

// Sends the edits as one batch once the card is open.
int SendEdits(const Invocation& in, CTarget& session, const std::vector<std::pair<int, int>>& edits,
              const std::string& what) {
    if (int status = session->Open(in.device, in.out)) {
        return status;
    }
    CWorkSpace& ws = session->Workspace();
    // Values the panel holds already go too: "done" is the card's answer, not the panel's view.
    for (auto [id, value] : edits) {
        ws.SendParam(id, value);
    }
    return Report(in.out, ws.FlushPending(), what);
}

int SetMuteBits(const Invocation& in, bool mute) {
    const char* what = mute ? "mute" : "unmute";
    if (in.args.empty()) {
        return Usage(in, std::string("usage: lyntctl ") + what + " PARAM...");
    }
    CTarget session(in.panel);
    std::vector<std::pair<int, int>> edits;
    for (const auto& arg : in.args) {
        const int id = FindParam(arg);
        if (id < 0) {
            return NoSuchParam(in, arg);
        }
        if (!HasMuteBit(id)) {
            std::string which;
            for (const auto& d : model::ParamDescriptors()) {
                if (HasMuteBit(d.id))
                    which += " " + std::string(d.key);
            }
            return Usage(in,
                         Describe(Descriptor(id)) + " has no mute bit; these have one:" + which);
        }
        const int raw = session->Workspace().GetParam(id);
        edits.emplace_back(id, mute ? raw | 0x80 : raw & ~0x80);
    }
    return SendEdits(in, session, edits, what);
}

}  // namespace

int CmdGet(const Invocation& in) {
    std::vector<int> ids;
    for (const auto& arg : in.args) {
        int id = FindParam(arg);
        if (id < 0) {
            return NoSuchParam(in, arg);
        }
        ids.push_back(id);
    }
    if (ids.empty()) {
        for (const auto& d : model::ParamDescriptors())
            ids.push_back(d.id);
    }
    // The card cannot be asked for its values: these are the stored ones, which the card is given
    // at each connection. Reading them sends nothing.
    CTarget session(in.panel);
    for (int id : ids) {
        const auto& d = Descriptor(id);
        const int raw = session->Workspace().GetParam(id);
        in.out.Emit(ParamLine(d, raw), ParamObject("param", d, raw));
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
        const int id = FindParam(in.args[i]);
        if (id < 0) {
            return NoSuchParam(in, in.args[i]);
        }
        const auto& d = Descriptor(id);
        int raw = 0;
        bool givenRaw = false;
        if (!ParseSetValue(d, in.args[i + 1], &raw, &givenRaw)) {
            return Usage(in, "value " + in.args[i + 1] + " does not fit " + Describe(d) + ": " +
                                 RangeText(d));
        }
        if (HasMuteBit(id) && !givenRaw) {
            raw |= ws.GetParam(id) & 0x80;  // a level leaves the mute bit as it is
        }
        edits.emplace_back(id, raw);
    }
    return SendEdits(in, session, edits, "set");
}

int CmdMute(const Invocation& in) {
    return SetMuteBits(in, true);
}

int CmdUnmute(const Invocation& in) {
    return SetMuteBits(in, false);
}

int CmdParams(const Invocation& in) {
    if (!in.args.empty()) {
        return Usage(in, "usage: lyntctl params");
    }
    for (const auto& d : model::ParamDescriptors()) {
        Json::Value o;
        o["type"] = "param_info";
        o["id"] = d.id;
        o["key"] = std::string(d.key);
        o["name"] = ParamName(d);
        o["minimum"] = JsonNumber(ShownValue(d, 0));
        o["maximum"] = JsonNumber(ShownValue(d, d.maximum));
        o["step"] = JsonNumber(d.scale);
        if (!d.shownUnit.empty())
            o["unit"] = std::string(d.shownUnit);
        o["raw_maximum"] = d.kind == model::kKindSwitch ? 0xFF : d.maximum;
        o["mute_bit"] = HasMuteBit(d.id);
        in.out.Emit(std::to_string(d.id) + "\t" + std::string(d.key) + "\t" + ParamName(d) + "\t" +
                        RangeText(d),
                    o);
    }
    return kExitOk;
}

}  // namespace ctl
