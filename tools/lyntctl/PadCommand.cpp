// lyntctl pads and pad: the favourite sound pads, listed from the sound-pad file and played in the
// running control panel.
#include <optional>
#include <string>

#include "CommandSupport.h"
#include "MoodConfig.h"
#include "PanelLock.h"
#include "ccm_util/AppMessages.h"
#include "profile/ProfileText.h"

namespace ctl {

namespace {

// The favourites' names, as the sound-pad page shows them; empty when there is no file yet (it
// is not made here: a read makes nothing).
std::vector<std::string> FavouriteNames() {
    std::vector<std::string> names;
    const std::filesystem::path file = sound::CMoodConfig::DefaultPath();
    std::error_code ec;
    if (file.empty() || !std::filesystem::exists(file, ec)) {
        return names;
    }
    sound::CMoodConfig store;
    if (!store.Init(file)) {
        return names;
    }
    for (const sound::MoodItem& item : store.Favourites())
        names.push_back(platform::profile::ToUtf8(sound::ClipName(item)));
    return names;
}

}  // namespace

int CmdPads(const Invocation& in) {
    if (!in.args.empty()) {
        return Usage(in, "usage: lyntctl pads");
    }
    const std::vector<std::string> names = FavouriteNames();
    for (size_t i = 0; i < names.size(); ++i) {
        Json::Value o;
        o["type"] = "pad";
        o["position"] = static_cast<Json::UInt>(i);
        o["name"] = names[i];
        in.out.Emit(std::to_string(i) + "\t" + names[i], o);
    }
    return kExitOk;
}

int CmdPad(const Invocation& in) {
    const bool stop = in.args.size() == 1 && in.args[0] == "--stop";
    if (in.args.size() != 1 || in.args[0].empty()) {
        return Usage(in, "usage: lyntctl pad NAME|POSITION|--stop");
    }
    uint64_t which = kSoundPadStop;
    if (!stop) {
        const std::vector<std::string> names = FavouriteNames();
        const int position = PositionOrName(in.args[0], names);
        if (position < 0) {
            std::string listed;
            for (size_t i = 0; i < names.size(); ++i)
                listed += "\n  " + std::to_string(i) + " " + names[i];
            return Usage(in, names.empty()
                                 ? "no favourite sound pads yet"
                                 : "no favourite sound pad " + in.args[0] + "; they are:" + listed);
        }
        which = static_cast<uint64_t>(position);
    }
    // The pads play through the panel's own player: without the panel there is nothing to play.
    if (!platform::instance::SendToPanel(UM_SOUND_PAD, which, 0)) {
        in.out.Error("the control panel is not running: the sound pads play only in the panel");
        return kExitNoCard;
    }
    Json::Value o;
    o["type"] = "result";
    o["command"] = "pad";
    o["ok"] = true;
    if (stop) {
        o["stop"] = true;
    } else {
        o["position"] = Json::UInt64(which);
    }
    // The panel was told; it plays the pad as a click on it would.
    in.out.Emit(stop ? "pad: stop sent to the panel" : "pad " + in.args[0] + ": sent to the panel",
                o);
    return kExitOk;
}

}  // namespace ctl
