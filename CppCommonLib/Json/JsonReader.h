#pragma once

#include <json/value.h>

#include <cstdint>
#include <string>
#include <string_view>

// The one way outside JSON (server answers, socket requests and answers) is read. Parsing never
// throws and never recurses past a depth limit; the getters check type and range before they
// convert, so a number out of range or a member of the wrong type is a failed read, never one of
// jsoncpp's exceptions.
namespace json_reader {

// Answers of ours nest a few levels; anything deeper is refused before it costs stack.
inline constexpr unsigned kDefaultDepthLimit = 32;

// Parses the whole of text. False for text that is no JSON, nests deeper than depthLimit, or
// makes the library throw; error (when given) then says why.
bool Parse(std::string_view text, Json::Value& root, std::string* error = nullptr,
           unsigned depthLimit = kDefaultDepthLimit);

// Parse, and also false when the top level is no object.
bool ParseObject(std::string_view text, Json::Value& root, std::string* error = nullptr,
                 unsigned depthLimit = kDefaultDepthLimit);

// The member key of object, or a null value when object is no object or lacks it. Never throws
// (jsoncpp's operator[] does on arrays and scalars).
const Json::Value& Member(const Json::Value& object, const char* key);

// Typed reads of a value: true and out set only when the value has that type and fits.
// Integral doubles within range count as integers; fractions and out-of-range numbers do not.
bool GetInt(const Json::Value& value, int& out);
bool GetUInt(const Json::Value& value, unsigned& out);
bool GetInt64(const Json::Value& value, int64_t& out);
bool GetUInt64(const Json::Value& value, uint64_t& out);
bool GetDouble(const Json::Value& value, double& out);  // finite numbers only
bool GetBool(const Json::Value& value, bool& out);
bool GetString(const Json::Value& value, std::string& out);

// The same for a member of an object.
bool GetInt(const Json::Value& object, const char* key, int& out);
bool GetUInt(const Json::Value& object, const char* key, unsigned& out);
bool GetInt64(const Json::Value& object, const char* key, int64_t& out);
bool GetUInt64(const Json::Value& object, const char* key, uint64_t& out);
bool GetDouble(const Json::Value& object, const char* key, double& out);
bool GetBool(const Json::Value& object, const char* key, bool& out);
bool GetString(const Json::Value& object, const char* key, std::string& out);

// Compact one-line text of value (UTF-8 kept as it is). Empty on failure, never throws.
std::string WriteCompact(const Json::Value& value);

}  // namespace json_reader
