#include "JsonReader.h"

#include <json/reader.h>
#include <json/writer.h>

#include <cmath>
#include <exception>
#include <memory>

namespace json_reader {

namespace {

const Json::Value& NullValue() {
    static const Json::Value null;
    return null;
}

void SetError(std::string* error, std::string text) {
    if (error != nullptr) {
        *error = std::move(text);
    }
}

}  // namespace

bool Parse(std::string_view text, Json::Value& root, std::string* error, unsigned depthLimit) {
    root = Json::Value();
    try {
        Json::CharReaderBuilder builder;
        builder["collectComments"] = false;
        builder["allowComments"] = false;
        builder["stackLimit"] = depthLimit;
        builder["rejectDupKeys"] = false;
        std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        std::string errors;
        if (!reader->parse(text.data(), text.data() + text.size(), &root, &errors)) {
            root = Json::Value();
            SetError(error, errors.empty() ? "not JSON" : errors);
            return false;
        }
    } catch (const std::exception& e) {
        // jsoncpp throws past its stack limit and on a few malformed inputs.
        root = Json::Value();
        SetError(error, e.what());
        return false;
    } catch (...) {
        root = Json::Value();
        SetError(error, "JSON reader failed");
        return false;
    }
    return true;
}

bool ParseObject(std::string_view text, Json::Value& root, std::string* error,
                 unsigned depthLimit) {
    if (!Parse(text, root, error, depthLimit)) {
        return false;
    }
    if (!root.isObject()) {
        root = Json::Value();
        SetError(error, "not a JSON object");
        return false;
    }
    return true;
}

const Json::Value& Member(const Json::Value& object, const char* key) {
    if (!object.isObject()) {
        return NullValue();
    }
    const Json::Value* found = object.find(key, key + std::char_traits<char>::length(key));
    return found != nullptr ? *found : NullValue();
}

bool GetInt(const Json::Value& value, int& out) {
    if (!value.isInt()) {
        return false;
    }
    out = value.asInt();
    return true;
}

bool GetUInt(const Json::Value& value, unsigned& out) {
    if (!value.isUInt()) {
        return false;
    }
    out = value.asUInt();
    return true;
}

bool GetInt64(const Json::Value& value, int64_t& out) {
    if (!value.isInt64()) {
        return false;
    }
    out = value.asInt64();
    return true;
}

bool GetUInt64(const Json::Value& value, uint64_t& out) {
    if (!value.isUInt64()) {
        return false;
    }
    out = value.asUInt64();
    return true;
}

bool GetDouble(const Json::Value& value, double& out) {
    if (!value.isNumeric()) {
        return false;
    }
    const double d = value.asDouble();
    if (!std::isfinite(d)) {
        return false;
    }
    out = d;
    return true;
}

bool GetBool(const Json::Value& value, bool& out) {
    if (!value.isBool()) {
        return false;
    }
    out = value.asBool();
    return true;
}

bool GetString(const Json::Value& value, std::string& out) {
    if (!value.isString()) {
        return false;
    }
    out = value.asString();
    return true;
}

bool GetInt(const Json::Value& object, const char* key, int& out) {
    return GetInt(Member(object, key), out);
}
bool GetUInt(const Json::Value& object, const char* key, unsigned& out) {
    return GetUInt(Member(object, key), out);
}
bool GetInt64(const Json::Value& object, const char* key, int64_t& out) {
    return GetInt64(Member(object, key), out);
}
bool GetUInt64(const Json::Value& object, const char* key, uint64_t& out) {
    return GetUInt64(Member(object, key), out);
}
bool GetDouble(const Json::Value& object, const char* key, double& out) {
    return GetDouble(Member(object, key), out);
}
bool GetBool(const Json::Value& object, const char* key, bool& out) {
    return GetBool(Member(object, key), out);
}
bool GetString(const Json::Value& object, const char* key, std::string& out) {
    return GetString(Member(object, key), out);
}

std::string WriteCompact(const Json::Value& value) {
    try {
        Json::StreamWriterBuilder writer;
        writer["indentation"] = "";
        writer["emitUTF8"] = true;
        return Json::writeString(writer, value);
    } catch (...) {
        return std::string();
    }
}

}  // namespace json_reader
