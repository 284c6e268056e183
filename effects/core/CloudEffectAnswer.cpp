#include "CloudEffectAnswer.h"

#include <json/value.h>

#include "CloudSoundNames.h"
#include "Json/JsonReader.h"
#include "Log/Log.h"
#include "profile/ProfileText.h"

#define LOG_SOURCE "effects\\core\\CloudEffectAnswer"

namespace effects {

namespace {

using platform::profile::FromUtf8;

bool EqualsIgnoringCase(std::string_view text, std::string_view lower) {
    if (text.size() != lower.size()) {
        return false;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != lower[i]) {
            return false;
        }
    }
    return true;
}

constexpr size_t kTextUnits = 63;
constexpr size_t kUrlUnits = 259;

// Control characters dropped, every "&" doubled, cut to maxUnits without splitting a doubled
// "&" or a surrogate pair.
std::u16string RecordName(std::u16string_view text, size_t maxUnits) {
    const std::u16string clean = sound::CleanDisplayName(text, text.size());
    std::u16string out;
    for (size_t i = 0; i < clean.size(); ++i) {
        const char16_t c = clean[i];
        size_t need = c == u'&' ? 2 : 1;
        const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < clean.size();
        if (pair) {
            need = 2;
        }
        if (out.size() + need > maxUnits) {
            break;
        }
        out.push_back(c);
        if (c == u'&') {
            out.push_back(u'&');
        } else if (pair) {
            out.push_back(clean[++i]);
        }
    }
    return out;
}

}  // namespace

bool IsWebUrl(std::string_view url) {
    size_t rest = 0;
    if (url.size() > 7 && EqualsIgnoringCase(url.substr(0, 7), "http://")) {
        rest = 7;
    } else if (url.size() > 8 && EqualsIgnoringCase(url.substr(0, 8), "https://")) {
        rest = 8;
    } else {
        return false;
    }
    // A host must follow, and no white space or control character anywhere.
    if (url[rest] == '/' || url[rest] == '?' || url[rest] == '#') {
        return false;
    }
    for (char c : url) {
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) {
            return false;
        }
    }
    return true;
}

EffectListResult ReadEffectListAnswer(std::string_view answer,
                                      std::vector<model::CloudEffectEntry>& out,
                                      std::u16string& message) {
    out.clear();
    const size_t end = answer.find('\0');
    if (end != std::string_view::npos) {
        answer = answer.substr(0, end);
    }
    Json::Value root;
    std::string errors;
    if (!json_reader::ParseObject(answer, root, &errors)) {
        VLOG_ERROR("cloud", "ReadEffectListAnswer", "answer refused: %s", errors.c_str());
        return EffectListResult::kBadJson;
    }
    std::string text;
    json_reader::GetString(root, "message", text);
    if (!EqualsIgnoringCase(text, "ok")) {
        message = FromUtf8(text);
        return EffectListResult::kNotOk;
    }
    const Json::Value& data = json_reader::Member(root, "data");
    if (!data.isArray()) {
        if (!data.isNull()) {
            VLOG_ERROR("cloud", "ReadEffectListAnswer", "effect data is no array");
        }
        return EffectListResult::kOk;
    }
    for (Json::ArrayIndex i = 0; i < data.size(); ++i) {
        if (out.size() == kMaxCloudEffects) {
            VLOG_ERROR("cloud", "ReadEffectListAnswer", "%u effects, only %u taken", data.size(),
                       static_cast<unsigned>(kMaxCloudEffects));
            break;
        }
        const Json::Value& item = data[i];
        std::string category;
        std::string name;
        std::string url;
        if (!json_reader::GetString(item, "categoryName", category) ||
            !json_reader::GetString(item, "soundName", name) ||
            !json_reader::GetString(item, "url", url)) {
            VLOG_ERROR("cloud", "ReadEffectListAnswer", "effect element %u skipped: wrong shape",
                       i);
            continue;
        }
        const std::u16string url16 = FromUtf8(url);
        if (!IsWebUrl(url) || url16.size() > kUrlUnits) {
            VLOG_ERROR("cloud", "ReadEffectListAnswer", "effect skipped: url %s refused",
                       sound::CutUtf8(url, 200).c_str());
            continue;
        }
        model::CloudEffectEntry entry{};
        model::SetRecordText(entry.name, RecordName(FromUtf8(name), kTextUnits));
        model::SetRecordText(entry.category, RecordName(FromUtf8(category), kTextUnits));
        model::SetRecordText(entry.location, url16);
        out.push_back(entry);
    }
    return EffectListResult::kOk;
}

}  // namespace effects
