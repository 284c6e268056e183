// lyntctl panel: talks to the running control panel instead of the card.
#include "Commands.h"
#include "CtlSession.h"
#include "PanelLock.h"
#include "ccm_util/AppMessages.h"

namespace ctl {

int CmdPanel(const Invocation& in) {
    if (in.args.size() != 1 || (in.args[0] != "show" && in.args[0] != "upgrade")) {
        in.out.Error("usage: lyntctl panel show|upgrade");
        return kExitUsage;
    }
    bool show = in.args[0] == "show";
    // The hidden window takes both: 1125 with 5 shows the main window, 1126 opens the upgrade.
    if (!platform::instance::SendToPanel(show ? UM_NOTIFY_MAIN : UM_SHOW_UPGRADE, show ? 5 : 0,
                                         0)) {
        in.out.Error("the control panel is not running");
        return kExitNoCard;
    }
    Json::Value o;
    o["sent"] = in.args[0];
    in.out.Emit("sent", o);
    return kExitOk;
}

}  // namespace ctl
