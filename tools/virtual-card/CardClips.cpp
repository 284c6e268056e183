#include "CardClips.h"

#include <zlib.h>

#include <algorithm>

namespace vcard {

namespace {
uint32_t Get24(const card::Frame& f, size_t at) {
    return static_cast<uint32_t>(f[at] | (f[at + 1] << 8) | (f[at + 2] << 16));
}
constexpr uint8_t kRefused = 0x02;
}  // namespace

uint32_t ClipSlot::Crc32() const {
    return static_cast<uint32_t>(
        crc32(crc32(0L, Z_NULL, 0), bytes.data(), static_cast<uInt>(bytes.size())));
}

uint8_t CCardClips::Handle(const card::Frame& frame) {
    if (frame[0] == card::CMD_CLIP_BEGIN) {
        const int slot = frame[4];
        const uint32_t blocks = Get24(frame, 5);
        const uint32_t bytes = Get24(frame, 8);
        if (slot >= kSlots || bytes == 0 || bytes > card::kMaxClipBytes ||
            blocks != card::ClipChunkCount(bytes)) {
            m_current = -1;
            return kRefused;
        }
        m_current = slot;
        ClipSlot& s = m_slots[static_cast<size_t>(slot)];
        s = ClipSlot{};
        s.announced = true;
        s.announcedBytes = bytes;
        s.announcedBlocks = blocks;
        s.bytes.reserve(bytes);
        return card::kFlagOk;
    }
    if (m_current < 0) {
        return kRefused;
    }
    ClipSlot& s = m_slots[static_cast<size_t>(m_current)];
    const uint32_t index = Get24(frame, 60);
    if (index != s.blocksReceived || index >= s.announcedBlocks) {
        return kRefused;
    }
    const size_t n = std::min<size_t>(card::kClipChunkBytes, s.announcedBytes - s.bytes.size());
    s.bytes.insert(s.bytes.end(), frame.begin() + 4, frame.begin() + 4 + static_cast<long>(n));
    ++s.blocksReceived;
    return card::kFlagOk;
}

Json::Value CCardClips::ToJson() const {
    Json::Value list(Json::arrayValue);
    for (int i = 0; i < kSlots; ++i) {
        const ClipSlot& s = m_slots[static_cast<size_t>(i)];
        if (!s.announced) {
            continue;
        }
        Json::Value o;
        o["slot"] = i;
        o["bytes"] = s.announcedBytes;
        o["blocks"] = s.announcedBlocks;
        o["received"] = s.blocksReceived;
        o["crc32"] = s.Crc32();
        o["complete"] = s.Complete();
        list.append(o);
    }
    return list;
}

}  // namespace vcard
