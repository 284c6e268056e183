#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "ICommDeviceMgmt.h"
#include "ccm_util/Event.h"
#include "ccm_util/Lock.h"

class CDataRecvThread;
class ICommunicateDevice;
class ICommProtocol;

// The single door to the card: one receive thread reads every report, hands the awaited reply to
// the waiting sender and everything else to the protocol.
class CDeviceManager : public ICommDeviceMgmt {
public:
    static constexpr int kFrameLength = 64;
    static constexpr uint32_t kDefaultIdleThresholdMs = 5000;
    static constexpr int kSendNotReceiveAttempts = 5;

    CDeviceManager();
    ~CDeviceManager() override;
    CDeviceManager(const CDeviceManager&) = delete;
    CDeviceManager& operator=(const CDeviceManager&) = delete;

    bool IsReady() const { return m_recvThread != nullptr; }

    bool IsOpen() override;
    bool AttachDevice(ICommunicateDevice* transport, ICommProtocol* protocol) override;
    bool DetachDevice() override;
    bool SendAndReceive(uint8_t* request, uint8_t* reply, int tries, uint32_t timeoutMs,
                        bool encipher) override;
    bool SendNotReceive(uint8_t* request, bool encipher) override;
    void RecvThreadProc() override;
    ICommunicateDevice* GetDevice() override { return m_transport.load(); }
    bool IsIdle() override;

    uint32_t IdleThreshold() const { return m_idleThreshold.load(); }
    uint32_t LastExchangeTime() const { return m_lastExchange.load(); }

private:
    void ClearAwaited();

    std::unique_ptr<CDataRecvThread> m_recvThread;
    std::atomic<ICommunicateDevice*> m_transport{nullptr};
    std::atomic<ICommProtocol*> m_protocol{nullptr};

    // Guarded by m_lock: what the receive loop matches and where it delivers.
    ccm_util::CLock m_lock;
    uint8_t m_awaitedCode = 0;
    uint8_t* m_replyBuffer = nullptr;
    ccm_util::CEvent* m_replyEventCopy = nullptr;

    // One awaited request at a time, whoever sends it.
    std::mutex m_sendMutex;

    ccm_util::CEvent m_loopEnded{true, false};
    ccm_util::CEvent m_replyEvent{false, false};
    std::atomic<bool> m_receiving{false};
    std::atomic<uint32_t> m_lastExchange{0};
    std::atomic<uint32_t> m_idleThreshold{kDefaultIdleThresholdMs};
};
