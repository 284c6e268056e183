#include "CardConnection.h"

#include <strings.h>

#include <thread>

#include "CardCommands.h"
#include "ConnectionEvents.h"
#include "Log/Log.h"
#include "QVAudioProtocol.h"
#include "WorkSpace.h"
#include "common/Device/HidDevice/DeviceIds.h"
#include "common/Device/HidDevice/HidDeviceBuilder.h"

#define LOG_SOURCE "app\\core\\CardConnection"

namespace {
bool IsTheCard(const std::string& path) {
    uint16_t vid = 0;
    uint16_t pid = 0;
    return IdentifyDevice(path, &vid, &pid) && vid == CHidDeviceBuilder::kVendorId &&
           pid == CHidDeviceBuilder::kProductId;
}
}  // namespace

CCardConnection::CCardConnection(CHidDeviceBuilder& builder, CQVAudioProtocol& protocol,
                                 CWorkSpace& workspace, const std::atomic<int>& loadingEffect)
    : m_builder(builder), m_protocol(protocol), m_workspace(workspace),
      m_loadingEffect(loadingEffect) {}

CCardConnection::~CCardConnection() { StopKeepAlive(); }

bool CCardConnection::Startup() {
    if (m_builder.FindDevices(CHidDeviceBuilder::kProductId) > 0 && m_builder.OpenFirstDevice()) {
        OnDeviceConnected();
    }
    return IsConnected();
}

bool CCardConnection::ConnectPath(const std::string& path) {
    if (path.empty()) {
        return Startup();
    }
    if (m_builder.OpenDevicePath(path)) {
        OnDeviceConnected();
    }
    return IsConnected();
}

bool CCardConnection::IsConnected() const { return m_workspace.IsCardReady(); }

void CCardConnection::OnDevicePnp(bool removed, const std::string& path) {
    CDeviceManager* manager = m_builder.GetManager();
    if (!manager) {
        return;
    }
    if (removed) {
        if (manager->IsOpen() && strcasecmp(path.c_str(), m_builder.CurrentPath().c_str()) == 0) {
            manager->DetachDevice();
            std::this_thread::sleep_for(std::chrono::milliseconds(kRemovalSettleMs));
            OnDeviceChanged(true);
        }
        return;
    }
    if (manager->IsOpen() || !IsTheCard(path)) {
        return;
    }
    m_builder.OpenDevicePath(path);  // a failure still tells the UI the card is absent
    OnDeviceChanged(false);
}

void CCardConnection::OnDeviceConnected() {
    CDeviceManager* manager = m_builder.GetManager();
    if (!manager) {
        return;
    }
    if (!m_workspace.DeviceMgmt()) {
        m_workspace.SetDevice(manager, &m_protocol);
    }
    if (manager->IsOpen() && manager->GetDevice() &&
        IsTheCard(manager->GetDevice()->GetDevicePath())) {
        StartSession();
    }
}

bool CCardConnection::SendHostState(int state) {
    ICommDeviceMgmt* manager = m_protocol.DeviceMgmt();
    if (!manager) {
        return false;
    }
    card::Frame q{};
    q[0] = card::CMD_HOST_STATE;
    q[4] = static_cast<uint8_t>(state);
    card::Frame r{};
    return manager->SendAndReceive(q.data(), r.data(), card::kHostStateTiming.tries,
                                   card::kHostStateTiming.timeoutMs, false);
}

bool CCardConnection::StartSession() {
    if (m_protocol.DeviceMgmt()) {
        m_protocol.NegotiateKey();  // a failed exchange leaves its temporary key; go on
    }
    bool connected = SendHostState(1);
    m_workspace.SetConnected(connected);
    if (!connected) {
        VLOG_ERROR("device", "CCardConnection::StartSession", "the card did not answer host state 1");
        return false;
    }
    m_workspace.SetStarted(true);
    if (!m_keepAlive) {
        m_keepAlive = std::make_unique<CConnectWorkThread>(
            [this] { return static_cast<ICommDeviceMgmt*>(m_builder.GetManager()); },
            m_loadingEffect);
    }
    m_keepAlive->Start();
    m_workspace.PushParams(true, true);
    return true;
}

bool CCardConnection::EndSession() {
    m_workspace.SetStarted(false);
    m_workspace.SetConnected(false);
    m_workspace.SaveCurrentEffect();
    if (!m_protocol.DeviceMgmt()) {
        return false;
    }
    m_protocol.NegotiateKey();
    return SendHostState(0);
}

void CCardConnection::StopKeepAlive() {
    if (m_keepAlive) {
        m_keepAlive->Stop(2000);
    }
}

void CCardConnection::OnDeviceChanged(bool removed) {
    if (removed) {
        m_workspace.SetConnected(false);
        m_workspace.SetStarted(false);
        StopKeepAlive();
    } else {
        OnDeviceConnected();
    }
    ccm_util::EventBus::Instance().Fire(EventDeviceChanged());
}

void CCardConnection::Disconnect() {
    if (CDeviceManager* manager = m_builder.GetManager()) {
        manager->DetachDevice();
    }
    StopKeepAlive();
    m_workspace.SetConnected(false);
    m_workspace.SetStarted(false);
}

void CCardConnection::OnSuspend() { EndSession(); }

void CCardConnection::OnResume() { OnDeviceConnected(); }

void CCardConnection::OnSessionEnding() {
    EndSession();
    Disconnect();
}
