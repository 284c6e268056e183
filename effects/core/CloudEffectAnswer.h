#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "EffectRecords.h"

// The reader of the cloud's effect list answer. The answer is text from the network: elements
// of the wrong shape are skipped with a log line, never trusted.
namespace effects {

enum class EffectListResult { kOk, kBadJson, kNotOk };

// More entries than this are not taken: each becomes a tree item.
inline constexpr size_t kMaxCloudEffects = 10000;

// Parses {"message": ..., "data": [...]} as the zero-terminated text it is in the caller's
// buffer. kBadJson for text that is no JSON object; kNotOk with message set to the server's text
// when "message" is not "ok" (letter case ignored); kOk otherwise, a missing "data" giving no
// entries. Each element that is an object with string "categoryName", "soundName" and "url"
// becomes an entry {name, category, url, 0, 0} with every "&" of name and category doubled.
// Skipped: control characters in names are dropped, names are cut to the record's 63 units, and
// elements whose URL is not http(s) or does not fit the record's 259 units (a cut URL would
// fetch another file) are left out.
EffectListResult ReadEffectListAnswer(std::string_view answer,
                                      std::vector<model::CloudEffectEntry>& out,
                                      std::u16string& message);

// True for an absolute http:// or https:// URL with a host (letter case of the scheme ignored).
bool IsWebUrl(std::string_view url);

}  // namespace effects
