// Download.ini, the marks of finished cloud effect downloads: read, and a mark written into
// whatever the file held must read back.
#include <cstdlib>
#include <fstream>

#include "CloudEffectFiles.h"
#include "FuzzTarget.h"
#include "profile/Profile.h"

VELORA_FUZZ_TARGET(download_ini) {
    const std::filesystem::path data_folder = velora_fuzz::TempFolder();
    const std::filesystem::path ini = effects::DownloadIniPath(data_folder);
    std::filesystem::create_directories(ini.parent_path());
    {
        std::ofstream out(ini, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    platform::profile::ClearReadCache();
    for (const char16_t* name : {u"1.eff", u"男声.eff", u"Download"}) {
        (void)effects::ReadDownloadMark(data_folder, name);
    }
    if (effects::WriteDownloadMark(data_folder, u"fuzz.eff", true) &&
        effects::ReadDownloadMark(data_folder, u"fuzz.eff") != 1) {
        std::abort();
    }
}
