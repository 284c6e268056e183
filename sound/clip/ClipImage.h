#pragma once

#include <cstdint>
#include <vector>

#include "CardCommands.h"
#include "WaveFile.h"

// The image a clip slot receives (a WAV file of 44 100 Hz mono 16-bit samples) and the frames
// that carry it.
namespace sound::clip {

// Header + samples; the header states the whole sample length even where the transfer is cut.
std::vector<uint8_t> BuildClipImage(const std::vector<uint8_t>& samples);

// What goes over the wire for an image: at most card::kMaxClipBytes of it, in 56-byte blocks.
struct ClipTransferPlan {
    uint32_t byteCount = 0;
    uint32_t blockCount = 0;
};
ClipTransferPlan PlanClipTransfer(size_t imageLength);

card::Frame MakeClipBeginFrame(int slot, const ClipTransferPlan& plan);
// Block `index` of the first plan.byteCount bytes of image; the bytes past them are zero.
card::Frame MakeClipDataFrame(const std::vector<uint8_t>& image, const ClipTransferPlan& plan,
                              uint32_t index);

}  // namespace sound::clip
