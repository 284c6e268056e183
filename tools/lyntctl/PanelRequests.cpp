#include "PanelRequests.h"

#include <json/json.h>

#include <memory>

#include "Json/JsonReader.h"
#include "PanelRequest.h"

namespace ctl {

namespace {

std::string Compact(const Json::Value& value) {
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    writer["emitUTF8"] = true;
    return Json::writeString(writer, value);
}

// Requests and answers nest two levels; deeper text is refused, never thrown about.
bool Parse(const std::string& text, Json::Value* value) {
    return json_reader::ParseObject(text, *value, nullptr, 16);
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
    const Json::Value& words = o["words"];
    if (!words.isArray() || words.empty() || words.size() > kMaxRequestWords ||
        !o["json"].isBool()) {
        *reason = "the request needs words (1-64 texts) and json (true or false)";
        return false;
    }
    request->words.clear();
    for (const auto& w : words) {
        if (!w.isString()) {
            *reason = "the request's words must be texts";
            return false;
        }
        request->words.push_back(w.asString());
    }
    request->json = o["json"].asBool();
    request->progress = o["progress"].isBool() && o["progress"].asBool();
    return true;
}

std::string EncodeText(bool error, const std::string& text) {
    Json::Value o;
    o[error ? "err" : "out"] = text;
    return Compact(o);
}

std::string EncodeStatus(int status) {
    Json::Value o;
    o["status"] = status;
    return Compact(o);
}

bool DecodeAnswerLine(const std::string& line, AnswerLine* answer) {
    Json::Value o;
    if (!Parse(line, &o))
        return false;
    if (o["status"].isInt()) {
        answer->final = true;
        answer->status = o["status"].asInt();
        return true;
    }
    answer->error = o["err"].isString();
    const Json::Value& text = answer->error ? o["err"] : o["out"];
    if (!text.isString())
        return false;
    answer->text = text.asString();
    return true;
}

}  // namespace ctl
