#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "PanelRequest.h"

namespace sound {
class CMoodConfig;
}

namespace ctl {

struct Request;

// `lyntctl cloud sound ID` while the panel runs: the panel downloads the clip and adds it to its
// own sound-pad store, so the file is written from the panel's lists (favourites changed in the
// panel meanwhile stay). Answers on reply; the job lives until it has answered.
void RunCloudSoundInPanel(const Request& request, sound::CMoodConfig& store,
                          const std::filesystem::path& dataFolder, const std::string& baseUrl,
                          const std::shared_ptr<platform::instance::IPanelReply>& reply);

}  // namespace ctl
