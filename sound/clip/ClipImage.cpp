#include "ClipImage.h"

#include <algorithm>
#include <cstring>

#include "ClipSlots.h"

namespace sound::clip {

namespace {
void Put24(card::Frame& f, size_t at, uint32_t v) {
    f[at] = static_cast<uint8_t>(v);
    f[at + 1] = static_cast<uint8_t>(v >> 8);
    f[at + 2] = static_cast<uint8_t>(v >> 16);
}
constexpr size_t kBeginSlotOffset = 4;
constexpr size_t kBeginBlocksOffset = 5;
constexpr size_t kBeginBytesOffset = 8;
constexpr size_t kDataOffset = 4;
constexpr size_t kDataIndexOffset = 60;
}  // namespace

std::vector<uint8_t> BuildClipImage(const std::vector<uint8_t>& samples) {
    const WaveFormat card{kCardChannels, kCardRate, kCardBits};
    std::vector<uint8_t> image = MakeWaveHeader(card, static_cast<uint32_t>(samples.size()));
    image.insert(image.end(), samples.begin(), samples.end());
    return image;
}

ClipTransferPlan PlanClipTransfer(size_t imageLength) {
    ClipTransferPlan plan;
    plan.byteCount = static_cast<uint32_t>(std::min<size_t>(imageLength, card::kMaxClipBytes));
    plan.blockCount = card::ClipChunkCount(plan.byteCount);
    return plan;
}

card::Frame MakeClipBeginFrame(int slot, const ClipTransferPlan& plan) {
    card::Frame f{};
    f[0] = card::CMD_CLIP_BEGIN;
    f[kBeginSlotOffset] = static_cast<uint8_t>(slot);
    Put24(f, kBeginBlocksOffset, plan.blockCount);
    Put24(f, kBeginBytesOffset, plan.byteCount);
    return f;
}

card::Frame MakeClipDataFrame(const std::vector<uint8_t>& image, const ClipTransferPlan& plan,
                              uint32_t index) {
    card::Frame f{};
    f[0] = card::CMD_CLIP_DATA;
    const size_t end = std::min<size_t>(plan.byteCount, image.size());
    const size_t from = static_cast<size_t>(index) * card::kClipChunkBytes;
    if (from < end) {
        const size_t n = std::min<size_t>(card::kClipChunkBytes, end - from);
        std::memcpy(f.data() + kDataOffset, image.data() + from, n);
    }
    Put24(f, kDataIndexOffset, index);
    return f;
}

}  // namespace sound::clip
