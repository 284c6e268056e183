#include "PanelRequests.h"

#include <json/json.h>

#include "Json/JsonReader.h"
#include "PanelRequest.h"

namespace ctl {

namespace {

std::string Compact(const Json::Value& value) {
    return json_reader::WriteCompact(value);
}

// Requests and answers are flat: words in an array, texts and numbers beside them.
constexpr unsigned kDepthLimit = 4;

bool Parse(const std::string& text, Json::Value* value) {
    return json_reader::ParseObject(text, *value, nullptr, kDepthLimit);
}

}  // namespace

std::string EncodeRequest(const Request& request) {
    Json::Value o;
    o["words"] = Json::arrayValue;
    for (const auto& w : request.words)
        o["words"].append(w);
    o["json"] = request.json;
    o["progress"] = request.progress;
    const std::string body = Compact(o);
    return platform::instance::kRequestPrefix + std::to_string(body.size()) + "\n" + body;
}

bool DecodeRequest(const std::string& body, Request* request, std::string* reason) {
    Json::Value o;
    if (!Parse(body, &o)) {
        *reason = "the request is not a JSON object";
        return false;
    }
    const Json::Value& words = json_reader::Member(o, "words");
    bool json = false;
    if (!words.isArray() || words.empty() || words.size() > kMaxRequestWords ||
        !json_reader::GetBool(o, "json", json)) {
        *reason = "the request needs words (1-64 texts) and json (true or false)";
        return false;
    }
    request->words.clear();
    for (const auto& w : words) {
        std::string word;
        if (!json_reader::GetString(w, word)) {
            *reason = "the request's words must be texts";
            return false;
        }
        request->words.push_back(std::move(word));
    }
    request->json = json;
    request->progress = false;
    json_reader::GetBool(o, "progress", request->progress);
    return true;
}

std::string EncodeText(bool error, const std::string& text) {
    Json::Value o;
    o[error ? "err" : "out"] = text;
    return Compact(o);
}

std::string EncodeStatus(int status, bool cardGone) {
    Json::Value o;
    o["status"] = status;
    if (cardGone)
        o["card_gone"] = true;
    return Compact(o);
}

std::string EncodeProgress(const std::string& text) {
    Json::Value o;
    o["progress"] = text;
    return Compact(o);
}

bool DecodeAnswerLine(const std::string& line, AnswerLine* answer) {
    Json::Value o;
    if (!Parse(line, &o))
        return false;
    *answer = AnswerLine{};
    if (json_reader::GetInt(o, "status", answer->status)) {
        // Statuses are those of lyntctl's own exit; anything else is no answer of the panel's.
        answer->final = answer->status >= 0 && answer->status <= 255;
        json_reader::GetBool(o, "card_gone", answer->cardGone);
        return answer->final;
    }
    if (json_reader::GetString(o, "progress", answer->text)) {
        answer->progress = true;
        return true;
    }
    answer->error = json_reader::GetString(o, "err", answer->text);
    return answer->error || json_reader::GetString(o, "out", answer->text);
}

}  // namespace ctl

namespace ctl {

bool ReadCardVersions(const std::string& text, CardVersions* versions) {
    Json::Value o;
    std::string type;
    return json_reader::ParseObject(text, o) && json_reader::GetString(o, "type", type) &&
           type == "info" && json_reader::GetString(o, "hardware_version", versions->hardware) &&
           json_reader::GetString(o, "firmware_version", versions->firmware);
}

}  // namespace ctl
