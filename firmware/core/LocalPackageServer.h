#pragma once

#include "FirmwareServer.h"

namespace firmware {

// A package already at hand (a file the user chose) in the server's place: the check names it
// and the download hands it over, so the dialog and lyntctl go through the same phases offline.
// The newest version is then the package's own.
class CLocalPackageServer : public IFirmwareServer {
public:
    explicit CLocalPackageServer(std::vector<uint8_t> package) : m_package(std::move(package)) {}
    bool CheckUpgrade(std::string& answer) override {
        answer = R"({"message":"ok","data":{"currentVer":0,"url":"local-package"}})";
        return !m_package.empty();
    }
    bool DownloadPackage(const std::string&, std::vector<uint8_t>& package) override {
        package = m_package;
        return !package.empty();
    }

private:
    std::vector<uint8_t> m_package;
};

}  // namespace firmware
