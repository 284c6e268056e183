// Effect files, from the user or downloaded from the cloud, up to the frames sent to the card.
#include <cstdlib>
#include <vector>

#include "EffectFile.h"
#include "EffectFrames.h"
#include "FuzzTarget.h"

VELORA_FUZZ_TARGET(effect_file) {
    const auto file = velora_fuzz::WriteInput("fuzz.eff", data, size);
    model::EffectFileContents contents;
    if (model::ReadEffectFile(file, contents)) {
        // Sections are taken from the file, never made up.
        if (contents.sectionA.size() + contents.sectionB.size() + contents.sectionC.size() > size) {
            std::abort();
        }
        std::vector<card::Frame> frames;
        (void)model::BuildEffectDownloadFrames(contents, model::EffectDownloadCaps{}, frames);
    }
    std::vector<model::EffectParamRecord> params;
    (void)model::ReadEffectFileParams(file, params);
}
