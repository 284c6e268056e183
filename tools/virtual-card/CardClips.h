#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include <json/value.h>
#include "CardCommands.h"

namespace vcard {

// What one clip slot holds: what the last header announced and the blocks taken since.
struct ClipSlot {
    bool announced = false;
    uint32_t announcedBytes = 0;
    uint32_t announcedBlocks = 0;
    uint32_t blocksReceived = 0;
    std::vector<uint8_t> bytes;  // the image as received, at most announcedBytes
    uint32_t Crc32() const;
    bool Complete() const { return announced && blocksReceived == announcedBlocks; }
};

// The card's five clip slots. A header opens a slot (its contents start over); blocks must then
// come in order with index 0, 1, ... up to the announced count. Anything else is refused and
// leaves the slot as it was.
class CCardClips {
public:
    static constexpr int kSlots = 5;

    // The reply flag for a CMD_CLIP_BEGIN or CMD_CLIP_DATA frame.
    uint8_t Handle(const card::Frame& frame);
    const ClipSlot& Slot(int slot) const { return m_slots.at(static_cast<size_t>(slot)); }
    int LastSlot() const { return m_current; }
    Json::Value ToJson() const;

private:
    std::array<ClipSlot, kSlots> m_slots{};
    int m_current = -1;  // the slot the blocks go to
};

}  // namespace vcard
