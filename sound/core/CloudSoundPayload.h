#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "MoodItem.h"

// Readers of the cloud service's sound answers. The answer is text from the network: wrong types,
// missing members and oversized lists are skipped or cut with a log line, never trusted.
namespace sound {

// A category as the list fetch keeps it: UTF-8 name of at most 63 bytes plus terminator.
struct CloudCategoryRecord {
    char name[64];
    int32_t id;
};
static_assert(sizeof(CloudCategoryRecord) == 68);

// More categories than this are not fetched: each costs a request, and pad ids leave room for
// no more.
inline constexpr size_t kMaxCloudCategories = 64;
// Pad ids give each category 1000 places.
inline constexpr size_t kMaxCloudClipsPerCategory = 1000;

enum class PayloadResult { kOk, kBadJson, kNotOk };

// Both readers parse an answer of the envelope {"message": ..., "data": ...} as the
// zero-terminated text it is in the caller's buffer: kBadJson for text that is no JSON object,
// kNotOk with message set to the server's text, kOk otherwise (a missing or non-array "data"
// gives an empty list).

// The category answer's payload: elements that are objects with an integer "id" and a string
// "categoryName" become records, others are skipped; at most kMaxCloudCategories.
PayloadResult ReadCategoryAnswer(std::string_view answer, std::vector<CloudCategoryRecord>& out,
                                 std::u16string& message);

// The clip answer's payload: elements with a string "name", a string "url" and an integer "id"
// become kind 2 entries (name cut to 31 units; a URL longer than 259 is skipped). The clips may
// lie on any host; URLs that are no http or https address (IsHttpUrl) are skipped. At most
// kMaxCloudClipsPerCategory.
PayloadResult ReadClipAnswer(std::string_view answer, std::vector<MoodItem>& out,
                             std::u16string& message);

}  // namespace sound
