#pragma once

#include <cstdio>

#include "Commands.h"

// lyntctl's help: the command list with the global options, and one command's page.
namespace ctl {

void PrintHelp(std::FILE* to);
void PrintCommandHelp(const Command& command, std::FILE* to);

}  // namespace ctl
