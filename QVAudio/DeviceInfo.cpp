#include "DeviceInfo.h"

#include <cstdio>

namespace card {

const char* DeviceTypeName(uint8_t type) {
    switch (type) {
        case 1: return "声卡";
        case 2: return "话筒";
        case 3: return "耳机";
        case 4: return "音箱";
        case 5: return "效果器";
        default: return "其他";
    }
}

std::string FormatVersion(uint8_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "V%d.%d", value / 10, value % 10);
    return text;
}

std::string FormatDeviceInfo(const Frame* reply) {
    std::string text = "产品名称：Orin LYNT!\n";
    if (reply) {
        text += "硬件版本：" + FormatVersion((*reply)[kHardwareVersionOffset]) + "\n";
        text += "固件版本：" + FormatVersion((*reply)[kFirmwareVersionOffset]) + "\n";
        text += std::string("设备类型：") + DeviceTypeName((*reply)[kDeviceTypeOffset]) + "\n";
    }
    return text;
}

}  // namespace card
