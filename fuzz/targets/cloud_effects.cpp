// The cloud's effect list answer; every entry it gives must map to a file inside CloudEff.
#include <cstdlib>
#include <string>

#include "CloudEffectAnswer.h"
#include "CloudEffectFiles.h"
#include "FuzzTarget.h"

VELORA_FUZZ_TARGET(cloud_effects) {
    // The worker reads the answer as the zero-terminated text in its buffer.
    const std::string answer(reinterpret_cast<const char*>(data), size);
    std::vector<model::CloudEffectEntry> entries;
    std::u16string message;
    if (effects::ReadEffectListAnswer(answer.c_str(), entries, message) !=
        effects::EffectListResult::kOk) {
        return;
    }
    const std::filesystem::path data_folder = velora_fuzz::TempFolder();
    const std::string inside = (data_folder / "CloudEff").string() + "/";
    for (const auto& entry : entries) {
        const std::filesystem::path path = effects::CloudEffectLocalPath(
            data_folder, model::RecordText(entry.category), model::RecordText(entry.location));
        if (!path.empty() && path.lexically_normal().string().rfind(inside, 0) != 0) {
            std::abort();
        }
    }
}
