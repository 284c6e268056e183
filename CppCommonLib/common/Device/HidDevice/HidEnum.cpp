#include <libudev.h>

#include <cstdio>
#include <memory>

#include "../VirtualCard/VirtualCardDevice.h"
#include "DeviceIds.h"
#include "HidBase.h"
#include "Log/Log.h"

#define LOG_SOURCE "CppCommonLib\\common\\Device\\HidDevice\\HidBase"

namespace {

struct UdevDeleter {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevDeleter>;

void AddMatch(std::vector<std::string>& paths, int& count, const std::string& path) {
    if (static_cast<int>(paths.size()) < CHidBase::kMaxStoredPaths) {
        paths.push_back(path);
    }
    ++count;
}

}  // namespace

int CHidBase::EnumDevices(std::vector<std::string>& paths, uint16_t vendorId, uint16_t productId) {
    paths.clear();
    int count = 0;

    UdevPtr<udev> context(udev_new());
    if (!context) {
        VLOG_ERROR("device", "CHidBase::EnumDevices", "udev_new failed.");
    } else {
        UdevPtr<udev_enumerate> enumerate(udev_enumerate_new(context.get()));
        if (enumerate && udev_enumerate_add_match_subsystem(enumerate.get(), "hidraw") >= 0 &&
            udev_enumerate_scan_devices(enumerate.get()) >= 0) {
            udev_list_entry* entry = nullptr;
            udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
                UdevPtr<udev_device> dev(
                    udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
                if (!dev) {
                    continue;
                }
                // The parent is owned by the child device; it must not be unref'd.
                udev_device* hid = udev_device_get_parent_with_subsystem_devtype(dev.get(), "hid",
                                                                                 nullptr);
                const char* node = udev_device_get_devnode(dev.get());
                uint16_t vid = 0;
                uint16_t pid = 0;
                if (hid && node &&
                    ParseHidId(udev_device_get_property_value(hid, "HID_ID"), &vid, &pid)) {
                    RememberDeviceIds(node, vid, pid);
                    if (vid == vendorId && pid == productId) {
                        AddMatch(paths, count, node);
                    }
                }
            }
        } else {
            VLOG_ERROR("device", "CHidBase::EnumDevices",
                       "CHidBase::EnumDevices SetupDiGetDeviceInterfaceDetail failed. error=%ld\n",
                       0L);
        }
    }

    for (const std::string& path : CVirtualCardDevice::ListCards(vendorId, productId)) {
        AddMatch(paths, count, path);
    }
    return count;
}
