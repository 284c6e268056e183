#pragma once

#include <cstdint>

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
};
