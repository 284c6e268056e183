#include "UdevDeviceNotifier.h"

#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "Log/Log.h"
#include "ccm_util/Dispatcher.h"
#include "ccm_util/LastResort.h"
#include "common/Device/HidDevice/DeviceIds.h"
#include "common/Device/VirtualCard/VirtualCardDevice.h"

#define LOG_SOURCE "platform\\devnotify\\UdevDeviceNotifier"

std::unique_ptr<IDeviceNotifier> CreateDeviceNotifier() {
    return std::make_unique<CUdevDeviceNotifier>();
}

CUdevDeviceNotifier::CUdevDeviceNotifier() = default;

CUdevDeviceNotifier::~CUdevDeviceNotifier() { Stop(); }

bool CUdevDeviceNotifier::OpenUdevMonitor() {
    m_udev = udev_new();
    if (!m_udev) {
        return false;
    }
    // Inside containers no udev daemon rebroadcasts events; listen to the kernel's then.
    const bool daemon = std::filesystem::exists("/run/udev/control");
    m_monitor = udev_monitor_new_from_netlink(m_udev, daemon ? "udev" : "kernel");
    if (!m_monitor || udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(m_monitor) < 0) {
        VLOG_ERROR("device", "CUdevDeviceNotifier::Start", "cannot watch hidraw devices");
        if (m_monitor) {
            udev_monitor_unref(m_monitor);
            m_monitor = nullptr;
        }
        return false;
    }
    return true;
}

void CUdevDeviceNotifier::WatchVirtualCards() {
    const char* folder = std::getenv(CVirtualCardDevice::kFolderVariable);
    if (!folder || !*folder) {
        return;
    }
    m_inotifyFd = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (m_inotifyFd < 0 ||
        ::inotify_add_watch(m_inotifyFd, folder, IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO) < 0) {
        VLOG_ERROR("device", "CUdevDeviceNotifier::Start", "cannot watch %s for virtual cards",
                   folder);
        if (m_inotifyFd >= 0) {
            ::close(m_inotifyFd);
            m_inotifyFd = -1;
        }
        return;
    }
    m_virtualFolder = folder;
}

bool CUdevDeviceNotifier::Start(IDevicePnpNotificationReceiver* receiver) {
    Stop();
    if (!receiver) {
        return false;
    }
    m_receiver = receiver;
    m_alive = std::make_shared<std::atomic<bool>>(true);
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    bool watching = OpenUdevMonitor();
    WatchVirtualCards();
    watching = watching || m_inotifyFd >= 0;
    if (m_wakeFd < 0 || !watching) {
        Stop();
        return false;
    }
    m_thread =
        std::thread([this] { ccm_util::RunGuarded("CUdevDeviceNotifier", [this] { Loop(); }); });
    return true;
}

void CUdevDeviceNotifier::Stop() {
    if (m_alive) {
        m_alive->store(false);
    }
    if (m_thread.joinable()) {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(m_wakeFd, &one, sizeof one);
        m_thread.join();
    }
    if (m_monitor) {
        udev_monitor_unref(m_monitor);
        m_monitor = nullptr;
    }
    if (m_udev) {
        udev_unref(m_udev);
        m_udev = nullptr;
    }
    for (int* fd : {&m_inotifyFd, &m_wakeFd}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
    m_receiver = nullptr;
}

void CUdevDeviceNotifier::Notify(bool removed, const std::string& path) {
    IDevicePnpNotificationReceiver* receiver = m_receiver;
    std::shared_ptr<std::atomic<bool>> alive = m_alive;
    ccm_util::DispatchToUi([receiver, alive, removed, path] {
        if (alive->load()) {
            receiver->OnDevicePnp(removed, path);
        }
    });
}

void CUdevDeviceNotifier::ReadUdev() {
    while (udev_device* dev = udev_monitor_receive_device(m_monitor)) {
        const char* action = udev_device_get_action(dev);
        const char* node = udev_device_get_devnode(dev);
        if (action && node) {
            std::string a = action;
            if (a == "add") {
                udev_device* hid = udev_device_get_parent_with_subsystem_devtype(dev, "hid", nullptr);
                uint16_t vid = 0;
                uint16_t pid = 0;
                if (hid && ParseHidId(udev_device_get_property_value(hid, "HID_ID"), &vid, &pid)) {
                    RememberDeviceIds(node, vid, pid);
                }
                Notify(false, node);
            } else if (a == "remove") {
                Notify(true, node);
            }
        }
        udev_device_unref(dev);
    }
}

void CUdevDeviceNotifier::ReadInotify() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        ssize_t n = ::read(m_inotifyFd, buffer, sizeof buffer);
        if (n <= 0) {
            return;
        }
        for (char* p = buffer; p < buffer + n;) {
            auto* event = reinterpret_cast<inotify_event*>(p);
            // Hidden names are sockets still being set up (see lynt-virtual-card).
            if (event->len > 0 && event->name[0] != '.') {
                std::string path = std::string(CVirtualCardDevice::kPathPrefix) + m_virtualFolder +
                                   "/" + event->name;
                bool removed = (event->mask & (IN_DELETE | IN_MOVED_FROM)) != 0;
                Notify(removed, path);
            }
            p += sizeof(inotify_event) + event->len;
        }
    }
}

void CUdevDeviceNotifier::Loop() {
    while (m_alive->load()) {
        pollfd fds[3] = {{m_wakeFd, POLLIN, 0},
                         {m_monitor ? udev_monitor_get_fd(m_monitor) : -1, POLLIN, 0},
                         {m_inotifyFd, POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0) {
            continue;
        }
        if (fds[0].revents & POLLIN) {
            return;
        }
        if (fds[1].revents & POLLIN) {
            ReadUdev();
        }
        if (fds[2].revents & POLLIN) {
            ReadInotify();
        }
    }
}
