// lyntctl pad in the running panel: the favourite plays in the panel's own player, and the answer
// goes out the moment it plays, or says why it does not.
#include "CommandSupport.h"
#include "MoodConfig.h"
#include "PadNames.h"
#include "PanelExecutor.h"
#include "PanelRequests.h"
#include "ccm_util/AppMessages.h"

namespace ctl {

namespace {

using sound::PadOutcome;

int Report(PadOutcome outcome, uint64_t which, const std::string& name, const COutput& out) {
    const std::string pad = "pad " + std::to_string(which) + " (" + name + ")";
    Json::Value o;
    o["type"] = "result";
    o["command"] = "pad";
    o["ok"] = true;
    switch (outcome) {
        case PadOutcome::Playing:
            o["position"] = Json::UInt64(which);
            o["name"] = name;
            out.Emit(pad + ": playing", o);
            return kExitOk;
        case PadOutcome::Stopped:
            o["stop"] = true;
            out.Emit("pad: stopped", o);
            return kExitOk;
        case PadOutcome::NoSuchPad:
            // The favourites changed between the look and the press.
            out.Error("no favourite sound pad " + std::to_string(which) + " any more");
            return kExitUsage;
        case PadOutcome::ClipMissing:
            out.Error(pad + ": its clip file is gone; nothing plays");
            return kExitNoAnswer;
        case PadOutcome::Fetching:
            out.Error(pad +
                      ": its clip is being fetched from the cloud service; it plays once it "
                      "is in");
            return kExitNoAnswer;
        case PadOutcome::Failed:
            out.Error(pad + ": the clip could not be played");
            return kExitNoAnswer;
        case PadOutcome::NoPlayer:
            break;
    }
    out.Error("the control panel's window is closed: the sound pads play only while it is open");
    return kExitNoCard;
}

}  // namespace

void CPanelExecutor::RunPad(const Request& request,
                            const std::shared_ptr<platform::instance::IPanelReply>& reply) {
    const COutput out(request.json, [reply](bool error, const std::string& text) {
        reply->Send(EncodeText(error, text));
    });
    const std::vector<std::string> args(request.words.begin() + 1, request.words.end());
    int status = kExitUsage;
    if (args.size() != 1 || args[0].empty()) {
        out.Error(kPadUsage);
    } else if (args[0] == "--stop") {
        status = Report(m_padPlayer ? m_padPlayer(kSoundPadStop) : PadOutcome::NoPlayer,
                        kSoundPadStop, {}, out);
    } else {
        const std::vector<std::string> names =
            m_sounds ? PadNames(*m_sounds) : std::vector<std::string>();
        const int position = PositionOrName(args[0], names);
        if (position < 0) {
            out.Error(NoSuchPadMessage(args[0], names));
        } else {
            const auto which = static_cast<uint64_t>(position);
            status = Report(m_padPlayer ? m_padPlayer(which) : PadOutcome::NoPlayer, which,
                            names[size_t(position)], out);
        }
    }
    reply->Send(EncodeStatus(status, false));
    reply->Finish();
}

}  // namespace ctl
