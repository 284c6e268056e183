#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "CardWorker.h"
#include "ConnectWorkThread.h"
#include "DeviceNotifier.h"

class CHidDeviceBuilder;
class CQVAudioProtocol;
class CWorkSpace;

// Brings the card and the workspace together and keeps them so: the start-up connect, arrivals
// and removals, the session start (key, host state, full push, or no push for a reader) and end,
// the keep-alive, and what sleep, resume and the end of the user's session do to the card. Runs on
// the UI thread; the exchanges that wait for the card, and opening the card's node (reading its
// descriptor, waiting while udev sets its access), go to the card worker, and their results come
// back here.
class CCardConnection : public IDevicePnpNotificationReceiver {
public:
    static constexpr uint32_t kRemovalSettleMs = 200;
    // How long the end of the program or of the user's session waits for the card to hear the
    // goodbye: a key exchange and a host state, each three tries of 500 ms, and a flush.
    static constexpr uint32_t kGoodbyeWaitMs = 4500;
    // While another program holds the card (lyntctl alone, a panel of another runtime folder),
    // the open is tried again after this, then less often, up to four times this apart.
    static constexpr uint32_t kBusyRetryMs = 250;

    CCardConnection(CHidDeviceBuilder& builder, CQVAudioProtocol& protocol, CWorkSpace& workspace,
                    const std::atomic<int>& loadingEffect);
    ~CCardConnection() override;
    CCardConnection(const CCardConnection&) = delete;
    CCardConnection& operator=(const CCardConnection&) = delete;

    // Where the awaited exchanges run; without one they run at once on the calling thread. The
    // worker must outlive this object or be destroyed first.
    void SetCardWorker(card::ICardWorker* worker) { m_worker = worker; }
    void SetKeepAlivePeriod(uint32_t ms) { m_keepAlivePeriodMs = ms; }
    void SetBusyRetryPeriod(uint32_t ms) { m_busyRetryMs = ms; }
    // The program's firmware-write flag: the keep-alive keeps off the line while it is up.
    void SetUpgradingFlag(const std::atomic<int>* upgrading) { m_upgrading = upgrading; }
    // A program that only reads the card (lyntctl info, monitor) starts its sessions with the key
    // and the host state alone: the stored values would undo what was turned on the card.
    void SetPushOnStart(bool push) { m_pushOnStart = push; }

    // Opens the first card found and starts its session; true when the card is connected, or,
    // with a worker, when the open was asked for (IsConnecting tells until the card answered).
    bool Startup();
    // Opens the given card (or the first one when path is empty) and starts its session.
    bool ConnectPath(const std::string& path);

    void OnDevicePnp(bool removed, const std::string& path) override;
    // Starts the session when the attached device is the card; true when one was started.
    bool OnDeviceConnected();
    bool StartSession();
    bool EndSession();
    void OnDeviceChanged(bool removed);
    void Disconnect();

    // The system's notifications.
    void OnSuspend();
    void OnResume();
    void OnSessionEnding();

    bool IsConnected() const;
    // A card is being opened, or the start-up exchange was asked for and the card has not
    // answered yet.
    bool IsConnecting() const {
        return m_connecting || (m_opening && m_openAnnounced) || m_waitingForHolder;
    }
    // While the card is held by another program and the panel waits to take it: that program
    // ("lyntctl (pid 812)", or "another program"); otherwise empty.
    std::string BusyHolder() const;
    // The node of the card attached, as the UI thread knows it; empty when none.
    const std::string& CardPath() const { return m_cardPath; }
    bool KeepAliveRunning() const { return m_keepAlive && m_keepAlive->IsRunning(); }

private:
    card::ICardWorker& Worker() const;
    // Opens path (empty: the first card present) on the worker; the result comes to OnOpened.
    // announce: while the open runs on a worker, the window says "connecting" and hears of a
    // failure; a quiet open (a look for another card) is told only once it found one.
    void Open(const std::string& path, bool announce);
    struct OpenResult {
        std::string path;  // the node opened, or the one tried
        int error = 0;     // why the open failed (errno), 0 when it was not tried
        std::string holder;
    };
    void OnOpened(unsigned generation, bool opened, const OpenResult& result);
    // The card is there but another program holds it: try again on the worker until it lets go
    // or the card leaves. retryPath: what the open was asked for (empty: the first card).
    void WaitForHolder(const std::string& retryPath, const OpenResult& result);
    void StopWaitingForHolder();
    // The open under way is stale: what it takes is let go.
    void CancelOpen();
    // After the card left: once it settled the UI is told, and another card that is present is
    // taken without being plugged again.
    void TakeAnotherCardLater();
    void TakeAnotherCard();
    void OnSessionAnswered(unsigned generation, bool answered);
    void StopKeepAlive();
    // Results of exchanges asked for before the card left or the session ended are stale.
    void ForgetPendingSession();

    CHidDeviceBuilder& m_builder;
    CQVAudioProtocol& m_protocol;
    CWorkSpace& m_workspace;
    const std::atomic<int>& m_loadingEffect;
    const std::atomic<int>* m_upgrading = nullptr;
    card::ICardWorker* m_worker = nullptr;
    uint32_t m_keepAlivePeriodMs = CConnectWorkThread::kCheckPeriodMs;
    std::unique_ptr<CConnectWorkThread> m_keepAlive;
    bool m_connecting = false;
    bool m_pushOnStart = true;
    unsigned m_sessionGeneration = 0;
    // The UI thread's view of the device: the node attached (the builder's own state belongs to
    // the worker, which opens), and the open under way.
    std::string m_cardPath;
    bool m_opening = false;
    bool m_openAnnounced = false;
    std::string m_openingPath;  // empty: the first card found
    unsigned m_openGeneration = 0;
    std::shared_ptr<std::atomic<bool>> m_openCancelled;
    // Waiting for another program to let go of the card.
    bool m_waitingForHolder = false;
    std::string m_holder;
    std::string m_heldPath;
    unsigned m_holderWait = 0;  // a retry asked for before the wait ended is stale
    uint32_t m_busyRetryMs = kBusyRetryMs;
    uint32_t m_nextRetryMs = kBusyRetryMs;
};
