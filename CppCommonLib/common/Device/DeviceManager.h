#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "ICommDeviceMgmt.h"
#include "TransportLender.h"
#include "ccm_util/Event.h"
#include "ccm_util/Lock.h"

class CDataRecvThread;
class ICommunicateDevice;
class ICommProtocol;

// The single door to the card: one receive thread reads every report, hands the awaited reply to
// the waiting sender and everything else to the protocol. Once DetachDevice returned, no thread
// uses the transport any more, so its owner may destroy it; a sender waiting for a reply is woken
// by the detach and fails at once. DetachDevice must not be called from the receive thread.
class CDeviceManager : public ICommDeviceMgmt {
public:
    static constexpr int kFrameLength = 64;
    static constexpr uint32_t kDefaultIdleThresholdMs = 5000;
    static constexpr int kSendNotReceiveAttempts = 5;
    // A card that fails every read is tried again this often until it is detached.
    static constexpr uint32_t kReadFailurePauseMs = 200;
    static constexpr uint32_t kDetachWarnMs = 3000;

    CDeviceManager();
    ~CDeviceManager() override;
    CDeviceManager(const CDeviceManager&) = delete;
    CDeviceManager& operator=(const CDeviceManager&) = delete;

    bool IsReady() const { return m_recvThread != nullptr; }

    bool IsOpen() override;
    bool AttachDevice(ICommunicateDevice* transport, ICommProtocol* protocol) override;
    bool DetachDevice() override;
    // Detaches only when the device attached now is the node at path (any case): a node that
    // left does not take a device attached after it with it. True when one was detached.
    bool DetachDeviceAt(const std::string& path);
    // The node of the device attached now, empty when none; safe from any thread.
    std::string AttachedPath();
    bool SendAndReceive(uint8_t* request, uint8_t* reply, int tries, uint32_t timeoutMs,
                        bool encipher) override;
    bool SendNotReceive(uint8_t* request, bool encipher) override;
    void RecvThreadProc() override;
    // For the thread that attaches: other threads may find the pointer destroyed under them.
    ICommunicateDevice* GetDevice() override { return m_lender.Peek(); }
    bool IsIdle() override;

    uint32_t IdleThreshold() const { return m_idleThreshold.load(); }
    uint32_t LastExchangeTime() const { return m_lastExchange.load(); }
    // The idle threshold never falls below this floor (5 s by default; tests use less). An
    // awaited send with a longer time-out raises the threshold to its time-out plus a second.
    void SetIdleFloor(uint32_t ms);

private:
    void ClearAwaited();
    void Await(uint8_t code, uint8_t* reply);
    bool DetachLocked();

    std::unique_ptr<CDataRecvThread> m_recvThread;
    CTransportLender m_lender;
    std::atomic<ICommProtocol*> m_protocol{nullptr};
    // Attach and detach one at a time.
    std::mutex m_attachMutex;

    // Guarded by m_lock: what the receive loop matches and where it delivers.
    ccm_util::CLock m_lock;
    uint8_t m_awaitedCode = 0;
    uint8_t* m_replyBuffer = nullptr;
    ccm_util::CEvent* m_replyEventCopy = nullptr;

    // One awaited request at a time, whoever sends it.
    std::mutex m_sendMutex;

    ccm_util::CEvent m_replyEvent{false, false};
    std::atomic<uint32_t> m_lastExchange{0};
    std::atomic<uint32_t> m_idleFloor{kDefaultIdleThresholdMs};
    std::atomic<uint32_t> m_idleThreshold{kDefaultIdleThresholdMs};
};
