#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "CardCommands.h"

namespace vcard {

// The card's firmware loader, which runs after CMD_FW_ENTER_BOOT: it takes the image's length
// and CRC with CMD_FW_INFO, the image in 59-byte blocks with CMD_FW_DATA, and checks length and
// CRC-32 when the last block is in. A failed check is answered with a bad flag.
class CCardLoader {
public:
    static constexpr size_t kBlockBytes = 59;
    static constexpr uint8_t kFlagOutOfOrder = 0x02;
    static constexpr uint8_t kFlagCheckFailed = 0x04;
    static constexpr uint8_t kFlagUnknown = 0x01;

    // failFromBlock: blocks with this index or later get no reply (-1: all answered).
    explicit CCardLoader(int failFromBlock = -1) : m_failFromBlock(failFromBlock) {}
    void SetFailFromBlock(int block) { m_failFromBlock = block; }

    std::optional<card::Frame> HandleHostFrame(const card::Frame& frame);

    bool CheckPassed() const { return m_checkPassed; }
    const std::vector<uint8_t>& Image() const { return m_image; }
    // The firmware byte the written image installs ("LYFW" and the byte at its start), 0 when
    // the image carries none or did not pass.
    uint8_t NewFirmwareByte() const;
    // {"mode":"loader", image length, CRC, blocks, announced length and CRC, check passed}.
    std::string StateJson(bool active) const;

private:
    int m_failFromBlock;
    uint32_t m_announcedLength = 0;
    uint32_t m_announcedCrc = 0;
    bool m_announced = false;
    std::vector<uint8_t> m_image;
    int m_blocks = 0;
    int m_infos = 0;
    bool m_checked = false;
    bool m_checkPassed = false;
};

}  // namespace vcard
