#include "DeviceManager.h"

#include <strings.h>

#include <cstring>

#include "DataRecvThread.h"
#include "ICommProtocol.h"
#include "ICommunicateDevice.h"
#include "Log/Log.h"

#define LOG_SOURCE "CppCommonLib\\common\\Device\\DeviceManager"

using ccm_util::CAutoLock;
using ccm_util::GetTickCount32;
using CLoan = CTransportLender::CLoan;

CDeviceManager::CDeviceManager() : m_recvThread(std::make_unique<CDataRecvThread>()) {
    if (!m_recvThread->Start(this)) {
        m_recvThread.reset();
    }
}

CDeviceManager::~CDeviceManager() {
    DetachDevice();
    m_recvThread.reset();
}

bool CDeviceManager::IsOpen() {
    CLoan transport = m_lender.Borrow();
    return transport && transport->IsOpen();
}

void CDeviceManager::SetIdleFloor(uint32_t ms) {
    m_idleFloor = ms;
    m_idleThreshold = ms;
}

bool CDeviceManager::AttachDevice(ICommunicateDevice* transport, ICommProtocol* protocol) {
    if (!transport || !protocol || !m_recvThread) {
        return false;
    }
    std::lock_guard<std::mutex> guard(m_attachMutex);
    DetachLocked();
    if (!transport->IsOpen() && !transport->OpenDevice()) {
        return false;
    }
    if (protocol->GetPacketLength() != transport->GetOutputLength()) {
        transport->CloseDevice();
        return false;
    }
    m_protocol = protocol;
    m_lender.Publish(transport);
    m_recvThread->OnConnectDevice();
    protocol->SetDeviceMgmt(this);
    return true;
}

bool CDeviceManager::DetachDevice() {
    std::lock_guard<std::mutex> guard(m_attachMutex);
    return DetachLocked();
}

bool CDeviceManager::DetachDeviceAt(const std::string& path) {
    std::lock_guard<std::mutex> guard(m_attachMutex);
    // Under the attach lock the published transport cannot be let go and destroyed.
    ICommunicateDevice* device = m_lender.Peek();
    if (!device || strcasecmp(device->GetDevicePath().c_str(), path.c_str()) != 0) {
        return false;
    }
    return DetachLocked();
}

std::string CDeviceManager::AttachedPath() {
    std::lock_guard<std::mutex> guard(m_attachMutex);
    ICommunicateDevice* device = m_lender.Peek();
    return device ? device->GetDevicePath() : std::string();
}

bool CDeviceManager::DetachLocked() {
    // Wakes the receive loop from its read and a sender from its wait for a reply, then waits
    // until both have let go: only then are the descriptors closed, so none is closed (and
    // reused by another open) under a poll or a write.
    ICommunicateDevice* transport = m_lender.Withdraw(
        [this](ICommunicateDevice* t) {
            t->CancelRead();
            m_replyEvent.Set();
        },
        kDetachWarnMs);
    if (!transport) {
        return false;
    }
    transport->CloseDevice();
    if (ICommProtocol* protocol = m_protocol.exchange(nullptr)) {
        protocol->ResetDeviceMgmt();
    }
    return true;
}

void CDeviceManager::Await(uint8_t code, uint8_t* reply) {
    CAutoLock guard(m_lock);
    m_awaitedCode = code;
    m_replyBuffer = reply;
    m_replyEventCopy = &m_replyEvent;
}

void CDeviceManager::ClearAwaited() { Await(0, nullptr); }

bool CDeviceManager::SendAndReceive(uint8_t* request, uint8_t* reply, int tries,
                                    uint32_t timeoutMs, bool encipher) {
    ICommProtocol* protocol = m_protocol.load();
    if (!protocol || !request || !reply) {
        return false;
    }
    // A key exchange holds the cipher across its frames, so an enciphered request and its reply
    // use one key. The cipher is taken before the send lock, in the order the key exchange takes
    // them.
    std::unique_lock<std::recursive_mutex> cipherGuard;
    if (encipher) {
        cipherGuard = std::unique_lock<std::recursive_mutex>(protocol->CipherMutex());
    }
    std::lock_guard<std::mutex> oneAtATime(m_sendMutex);
    const uint64_t generation = m_lender.Borrow().Generation();
    if (generation == 0) {
        return false;
    }
    const uint32_t floor = m_idleFloor.load();
    m_idleThreshold = timeoutMs < floor ? floor : timeoutMs + 1000;
    if (encipher) {
        protocol->Encrypt(request);
    }
    protocol->SignFrame(request);
    const int length = protocol->GetPacketLength();
    const uint8_t expected = static_cast<uint8_t>(request[0] + 1);

    std::memset(reply, 0, kFrameLength);
    m_replyEvent.Reset();
    Await(expected, reply);
    for (int attempt = 0; attempt < tries; ++attempt) {
        bool written = false;
        {
            CLoan transport = m_lender.Borrow(generation);
            if (!transport) {
                break;
            }
            written = transport->Write(request, length);
        }
        if (!written) {
            VLOG_ERROR("device", "CDeviceManager::SendAndReceive", "Send failed. cmd=0x%02x",
                       request[0]);
            continue;
        }
        const bool woken = m_replyEvent.Wait(timeoutMs);
        if (!m_lender.IsCurrent(generation)) {
            VLOG_ERROR("device", "CDeviceManager::SendAndReceive",
                       "the card was detached while awaiting cmd=0x%02x", request[0]);
            break;
        }
        if (woken) {
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
            Await(expected, reply);
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
    const uint64_t generation = m_lender.Borrow().Generation();
    if (generation == 0) {
        return false;
    }
    if (encipher) {
        protocol->Encrypt(request);
    }
    protocol->SignFrame(request);
    const int length = protocol->GetPacketLength();
    for (int attempt = 0; attempt < kSendNotReceiveAttempts; ++attempt) {
        CLoan transport = m_lender.Borrow(generation);
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
    // The loop holds its loan until it leaves: a detach waits for that before it closes the
    // descriptors the loop polls. A loop serves one attach only; the next attach starts another.
    CLoan transport = m_lender.Borrow();
    if (!transport) {
        return;
    }
    const uint64_t generation = transport.Generation();
    int failedReads = 0;
    while (m_lender.IsCurrent(generation)) {
        const uint8_t* frame = nullptr;
        bool ok = transport->Read(&frame, ccm_util::kInfinite);
        if (!m_lender.IsCurrent(generation)) {
            break;
        }
        if (!ok || !frame) {
            // A card pulled out fails every read until it is detached; one line per streak.
            if (failedReads++ == 0) {
                VLOG_ERROR("device", "CDeviceManager::RecvThreadProc",
                           " CDeviceManager::RecvThreadProc() -- read return %d", 0);
            }
            m_lender.WaitEnd(generation, kReadFailurePauseMs);
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
}

bool CDeviceManager::IsIdle() {
    return GetTickCount32() - m_lastExchange.load() > m_idleThreshold.load();
}
