#include "CardConnection.h"

#include <strings.h>

#include <algorithm>
#include <cerrno>
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
    return ConnectPath({});
}

bool CCardConnection::ConnectPath(const std::string& path) {
    Open(path, true);
    return IsConnected() || IsConnecting();
}

bool CCardConnection::IsConnected() const { return m_workspace.IsCardReady(); }

void CCardConnection::Open(const std::string& path, bool announce) {
    if (m_opening || !m_builder.GetManager()) {
        return;  // one open at a time
    }
    m_opening = true;
    m_openAnnounced = false;
    m_openingPath = path;
    const unsigned generation = ++m_openGeneration;
    m_openCancelled = std::make_shared<std::atomic<bool>>(false);
    CHidDeviceBuilder* builder = &m_builder;
    auto result = std::make_shared<OpenResult>();
    // With a worker the open is only asked for here: the window says "connecting" meanwhile.
    // A failed open leaves the card absent, as a failed exchange does.
    Worker().Submit(
        [builder, path, result, cancelled = m_openCancelled] {
            if (path.empty() && builder->FindDevices(CHidDeviceBuilder::kProductId) == 0) {
                return false;
            }
            result->path = path.empty() ? builder->Paths().front() : path;
            bool ok = path.empty() ? builder->OpenFirstDevice() : builder->OpenDevicePath(path);
            if (!ok) {
                result->error = builder->LastOpenError();
                result->holder = builder->LastLockHolder();
            }
            if (ok && cancelled->load()) {
                builder->GetManager()->DetachDevice();  // the node left meanwhile
                ok = false;
            }
            if (ok) {
                result->path = builder->CurrentPath();
            }
            return ok;
        },
        [this, generation, result](bool ok) { OnOpened(generation, ok, *result); });
    if (m_opening && announce) {
        m_openAnnounced = true;
        FireDeviceChanged();
    }
}

void CCardConnection::CancelOpen() {
    if (m_openCancelled) {
        m_openCancelled->store(true);
    }
    ++m_openGeneration;  // an open under way is let go when it ends
    m_opening = false;
    m_openingPath.clear();
}

void CCardConnection::OnOpened(unsigned generation, bool opened, const OpenResult& result) {
    if (generation != m_openGeneration) {
        // The node left while it was being opened: let go of what the open took.
        if (opened) {
            CHidDeviceBuilder* builder = &m_builder;
            Worker().Submit(
                [builder] {
                    if (CDeviceManager* manager = builder->GetManager()) {
                        manager->DetachDevice();
                    }
                    return true;
                },
                {});
        }
        return;
    }
    const bool announced = m_openAnnounced;
    const std::string asked = m_openingPath;
    m_opening = false;
    m_openingPath.clear();
    m_openCancelled.reset();
    m_cardPath = opened ? result.path : std::string();
    // Only with a worker: lyntctl alone, which opens inline, waits and says who holds the card
    // itself.
    if (!opened && result.error == EBUSY && m_worker) {
        WaitForHolder(asked, result);
        return;
    }
    const bool waited = m_waitingForHolder;
    StopWaitingForHolder();
    if (opened) {
        OnDeviceChanged(false);
    } else if (announced || waited) {
        FireDeviceChanged();  // "connecting" ends: the card is absent
    }
}

std::string CCardConnection::BusyHolder() const {
    if (!m_waitingForHolder) {
        return {};
    }
    return m_holder.empty() ? std::string("another program") : m_holder;
}

void CCardConnection::WaitForHolder(const std::string& retryPath, const OpenResult& result) {
    const bool news = !m_waitingForHolder || result.holder != m_holder;
    if (!m_waitingForHolder) {
        m_nextRetryMs = m_busyRetryMs;
    }
    m_waitingForHolder = true;
    m_holder = result.holder;
    m_heldPath = result.path;
    if (news) {
        VLOG_INFO("device", "CCardConnection::WaitForHolder",
                  "%s is in use by %s: taken once it is let go", m_heldPath.c_str(),
                  BusyHolder().c_str());
        FireDeviceChanged();  // the window names who holds the card
    }
    // Nothing tells when a lock is let go: look again, soon at first (a short command ends
    // soon), then less often (monitor may run for hours). The wait runs in the worker's queue,
    // so the UI thread never waits, and the open that follows keeps the order of exchanges.
    const unsigned wait = ++m_holderWait;
    const uint32_t ms = m_nextRetryMs;
    m_nextRetryMs = std::min(m_nextRetryMs * 2, m_busyRetryMs * 4);
    Worker().Submit(
        [ms] {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            return true;
        },
        [this, wait, retryPath](bool) {
            if (wait == m_holderWait && m_waitingForHolder) {
                Open(retryPath, false);  // still "connecting" meanwhile: the wait goes on
            }
        });
}

void CCardConnection::StopWaitingForHolder() {
    m_waitingForHolder = false;
    m_holder.clear();
    m_heldPath.clear();
    ++m_holderWait;
}

void CCardConnection::OnDevicePnp(bool removed, const std::string& path) {
    CDeviceManager* manager = m_builder.GetManager();
    if (!manager) {
        return;
    }
    if (removed) {
        if (m_waitingForHolder && strcasecmp(path.c_str(), m_heldPath.c_str()) == 0) {
            // The card another program held has gone: nothing to wait for.
            StopWaitingForHolder();
            FireDeviceChanged();
        }
        if (m_opening && (m_openingPath.empty()
                              ? IsTheCard(path)
                              : strcasecmp(path.c_str(), m_openingPath.c_str()) == 0)) {
            // Gone while being opened (an open of "the first card" may have taken this one):
            // whatever the open gives is stale; look again once it settled.
            CancelOpen();
            TakeAnotherCardLater();
            FireDeviceChanged();
            return;
        }
        if (!m_cardPath.empty() && strcasecmp(path.c_str(), m_cardPath.c_str()) == 0) {
            ForgetPendingSession();
            m_cardPath.clear();
            // Fast: a send waiting for the card, even a write waiting for room in the device's
            // queue, is woken by the detach. Only the node that left is let go: a card that went
            // to its loader may have been followed by the loader, opened by the upgrade already.
            manager->DetachDeviceAt(path);
            TakeAnotherCardLater();
        }
        return;
    }
    if (m_opening || m_waitingForHolder || !m_cardPath.empty() || manager->IsOpen() ||
        !IsTheCard(path)) {
        return;
    }
    Open(path, true);
}

void CCardConnection::TakeAnotherCardLater() {
    // The removal is told once the device has settled; the wait runs in the worker's queue, so
    // it neither holds the window nor overtakes exchanges asked for before. Then a card that was
    // plugged beside the one that left is taken.
    const unsigned generation = m_sessionGeneration;
    Worker().Submit(
        [] {
            std::this_thread::sleep_for(std::chrono::milliseconds(kRemovalSettleMs));
            return true;
        },
        [this, generation](bool) {
            if (generation == m_sessionGeneration) {
                OnDeviceChanged(true);
                TakeAnotherCard();
            }
        });
}

void CCardConnection::TakeAnotherCard() {
    CDeviceManager* manager = m_builder.GetManager();
    const bool upgrading = m_upgrading && m_upgrading->load() != 0;
    if (!manager || upgrading || m_opening || m_waitingForHolder || !m_cardPath.empty() ||
        manager->IsOpen()) {
        return;
    }
    Open({}, false);
}

bool CCardConnection::OnDeviceConnected() {
    CDeviceManager* manager = m_builder.GetManager();
    if (!manager) {
        return false;
    }
    if (!m_workspace.DeviceMgmt()) {
        m_workspace.SetDevice(manager, &m_protocol);
    }
    if (m_opening || !manager->IsOpen()) {
        return false;  // an open under way starts the session once it is done
    }
    if (m_cardPath.empty() && manager->GetDevice() &&
        IsTheCard(manager->GetDevice()->GetDevicePath())) {
        // Attached by someone else (a test, a caller of the builder): with no open on the worker
        // the device cannot change under this look.
        m_cardPath = manager->GetDevice()->GetDevicePath();
    }
    if (IsTheCard(m_cardPath)) {
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
    if (m_pushOnStart) {
        m_workspace.PushParams(true, true);
    }
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
    CancelOpen();
    StopWaitingForHolder();
    m_cardPath.clear();
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
