// lyntctl pads and pad: the favourite sound pads, listed from the sound-pad file and played in the
// running control panel.
#include <optional>
#include <string>

#include "CommandSupport.h"
#include "MoodConfig.h"
#include "PadNames.h"
#include "profile/ProfileText.h"

namespace ctl {

namespace {

// The favourites' names from the sound-pad file; empty when there is no file yet (it is not made
// here: a read makes nothing).
std::vector<std::string> FavouriteNames() {
    const std::filesystem::path file = sound::CMoodConfig::DefaultPath();
    std::error_code ec;
    if (file.empty() || !std::filesystem::exists(file, ec)) {
        return {};
    }
    sound::CMoodConfig store;
    if (!store.Init(file)) {
        return {};
    }
    return PadNames(store);
}

}  // namespace

std::vector<std::string> PadNames(const sound::CMoodConfig& store) {
    std::vector<std::string> names;
    for (const sound::MoodItem& item : store.Favourites())
        names.push_back(platform::profile::ToUtf8(sound::ClipName(item)));
    return names;
}

std::string NoSuchPadMessage(const std::string& arg, const std::vector<std::string>& names) {
    if (names.empty()) {
        return "no favourite sound pads yet";
    }
    std::string listed;
    for (size_t i = 0; i < names.size(); ++i)
        listed += "\n  " + std::to_string(i) + " " + names[i];
    return "no favourite sound pad " + arg + "; they are:" + listed;
}

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

// Only without the panel: lyntctl hands `pad` to a running panel before it gets here (main.cpp),
// and the panel plays it (PanelPad.cpp). What is left is saying why nothing plays.
int CmdPad(const Invocation& in) {
    const bool stop = in.args.size() == 1 && in.args[0] == "--stop";
    if (in.args.size() != 1 || in.args[0].empty()) {
        return Usage(in, kPadUsage);
    }
    if (!stop) {
        const std::vector<std::string> names = FavouriteNames();
        if (PositionOrName(in.args[0], names) < 0) {
            return Usage(in, NoSuchPadMessage(in.args[0], names));
        }
    }
    in.out.Error("the control panel is not running: the sound pads play only in the panel");
    return kExitNoCard;
}

}  // namespace ctl
