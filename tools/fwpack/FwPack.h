#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Builds firmware packages for the cloud simulator and the tests: a zip with "steps.xml" and
// the images it names, made in memory. Every part can be made wrong on purpose.
namespace fwpack {

// Images start with "LYFW" and the firmware byte they install (24 for 2.4); the virtual card's
// loader reads it to know what it runs after a good write. The rest is a pattern from seed.
std::vector<uint8_t> MakeImage(uint8_t firmwareByte, size_t size, uint32_t seed = 1);
// The firmware byte an image installs, or 0 when it carries no mark.
uint8_t ImageFirmwareByte(const std::vector<uint8_t>& image);

struct StepSpec {
    std::string needVersion;  // condition on the card's firmware, "L2.4"
    std::string version;      // what the step writes
    std::string file;         // image name in the archive
};

struct FileSpec {
    std::string name;
    std::vector<uint8_t> bytes;
};

struct PackageRecipe {
    std::string version = "2.4";
    std::string hardware = "1.0";            // the card's hardware: element "Hardware1.0"
    std::string hardwareCondition = "E1.0";  // Steps' HardwareVer
    std::string firmName = "Firmware_A";
    std::string count;  // Steps' Count; empty: the number of steps
    std::vector<StepSpec> steps;
    std::vector<FileSpec> files;  // archive entries besides the step file
    std::string stepFileName = "steps.xml";
    bool withStepFile = true;
    bool gbk = false;  // the step file in GBK instead of UTF-8
};

// One step from anything below the version to it, one image of imageBytes.
PackageRecipe SimplePackage(const std::string& version, size_t imageBytes,
                            const std::string& hardware = "1.0");
std::string MakeStepFile(const PackageRecipe& recipe);
// The archive's bytes; empty when the zip library fails.
std::vector<uint8_t> BuildPackage(const PackageRecipe& recipe);
// "2.4" -> 24, the card's version byte.
uint8_t VersionByte(const std::string& version);

}  // namespace fwpack
