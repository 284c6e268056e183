// lyntctl commands that run for a while: sending an effect file and watching the card.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <optional>
#include <thread>

#include "CommandSupport.h"
#include "ConnectionEvents.h"
#include "CtlSession.h"
#include "InterruptWatch.h"
#include "ModelEvents.h"
#include "ParamText.h"
#include "QVAudioEvents.h"
#include "UdevDeviceNotifier.h"
#include "ccm_util/AppMessages.h"
#include "ccm_util/MessagePoster.h"
#include "profile/ProfileText.h"

namespace ctl {

namespace {

// Takes the download's progress messages in place of the panel's main window, and passes them
// on to the window that had them (the running panel's), so that it shows the download as well.
class CProgressWindow : public ccm_util::CMessageTarget {
public:
    CProgressWindow(bool showProgress, const COutput& out, std::atomic<int>& loading)
        : m_show(showProgress),
          m_out(out),
          m_loading(loading),
          m_previous(ccm_util::MainWindowHandle()) {
        ccm_util::SetMainWindowHandle(Handle());
        ++m_loading;
    }
    ~CProgressWindow() override {
        if (!m_done)
            --m_loading;
        if (ccm_util::MainWindowHandle() == Handle()) {
            ccm_util::SetMainWindowHandle(m_previous);
        }
    }
    void OnMessage(uint32_t msg, ccm_util::WPARAM w, ccm_util::LPARAM l) override {
        if (m_previous) {
            ccm_util::PostMessage(m_previous, msg, w, l);
        }
        if (msg != UM_NOTIFY_MAIN || m_done)
            return;
        if (w == kNotifyDownloadProgress && m_show) {
            char text[32];
            std::snprintf(text, sizeof text, "\rsending effect: %3lld%%",
                          static_cast<long long>(l));
            m_out.PrintError(text);
        } else if (w == kNotifyDownloadDone) {
            if (m_show)
                m_out.PrintError("\n");
            m_done = true;
            --m_loading;
            m_result = l;
            if (ccm_util::MainWindowHandle() == Handle()) {
                ccm_util::SetMainWindowHandle(m_previous);
            }
            if (m_onDone)
                m_onDone(Succeeded());
        }
    }
    // Where the command is not waited for: what to do when the card has had the file.
    void OnDone(std::function<void(bool)> done) { m_onDone = std::move(done); }
    bool Done() const { return m_done; }
    bool Succeeded() const { return m_result == 1; }

private:
    bool m_show;
    COutput m_out;
    std::atomic<int>& m_loading;
    ccm_util::WindowHandle m_previous;
    std::function<void(bool)> m_onDone;
    bool m_done = false;
    int64_t m_result = 0;
};

}  // namespace

int SentEffect(const COutput& out, const std::string& name, bool sent) {
    if (!sent) {
        out.Error("the card did not take the whole effect file");
        return kExitNoAnswer;
    }
    Json::Value o;
    o["type"] = "result";
    o["command"] = "send-effect";
    o["ok"] = true;
    o["file"] = name;
    out.Emit("sent " + name, o);
    return kExitOk;
}

int CmdSendEffect(const Invocation& in) {
    if (in.args.size() != 1) {
        in.out.Error("usage: lyntctl send-effect FILE");
        return kExitUsage;
    }
    // Absolute, so that the group read-back finds the file from any working directory.
    std::error_code ec;
    const std::filesystem::path file = std::filesystem::absolute(in.args[0], ec);
    // The file's name becomes the current effect's.
    bool cut = false;
    const std::u16string name = FitName(in.out, platform::profile::FromUtf8(file.stem().string()),
                                        model::kEffectNameUnits, &cut);
    return SendEffectFile(in, ec ? std::filesystem::path() : file, name, in.args[0]);
}

int SendEffectFile(const Invocation& in, const std::filesystem::path& file,
                   std::u16string_view name, const std::string& shown) {
    CTarget session(in.panel);
    if (int status = session->Open(in.device, in.out)) {
        return status;
    }
    std::error_code ec;
    // The panel reads files for its own user only: no device node, no pipe that never ends.
    if (file.empty() || !std::filesystem::is_regular_file(file, ec) ||
        ::access(file.c_str(), R_OK) != 0) {
        in.out.Error("cannot send " + shown + ": not a file this user can read");
        return kExitUsage;
    }
    auto progress =
        std::make_shared<CProgressWindow>(in.showProgress, in.out, session->LoadingEffect());
    if (!session->Workspace().LoadEffectFile(file)) {
        in.out.Error("cannot send " + shown + ": not a usable effect file");
        return kExitUsage;
    }
    // As the panel does: the file becomes the current effect, so the values just applied are
    // stored under its name and number, not under those of the effect before.
    session->Workspace().SetFileEffect(name, file);
    if (auto finish = session->Continue(progress, true)) {
        progress->OnDone(
            [finish, out = in.out, shown](bool sent) { finish(SentEffect(out, shown, sent)); });
        return kExitOk;
    }
    // Each frame waits at most 3 × 1.5 s; a whole file is far below this bound.
    session.Own()->Dispatcher().PumpUntil([&] { return progress->Done(); }, 10 * 60 * 1000);
    return SentEffect(in.out, shown, progress->Succeeded());
}

namespace {

// What monitor listens to, for as long as it lives.
struct MonitorWatch {
    ccm_util::CEventSubscription params;
    ccm_util::CEventSubscription levels;
    ccm_util::CEventSubscription changes;
    bool wasConnected = true;
    // What was last shown of each parameter: the panel re-announces values it already had (a
    // refresh of its controls), which are no change to report.
    std::vector<int> shown;
};

std::shared_ptr<MonitorWatch> WatchCard(ICtlTarget* target, const COutput& out, bool levels) {
    auto watch = std::make_shared<MonitorWatch>();
    CWorkSpace& ws = target->Workspace();
    for (const auto& d : ws.Descriptors())
        watch->shown.push_back(ws.GetParam(d.id));
    MonitorWatch* w = watch.get();
    // What the workspace made of a report (quarter steps, an effect switch), not the raw report.
    watch->params = ccm_util::CEventSubscription::Of<EventParamChanged>(
        [&ws, w, out](const EventParamChanged& e) {
            for (auto [id, value] : e.params) {
                if (!model::IsParamId(id) || w->shown[static_cast<size_t>(id)] == value)
                    continue;
                w->shown[static_cast<size_t>(id)] = value;
                const auto& d = ws.Descriptors()[static_cast<size_t>(id)];
                Json::Value o = ParamObject("event", d, value);
                o["event"] = "param";
                out.Emit(ParamLine(d, value), o);
            }
        });
    watch->levels =
        ccm_util::CEventSubscription::Of<EventRecvData>([out, levels](const EventRecvData& e) {
            if (e.data[0] == card::RPT_LEVELS && levels) {
                int n = std::min<int>(e.data[card::kLevelCountOffset], card::kMaxLevels);
                std::string text = "levels";
                Json::Value o;
                o["type"] = "event";
                o["event"] = "levels";
                o["values"] = Json::arrayValue;
                for (int i = 0; i < n; ++i) {
                    int v =
                        e.data[static_cast<size_t>(card::kLevelValuesOffset + 2 * i)] |
                        (e.data[static_cast<size_t>(card::kLevelValuesOffset + 2 * i + 1)] << 8);
                    text += " " + std::to_string(v);
                    o["values"].append(v);
                }
                out.EmitDroppable(text, o);
            }
        });
    watch->changes = ccm_util::CEventSubscription::Of<EventDeviceChanged>(
        [w, target, out](const EventDeviceChanged&) {
            bool connected = target->IsConnected();
            if (connected == w->wasConnected) {
                return;  // an arrival that did not connect changes nothing for the user
            }
            w->wasConnected = connected;
            Json::Value o;
            o["type"] = "event";
            o["event"] = connected ? "plugged" : "unplugged";
            out.Emit(connected ? "card is back" : "card unplugged; waiting for it to come back", o);
        });
    return watch;
}

}  // namespace

int CmdMonitor(const Invocation& in) {
    bool levels = false;
    for (const auto& a : in.args) {
        if (a == "--levels") {
            levels = true;
        } else {
            in.out.Error("usage: lyntctl monitor [--levels]");
            return kExitUsage;
        }
    }
    // Signals are lyntctl's own business; the panel's monitor ends when its client goes.
    std::optional<CInterruptWatch> interrupt;
    if (!in.panel) {
        interrupt.emplace();  // before any thread starts, so they all block the signals
    }
    // It reports the knobs' values; the stored ones would turn the knobs back first.
    CTarget session(in.panel, SessionStart::ReadOnly);
    if (int status = session->Open(in.device, in.out)) {
        return status;
    }
    std::shared_ptr<MonitorWatch> watch = WatchCard(session.operator->(), in.out, levels);
    if (session->Continue(watch, false)) {
        return kExitOk;  // reports until the client goes
    }
    CCtlSession& own = *session.Own();
    std::unique_ptr<IDeviceNotifier> notifier = CreateDeviceNotifier();
    notifier->Start(&own.Connection());
    while (!interrupt->Interrupted()) {
        own.Dispatcher().PumpFor(60 * 1000);
    }
    notifier->Stop();
    return kExitOk;
}

}  // namespace ctl
