#pragma once

#include <map>
#include <vector>

#include "CardCommands.h"

namespace model {

// The CMD_SET_PARAMS frames for the pending changes (id → value, sent in ascending id order),
// 19 entries a frame, the last frame marked at byte 62. Ids outside the parameter table are left
// out. No frame for an empty map.
std::vector<card::Frame> BuildSetParamsFrames(const std::map<int, int>& pending);

}  // namespace model
