#pragma once

#include <cstdint>
#include <vector>

#include "CardCommands.h"
#include "EffectFile.h"

namespace model {

// How many records of sections A and B the card takes at most.
struct EffectDownloadCaps {
    uint32_t maxRecordsA = 2560;
    uint32_t maxRecordsB = 4096;
};

// The download of a checked effect file (ReadEffectFile): one CMD_EFX_HEADER frame, then the
// section-B, section-A and section-C frames, in the order the card expects them. False (and no
// frames) when a section yields fewer records than the header announces, or when the header's
// byte counts cannot carry what is sent: section B beyond what its three bytes (the upper bytes
// of H6 with the low byte of the bytes sent) can say, or sections A or C beyond 16 bits.
bool BuildEffectDownloadFrames(const EffectFileContents& file, const EffectDownloadCaps& caps,
                               std::vector<card::Frame>& frames);

}  // namespace model
