#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "CardConnection.h"
#include "ExitStatus.h"
#include "Log/Log.h"
#include "Output.h"
#include "QVAudioProtocol.h"
#include "WorkSpace.h"
#include "ccm_util/Dispatcher.h"
#include "common/Device/HidDevice/HidDeviceBuilder.h"

namespace ctl {

// How long a direct command waits for another program to let go of the card.
inline constexpr int kBusyWaitMs = 5000;
int BusyWaitMs();
// True when the card a session of this process opened is no longer there (its node or socket is
// gone, or goes within half a second): a command that failed then says the card was unplugged,
// with kExitNoCard.
bool CardWentAway();
// True when the node or socket of the card at devicePath is gone, or goes within half a second
// (udev removes a node a moment after the card has gone). Sleeps meanwhile: not for the UI thread.
bool NodeGone(const std::string& devicePath);
// "the card is in use by HOLDER; ...", for a card another program holds (holder may be empty).
std::string InUseMessage(const std::string& holder);

// What a card command works on: a session of lyntctl's own, or the running panel's workspace and
// card (CPanelTarget), so that both carry out a command the same way.
class ICtlTarget {
public:
    virtual ~ICtlTarget() = default;
    virtual CWorkSpace& Workspace() = 0;
    // Makes sure the card is there (opening it when the target is a session of its own). Returns
    // an exit status; on failure the reason is written to out.
    virtual int Open(const std::string& devicePath, const COutput& out) = 0;
    virtual bool IsConnected() const = 0;
    virtual CQVAudioProtocol& Protocol() = 0;
    // An exchange that waits for the card. Returns done's status at once, or, where the exchange
    // runs on the panel's card worker, kExitOk; the panel then answers done's status.
    virtual int Exchange(std::function<bool()> job, std::function<int(bool)> done) = 0;
    // A command that goes on after its function returns (monitor, a download) hands over what
    // must live meanwhile. The target keeps it and returns the function that ends the command
    // with its exit status; or null, where the command must wait itself (lyntctl alone).
    // endsItself: the command calls that function (a download), and what it keeps stays until
    // then even when the client goes; otherwise (monitor) it ends when its client goes.
    virtual std::function<void(int status)> Continue(std::shared_ptr<void> keep,
                                                     bool endsItself) = 0;
    // Set while an effect file goes to the card: the keep-alive keeps off the line meanwhile.
    virtual std::atomic<int>& LoadingEffect() = 0;
};

// How a session of lyntctl's own starts: a command that changes the card gives it the stored
// values first, as every connection of the panel does; a command that only reads (info, monitor,
// firmware check) leaves the card's values as they are.
enum class SessionStart { GiveStoredValues, ReadOnly };

// What every card command of lyntctl stands on: the same data folder, settings file and
// workspace as the control panel, the card opened and its session started, and the session
// ended again when the command is done. This thread is the "UI thread": it pumps the dispatcher.
class CCtlSession : public ICtlTarget {
public:
    explicit CCtlSession(SessionStart start = SessionStart::GiveStoredValues);
    ~CCtlSession() override;
    CCtlSession(const CCtlSession&) = delete;
    CCtlSession& operator=(const CCtlSession&) = delete;

    // Opens the card (the given path, or the first one found) and starts its session. Returns an
    // exit status; on failure the reason is printed.
    int Open(const std::string& devicePath, const COutput& out) override;
    bool IsConnected() const override { return m_connection && m_connection->IsConnected(); }
    int Exchange(std::function<bool()> job, std::function<int(bool)> done) override {
        return done(job());
    }
    std::function<void(int)> Continue(std::shared_ptr<void>, bool) override { return nullptr; }
    std::atomic<int>& LoadingEffect() override { return m_loadingEffect; }

    CWorkSpace& Workspace() override { return *m_workspace; }
    CQVAudioProtocol& Protocol() override { return m_protocol; }
    CCardConnection& Connection() { return *m_connection; }
    CHidDeviceBuilder& Builder() { return m_builder; }
    ccm_util::CManualDispatcher& Dispatcher() { return m_dispatcher; }

private:
    vlog::CLogManager m_log;
    ccm_util::CManualDispatcher m_dispatcher;
    ccm_util::CScopedDispatcher m_scopedDispatcher{&m_dispatcher};
    std::atomic<int> m_loadingEffect{0};
    CQVAudioProtocol m_protocol;
    std::unique_ptr<CWorkSpace> m_workspace;
    CHidDeviceBuilder m_builder;
    std::unique_ptr<CCardConnection> m_connection;
    SessionStart m_start;
    bool m_opened = false;
};

// The panel's target when the panel runs the command, otherwise a session of lyntctl's own.
class CTarget {
public:
    explicit CTarget(ICtlTarget* panel, SessionStart start = SessionStart::GiveStoredValues)
        : m_own(panel ? nullptr : std::make_unique<CCtlSession>(start)),
          m_target(panel ? panel : m_own.get()) {}
    ICtlTarget* operator->() const { return m_target; }
    CCtlSession* Own() const { return m_own.get(); }

private:
    std::unique_ptr<CCtlSession> m_own;
    ICtlTarget* m_target;
};

}  // namespace ctl
