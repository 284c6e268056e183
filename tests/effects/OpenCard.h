#pragma once

#include "common/Device/ICommDeviceMgmt.h"

// A card that is plugged in and open and sends nothing: for dialogs whose behaviour depends only
// on whether the card is connected.
class COpenCard : public ICommDeviceMgmt {
public:
    bool IsOpen() override { return true; }
    bool AttachDevice(ICommunicateDevice*, ICommProtocol*) override { return true; }
    bool DetachDevice() override { return true; }
    bool SendAndReceive(uint8_t*, uint8_t*, int, uint32_t, bool) override { return false; }
    bool SendNotReceive(uint8_t*, bool) override { return false; }
    void RecvThreadProc() override {}
    ICommunicateDevice* GetDevice() override { return nullptr; }
    bool IsIdle() override { return true; }
};
