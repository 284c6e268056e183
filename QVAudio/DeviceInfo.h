#pragma once

#include <cstdint>
#include <string>

#include "CardCommands.h"

namespace card {

// "声卡", "话筒", ... for the device-type byte; "其他" for anything unknown.
const char* DeviceTypeName(uint8_t type);
// "V1.2" for 12.
std::string FormatVersion(uint8_t value);
// The device-information text, one line each: product, and when the card answered (reply not
// null) hardware and firmware version and device type. UTF-8.
std::string FormatDeviceInfo(const Frame* reply);

}  // namespace card
