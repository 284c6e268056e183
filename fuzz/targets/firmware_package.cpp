// Firmware packages (zip) as downloaded or given on the command line: the archive reader on its
// own and the whole unpacking.
#include <string>
#include <vector>

#include "FirmwarePackage.h"
#include "FuzzTarget.h"
#include "ZipMemory.h"

VELORA_FUZZ_TARGET(firmware_package) {
    const std::vector<uint8_t> package(data, data + size);
    {
        firmware::CZipMemoryReader zip(package.data(), package.size());
        if (zip.IsOpen() && zip.Locate("steps.xml")) {
            (void)zip.EntrySize();
            std::vector<uint8_t> out;
            (void)zip.Extract(out, 1 << 16);
        }
    }
    firmware::PackageContents contents;
    std::string error;
    if (firmware::UnpackPackage(package, "1.0", contents, error)) {
        (void)firmware::CheckBeforeBoot(contents, "1.0", error);
    }
}
