#include "PanelCloudSound.h"

#include "CloudSoundJob.h"
#include "CtlSession.h"
#include "MoodConfig.h"
#include "PanelRequests.h"
#include "ccm_util/Dispatcher.h"

namespace ctl {

namespace {

void Answer(const std::shared_ptr<platform::instance::IPanelReply>& reply, int status) {
    reply->Send(EncodeStatus(status));
    reply->Finish();
}

}  // namespace

void RunCloudSoundInPanel(const Request& request, sound::CMoodConfig& store,
                          const std::filesystem::path& dataFolder, const std::string& baseUrl,
                          const std::shared_ptr<platform::instance::IPanelReply>& reply) {
    const COutput out(request.json, [reply](bool error, const std::string& text) {
        reply->Send(EncodeText(error, text));
    });
    int32_t id = 0;
    if (request.words.size() != 3 || request.words[1] != "sound" ||
        !ParseCloudId(request.words[2], &id)) {
        out.Error("usage: lyntctl cloud sounds [CATEGORY] | lyntctl cloud sound ID");
        Answer(reply, kExitUsage);
        return;
    }
    if (store.Path().empty()) {
        out.Error("no sound-pad file in the data folder");
        Answer(reply, kExitUsage);
        return;
    }
    auto job = std::make_shared<CCloudSoundJob>(store.Path(), dataFolder, baseUrl);
    // The job holds itself through its own callback until it has answered; it goes on the UI
    // thread's next turn, not inside its own library's event.
    auto self = std::make_shared<std::shared_ptr<CCloudSoundJob>>(job);
    const bool started =
        job->Start(id, [&store, reply, out, id, self](int status, const sound::MoodItem& clip,
                                                      const std::string& error) {
            if (status == kExitOk && !store.AddDownloaded(clip)) {
                out.Error("cloud: the sound-pad file could not be written");
                status = kExitNoAnswer;
            } else if (status == kExitOk) {
                EmitCloudClip(out, id, clip);
            } else {
                out.Error(error);
            }
            Answer(reply, status);
            ccm_util::DispatchToUi([keep = std::move(*self)] {});
        });
    if (!started) {
        self->reset();
        out.Error("cloud: cannot start");
        Answer(reply, kExitNoAnswer);
    }
}

}  // namespace ctl
