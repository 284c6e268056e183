#include "DeviceManager.h"

#include <cstring>
#include <thread>

#include "DataRecvThread.h"
#include "ICommProtocol.h"
#include "ICommunicateDevice.h"
#include "Log/Log.h"

#define LOG_SOURCE "CppCommonLib\\common\\Device\\DeviceManager"

using ccm_util::CAutoLock;
using ccm_util::GetTickCount32;

CDeviceManager::CDeviceManager() : m_recvThread(std::make_unique<CDataRecvThread>()) {
    if (!m_recvThread->Start(this)) {
        m_recvThread.reset();
    }
}

CDeviceManager::~CDeviceManager() {
    if (m_transport.load()) {
        DetachDevice();
    }
    m_recvThread.reset();
}

bool CDeviceManager::IsOpen() {
    ICommunicateDevice* transport = m_transport.load();
    return transport && transport->IsOpen();
}

bool CDeviceManager::AttachDevice(ICommunicateDevice* transport, ICommProtocol* protocol) {
    if (!transport || !protocol || !m_recvThread) {
        return false;
    }
    if (m_transport.load()) {
        DetachDevice();
    }
    m_transport = transport;
    m_protocol = protocol;
    if (!transport->IsOpen() && !transport->OpenDevice()) {
        m_transport = nullptr;
        m_protocol = nullptr;
        return false;
    }
    if (protocol->GetPacketLength() != transport->GetOutputLength()) {
        DetachDevice();
        return false;
    }
    m_receiving = true;
    m_recvThread->OnConnectDevice();
    protocol->SetDeviceMgmt(this);
    return true;
}

bool CDeviceManager::DetachDevice() {
    m_loopEnded.Reset();
    m_receiving = false;
    ICommunicateDevice* transport = m_transport.load();
    if (!transport) {
        return false;
    }
    transport->CancelRead();
    // A loop only runs when one was started; without it there is nothing to wait for.
    if (!m_recvThread->IsLoopIdle()) {
        m_loopEnded.Wait(3000);
    }
    transport->CloseDevice();
    m_transport = nullptr;
    if (ICommProtocol* protocol = m_protocol.exchange(nullptr)) {
        protocol->ResetDeviceMgmt();
    }
    return true;
}

void CDeviceManager::ClearAwaited() {
    CAutoLock guard(m_lock);
    m_awaitedCode = 0;
    m_replyBuffer = nullptr;
    m_replyEventCopy = nullptr;
}

bool CDeviceManager::SendAndReceive(uint8_t* request, uint8_t* reply, int tries,
                                    uint32_t timeoutMs, bool encipher) {
    std::lock_guard<std::mutex> oneAtATime(m_sendMutex);
    ICommProtocol* protocol = m_protocol.load();
    if (!protocol || !m_transport.load() || !request || !reply) {
        return false;
    }
    m_idleThreshold = timeoutMs < 5000 ? 5000 : timeoutMs + 1000;
    if (encipher) {
        protocol->Encrypt(request);
    }
    protocol->SignFrame(request);
    const int length = protocol->GetPacketLength();
    const uint8_t expected = static_cast<uint8_t>(request[0] + 1);

    std::memset(reply, 0, kFrameLength);
    m_replyEvent.Reset();
    {
        CAutoLock guard(m_lock);
        m_awaitedCode = expected;
        m_replyBuffer = reply;
        m_replyEventCopy = &m_replyEvent;
    }
    for (int attempt = 0; attempt < tries; ++attempt) {
        ICommunicateDevice* transport = m_transport.load();
        if (!transport) {
            ClearAwaited();
            return false;
        }
        if (!transport->Write(request, length)) {
            VLOG_ERROR("device", "CDeviceManager::SendAndReceive", "Send failed. cmd=0x%02x",
                       request[0]);
            continue;
        }
        if (m_replyEvent.Wait(timeoutMs)) {
            // The receive loop has filled the buffer and let go of it; check it here.
            if (protocol->CheckReply(reply, expected)) {
                m_lastExchange = GetTickCount32();
                ClearAwaited();
                if (encipher) {
                    protocol->Decrypt(reply);
                }
                return true;
            }
            // A bad reply: let the next one land in the buffer again.
            CAutoLock guard(m_lock);
            m_awaitedCode = expected;
            m_replyBuffer = reply;
            m_replyEventCopy = &m_replyEvent;
        }
        VLOG_ERROR("device", "CDeviceManager::SendAndReceive", "WaitTimeout. cmd=0x%02x",
                   request[0]);
    }
    ClearAwaited();
    return false;
}

bool CDeviceManager::SendNotReceive(uint8_t* request, bool encipher) {
    ICommProtocol* protocol = m_protocol.load();
    if (!protocol || !request) {
        return false;
    }
    if (encipher) {
        protocol->Encrypt(request);
    }
    protocol->SignFrame(request);
    const int length = protocol->GetPacketLength();
    for (int attempt = 0; attempt < kSendNotReceiveAttempts; ++attempt) {
        ICommunicateDevice* transport = m_transport.load();
        if (!transport) {
            return false;
        }
        m_lastExchange = GetTickCount32();
        if (transport->Write(request, length)) {
            return true;
        }
        VLOG_ERROR("device", "CDeviceManager::SendNotReceive", "send failed. cmd=0x%02x",
                   request[0]);
    }
    return false;
}

void CDeviceManager::RecvThreadProc() {
    int failedReads = 0;
    while (m_receiving) {
        ICommunicateDevice* transport = m_transport.load();
        if (!transport) {
            break;
        }
        const uint8_t* frame = nullptr;
        bool ok = transport->Read(&frame, ccm_util::kInfinite);
        if (!m_receiving) {
            break;
        }
        if (!ok || !frame) {
            // A card pulled out fails every read until it is detached; one line per streak.
            if (failedReads++ == 0) {
                VLOG_ERROR("device", "CDeviceManager::RecvThreadProc",
                           " CDeviceManager::RecvThreadProc() -- read return %d", 0);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            continue;
        }
        failedReads = 0;
        bool consumed = false;
        {
            CAutoLock guard(m_lock);
            if (m_awaitedCode != 0 && m_awaitedCode == frame[0] && m_replyBuffer &&
                m_replyEventCopy) {
                std::memcpy(m_replyBuffer, frame, kFrameLength);
                // Delivered: the next frame with this code is not the sender's to take until
                // the sender asks again.
                m_awaitedCode = 0;
                m_replyEventCopy->Set();
                consumed = true;
            }
        }
        if (!consumed) {
            if (ICommProtocol* protocol = m_protocol.load()) {
                protocol->OnRecvData(frame);
            }
        }
    }
    m_loopEnded.Set();
}

bool CDeviceManager::IsIdle() {
    return GetTickCount32() - m_lastExchange.load() > m_idleThreshold.load();
}
