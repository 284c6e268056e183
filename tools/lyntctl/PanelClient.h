#pragma once

#include <string>
#include <vector>

namespace ctl {

// Hands the command (its name and arguments) to the running panel, prints its answer as the
// direct mode would and returns its exit status; kExitNoAnswer when the panel does not answer.
int RunThroughPanel(const std::vector<std::string>& words, bool json, bool progress);

}  // namespace ctl
