#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "../DeviceManager.h"
#include "HidBase.h"

// Finds cards, creates the transport for one and hands it to the device manager. Owns the
// manager and the current transport.
class CHidDeviceBuilder {
public:
    static constexpr uint16_t kVendorId = 0x2B53;
    static constexpr uint16_t kProductId = 0x0041;
    static constexpr uint16_t kLoaderProductId = 0x0002;

    CHidDeviceBuilder() = default;
    ~CHidDeviceBuilder();
    CHidDeviceBuilder(const CHidDeviceBuilder&) = delete;
    CHidDeviceBuilder& operator=(const CHidDeviceBuilder&) = delete;

    bool CreateManager(ICommProtocol* protocol);
    int FindDevices(uint16_t productId);
    bool OpenFirstDevice();
    bool OpenDevicePath(const std::string& path);

    CDeviceManager* GetManager() { return m_manager.get(); }
    int PathCount() const { return static_cast<int>(m_paths.size()); }
    const std::vector<std::string>& Paths() const { return m_paths; }
    const std::string& CurrentPath() const { return m_currentPath; }
    uint16_t VendorId() const { return m_vendorId; }
    uint16_t ProductId() const { return m_productId; }
    // Why the last OpenFirstDevice/OpenDevicePath failed to open the device (errno), or 0.
    int LastOpenError() const { return m_lastOpenError; }
    // With LastOpenError EBUSY: the program that uses the card ("velora (pid 12)"), or empty.
    const std::string& LastLockHolder() const { return m_lastLockHolder; }

    // A hidraw transport, or the virtual card's for a "vcard:" path.
    static std::unique_ptr<CHidBase> CreateTransport(const std::string& path);

private:
    std::unique_ptr<CDeviceManager> m_manager;
    std::unique_ptr<CHidBase> m_transport;
    ICommProtocol* m_protocol = nullptr;
    std::vector<std::string> m_paths;
    std::string m_currentPath;
    uint16_t m_vendorId = 0;
    uint16_t m_productId = 0;
    int m_lastOpenError = 0;
    std::string m_lastLockHolder;
};
