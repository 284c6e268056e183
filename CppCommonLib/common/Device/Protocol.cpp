#include "Protocol.h"

#include "FrameChecksum.h"
#include "Log/Log.h"

#define LOG_SOURCE "CppCommonLib\\common\\Device\\Protocol"

CProtocol::CProtocol(int packetLength, std::unique_ptr<ICommEncrypt> cipher)
    : m_packetLength(packetLength), m_cipher(std::move(cipher)) {}

bool CProtocol::CheckReply(const uint8_t* reply, uint8_t expectedCode) {
    const int n = m_packetLength;
    uint8_t computed = FrameChecksum(reply, static_cast<size_t>(n - 1));
    if (computed != reply[n - 1]) {
        VLOG_ERROR("device", "CProtocol::CheckReply",
                   "CheckReply error: reply crc 0x%02x != 0x%02x  cmd=0x%02x", reply[n - 1],
                   computed, reply[kCodeOffset]);
        return false;
    }
    if (reply[kCodeOffset] != expectedCode) {
        VLOG_ERROR("device", "CProtocol::CheckReply", "CheckReply error: reply cmd 0x%02x != 0x%02x",
                   reply[kCodeOffset], expectedCode);
        return false;
    }
    if (reply[kFlagOffset] != kFlagOk) {
        VLOG_ERROR("device", "CProtocol::CheckReply",
                   "CheckReply error: reply falg 0x%02x != 0x%02x  cmd=0x%02x", reply[kFlagOffset],
                   255, reply[kCodeOffset]);
        return false;
    }
    return true;
}

void CProtocol::SignFrame(uint8_t* frame) {
    frame[m_packetLength - 1] = FrameChecksum(frame, static_cast<size_t>(m_packetLength - 1));
}

void CProtocol::Encrypt(uint8_t* frame) {
    std::lock_guard<std::recursive_mutex> guard(m_cipherMutex);
    if (m_cipher) {
        m_cipher->Encrypt(frame);
    }
}

void CProtocol::Decrypt(uint8_t* frame) {
    std::lock_guard<std::recursive_mutex> guard(m_cipherMutex);
    if (m_cipher) {
        m_cipher->Decrypt(frame);
    }
}
