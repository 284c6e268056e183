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

void FireDeviceChanged() { ccm_util::EventBus::Instance().Fire(EventDeviceChanged()); }
}  // namespace

CCardConnection::CCardConnection(CHidDeviceBuilder& builder, CQVAudioProtocol& protocol,
                                 CWorkSpace& workspace, const std::atomic<int>& loadingEffect)
    : m_builder(builder), m_protocol(protocol), m_workspace(workspace),
      m_loadingEffect(loadingEffect) {}

CCardConnection::~CCardConnection() { StopKeepAlive(); }

card::ICardWorker& CCardConnection::Worker() const {
    return m_worker ? *m_worker : card::CInlineCardWorker::Instance();
}

bool CCardConnection::Startup() {
    if (m_builder.FindDevices(CHidDeviceBuilder::kProductId) > 0 && m_builder.OpenFirstDevice()) {
        OnDeviceConnected();
    }
    return IsConnected() || m_connecting;
}

bool CCardConnection::ConnectPath(const std::string& path) {
    if (path.empty()) {
        return Startup();
    }
    if (m_builder.OpenDevicePath(path)) {
        OnDeviceConnected();
    }
    return IsConnected() || m_connecting;
}

bool CCardConnection::IsConnected() const { return m_workspace.IsCardReady(); }

void CCardConnection::OnDevicePnp(bool removed, const std::string& path) {
    CDeviceManager* manager = m_builder.GetManager();
    if (!manager) {
        return;
    }
    if (removed) {
        if (manager->IsOpen() && strcasecmp(path.c_str(), m_builder.CurrentPath().c_str()) == 0) {
            ForgetPendingSession();
            manager->DetachDevice();
            // The removal is told once the device has settled; the wait runs in the worker's
            // queue, so it neither holds the window nor overtakes exchanges asked for before.
            const unsigned generation = m_sessionGeneration;
            Worker().Submit(
                [] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(kRemovalSettleMs));
                    return true;
                },
                [this, generation](bool) {
                    if (generation == m_sessionGeneration) {
                        OnDeviceChanged(true);
                    }
                });
        }
        return;
    }
    if (manager->IsOpen() || !IsTheCard(path)) {
        return;
    }
    m_builder.OpenDevicePath(path);  // a failure still tells the UI the card is absent
    OnDeviceChanged(false);
}

bool CCardConnection::OnDeviceConnected() {
    CDeviceManager* manager = m_builder.GetManager();
    if (!manager) {
        return false;
    }
    if (!m_workspace.DeviceMgmt()) {
        m_workspace.SetDevice(manager, &m_protocol);
    }
    if (manager->IsOpen() && manager->GetDevice() &&
        IsTheCard(manager->GetDevice()->GetDevicePath())) {
        StartSession();
        return true;
    }
    return false;
}

bool CCardConnection::StartSession() {
    if (m_connecting) {
        return true;  // one start-up exchange at a time; its answer is on its way
    }
    m_connecting = true;
    const unsigned generation = m_sessionGeneration;
    CQVAudioProtocol* protocol = &m_protocol;
    const bool result = Worker().Submit(
        [protocol] {
            if (protocol->DeviceMgmt()) {
                protocol->NegotiateKey();  // a failed exchange leaves its temporary key; go on
            }
            return protocol->SendHostState(1);
        },
        [this, generation](bool answered) { OnSessionAnswered(generation, answered); });
    if (m_connecting) {
        FireDeviceChanged();  // the window says "connecting" until the card has answered
    }
    return result;
}

void CCardConnection::OnSessionAnswered(unsigned generation, bool answered) {
    if (generation != m_sessionGeneration) {
        return;  // the card left or the session ended meanwhile
    }
    m_connecting = false;
    m_workspace.SetConnected(answered);
    if (!answered) {
        VLOG_ERROR("device", "CCardConnection::StartSession",
                   "the card did not answer host state 1");
        FireDeviceChanged();
        return;
    }
    m_workspace.SetStarted(true);
    if (!m_keepAlive) {
        m_keepAlive = std::make_unique<CConnectWorkThread>(
            [this] { return static_cast<ICommDeviceMgmt*>(m_builder.GetManager()); },
            m_loadingEffect, m_keepAlivePeriodMs, m_upgrading);
    }
    m_keepAlive->Start();
    m_workspace.PushParams(true, true);
    FireDeviceChanged();
}

bool CCardConnection::EndSession() {
    ForgetPendingSession();
    // The card is told the panel is gone: nothing may say otherwise afterwards.
    StopKeepAlive();
    m_workspace.SetStarted(false);
    m_workspace.SetConnected(false);
    m_workspace.SaveCurrentEffect();
    if (!m_protocol.DeviceMgmt()) {
        return false;
    }
    CQVAudioProtocol* protocol = &m_protocol;
    return Worker().Submit(
        [protocol] {
            protocol->NegotiateKey();
            return protocol->SendHostState(0);
        },
        {});
}

void CCardConnection::ForgetPendingSession() {
    ++m_sessionGeneration;
    m_connecting = false;
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
    } else if (OnDeviceConnected()) {
        return;  // the session's answer tells the UI
    }
    FireDeviceChanged();
}

void CCardConnection::Disconnect() {
    ForgetPendingSession();
    if (CDeviceManager* manager = m_builder.GetManager()) {
        manager->DetachDevice();
    }
    StopKeepAlive();
    m_workspace.SetConnected(false);
    m_workspace.SetStarted(false);
    // However the connection ends (a firmware upgrade lets go of the card here), the window
    // covers the card's controls.
    FireDeviceChanged();
}

void CCardConnection::OnSuspend() {
    EndSession();
    // The system sleeps once this returns: the goodbye goes out first.
    Worker().WaitIdle(kGoodbyeWaitMs);
}

void CCardConnection::OnResume() { OnDeviceConnected(); }

void CCardConnection::OnSessionEnding() {
    EndSession();
    Worker().WaitIdle(kGoodbyeWaitMs);
    Disconnect();
}
