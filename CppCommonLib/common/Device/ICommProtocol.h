#pragma once

#include <cstdint>
#include <mutex>

class ICommDeviceMgmt;

// The frame layer the device manager drives: signing, ciphering and reply checks, plus the
// handling of frames nobody awaited.
class ICommProtocol {
public:
    virtual ~ICommProtocol() = default;
    virtual bool CheckReply(const uint8_t* reply, uint8_t expectedCode) = 0;
    virtual void SignFrame(uint8_t* frame) = 0;
    virtual void Encrypt(uint8_t* frame) = 0;
    virtual void Decrypt(uint8_t* frame) = 0;
    // Runs on the receive thread.
    virtual void OnRecvData(const uint8_t* frame) = 0;
    virtual void SetDeviceMgmt(ICommDeviceMgmt* manager) = 0;
    virtual void ResetDeviceMgmt() = 0;
    virtual int GetPacketLength() = 0;
    virtual bool NegotiateKey() = 0;
    // Guards the cipher. A key exchange holds it from its temporary key to its final one, and an
    // enciphered exchange from enciphering the request to deciphering the reply, so neither
    // sees the other's keys. Take it before any lock of the device manager.
    virtual std::recursive_mutex& CipherMutex() = 0;
};
