#pragma once

#include <cstdint>
#include <string>

// Which vendor and product a device path belongs to. Virtual-card paths carry the ids in their
// names; a hidraw node's ids come from its HID parent, and are remembered when the node is seen,
// because after a removal the parent is gone and can no longer be asked.
bool IdentifyDevice(const std::string& path, uint16_t* vendorId, uint16_t* productId);
void RememberDeviceIds(const std::string& path, uint16_t vendorId, uint16_t productId);
// Reads "bus:vendor:product" from a HID_ID property.
bool ParseHidId(const char* hidId, uint16_t* vendorId, uint16_t* productId);
