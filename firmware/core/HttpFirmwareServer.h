#pragma once

#include "FirmwareServer.h"

namespace firmware {

// The largest package fetched: ten images of the loader's largest size and a step file, so a
// hostile or broken server cannot fill memory.
size_t MaxPackageBytes();

// The cloud service over HTTP: the check form and the package download into memory. The package
// must come from the service's own host; an address elsewhere is not fetched.
class CHttpFirmwareServer : public IFirmwareServer {
public:
    explicit CHttpFirmwareServer(std::string baseUrl);
    bool CheckUpgrade(std::string& answer) override;
    bool DownloadPackage(const std::string& url, std::vector<uint8_t>& package) override;

private:
    std::string m_baseUrl;
};

// Makes every firmware dialog and lyntctl ask the cloud service at CloudBaseUrl().
void InstallHttpFirmwareServer();

}  // namespace firmware
