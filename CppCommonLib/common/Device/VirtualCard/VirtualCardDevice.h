#pragma once

#include <string>
#include <vector>

#include "../HidDevice/HidBase.h"

// A card played by lynt-virtual-card: a Unix socket named like a device interface path, found in
// the folder LYNT_VIRTUAL_CARD_DIR names. On connecting, the card sends its report descriptor;
// after that every message is one report.
class CVirtualCardDevice : public CHidBase {
public:
    static constexpr const char* kPathPrefix = "vcard:";
    static constexpr const char* kFolderVariable = "LYNT_VIRTUAL_CARD_DIR";

    explicit CVirtualCardDevice(const std::string& devicePath);
    ~CVirtualCardDevice() override;

    void CloseDevice() override;

    static bool IsVirtualPath(const std::string& path);
    // "vcard:<folder>/<socket>" for each socket in the folder whose name carries these ids.
    static std::vector<std::string> ListCards(uint16_t vendorId, uint16_t productId);

protected:
    bool Describe(Description* out) override;
    int OpenHandle(bool forWrite) override;
    // A socket cannot be locked for everyone who connects: the lock is on ".<socket name>.lock"
    // beside it, made by whoever comes first.
    int OpenLockHandle() override;

private:
    int m_socket = -1;
};
