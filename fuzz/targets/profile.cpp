// Settings files (LyntConfigData.db, LyntMoodcfg.ini, Download.ini) through the profile reader:
// the parser on its own, then every getter over what the file names.
#include <string>
#include <vector>

#include "FuzzTarget.h"
#include "profile/Profile.h"
#include "profile/ProfileFile.h"

namespace pp = platform::profile;

VELORA_FUZZ_TARGET(profile) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    (void)pp::detail::ParseFileBytes(bytes, false);
    (void)pp::detail::ParseFileBytes(bytes, true);

    const auto file = velora_fuzz::WriteInput("settings.ini", data, size);
    pp::ClearReadCache();
    const auto sections = pp::GetPrivateProfileSectionNames(file);
    size_t visited = 0;
    for (const auto& section : sections) {
        for (const auto& key : pp::GetPrivateProfileKeyNames(section, file)) {
            if (++visited > 12) {  // each getter reads the file again
                return;
            }
            const std::u16string value = pp::GetPrivateProfileString(section, key, u"", file);
            (void)pp::GetPrivateProfileInt(section, key, -1, file);
            char16_t small[8];
            (void)pp::GetPrivateProfileString(section, key, u"default", small, 8, file);
            (void)pp::ReadPrivateProfileValue(section, key, file);
            // Struct values of sizes the program stores, and of the size the text implies.
            uint8_t record[1560];
            for (size_t n : {size_t{4}, size_t{76}}) {
                (void)pp::GetPrivateProfileStruct(section, key, record, n, file);
            }
            // Exactly as many bytes as the text implies, so a write past them is caught.
            const size_t implied = value.size() / 2;
            if (implied >= 2 && implied - 1 <= sizeof record) {
                std::vector<uint8_t> exact(implied - 1);
                (void)pp::DecodeStruct(value, exact.data(), exact.size());
            }
        }
    }
}
