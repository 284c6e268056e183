#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace firmware {

inline constexpr const char* kCheckUpgradePath = "/api/effect_sound/checkAppUpgrade.json";
inline constexpr const char* kCheckUpgradeBody = "appVer=1&appType=26";
inline constexpr size_t kCheckAnswerBytes = 1024;

// Where the newest firmware comes from. Called on the manager's worker threads only.
class IFirmwareServer {
public:
    virtual ~IFirmwareServer() = default;
    // Posts the upgrade check; the answer's text (at most kCheckAnswerBytes), or false when the
    // request failed or nothing came back.
    virtual bool CheckUpgrade(std::string& answer) = 0;
    // Downloads the package into memory; false on any failure.
    virtual bool DownloadPackage(const std::string& url, std::vector<uint8_t>& package) = 0;
    // From any thread: a check or download under way ends soon as a failure, and later ones
    // fail at once. The owner asks this before it waits for the worker that uses the server.
    virtual void RequestStop() {}
};

// The cloud service's side, as the program is built: null until an HTTP implementation is
// installed (then every firmware dialog and lyntctl use it).
using FirmwareServerFactory = std::function<std::unique_ptr<IFirmwareServer>()>;
void SetFirmwareServerFactory(FirmwareServerFactory factory);
std::unique_ptr<IFirmwareServer> CreateFirmwareServer();

// Reads the check's answer: the newest version ("2.3" for currentVer 2003000) and the package's
// address (the HTTP server fetches only http or https, on any host); on failure error holds the
// message. Any text is safe to
// hand over: it is read through the one JSON reader, and numbers are range-checked.
bool ParseCheckAnswer(const std::string& answer, std::string& version, std::string& url,
                      std::string& error);

}  // namespace firmware
