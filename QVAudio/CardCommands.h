#pragma once

#include <array>
#include <cstdint>

// The card's command set. A reply carries the request's code + 1 and flag 0xFF when good.
namespace card {

using Frame = std::array<uint8_t, 64>;
inline constexpr int kFrameLength = 64;
inline constexpr int kFlagOffset = 3;
inline constexpr uint8_t kFlagOk = 0xFF;

inline constexpr uint8_t CMD_EFX_HEADER = 0x02;
inline constexpr uint8_t CMD_EFX_RECORDS_B = 0x04;
inline constexpr uint8_t CMD_EFX_RECORDS_A = 0x06;
inline constexpr uint8_t CMD_KEY_EXCHANGE = 0x0E;
inline constexpr uint8_t CMD_EFX_RECORDS_C = 0x16;
inline constexpr uint8_t RPT_LEVELS = 0x1F;
inline constexpr uint8_t CMD_FW_INFO = 0x26;
inline constexpr uint8_t CMD_FW_DATA = 0x28;
inline constexpr uint8_t CMD_FW_NOTICE = 0x2A;
inline constexpr uint8_t CMD_FW_ENTER_BOOT = 0x2C;
inline constexpr uint8_t CMD_HOST_STATE = 0x90;
inline constexpr uint8_t CMD_DEVICE_INFO = 0x92;
inline constexpr uint8_t CMD_SET_PARAMS = 0x94;
inline constexpr uint8_t CMD_STORE_SLOT = 0x98;
inline constexpr uint8_t RPT_PARAMS = 0x9E;
inline constexpr uint8_t CMD_PARAMS_ACK = 0x9F;
inline constexpr uint8_t CMD_CLIP_BEGIN = 0xB0;
inline constexpr uint8_t CMD_CLIP_DATA = 0xB2;

// Acknowledge statuses of a parameter report.
inline constexpr uint8_t kAckAccepted = 0xFF;
inline constexpr uint8_t kAckBadChecksum = 0x03;
inline constexpr uint8_t kAckBadFlag = 0xA0;

// How often and how long each caller waits for a reply.
struct Timing {
    int tries;
    uint32_t timeoutMs;
};
inline constexpr Timing kKeyExchangeTiming{3, 500};
inline constexpr Timing kFwInfoTiming{4, 500};
inline constexpr Timing kFwDataTiming{3, 5000};
inline constexpr Timing kFwNoticeTiming{3, 2000};
inline constexpr Timing kFwEnterBootTiming{3, 2000};
inline constexpr Timing kHostStateTiming{3, 500};
inline constexpr Timing kDeviceInfoTiming{3, 300};
inline constexpr Timing kSetParamsTiming{3, 500};
inline constexpr Timing kStoreSlotTiming{4, 500};
inline constexpr Timing kClipBeginTiming{3, 6000};
inline constexpr Timing kClipDataTiming{3, 2000};
inline constexpr Timing kEffectDownloadTiming{3, 1500};

// CMD_SET_PARAMS / RPT_PARAMS entries: id, (group << 4) | value bits 8-11, value bits 0-7.
inline constexpr int kParamCountOffset = 4;
inline constexpr int kParamEntriesOffset = 5;
inline constexpr int kParamEntrySize = 3;
inline constexpr int kMaxParamEntries = 19;  // 5 + 19 * 3 = 62, the last-frame marker's byte
inline constexpr int kLastFrameOffset = 62;
inline constexpr int kBatchIndexOffset = 2;

// RPT_LEVELS: [4] count, then 16-bit little-endian values from [5].
inline constexpr int kLevelCountOffset = 4;
inline constexpr int kLevelValuesOffset = 5;
inline constexpr int kMaxLevels = (kFrameLength - 1 - kLevelValuesOffset) / 2;

// CMD_DEVICE_INFO reply.
inline constexpr int kHardwareVersionOffset = 4;
inline constexpr int kFirmwareVersionOffset = 6;
inline constexpr int kDeviceTypeOffset = 14;

// A clip travels in chunks of 56 bytes.
inline constexpr int kClipChunkBytes = 56;
inline constexpr uint32_t kMaxClipBytes = 3460300;
inline constexpr uint32_t ClipChunkCount(uint32_t length) {
    return (length + kClipChunkBytes - 1) / kClipChunkBytes;
}

}  // namespace card
