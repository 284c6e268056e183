#pragma once

#include <string>
#include <vector>

#include "Output.h"

namespace ctl {

struct Invocation {
    std::string device;  // --device PATH, or empty
    COutput out{false};
    std::vector<std::string> args;  // after the command name
};

int CmdDevices(const Invocation& in);
int CmdInfo(const Invocation& in);
int CmdGet(const Invocation& in);
int CmdSet(const Invocation& in);
int CmdEffect(const Invocation& in);
int CmdMyEffect(const Invocation& in);
int CmdSaveEffect(const Invocation& in);
int CmdPreset(const Invocation& in);
int CmdSavePreset(const Invocation& in);
int CmdSendEffect(const Invocation& in);
int CmdMonitor(const Invocation& in);
int CmdPanel(const Invocation& in);
int CmdEq(const Invocation& in);

}  // namespace ctl
