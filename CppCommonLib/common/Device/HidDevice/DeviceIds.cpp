#include "DeviceIds.h"

#include <libudev.h>
#include <sys/stat.h>

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

#include "HidBase.h"

namespace {

std::mutex g_mutex;
std::map<std::string, std::pair<uint16_t, uint16_t>> g_known;

// Asks udev about a device node that exists now.
bool AskUdev(const std::string& node, uint16_t* vendorId, uint16_t* productId) {
    struct stat st {};
    if (::stat(node.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) {
        return false;
    }
    std::unique_ptr<udev, decltype(&udev_unref)> context(udev_new(), &udev_unref);
    if (!context) {
        return false;
    }
    std::unique_ptr<udev_device, decltype(&udev_device_unref)> dev(
        udev_device_new_from_devnum(context.get(), 'c', st.st_rdev), &udev_device_unref);
    if (!dev) {
        return false;
    }
    udev_device* hid = udev_device_get_parent_with_subsystem_devtype(dev.get(), "hid", nullptr);
    return hid && ParseHidId(udev_device_get_property_value(hid, "HID_ID"), vendorId, productId);
}

}  // namespace

bool ParseHidId(const char* hidId, uint16_t* vendorId, uint16_t* productId) {
    unsigned bus = 0;
    unsigned vid = 0;
    unsigned pid = 0;
    if (!hidId || std::sscanf(hidId, "%x:%x:%x", &bus, &vid, &pid) != 3 || vid > 0xFFFF ||
        pid > 0xFFFF) {
        return false;
    }
    *vendorId = static_cast<uint16_t>(vid);
    *productId = static_cast<uint16_t>(pid);
    return true;
}

void RememberDeviceIds(const std::string& path, uint16_t vendorId, uint16_t productId) {
    std::lock_guard<std::mutex> guard(g_mutex);
    g_known[path] = {vendorId, productId};
}

bool IdentifyDevice(const std::string& path, uint16_t* vendorId, uint16_t* productId) {
    if (ParseVidPid(path, vendorId, productId)) {
        return true;
    }
    {
        std::lock_guard<std::mutex> guard(g_mutex);
        auto it = g_known.find(path);
        if (it != g_known.end()) {
            *vendorId = it->second.first;
            *productId = it->second.second;
            return true;
        }
    }
    if (AskUdev(path, vendorId, productId)) {
        RememberDeviceIds(path, *vendorId, *productId);
        return true;
    }
    return false;
}
