// lyntctl pad: plays a favourite sound pad in the running control panel, or stops it.
#include <string>

#include "Commands.h"
#include "CtlSession.h"
#include "PanelLock.h"
#include "ccm_util/AppMessages.h"

namespace ctl {

namespace {

// 1 is the first favourite, as the pads are counted on screen.
bool ParsePadNumber(const std::string& text, uint64_t* index) {
    if (text.empty() || text.size() > 4 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const unsigned long n = std::stoul(text);
    if (n < 1 || n > 999) {
        return false;
    }
    *index = n - 1;
    return true;
}

}  // namespace

int CmdPad(const Invocation& in) {
    uint64_t which = 0;
    const bool stop = in.args.size() == 1 && in.args[0] == "--stop";
    if (in.args.size() != 1 || (!stop && !ParsePadNumber(in.args[0], &which))) {
        in.out.Error("usage: lyntctl pad N|--stop   (N: favourite 1-999)");
        return kExitUsage;
    }
    if (stop) {
        which = kSoundPadStop;
    }
    // The pads play through the panel's own player: without the panel there is nothing to play.
    if (!platform::instance::SendToPanel(UM_SOUND_PAD, which, 0)) {
        in.out.Error("the control panel is not running: the sound pads play only in the panel");
        return kExitNoCard;
    }
    Json::Value o;
    if (stop) {
        o["stop"] = true;
    } else {
        o["pad"] = Json::UInt64(which + 1);
    }
    in.out.Emit(stop ? "stopped" : "sent pad " + in.args[0], o);
    return kExitOk;
}

}  // namespace ctl
