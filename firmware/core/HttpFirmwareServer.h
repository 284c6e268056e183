#pragma once

#include <atomic>

#include "FirmwareServer.h"

namespace firmware {

// The largest package fetched: ten images of the loader's largest size and a step file, so a
// hostile or broken server cannot fill memory.
size_t MaxPackageBytes();

// The cloud service over HTTP: the check form and the package download into memory. The package
// may lie on any host (the service keeps its files where it likes), over http or https only.
class CHttpFirmwareServer : public IFirmwareServer {
public:
    explicit CHttpFirmwareServer(std::string baseUrl);
    bool CheckUpgrade(std::string& answer) override;
    bool DownloadPackage(const std::string& url, std::vector<uint8_t>& package) override;
    void RequestStop() override { m_stop = true; }

private:
    std::string m_baseUrl;
    std::atomic<bool> m_stop{false};
};

// Makes every firmware dialog and lyntctl ask the cloud service at CloudBaseUrl().
void InstallHttpFirmwareServer();

}  // namespace firmware
