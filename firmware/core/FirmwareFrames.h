#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "CardCommands.h"

namespace firmware {

// Window messages from the manager's workers: a phase ended (wParam phase, lParam 1 or 0), and
// a status (wParam code, lParam argument).
inline constexpr uint32_t UM_FW_PHASE = 1127;
inline constexpr uint32_t UM_FW_STATUS = 1128;

enum Phase : int { kPhaseDeviceInfo = 0, kPhaseServer = 1, kPhaseDownload = 2, kPhaseUpgrade = 3 };

enum Status : int {
    kStatusPrepare = 3,
    kStatusDownloading = 7,
    kStatusDownloaded = 8,
    kStatusUnpacking = 11,
    kStatusUnpacked = 12,
    kStatusConnecting = 21,
    kStatusWritingStep = 22,
    kStatusRange = 29,
    kStatusPosition = 30,
};

// The CRC-32 of IEEE 802.3.
uint32_t Crc32(const uint8_t* data, size_t size);
// CMD_FW_INFO: [8..11] 0x00040000, [12..15] length, [16..19] CRC, little-endian.
card::Frame MakeFwInfoFrame(uint32_t length, uint32_t crc);
// CMD_FW_DATA: [1..2] block index big-endian, [4..62] the block's 59 bytes, zero-padded.
card::Frame MakeFwDataFrame(uint16_t index, const uint8_t* image, size_t length);
size_t BlockCount(size_t length);

}  // namespace firmware
