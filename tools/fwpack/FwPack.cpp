#include "FwPack.h"

#include <iconv.h>

#include <cstdlib>
#include <cstring>

#include "ZipMemory.h"

namespace fwpack {

std::vector<uint8_t> MakeImage(uint8_t firmwareByte, size_t size, uint32_t seed) {
    std::vector<uint8_t> image(size);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        image[i] = static_cast<uint8_t>(x >> 16);
    }
    const uint8_t mark[5] = {'L', 'Y', 'F', 'W', firmwareByte};
    std::memcpy(image.data(), mark, std::min<size_t>(size, sizeof mark));
    return image;
}

uint8_t ImageFirmwareByte(const std::vector<uint8_t>& image) {
    if (image.size() < 5 || std::memcmp(image.data(), "LYFW", 4) != 0) {
        return 0;
    }
    return image[4];
}

uint8_t VersionByte(const std::string& version) {
    const long major = std::strtol(version.c_str(), nullptr, 10);
    const size_t dot = version.find('.');
    const long minor =
        dot == std::string::npos ? 0 : std::strtol(version.c_str() + dot + 1, nullptr, 10);
    return static_cast<uint8_t>(major * 10 + minor);
}

PackageRecipe SimplePackage(const std::string& version, size_t imageBytes,
                            const std::string& hardware) {
    PackageRecipe recipe;
    recipe.version = version;
    recipe.hardware = hardware;
    recipe.hardwareCondition = "E" + hardware;
    recipe.steps.push_back({"L" + version, version, "fw_" + version + ".bin"});
    recipe.files.push_back({"fw_" + version + ".bin", MakeImage(VersionByte(version), imageBytes)});
    return recipe;
}

std::string MakeStepFile(const PackageRecipe& recipe) {
    std::string xml = "<?xml version=\"1.0\"?>\n<FirmwareInfo>\n";
    xml += "  <Hardware" + recipe.hardware + " Firm=\"" + recipe.firmName + "\"/>\n";
    xml += "  <" + recipe.firmName + ">\n    <Version>" + recipe.version + "</Version>\n";
    const std::string count =
        recipe.count.empty() ? std::to_string(recipe.steps.size()) : recipe.count;
    xml += "    <Steps HardwareVer=\"" + recipe.hardwareCondition + "\" Count=\"" + count + "\">\n";
    for (size_t i = 0; i < recipe.steps.size(); ++i) {
        const StepSpec& s = recipe.steps[i];
        xml += "      <Step" + std::to_string(i + 1) + " NeedVersion=\"" + s.needVersion +
               "\" Version=\"" + s.version + "\" File=\"" + s.file + "\"/>\n";
    }
    xml += "    </Steps>\n  </" + recipe.firmName + ">\n</FirmwareInfo>\n";
    return xml;
}

namespace {
std::string ToGbk(const std::string& utf8) {
    iconv_t cd = iconv_open("GBK", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return utf8;
    }
    std::string in = utf8;
    std::string out(in.size() * 2 + 16, '\0');
    char* src = in.data();
    size_t inLeft = in.size();
    char* dst = out.data();
    size_t outLeft = out.size();
    const size_t r = iconv(cd, &src, &inLeft, &dst, &outLeft);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1)) {
        return utf8;
    }
    out.resize(out.size() - outLeft);
    return out;
}
}  // namespace

std::vector<uint8_t> BuildPackage(const PackageRecipe& recipe) {
    firmware::CZipMemoryWriter zip;
    if (recipe.withStepFile) {
        const std::string xml = MakeStepFile(recipe);
        zip.Add(recipe.stepFileName, recipe.gbk ? ToGbk(xml) : xml);
    }
    for (const FileSpec& f : recipe.files) {
        zip.Add(f.name, f.bytes.data(), f.bytes.size());
    }
    return zip.Finish();
}

}  // namespace fwpack
