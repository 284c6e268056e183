#include "HttpFirmwareServer.h"

#include <cstring>

#include "FirmwarePackage.h"
#include "LibCurlHelper/LibCurlHelper.h"
#include "Log/Log.h"

#define LOG_SOURCE "firmware\\core\\HttpFirmwareServer"

namespace firmware {

size_t MaxPackageBytes() {
    return static_cast<size_t>(kMaxSteps) * kMaxImageBytes + kMaxStepFileBytes;
}

CHttpFirmwareServer::CHttpFirmwareServer(std::string baseUrl) : m_baseUrl(std::move(baseUrl)) {}

bool CHttpFirmwareServer::CheckUpgrade(std::string& answer) {
    answer.clear();
    char buffer[kCheckAnswerBytes];
    std::memset(buffer, 0, sizeof buffer);
    const int received =
        CLibCurlHelper::HttpPost(m_baseUrl + kCheckUpgradePath, kCheckUpgradeBody, buffer,
                                 sizeof buffer, [this] { return m_stop.load(); });
    // An answer that fills the buffer has no room for its end: it cannot be read whole.
    if (received <= 0 || static_cast<size_t>(received) >= sizeof buffer) {
        return false;
    }
    answer.assign(buffer, strnlen(buffer, static_cast<size_t>(received)));
    return !answer.empty();
}

bool CHttpFirmwareServer::DownloadPackage(const std::string& url, std::vector<uint8_t>& package) {
    package.clear();
    if (!IsHttpUrl(url)) {
        VLOG_ERROR("firmware", "CHttpFirmwareServer::DownloadPackage",
                   "package address is no http or https address: %.200s", url.c_str());
        return false;
    }
    return CLibCurlHelper::HttpGetMemory(url, package, MaxPackageBytes(),
                                         [this] { return m_stop.load(); }) == 1 &&
           !package.empty();
}

void InstallHttpFirmwareServer() {
    SetFirmwareServerFactory([] { return std::make_unique<CHttpFirmwareServer>(CloudBaseUrl()); });
}

}  // namespace firmware
