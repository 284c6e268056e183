#include "CloudSoundPayload.h"

#include <json/json.h>

#include <cstring>

#include "CloudSoundNames.h"
#include "Json/JsonReader.h"
#include "LibCurlHelper/LibCurlHelper.h"
#include "Log/Log.h"
#include "profile/ProfileText.h"

#define LOG_SOURCE "sound\\core\\CloudSoundPayload"

namespace sound {

namespace {

using platform::profile::FromUtf8;

bool EqualsOkIgnoringCase(const std::string& text) {
    return text.size() == 2 && (text[0] == 'o' || text[0] == 'O') &&
           (text[1] == 'k' || text[1] == 'K');
}

// The answer is read as a zero-terminated string, as it sits in the caller's buffer.
PayloadResult Parse(std::string_view answer, Json::Value& data, std::u16string& message) {
    const size_t end = answer.find('\0');
    if (end != std::string_view::npos) {
        answer = answer.substr(0, end);
    }
    Json::Value root;
    std::string errors;
    if (!json_reader::Parse(answer, root, &errors)) {
        VLOG_ERROR("cloud", "ReadEnvelope", "answer refused: %s", errors.c_str());
        return PayloadResult::kBadJson;
    }
    if (!root.isObject()) {
        return PayloadResult::kBadJson;
    }
    const Json::Value& msg = root["message"];
    const std::string text = msg.isString() ? msg.asString() : std::string();
    if (!EqualsOkIgnoringCase(text)) {
        message = FromUtf8(text);
        return PayloadResult::kNotOk;
    }
    data = root["data"];
    return PayloadResult::kOk;
}

bool IsInt32(const Json::Value& v) {
    return v.isInt();  // false for doubles with fractions and for numbers beyond 32 bits
}

}  // namespace

PayloadResult ReadCategoryAnswer(std::string_view answer, std::vector<CloudCategoryRecord>& out,
                                 std::u16string& message) {
    out.clear();
    Json::Value data;
    const PayloadResult r = Parse(answer, data, message);
    if (r != PayloadResult::kOk) {
        return r;
    }
    if (!data.isArray()) {
        if (!data.isNull()) {
            VLOG_ERROR("cloud", "ReadCategoryAnswer", "category data is no array");
        }
        return r;
    }
    for (const Json::Value& item : data) {
        if (out.size() == kMaxCloudCategories) {
            VLOG_ERROR("cloud", "ReadCategoryAnswer", "%u categories, only %u taken", data.size(),
                       static_cast<unsigned>(kMaxCloudCategories));
            break;
        }
        if (!item.isObject() || !IsInt32(item["id"]) || !item["categoryName"].isString()) {
            VLOG_ERROR("cloud", "ReadCategoryAnswer", "category element skipped: wrong shape");
            continue;
        }
        CloudCategoryRecord record{};
        const std::string name = CutUtf8(item["categoryName"].asString(), sizeof record.name - 1);
        std::memcpy(record.name, name.data(), name.size());
        record.id = item["id"].asInt();
        out.push_back(record);
    }
    return r;
}

PayloadResult ReadClipAnswer(std::string_view answer, std::vector<MoodItem>& out,
                             std::u16string& message) {
    out.clear();
    Json::Value data;
    const PayloadResult r = Parse(answer, data, message);
    if (r != PayloadResult::kOk || !data.isArray()) {
        return r;
    }
    for (const Json::Value& item : data) {
        if (out.size() == kMaxCloudClipsPerCategory) {
            VLOG_ERROR("cloud", "ReadClipAnswer", "%u clips, only %u taken", data.size(),
                       static_cast<unsigned>(kMaxCloudClipsPerCategory));
            break;
        }
        if (!item.isObject() || !item["name"].isString() || !item["url"].isString() ||
            !IsInt32(item["id"])) {
            VLOG_ERROR("cloud", "ReadClipAnswer", "clip element skipped: wrong shape");
            continue;
        }
        const std::string url = item["url"].asString();
        if (!IsHttpUrl(url)) {
            VLOG_ERROR("cloud", "ReadClipAnswer", "clip skipped: url %s is no http address",
                       CutUtf8(url, 200).c_str());
            continue;
        }
        const std::u16string url16 = FromUtf8(url);
        if (url16.size() >= sizeof(MoodItem::path) / sizeof(char16_t)) {
            VLOG_ERROR("cloud", "ReadClipAnswer", "clip skipped: url of %zu units", url16.size());
            continue;  // a cut URL would fetch another file
        }
        MoodItem entry{};
        const std::u16string name = CleanDisplayName(FromUtf8(item["name"].asString()), 31);
        if (!MakeClip(entry, kMoodCloud, name, url16, item["id"].asInt())) {
            VLOG_ERROR("cloud", "ReadClipAnswer", "clip skipped: url not storable");
            continue;
        }
        entry.downloadState = kCloudIdle;
        out.push_back(entry);
    }
    return r;
}

}  // namespace sound
