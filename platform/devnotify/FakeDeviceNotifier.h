#pragma once

#include "DeviceNotifier.h"
#include "ccm_util/Dispatcher.h"

// Notifications made up by a test, delivered the way the real notifier delivers them.
class CFakeDeviceNotifier : public IDeviceNotifier {
public:
    bool Start(IDevicePnpNotificationReceiver* receiver) override {
        m_receiver = receiver;
        return receiver != nullptr;
    }
    void Stop() override { m_receiver = nullptr; }
    void Arrive(const std::string& path) { Send(false, path); }
    void Remove(const std::string& path) { Send(true, path); }

private:
    void Send(bool removed, const std::string& path) {
        if (IDevicePnpNotificationReceiver* r = m_receiver) {
            ccm_util::DispatchToUi([this, r, removed, path] {
                if (m_receiver == r) {
                    r->OnDevicePnp(removed, path);
                }
            });
        }
    }
    IDevicePnpNotificationReceiver* m_receiver = nullptr;
};
