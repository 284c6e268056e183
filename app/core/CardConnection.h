#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "ConnectWorkThread.h"
#include "DeviceNotifier.h"

class CHidDeviceBuilder;
class CQVAudioProtocol;
class CWorkSpace;

// Brings the card and the workspace together and keeps them so: the start-up connect, arrivals
// and removals, the session start (key, host state, full push) and end, the keep-alive, and what
// sleep, resume and the end of the user's session do to the card. Runs on the UI thread.
class CCardConnection : public IDevicePnpNotificationReceiver {
public:
    static constexpr uint32_t kRemovalSettleMs = 200;

    CCardConnection(CHidDeviceBuilder& builder, CQVAudioProtocol& protocol, CWorkSpace& workspace,
                    const std::atomic<int>& loadingEffect);
    ~CCardConnection() override;
    CCardConnection(const CCardConnection&) = delete;
    CCardConnection& operator=(const CCardConnection&) = delete;

    // Opens the first card found and starts its session; true when the card is connected.
    bool Startup();
    // Opens the given card (or the first one when path is empty) and starts its session.
    bool ConnectPath(const std::string& path);

    void OnDevicePnp(bool removed, const std::string& path) override;
    void OnDeviceConnected();
    bool StartSession();
    bool EndSession();
    void OnDeviceChanged(bool removed);
    void Disconnect();

    // The system's notifications.
    void OnSuspend();
    void OnResume();
    void OnSessionEnding();

    bool IsConnected() const;
    bool KeepAliveRunning() const { return m_keepAlive && m_keepAlive->IsRunning(); }

private:
    bool SendHostState(int state);
    void StopKeepAlive();

    CHidDeviceBuilder& m_builder;
    CQVAudioProtocol& m_protocol;
    CWorkSpace& m_workspace;
    const std::atomic<int>& m_loadingEffect;
    std::unique_ptr<CConnectWorkThread> m_keepAlive;
};
