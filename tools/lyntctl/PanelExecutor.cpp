#include "PanelExecutor.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "Commands.h"
#include "CtlSession.h"
#include "ModelEvents.h"
#include "PanelCloudSound.h"
#include "PanelRequests.h"
#include "WorkSpace.h"
#include "ccm_util/Dispatcher.h"
#include "ccm_util/EventBus.h"

namespace ctl {

namespace {

using platform::instance::IPanelReply;

// The panel's workspace and card as a command's target; lives until the command's answer is out.
class CPanelTarget : public ICtlTarget, public std::enable_shared_from_this<CPanelTarget> {
public:
    // holder: the program the panel waits for to let go of the card, or empty.
    CPanelTarget(CWorkSpace& ws, CQVAudioProtocol& protocol, card::ICardWorker& worker,
                 std::atomic<int>& loading, std::string holder)
        : m_ws(ws),
          m_protocol(protocol),
          m_worker(worker),
          m_loading(loading),
          m_holder(std::move(holder)) {}

    CWorkSpace& Workspace() override { return m_ws; }
    CQVAudioProtocol& Protocol() override { return m_protocol; }
    bool IsConnected() const override { return m_ws.IsCardReady(); }
    int Open(const std::string&, const COutput& out) override {
        if (m_ws.IsCardReady())
            return kExitOk;
        if (!m_holder.empty()) {
            out.Error(InUseMessage(m_holder));
            return kExitBusy;
        }
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
    std::function<void(int)> Continue(std::shared_ptr<void> keep, bool endsItself) override {
        m_kept = std::move(keep);
        m_endsItself = endsItself;
        // Holds the target, and so what it keeps, until the command ends (Release).
        return [self = shared_from_this()](int status) {
            self->Fail(status);
            if (self->m_finish)
                self->m_finish();
        };
    }
    std::atomic<int>& LoadingEffect() override { return m_loading; }

    void Fail(int status) { m_status = std::max(m_status, status); }
    // A send of the workspace's for the command did not reach the card.
    void SendFailed() { m_sendFailed = true; }
    bool HasSendFailed() const { return m_sendFailed; }
    int Status() const { return m_status; }
    // The command goes on after its function returned; its output goes out at once.
    bool Continuing() const { return m_kept != nullptr; }
    bool EndsItself() const { return m_endsItself; }
    // What ends a continuing command; the finish function of Continue calls it.
    void SetFinish(std::function<void()> finish) { m_finish = std::move(finish); }
    // What the command kept goes (and with it its subscriptions and windows).
    // Later, not now: the finish may come from what was kept (the download's window).
    void Release() {
        m_finish = nullptr;
        if (m_kept)
            ccm_util::DispatchToUi([kept = std::move(m_kept)] {});
    }
    // The program ends: what the command kept goes now (a clip's transfer is stopped and waited
    // for, its temporary file removed), while what it works on is still there. It holds this
    // target through its finish function, so it would never go by itself.
    void EndNow() {
        m_finish = nullptr;
        std::shared_ptr<void> kept = std::move(m_kept);
        kept.reset();
    }

private:
    CWorkSpace& m_ws;
    CQVAudioProtocol& m_protocol;
    card::ICardWorker& m_worker;
    std::atomic<int>& m_loading;
    const std::string m_holder;
    std::shared_ptr<void> m_kept;
    std::function<void()> m_finish;
    int m_status = kExitOk;
    bool m_sendFailed = false;
    bool m_endsItself = false;
};

// Stands in for the panel's worker while a command runs, so that the workspace's sends for it
// report to the command whether the card took them.
class CRecordingWorker : public card::ICardWorker {
public:
    CRecordingWorker(card::ICardWorker& worker, std::shared_ptr<CPanelTarget> target)
        : m_worker(worker), m_target(std::move(target)) {}
    bool Submit(Job job, Done done) override {
        return m_worker.Submit(std::move(job), [target = m_target, done](bool ok) {
            if (!ok)
                target->SendFailed();
            if (done)
                done(ok);
        });
    }
    bool WaitIdle(uint32_t ms) override { return m_worker.WaitIdle(ms); }

private:
    card::ICardWorker& m_worker;
    std::shared_ptr<CPanelTarget> m_target;
};

// What a command wrote, held back until its exchanges are done: a send the card did not take
// turns its "done" into the direct mode's error.
struct HeldAnswer {
    std::vector<std::pair<bool, std::string>> texts;
};

std::vector<int> Params(const CWorkSpace& ws) {
    std::vector<int> values;
    for (const auto& d : ws.Descriptors())
        values.push_back(ws.GetParam(d.id));
    return values;
}

// The panel's controls and pages show what a command changed, as after the user's own edit: the
// sliders take the values, the effects page its title (it follows the effect number).
void ShowChanges(CWorkSpace& ws, const std::vector<int>& before) {
    EventParamChanged event;
    const std::vector<int> after = Params(ws);
    for (size_t i = 0; i < after.size() && i < before.size(); ++i) {
        if (after[i] != before[i])
            event.params.emplace_back(ws.Descriptors()[i].id, after[i]);
    }
    if (event.params.empty())
        return;
    ws.RefreshControls();
    ccm_util::EventBus::Instance().Fire(event);
}

void Finish(const std::shared_ptr<IPanelReply>& reply, int status, bool cardGone = false) {
    reply->Send(EncodeStatus(status, cardGone));
    reply->Finish();
}

// A command the card did not answer (status 3) may have failed because the card left: the answer
// says so, and lyntctl prints what its direct mode prints. The node goes a moment after the
// exchange failed, so the look waits a little, on the card worker, not on the UI thread.
void FinishLooking(card::ICardWorker& worker, const std::shared_ptr<IPanelReply>& reply, int status,
                   const std::string& cardPath) {
    if (status != kExitNoAnswer || cardPath.empty()) {
        Finish(reply, status);
        return;
    }
    auto gone = std::make_shared<bool>(false);
    if (!worker.Submit(
            [cardPath, gone] {
                *gone = NodeGone(cardPath);
                return true;
            },
            [reply, gone](bool) { Finish(reply, kExitNoAnswer, *gone); })) {
        Finish(reply, kExitNoAnswer);
    }
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
    if (request.words.front() == "pad") {
        RunPad(request, reply);
        return;
    }
    if (request.words.front() == "cloud" && m_sounds) {
        RunCloudSoundInPanel(request, *m_sounds, m_dataFolder, m_baseUrl, reply);
        return;
    }
    const Command* command = FindCommand(request.words.front());
    if (!command || !command->needsCard) {
        reply->Send(
            EncodeText(true, "the control panel does not run " + request.words.front() + "\n"));
        Finish(reply, kExitUsage);
        return;
    }
    // While the firmware is written or a file loads into the card, nothing else may reach it;
    // reading the panel's values and listening to the card send nothing.
    const std::string& verb = request.words.front();
    const bool readsOnly = verb == "get" || verb == "monitor" || verb == "eq" || verb == "params" ||
                           verb == "effects" || verb == "presets" || verb == "my-effects";
    if (const char* busy = m_workspace.LineBusyReason(); busy && !readsOnly) {
        reply->Send(EncodeText(true, "refused: " + std::string(busy) + "\n"));
        Finish(reply, kExitPanelRunning);
        return;
    }
    auto target = std::make_shared<CPanelTarget>(m_workspace, m_protocol, m_worker, m_loading,
                                                 m_card.holder ? m_card.holder() : std::string());
    // The card the command works on: should it fail, was this card unplugged meanwhile?
    const std::string cardPath = m_card.path ? m_card.path() : std::string();
    card::ICardWorker& worker = m_worker;
    auto held = std::make_shared<HeldAnswer>();
    Invocation in;
    in.panel = target.get();
    std::weak_ptr<IPanelReply> to = reply;
    // Weak: a monitor's subscriptions hold this sink, and the target holds them.
    std::weak_ptr<CPanelTarget> of = target;
    in.out = COutput(request.json, [to, of, held](bool error, const std::string& text) {
        auto t = of.lock();
        if (t && !t->Continuing()) {
            held->texts.emplace_back(error, text);
        } else if (auto r = to.lock()) {
            r->Send(EncodeText(error, text));
        }
    });
    // Meter levels may be missed by a slow client; progress tells it that a long command lives.
    in.out.SetSideSink([to, of](COutput::Side side, const std::string& text) {
        auto r = to.lock();
        if (!r)
            return;
        if (side == COutput::Side::Progress) {
            r->Send(EncodeProgress(text));
        } else if (auto t = of.lock(); t && t->Continuing()) {
            r->SendDroppable(EncodeText(false, text));
        }
    });
    in.args.assign(request.words.begin() + 1, request.words.end());
    in.showProgress = request.progress;
    CRecordingWorker recording(m_worker, target);
    const std::vector<int> before = Params(m_workspace);
    m_workspace.SetCardWorker(&recording);
    const int status = command->run(in);
    m_workspace.SetCardWorker(&m_worker);
    ShowChanges(m_workspace, before);
    if (verb == "save-effect" && status == kExitOk) {
        // The effects page's "我的音效" buttons show the new name, as after its own dialog.
        ccm_util::EventBus::Instance().Fire(EventMyEffectsChanged{});
    }
    if (status == kExitOk && target->Continuing()) {
        for (const auto& [error, text] : held->texts)
            reply->Send(EncodeText(error, text));
        // Ends with the command's own finish (a download), or when lyntctl goes (monitor); either
        // way what the command kept goes then.
        std::weak_ptr<CPanelTarget> weak = target;
        target->SetFinish([weak, to, &worker, cardPath] {
            auto t = weak.lock();
            if (auto r = to.lock())
                FinishLooking(worker, r, t ? t->Status() : kExitNoAnswer, cardPath);
            if (t)
                t->Release();
        });
        // A download goes on without its client: the card takes the file all the same, and the
        // panel's loading flag stays until it has.
        reply->OnClosed([target] {
            if (!target->EndsItself())
                target->Release();
        });
        if (target->EndsItself()) {
            std::erase_if(m_running, [](const auto& ender) { return !ender(false); });
            m_running.push_back([weak, to, name = request.words.front()](bool end) {
                auto t = weak.lock();
                if (!t || !end)
                    return t != nullptr;
                if (auto r = to.lock()) {
                    r->Send(
                        EncodeText(true, "the control panel ended before " + name + " was done\n"));
                    Finish(r, kExitNoAnswer);
                }
                t->EndNow();
                return false;
            });
        }
        return;
    }
    target->Fail(status);
    // The worker runs jobs in order: this one's answer comes after every exchange of the command.
    const std::string name = request.words.front();
    auto answer = [reply, target, held, name, status, &worker, cardPath](bool) {
        // As the direct mode, which learns it before it prints "done".
        const bool notTaken = status == kExitOk && target->HasSendFailed();
        for (const auto& [error, text] : held->texts) {
            if (error || !notTaken)
                reply->Send(EncodeText(error, text));
        }
        if (notTaken) {
            reply->Send(EncodeText(true, "the card did not take " + name + "\n"));
            target->Fail(kExitNoAnswer);
        }
        FinishLooking(worker, reply, target->Status(), cardPath);
    };
    // The command's edits may wait behind a flush on its way or for the flush timer: the answer
    // waits until the card answered the frames that carry them, then for the command's other
    // exchanges (the worker runs jobs in order).
    if (target->HasSendFailed()) {
        // Already known: the card did not take the command's values.
        answer(false);
        return;
    }
    m_workspace.WhenSent([&worker, target, answer](bool sent) {
        if (!sent)
            target->SendFailed();
        if (!worker.Submit([] { return true; }, answer)) {
            target->Fail(kExitNoAnswer);
            answer(false);
        }
    });
}

void CPanelExecutor::EndAll() {
    std::vector<std::function<bool(bool)>> running;
    running.swap(m_running);
    for (const auto& end : running)
        end(true);
}

}  // namespace ctl
