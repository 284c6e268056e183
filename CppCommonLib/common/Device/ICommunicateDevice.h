#pragma once

#include <cstdint>
#include <string>

// A report transport. Lengths exclude the report-id byte, so for the card both are 64, the frame
// length.
class ICommunicateDevice {
public:
    virtual ~ICommunicateDevice() = default;
    virtual bool IsOpen() = 0;
    virtual bool OpenDevice() = 0;
    virtual void CloseDevice() = 0;
    // Hands one report of n payload bytes to the system; false when that failed.
    virtual bool Write(const uint8_t* data, int n) = 0;
    // Waits up to ms (kInfinite: without limit) for a report. True with *out at the payload when
    // one arrived or CancelRead woke the wait (the payload is then zeroed); false on time-out or
    // error. The bytes stay valid until the next Read.
    virtual bool Read(const uint8_t** out, uint32_t ms) = 0;
    // Wakes a waiting Read; a Write waiting for room in a full device queue fails at once too,
    // as the device is being let go.
    virtual void CancelRead() = 0;
    virtual int GetInputLength() = 0;
    virtual int GetOutputLength() = 0;
    virtual const std::string& GetDevicePath() = 0;
};
