#pragma once

#include <string>

#include "Output.h"
#include "PanelRequests.h"

namespace ctl {

// The card's versions as the running panel has its card tell them (lyntctl info through the
// panel): a check for newer firmware reads them while the panel holds the card. Returns an exit
// status; on failure the reason is written to out.
int AskPanelForVersions(const COutput& out, CardVersions* versions);

}  // namespace ctl
