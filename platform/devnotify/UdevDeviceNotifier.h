#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "DeviceNotifier.h"

struct udev;
struct udev_monitor;

class CUdevDeviceNotifier : public IDeviceNotifier {
public:
    CUdevDeviceNotifier();
    ~CUdevDeviceNotifier() override;

    bool Start(IDevicePnpNotificationReceiver* receiver) override;
    void Stop() override;

private:
    void Loop();
    void ReadUdev();
    void ReadInotify();
    void Notify(bool removed, const std::string& path);
    bool OpenUdevMonitor();
    void WatchVirtualCards();

    udev* m_udev = nullptr;
    udev_monitor* m_monitor = nullptr;
    int m_inotifyFd = -1;
    int m_wakeFd = -1;
    std::string m_virtualFolder;
    IDevicePnpNotificationReceiver* m_receiver = nullptr;
    // Cleared on Stop; notifications already queued for the UI thread check it before they run.
    std::shared_ptr<std::atomic<bool>> m_alive;
    std::thread m_thread;
};
