#pragma once

#include <memory>
#include <string>

// Receives device arrivals and removals on the UI thread.
class IDevicePnpNotificationReceiver {
public:
    virtual ~IDevicePnpNotificationReceiver() = default;
    virtual void OnDevicePnp(bool removed, const std::string& path) = 0;
};

// Watches for HID devices and virtual cards coming and going.
class IDeviceNotifier {
public:
    virtual ~IDeviceNotifier() = default;
    // Starts watching; notifications reach the receiver through the UI dispatcher. Starting
    // again replaces the receiver.
    virtual bool Start(IDevicePnpNotificationReceiver* receiver) = 0;
    // No notification reaches the receiver after this returns (call it on the UI thread).
    virtual void Stop() = 0;
};

// hidraw nodes through a udev monitor (kernel uevents where no udev daemon runs), and the
// virtual cards in the folder LYNT_VIRTUAL_CARD_DIR names.
std::unique_ptr<IDeviceNotifier> CreateDeviceNotifier();
