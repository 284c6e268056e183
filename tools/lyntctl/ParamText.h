#pragma once

#include <json/json.h>

#include <string>

#include "ParamTables.h"

class CWorkSpace;

// How lyntctl names, shows and reads parameter values.
namespace ctl {

// The parameter an argument names: its id ("30", decimal), its English identifier in any case
// ("reverb_volume") or its Chinese name ("混响音量"); -1 if none.
int FindParam(const std::string& arg);
std::string ParamName(const model::ParamDescriptor& d);

// A decimal whole number: digits with an optional sign ("010" is 10; no "0x", no spaces).
bool ParseDecimal(const std::string& text, long min, long max, long* out);

// Volumes carry their mute (or off) bit 0x80 above the level.
bool HasMuteBit(int id);

// The value as shown: raw × scale + offset, of the level alone for a volume with its mute bit.
double ShownValue(const model::ParamDescriptor& d, int raw);
// ShownValue as text, in the parameter's format, without the unit.
std::string DisplayValue(const model::ParamDescriptor& d, int raw);
// "0-6000 ms in steps of 100 (raw:0-60)": what set takes for the parameter.
std::string RangeText(const model::ParamDescriptor& d);

// What set takes: the shown value, with or without the parameter's unit ("1700", "1700ms",
// "-3.5dB"), or the raw value as "raw:17" (givenRaw set; a volume's raw value carries its mute
// bit). False when it is neither or does not fit.
bool ParseSetValue(const model::ParamDescriptor& d, const std::string& text, int* raw,
                   bool* givenRaw = nullptr);

// One parameter as get and monitor show it: "ID NAME KEY VALUE[UNIT] [muted] [RAW]", and as the
// JSON object of that type.
// A whole number as a JSON integer, any other as a real.
Json::Value JsonNumber(double value);

std::string ParamLine(const model::ParamDescriptor& d, int raw);
Json::Value ParamObject(const char* type, const model::ParamDescriptor& d, int raw);

}  // namespace ctl
