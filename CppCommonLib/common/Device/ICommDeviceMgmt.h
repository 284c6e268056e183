#pragma once

#include <cstdint>

class ICommunicateDevice;
class ICommProtocol;

class ICommDeviceMgmt {
public:
    virtual ~ICommDeviceMgmt() = default;
    virtual bool IsOpen() = 0;
    virtual bool AttachDevice(ICommunicateDevice* transport, ICommProtocol* protocol) = 0;
    virtual bool DetachDevice() = 0;
    // request must have room for a whole frame; it is enciphered and signed in place.
    virtual bool SendAndReceive(uint8_t* request, uint8_t* reply, int tries, uint32_t timeoutMs,
                                bool encipher) = 0;
    virtual bool SendNotReceive(uint8_t* request, bool encipher) = 0;
    virtual void RecvThreadProc() = 0;
    virtual ICommunicateDevice* GetDevice() = 0;
    virtual bool IsIdle() = 0;
};
