#pragma once

#include <string>
#include <vector>

namespace sound {
class CMoodConfig;
}

namespace ctl {

inline constexpr char kPadUsage[] = "usage: lyntctl pad NAME|POSITION|--stop";

// The favourites' names, in their order, as the sound-pad page shows them.
std::vector<std::string> PadNames(const sound::CMoodConfig& store);
// Why arg names no favourite, with the favourites there are.
std::string NoSuchPadMessage(const std::string& arg, const std::vector<std::string>& names);

}  // namespace ctl
