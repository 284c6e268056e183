#include "PresetRadios.h"

namespace effects {

std::optional<PresetRadio> PresetRadioFromId(int id) {
    if (id < kPresetRadioBase || id > kPresetRadioLast) {
        return std::nullopt;
    }
    return PresetRadio{(id % kPresetRadioBase) / 100, id % 100};
}

int PresetRadioId(int group, int position) {
    return kPresetRadioBase + group * 100 + position;
}

bool MarksPreset(bool applied, int position) {
    return applied || position < kFirstCustomPosition || position > kPresetPositions;
}

std::u16string PresetCaption(std::u16string_view name) {
    if (name.size() > 5) {
        return std::u16string(name.substr(0, 4)) + u"..";
    }
    return std::u16string(name);
}

std::vector<CustomCaption> CustomPresetCaptions(const std::vector<model::GroupPresetRecord>& list) {
    std::vector<CustomCaption> captions;
    for (int position = kFirstCustomPosition; position <= kPresetPositions; ++position) {
        if (static_cast<size_t>(position) >= list.size()) {
            break;
        }
        const auto& record = list[static_cast<size_t>(position)];
        if (record.count < 1) {
            continue;  // never saved
        }
        const std::u16string name = model::RecordText(record.name);
        captions.push_back({position, PresetCaption(name), name});
    }
    return captions;
}

}  // namespace effects
