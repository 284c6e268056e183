#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace firmware {

// The loader counts blocks of 59 bytes with a 16-bit index.
inline constexpr size_t kBlockBytes = 59;
inline constexpr size_t kMaxBlocks = 65536;
inline constexpr size_t kMaxImageBytes = kMaxBlocks * kBlockBytes;
inline constexpr int kMaxSteps = 10;
inline constexpr uint64_t kMaxStepFileBytes = 1 << 20;

struct Step {
    std::string version;      // what this step writes
    std::string file;         // the image's name in the archive
    std::string needVersion;  // condition on the card's firmware version
    std::vector<uint8_t> image;
};

struct PackageContents {
    std::string version;   // the package's firmware version
    std::string hardware;  // the hardware version it was read for
    std::vector<Step> steps;
};

// Step-file text as UTF-8: kept when it is UTF-8 already, otherwise read as GBK.
bool StepFileToUtf8(const std::vector<uint8_t>& bytes, std::string& utf8);

// Reads "steps.xml" for a card of the given hardware version: the firmware's version and its
// steps (images not filled). An empty hardware version (a card in its loader) takes the only
// hardware the file names. On failure error holds the message and nothing is kept.
bool ParseStepFile(const std::string& utf8Xml, const std::string& hardwareVersion,
                   PackageContents& out, std::string& error);

// Opens the archive, reads its step file and extracts every step's image. Beyond the archive's
// own checks an image must be non-empty and fit the loader's block index.
bool UnpackPackage(const std::vector<uint8_t>& package, const std::string& hardwareVersion,
                   PackageContents& out, std::string& error);

// The steps whose condition holds for the card's firmware version, in order.
std::vector<int> ChosenSteps(const std::vector<Step>& steps, const std::string& firmwareVersion);

// What a package must pass before the card is switched to its loader: steps read, at least one
// chosen for this card, every image present, non-empty and small enough. Message in error.
bool CheckBeforeBoot(const PackageContents& contents, const std::string& firmwareVersion,
                     std::string& error);

}  // namespace firmware
