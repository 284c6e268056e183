#include "FirmwarePackage.h"

#include <iconv.h>
#include <pugixml.hpp>

#include <cstdio>

#include "FirmwareTexts.h"
#include "FirmwareVersion.h"
#include "ZipMemory.h"

namespace firmware {

namespace {

bool IsUtf8(const std::vector<uint8_t>& b) {
    size_t i = 0;
    while (i < b.size()) {
        const uint8_t c = b[i];
        const int more = c < 0x80           ? 0
                         : (c >> 5) == 0x6  ? 1
                         : (c >> 4) == 0xE  ? 2
                         : (c >> 3) == 0x1E ? 3
                                            : -1;
        if (more < 0 || i + static_cast<size_t>(more) >= b.size() + (more == 0 ? 1 : 0)) {
            return false;
        }
        for (size_t k = 1; k <= static_cast<size_t>(more); ++k) {
            if ((b[i + k] & 0xC0) != 0x80) {
                return false;
            }
        }
        i += static_cast<size_t>(more) + 1;
    }
    return true;
}

std::string Attr(const pugi::xml_node& node, const char* name) {
    return Trim(node.attribute(name).as_string());
}

bool ReadCount(const std::string& text, int& count) {
    if (text.empty()) {
        count = 0;
        return true;
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    count = text.size() > 3 ? 1000 : std::stoi(text);
    return true;
}

}  // namespace

bool StepFileToUtf8(const std::vector<uint8_t>& bytes, std::string& utf8) {
    size_t start = 0;
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        start = 3;
    }
    std::vector<uint8_t> body(bytes.begin() + static_cast<long>(start), bytes.end());
    if (IsUtf8(body)) {
        utf8.assign(body.begin(), body.end());
        return true;
    }
    iconv_t cd = iconv_open("UTF-8", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    std::string out(body.size() * 2 + 16, '\0');
    char* in = reinterpret_cast<char*>(body.data());
    size_t inLeft = body.size();
    char* dst = out.data();
    size_t outLeft = out.size();
    const size_t r = iconv(cd, &in, &inLeft, &dst, &outLeft);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1)) {
        return false;
    }
    out.resize(out.size() - outLeft);
    utf8 = std::move(out);
    return true;
}

bool ParseStepFile(const std::string& utf8Xml, const std::string& hardwareVersion,
                   PackageContents& out, std::string& error) {
    out = PackageContents{};
    pugi::xml_document doc;
    doc.load_buffer(utf8Xml.data(), utf8Xml.size(), pugi::parse_default, pugi::encoding_utf8);
    pugi::xml_node info = doc.child("FirmwareInfo");
    if (!info) {
        error = kErrNoFirmwareInfo;
        return false;
    }
    // A card found in its loader cannot tell its hardware version: a package made for one
    // hardware only names it.
    std::string hardwareText = Trim(hardwareVersion);
    if (hardwareText.empty()) {
        int named = 0;
        for (pugi::xml_node child : info.children()) {
            const std::string name = child.name();
            if (name.rfind("Hardware", 0) == 0 && name.size() > 8) {
                hardwareText = name.substr(8);
                ++named;
            }
        }
        if (named != 1) {
            hardwareText.clear();
        }
    }
    const std::string hardwareName = "Hardware" + hardwareText;
    pugi::xml_node hardware = info.child(hardwareName.c_str());
    if (!hardware) {
        error = std::string(kErrNodeMissingPrefix).append("<").append(hardwareName).append(">节点");
        return false;
    }
    const std::string firmName = hardware.attribute("Firm").as_string();
    pugi::xml_node firm = firmName.empty() ? pugi::xml_node() : info.child(firmName.c_str());
    if (!firm) {
        error = kErrNoFirmForHardware;
        return false;
    }
    pugi::xml_node version = firm.child("Version");
    if (!version) {
        error = kErrNoVersion;
        return false;
    }
    PackageContents contents;
    contents.hardware = hardwareText;
    contents.version = Trim(version.child_value());
    if (contents.version.empty()) {
        error = kErrBadVersion;
        return false;
    }
    pugi::xml_node steps = firm.child("Steps");
    if (!steps) {
        error = kErrNoSteps;
        return false;
    }
    if (!ConditionHolds(steps.attribute("HardwareVer").as_string(), hardwareText)) {
        error = kErrWrongHardware;
        return false;
    }
    int count = 0;
    if (!ReadCount(Attr(steps, "Count"), count) || count < 1 || count > kMaxSteps) {
        error = kErrStepCount;
        return false;
    }
    for (int i = 1; i <= count; ++i) {
        const std::string name = "Step" + std::to_string(i);
        pugi::xml_node node = steps.child(name.c_str());
        if (!node) {
            error = std::string(kErrNodeMissingPrefix) + name + "节点";
            return false;
        }
        Step step;
        step.needVersion = Attr(node, "NeedVersion");
        step.version = Attr(node, "Version");
        step.file = Attr(node, "File");
        if (step.needVersion.empty()) {
            error = kErrNeedVersion;
            return false;
        }
        if (step.version.empty()) {
            error = kErrStepVersion;
            return false;
        }
        if (step.file.empty()) {
            error = kErrStepFile;
            return false;
        }
        contents.steps.push_back(std::move(step));
    }
    out = std::move(contents);
    return true;
}

bool UnpackPackage(const std::vector<uint8_t>& package, const std::string& hardwareVersion,
                   PackageContents& out, std::string& error) {
    out = PackageContents{};
    if (package.empty()) {
        error = kErrNoPackage;
        return false;
    }
    CZipMemoryReader zip(package.data(), package.size());
    if (!zip.IsOpen()) {
        error = kErrNotZip;
        return false;
    }
    if (!zip.Locate("steps.xml")) {
        error = kErrNoStepFile;
        return false;
    }
    std::vector<uint8_t> stepBytes;
    if (zip.EntrySize() > kMaxStepFileBytes) {
        error = kErrNoMemory;
        return false;
    }
    std::string xml;
    if (!zip.Extract(stepBytes, kMaxStepFileBytes) || !StepFileToUtf8(stepBytes, xml)) {
        error = kErrStepFileExtract;
        return false;
    }
    PackageContents contents;
    if (!ParseStepFile(xml, hardwareVersion, contents, error)) {
        return false;
    }
    for (Step& step : contents.steps) {
        if (!zip.Locate(step.file)) {
            error = kErrImageMissing;
            return false;
        }
        const uint64_t size = zip.EntrySize();
        if (size == 0) {
            error = kErrImageEmpty;
            return false;
        }
        if (size > kMaxImageBytes) {
            error = kErrImageTooLarge;
            return false;
        }
        if (!zip.Extract(step.image, kMaxImageBytes) || step.image.empty()) {
            error = kErrImageExtract;
            return false;
        }
    }
    out = std::move(contents);  // on any failure above the extracted images go with contents
    return true;
}

std::vector<int> ChosenSteps(const std::vector<Step>& steps, const std::string& firmwareVersion) {
    std::vector<int> chosen;
    for (size_t i = 0; i < steps.size(); ++i) {
        if (ConditionHolds(steps[i].needVersion, firmwareVersion)) {
            chosen.push_back(static_cast<int>(i));
        }
    }
    return chosen;
}

bool CheckBeforeBoot(const PackageContents& contents, const std::string& firmwareVersion,
                     std::string& error) {
    if (contents.steps.empty()) {
        error = kErrNoPackage;
        return false;
    }
    for (const Step& step : contents.steps) {
        if (step.image.empty()) {
            error = kErrImageEmpty;
            return false;
        }
        if (step.image.size() > kMaxImageBytes) {
            error = kErrImageTooLarge;
            return false;
        }
    }
    if (ChosenSteps(contents.steps, firmwareVersion).empty()) {
        error = kErrNoSuitableStep;
        return false;
    }
    return true;
}

}  // namespace firmware
