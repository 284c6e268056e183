#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "CardConnection.h"
#include "Log/Log.h"
#include "QVAudioProtocol.h"
#include "WorkSpace.h"
#include "ccm_util/Dispatcher.h"
#include "common/Device/HidDevice/HidDeviceBuilder.h"

namespace ctl {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 1;
inline constexpr int kExitNoCard = 2;
inline constexpr int kExitNoAnswer = 3;
inline constexpr int kExitPanelRunning = 4;

// What every card command of lyntctl stands on: the same data folder, settings file and
// workspace as the control panel, the card opened and its session started, and the session
// ended again when the command is done. This thread is the "UI thread": it pumps the dispatcher.
class CCtlSession {
public:
    CCtlSession();
    ~CCtlSession();
    CCtlSession(const CCtlSession&) = delete;
    CCtlSession& operator=(const CCtlSession&) = delete;

    // Opens the card (the given path, or the first one found) and starts its session. Returns an
    // exit status; on failure the reason is printed.
    int Open(const std::string& devicePath);

    CWorkSpace& Workspace() { return *m_workspace; }
    CQVAudioProtocol& Protocol() { return m_protocol; }
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
    bool m_opened = false;
};

}  // namespace ctl
