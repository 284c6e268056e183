#include "CtlSession.h"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "ConfigData.h"
#include "DataFolder.h"
#include "Output.h"
#include "common/Device/HidDevice/HidBase.h"
#include "common/Device/VirtualCard/VirtualCardDevice.h"

namespace ctl {

namespace {
std::string g_openedPath;  // lyntctl runs one command, so one card, per process
}  // namespace

bool CardWentAway() {
    return !g_openedPath.empty() && NodeGone(g_openedPath);
}

bool NodeGone(const std::string& devicePath) {
    std::string node = devicePath;
    if (CVirtualCardDevice::IsVirtualPath(node)) {
        node.erase(0, std::char_traits<char>::length(CVirtualCardDevice::kPathPrefix));
    }
    if (node.empty()) {
        return false;
    }
    // The failed exchange can come before the node goes (udev removes it a moment after the
    // card has gone): give it half a second.
    for (int i = 0; i < 25; ++i) {
        struct stat st;
        if (::lstat(node.c_str(), &st) != 0 && errno == ENOENT) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

std::string InUseMessage(const std::string& holder) {
    return "the card is in use by " + (holder.empty() ? std::string("another program") : holder) +
           "; try again when it is done";
}

int BusyWaitMs() {
    // Tests of the programs as processes shorten the wait this way.
    const char* wait = std::getenv("LYNTCTL_BUSY_WAIT_MS");
    const int ms = wait ? std::atoi(wait) : 0;
    return ms > 0 ? ms : kBusyWaitMs;
}

CCtlSession::CCtlSession(SessionStart start) : m_start(start) {
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
    m_connection->SetPushOnStart(m_start == SessionStart::GiveStoredValues);
    // Another program has the card (a panel of another runtime folder, another lyntctl): wait a
    // little, as a short command of theirs ends soon, then say who has it.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(BusyWaitMs());
    bool connected = m_connection->ConnectPath(devicePath);
    while (!connected && m_builder.LastOpenError() == EBUSY &&
           std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        connected = m_connection->ConnectPath(devicePath);
    }
    if (connected) {
        m_opened = true;
        g_openedPath = m_builder.CurrentPath();
        return kExitOk;
    }
    if (m_builder.LastOpenError() == EBUSY) {
        out.Error(InUseMessage(m_builder.LastLockHolder()));
        return kExitBusy;
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
    std::vector<std::string> loaders;
    if (CHidBase::EnumDevices(loaders, CHidDeviceBuilder::kVendorId,
                              CHidDeviceBuilder::kLoaderProductId) > 0) {
        out.Error(
            "未连接设备！ The card is in its firmware loader (an upgrade was not finished): "
            "run lyntctl firmware upgrade");
        return kExitNoCard;
    }
    out.Error("未连接设备！");
    return kExitNoCard;
}

}  // namespace ctl
