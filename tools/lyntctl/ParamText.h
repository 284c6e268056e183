#pragma once

#include <string>

#include "ParamTables.h"

class CWorkSpace;

// How lyntctl names and shows parameters.
namespace ctl {

// The parameter an argument names: its id ("30") or its name ("混响音量", "EQ_1"); -1 if none.
int FindParam(const CWorkSpace& workspace, const std::string& arg);
// The value as the parameter's display rule shows it: raw × scale + offset, in its format.
std::string DisplayValue(const model::ParamDescriptor& d, int raw);
std::string ParamName(const model::ParamDescriptor& d);
// Whether a raw value fits the parameter (its range, the mute bit of volumes, switch bits).
bool ValueFits(const model::ParamDescriptor& d, long value);

}  // namespace ctl
