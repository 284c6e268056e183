// steps.xml of a firmware package: its text encoding, its steps, the choice of steps for a card.
#include <string>
#include <vector>

#include "FirmwarePackage.h"
#include "FuzzTarget.h"

VELORA_FUZZ_TARGET(step_file) {
    const std::vector<uint8_t> bytes(data, data + size);
    std::string xml;
    if (!firmware::StepFileToUtf8(bytes, xml)) {
        return;
    }
    for (const char* hardware : {"1.0", ""}) {
        firmware::PackageContents contents;
        std::string error;
        if (firmware::ParseStepFile(xml, hardware, contents, error)) {
            (void)firmware::ChosenSteps(contents.steps, "1.0");
            (void)firmware::CheckBeforeBoot(contents, "2.3", error);
        }
    }
}
