#include "PanelExecutor.h"

#include <algorithm>

#include "Commands.h"
#include "CtlSession.h"
#include "PanelRequests.h"
#include "WorkSpace.h"

namespace ctl {

namespace {

using platform::instance::IPanelReply;

// The panel's workspace and card as a command's target; lives until the command's answer is out.
class CPanelTarget : public ICtlTarget {
public:
    CPanelTarget(CWorkSpace& ws, CQVAudioProtocol& protocol, card::ICardWorker& worker)
        : m_ws(ws), m_protocol(protocol), m_worker(worker) {}

    CWorkSpace& Workspace() override { return m_ws; }
    CQVAudioProtocol& Protocol() override { return m_protocol; }
    bool IsConnected() const override { return m_ws.IsCardReady(); }
    int Open(const std::string&, const COutput& out) override {
        if (m_ws.IsCardReady()) return kExitOk;
        out.Error("未连接设备！");
        return kExitNoCard;
    }
    int Exchange(std::function<bool()> job, std::function<int(bool)> done) override {
        // done runs on the UI thread once the worker is through; the answer waits for it.
        if (!m_worker.Submit(std::move(job), [this, done](bool ok) { Fail(done(ok)); })) {
            Fail(done(false));
        }
        return kExitOk;
    }
    bool KeepUntilClosed(std::shared_ptr<void> watch) override {
        m_watch = std::move(watch);
        return true;
    }

    void Fail(int status) { m_status = std::max(m_status, status); }
    int Status() const { return m_status; }
    bool Streaming() const { return m_watch != nullptr; }

private:
    CWorkSpace& m_ws;
    CQVAudioProtocol& m_protocol;
    card::ICardWorker& m_worker;
    std::shared_ptr<void> m_watch;
    int m_status = kExitOk;
};

void Finish(const std::shared_ptr<IPanelReply>& reply, int status) {
    reply->Send(EncodeStatus(status));
    reply->Finish();
}

}  // namespace

void CPanelExecutor::Run(const std::string& body, const std::shared_ptr<IPanelReply>& reply) {
    Request request;
    std::string reason;
    if (!DecodeRequest(body, &request, &reason)) {
        reply->Send(EncodeText(true, "bad request: " + reason + "\n"));
        Finish(reply, kExitUsage);
        return;
    }
    const Command* command = FindCommand(request.words.front());
    if (!command || !command->needsCard) {
        reply->Send(EncodeText(true, "the control panel does not run " + request.words.front() + "\n"));
        Finish(reply, kExitUsage);
        return;
    }
    auto target = std::make_shared<CPanelTarget>(m_workspace, m_protocol, m_worker);
    Invocation in;
    in.panel = target.get();
    std::weak_ptr<IPanelReply> to = reply;
    in.out = COutput(request.json, [to](bool error, const std::string& text) {
        if (auto r = to.lock()) r->Send(EncodeText(error, text));
    });
    in.args.assign(request.words.begin() + 1, request.words.end());
    const int status = command->run(in);
    if (status == kExitOk && target->Streaming()) {
        // Reports until lyntctl goes; then the subscriptions go with the target.
        reply->OnClosed([target] {});
        return;
    }
    target->Fail(status);
    // The worker runs jobs in order: this one's answer comes after every exchange of the command.
    auto answer = [reply, target](bool) { Finish(reply, target->Status()); };
    if (!m_worker.Submit([] { return true; }, answer)) {
        Finish(reply, std::max(target->Status(), kExitNoAnswer));
    }
}

}  // namespace ctl
