#pragma once

#include <json/json.h>

#include <string>

// Prints results as text lines or, with --json, as one JSON object per line.
class COutput {
public:
    explicit COutput(bool json) : m_json(json) {}
    bool Json() const { return m_json; }
    // Text mode prints text; JSON mode prints object.
    void Emit(const std::string& text, const Json::Value& object) const;
    // Errors always go to standard error as text.
    static void Error(const std::string& message);

private:
    bool m_json;
};
