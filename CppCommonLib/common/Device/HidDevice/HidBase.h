#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "../ICommunicateDevice.h"
#include "../ReportChannel.h"
#include "DeviceLock.h"

// A HID transport on a hidraw node. The report handling (report id, lengths, waking a read) is
// shared with the virtual card's transport, which derives from it and only opens differently.
class CHidBase : public ICommunicateDevice {
public:
    static constexpr int kMaxPathLength = 259;
    static constexpr int kMaxReportLength = 128;
    static constexpr int kMaxStoredPaths = 10;

    explicit CHidBase(const std::string& devicePath);
    ~CHidBase() override;

    bool IsOpen() override;
    bool OpenDevice() override;
    void CloseDevice() override;
    bool Write(const uint8_t* data, int n) override;
    bool Read(const uint8_t** out, uint32_t ms) override;
    void CancelRead() override;
    int GetInputLength() override { return m_inputLength > 0 ? m_inputLength - 1 : 0; }
    int GetOutputLength() override { return m_outputLength > 0 ? m_outputLength - 1 : 0; }
    const std::string& GetDevicePath() override { return m_path; }

    // The errno of the last failed open (EACCES: no permission on the device node; EBUSY:
    // another program uses the card, LockHolder() says which), or 0.
    int LastOpenError() const { return m_lastOpenError; }
    const std::string& LockHolder() const { return m_lock.Holder(); }

    // Lists the cards with this vendor and product: hidraw nodes first, then virtual cards. Keeps
    // at most 10 paths and returns how many matched.
    static int EnumDevices(std::vector<std::string>& paths, uint16_t vendorId, uint16_t productId);

protected:
    struct Description {
        int inputLength = 0;   // report id byte included
        int outputLength = 0;  // report id byte included
        bool numbered = false;
    };
    // Reads the report lengths; the device is not kept open. Logs and returns false on failure.
    virtual bool Describe(Description* out);
    // Opens a descriptor for reading or for writing; -1 on failure (errno set).
    virtual int OpenHandle(bool forWrite);
    // Opens what the card's exclusive lock is taken on (the device node); -1 on failure.
    virtual int OpenLockHandle();
    void SetLastOpenError(int error) { m_lastOpenError = error; }

private:
    bool OpenLocked();

    std::string m_path;
    int m_inputLength = 0;
    int m_outputLength = 0;
    std::atomic<bool> m_open{false};
    int m_lastOpenError = 0;
    CDeviceLock m_lock;  // held from the open to the close
    CReportChannel m_channel;
    std::array<uint8_t, kMaxReportLength> m_readBuffer{};  // used by the one reading thread only
};

// Opens a device node, trying again while access is denied: right after a card arrives udev may
// not have set the node's access yet. pause(attempt) runs between tries (by default it waits
// 100 ms); after 10 retries the last failure is returned (-1, errno set).
int OpenRetryingAccess(const std::string& path, int flags,
                       const std::function<void(int attempt)>& pause = nullptr);

// Reads "#VID_xxxx&PID_yyyy" from a device path, without regard to case.
bool ParseVidPid(const std::string& path, uint16_t* vendorId, uint16_t* productId);
