#pragma once

#include <cstdint>
#include <functional>

#include "CardCommands.h"

namespace card {

struct ParamEntry {
    int id;
    int value;  // 12 bits
};

// Writes one entry at `at` (3 bytes).
void EncodeParamEntry(uint8_t* at, int id, int group, int value);
// Calls fn for each entry of a CMD_SET_PARAMS or RPT_PARAMS frame. A count that reaches past
// the frame is cut to the entries that fit; returns how many were handed out.
int DecodeParamEntries(const Frame& frame, const std::function<void(const ParamEntry&)>& fn);

}  // namespace card
