#pragma once

#include <strings.h>

#include <string>
#include <vector>

#include "Commands.h"
#include "CtlSession.h"
#include "ParamText.h"

// What the card commands share: usage errors, the "done" result line, positions or names.
namespace ctl {

// Prints the message and where the command's help is; returns the usage status.
inline int Usage(const Invocation& in, const std::string& message) {
    in.out.Error(message);
    return kExitUsage;
}

// The result of a command that changes something: "WHAT: done", or the card's failure (status 3).
inline int Report(const COutput& out, bool ok, const std::string& what) {
    if (!ok) {
        out.Error("the card did not take " + what);
        return kExitNoAnswer;
    }
    Json::Value o;
    o["type"] = "result";
    o["command"] = what;
    o["ok"] = true;
    out.Emit(what + ": done", o);
    return kExitOk;
}

// A position (decimal, counted from 0) or one of the names (English ones in any case), the first
// that matches; -1 if none.
inline int PositionOrName(const std::string& arg, const std::vector<std::string>& names) {
    long position = 0;
    if (!names.empty() && ParseDecimal(arg, 0, static_cast<long>(names.size()) - 1, &position)) {
        return static_cast<int>(position);
    }
    for (size_t i = 0; i < names.size(); ++i) {
        if (!names[i].empty() && ::strcasecmp(names[i].c_str(), arg.c_str()) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace ctl
