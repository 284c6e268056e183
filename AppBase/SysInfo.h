#pragma once

#include <string>

namespace appbase {

// The system, processor, memory and program version in the block the log opens with.
std::string FormatSysInfo(const std::string& programVersion);
// Writes that block to the log.
void GetSysInfo(const std::string& programVersion);

}  // namespace appbase
