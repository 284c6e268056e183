#pragma once

#include <strings.h>

#include <string>
#include <vector>

#include "Commands.h"
#include "CtlSession.h"
#include "EffectRecords.h"
#include "ParamText.h"
#include "profile/ProfileText.h"

// What the card commands share: usage errors, the "done" result line, positions or names.
namespace ctl {

// Prints the message and where the command's help is; returns the usage status.
inline int Usage(const Invocation& in, const std::string& message) {
    in.out.Error(message);
    return kExitUsage;
}

// The result of a command that changes something: "WHAT: done", or the card's failure (status 3).
// extra: keys the JSON result adds (an object).
inline int Report(const COutput& out, bool ok, const std::string& what,
                  const Json::Value& extra = Json::Value()) {
    if (!ok) {
        out.Error("the card did not take " + what);
        return kExitNoAnswer;
    }
    Json::Value o = extra.isObject() ? extra : Json::Value(Json::objectValue);
    o["type"] = "result";
    o["command"] = what;
    o["ok"] = true;
    out.Emit(what + ": done", o);
    return kExitOk;
}

// A name longer than its record keeps (units, without the terminator) is cut there, and the user
// is told, with what was stored: their data is never cut silently. cut: whether it was.
inline std::u16string FitName(const COutput& out, std::u16string_view name, size_t units,
                              bool* cut) {
    const size_t n = model::RecordTextFits(name, units + 1);
    *cut = n < name.size();
    std::u16string fitted(name.substr(0, n));
    if (*cut) {
        out.Error("the name is longer than the " + std::to_string(units) +
                  " characters kept: stored as \"" + platform::profile::ToUtf8(fitted) + "\"");
    }
    return fitted;
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
