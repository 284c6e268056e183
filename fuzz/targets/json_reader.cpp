// The one JSON reader: parsing, every typed getter over the whole tree, and the compact writer.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzTarget.h"
#include "Json/JsonReader.h"

namespace {

void Walk(const Json::Value& value, unsigned depth) {
    int i;
    unsigned u;
    int64_t i64;
    uint64_t u64;
    double d;
    bool b;
    std::string s;
    (void)json_reader::GetInt(value, i);
    (void)json_reader::GetUInt(value, u);
    (void)json_reader::GetInt64(value, i64);
    (void)json_reader::GetUInt64(value, u64);
    (void)json_reader::GetDouble(value, d);
    (void)json_reader::GetBool(value, b);
    (void)json_reader::GetString(value, s);
    (void)json_reader::Member(value, "data");
    (void)json_reader::GetInt(value, "id", i);
    (void)json_reader::GetString(value, "message", s);
    if (depth > 40) {
        std::abort();  // the reader promised a depth limit
    }
    if (value.isObject()) {
        for (const auto& name : value.getMemberNames()) {
            Walk(json_reader::Member(value, name.c_str()), depth + 1);
        }
    } else if (value.isArray()) {
        for (const auto& element : value) {
            Walk(element, depth + 1);
        }
    }
}

}  // namespace

VELORA_FUZZ_TARGET(json_reader) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Json::Value root;
    std::string error;
    if (!json_reader::Parse(text, root, &error)) {
        return;
    }
    Walk(root, 0);
    Json::Value object;
    (void)json_reader::ParseObject(text, object, &error, 4);
    // What the reader took, written back, is read again.
    const std::string compact = json_reader::WriteCompact(root);
    Json::Value again;
    if (compact.empty() || !json_reader::Parse(compact, again, &error)) {
        std::abort();
    }
}
