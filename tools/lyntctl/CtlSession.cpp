#include "CtlSession.h"

#include <cerrno>

#include "ConfigData.h"
#include "DataFolder.h"
#include "Output.h"

namespace ctl {

CCtlSession::CCtlSession() {
    // Problems go to the log file, as the panel's do; standard error is for the user.
    m_log.Start(appbase::DataSubFolder("log"), "lyntctl");
    m_workspace = std::make_unique<CWorkSpace>(CConfigData::DefaultPath(), appbase::DataFolder());
    // lyntctl sends its edits itself, as one batch, instead of on a timer.
    m_workspace->SetFlushSuspended(true);
}

CCtlSession::~CCtlSession() {
    m_protocol.WaitDownload();
    if (m_opened) {
        m_connection->EndSession();
        m_connection->Disconnect();
    }
    m_connection.reset();
}

int CCtlSession::Open(const std::string& devicePath, const COutput& out) {
    if (!m_builder.CreateManager(&m_protocol)) {
        out.Error("cannot start the device manager");
        return kExitNoCard;
    }
    m_connection =
        std::make_unique<CCardConnection>(m_builder, m_protocol, *m_workspace, m_loadingEffect);
    if (m_connection->ConnectPath(devicePath)) {
        m_opened = true;
        return kExitOk;
    }
    if (m_builder.GetManager()->IsOpen()) {
        m_opened = true;  // attached: say goodbye properly even though it did not answer
        out.Error("the card did not answer");
        return kExitNoAnswer;
    }
    if (m_builder.LastOpenError() == EACCES) {
        std::string path = !devicePath.empty()         ? devicePath
                           : m_builder.Paths().empty() ? std::string("the card's device node")
                                                       : m_builder.Paths().front();
        out.Error("the card is there but this user may not open it: no permission on " + path +
                  ". Install the udev rule (make install) or ask for access to it.");
        return kExitNoCard;
    }
    out.Error("未连接设备！");
    return kExitNoCard;
}

}  // namespace ctl
