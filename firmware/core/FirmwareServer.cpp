#include "FirmwareServer.h"

#include <cctype>
#include <mutex>

#include "FirmwareTexts.h"
#include "FirmwareVersion.h"
#include "Json/JsonReader.h"
#include "Log/Log.h"

#define LOG_SOURCE "firmware\\core\\FirmwareServer"

namespace firmware {

namespace {
std::mutex g_factoryMutex;
FirmwareServerFactory g_factory;
}  // namespace

void SetFirmwareServerFactory(FirmwareServerFactory factory) {
    std::lock_guard<std::mutex> guard(g_factoryMutex);
    g_factory = std::move(factory);
}

std::unique_ptr<IFirmwareServer> CreateFirmwareServer() {
    std::lock_guard<std::mutex> guard(g_factoryMutex);
    return g_factory ? g_factory() : nullptr;
}

bool ParseCheckAnswer(const std::string& answer, std::string& version, std::string& url,
                      std::string& error) {
    Json::Value root;
    std::string reason;
    if (!json_reader::ParseObject(answer, root, &reason)) {
        VLOG_ERROR("firmware", "ParseCheckAnswer", "check answer refused: %s", reason.c_str());
        error = kErrJson;
        return false;
    }
    std::string text;
    json_reader::GetString(root, "message", text);
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const Json::Value& data = json_reader::Member(root, "data");
    int64_t current = -1;
    std::string address;
    // A hostile answer gets no further than this: a version number and an address, whose
    // scheme the server that fetches it checks (a local package names no http address).
    if (text != "ok" || !json_reader::GetInt64(data, "currentVer", current) || current < 0 ||
        !json_reader::GetString(data, "url", address) || address.empty() || address.size() > 355) {
        VLOG_ERROR("firmware", "ParseCheckAnswer", "check answer without a usable version and url");
        error = kErrServerInfo;
        return false;
    }
    version = ServerVersionText(current);
    url = address;
    return true;
}

}  // namespace firmware
