// CWorkSpace: effects, presets and their storage.
#include <cstring>

#include "CloudEffFiles.h"
#include "Log/Log.h"
#include "WorkSpace.h"

#define LOG_SOURCE "model\\WorkSpaceEffects"

using namespace model;

namespace {

bool IsCustomSlot(int slot) {
    return slot >= 0 && slot < CWorkSpace::kCustomSlots;
}

EffectRecord EmptyCustomEffect() {
    EffectRecord r{};
    r.empty = 1;
    return r;
}

}  // namespace

void CWorkSpace::LoadStoredEffects() {
    m_builtins = BuiltinEffects();
    for (int g = 0; g < kGroupCount; ++g) {
        m_presets[static_cast<size_t>(g)] = StaticGroupPresets(g);
    }
    for (int g = kGroupEqualiser; g <= kGroupVoice; ++g) {
        for (int slot = 0; slot < kPresetCustomSlots; ++slot) {
            GroupPresetRecord preset{};
            m_store.ReadCustomPreset(g, slot, preset);  // stays all zero when missing
            m_presets[static_cast<size_t>(g)].push_back(preset);
        }
    }
    if (!m_store.ReadCurrentEffect(m_current)) {
        m_current = m_builtins[0];
    }
    for (int slot = 0; slot < kDeviceCustomSlots; ++slot) {
        EffectRecord stored;
        if (m_store.ReadDeviceCustomEffect(slot, stored)) {
            m_builtins[static_cast<size_t>(kDeviceCustomFirstPosition + slot)] = stored;
        }
    }
    for (int slot = 0; slot < kCustomSlots; ++slot) {
        EffectRecord& custom = m_custom[static_cast<size_t>(slot)];
        custom = EmptyCustomEffect();
        m_store.ReadMyCustomEffect(slot, custom);
    }
    m_downloaded = m_store.ReadDownloadedEffects();
}

const std::vector<GroupPresetRecord>& CWorkSpace::GroupPresets(int group) const {
    static const std::vector<GroupPresetRecord> kNone;
    return group >= 0 && group < kGroupCount ? m_presets[static_cast<size_t>(group)] : kNone;
}

void CWorkSpace::LoadEffect(const EffectRecord& record) {
    ClearPending();
    std::memcpy(m_current.name, record.name, sizeof m_current.name);
    std::memcpy(m_current.source, record.source, sizeof m_current.source);
    m_current.slotTag = record.slotTag;
    m_current.downloaded = record.downloaded;
    m_current.position = kNoPosition;
    for (const ParamDescriptor& d : m_descriptors) {
        if (d.effect) {
            m_current.params[d.id] = record.params[d.id];
        }
    }
}

bool CWorkSpace::ApplyBuiltinEffect(int position) {
    if (position < 0 || position >= kBuiltinEffectCount) {
        return false;
    }
    LoadEffect(m_builtins[static_cast<size_t>(position)]);
    RefreshControls();
    bool sent = PushParams(false, false);
    m_current.position = position;
    return sent;
}

bool CWorkSpace::ApplyMyCustomEffect(int slot) {
    if (!IsCustomSlot(slot)) {
        return false;
    }
    const EffectRecord& record = m_custom[static_cast<size_t>(slot)];
    if (record.empty) {
        return false;
    }
    if (record.downloaded) {
        // It stands for an effect stored on the card: select that one by number.
        std::memcpy(m_current.name, record.name, sizeof m_current.name);
        std::memcpy(m_current.source, record.source, sizeof m_current.source);
        m_current.params[kParamEffectNumber] = record.params[kParamEffectNumber];
        m_current.downloaded = 1;
        m_current.slotTag = slot;
        return SelectEffectNumber(DownloadedEffectNumber(RecordText(record.source)));
    }
    LoadEffect(record);
    m_current.position = slot;
    RefreshControls();
    return PushParams(false, false);
}

bool CWorkSpace::SelectDownloadedEffect(int n, std::u16string_view name) {
    if (n < 0 || n > 0x0FFF - kDownloadedEffectBase) {
        VLOG_ERROR("effect", "CWorkSpace::SelectDownloadedEffect", "no downloaded effect %d", n);
        return false;
    }
    SetRecordText(m_current.name, name);
    SetRecordText(m_current.source, DecimalText(n));
    m_current.params[kParamEffectNumber] = n + kDownloadedEffectBase;
    m_current.downloaded = 1;
    m_current.slotTag = kNoSlotTag;
    return SelectEffectNumber(n + kDownloadedEffectBase);
}

bool CWorkSpace::SendEffectRecord(const EffectRecord& record) {
    if (!IsCardReady()) {
        return false;
    }
    ClearPending();
    for (const ParamDescriptor& d : m_descriptors) {
        if (d.effect) {
            QueueParam(d.id, record.params[d.id]);
        }
    }
    return FlushPending();
}

bool CWorkSpace::SelectEffectNumber(int number) {
    if (!IsCardReady()) {
        return false;
    }
    QueueParam(kParamEffectNumber, number);
    return FlushPending();
}

void CWorkSpace::SetFileEffect(std::u16string_view name, const std::filesystem::path& path) {
    SetRecordText(m_current.name, name);
    SetRecordText(m_current.source, TextFromPath(path));
    m_current.params[kParamEffectNumber] = kFileEffectNumber;
    m_current.downloaded = 1;
    m_current.slotTag = kNoSlotTag;
    RefreshControls();
}

bool CWorkSpace::SaveMyCustomEffect(int slot, std::u16string_view name) {
    if (!IsCustomSlot(slot) || name.empty()) {
        return false;
    }
    EffectRecord copy = m_current;
    SetRecordText(copy.name, name);
    copy.params[kParamEffectNumber] =
        m_current.downloaded ? kCustomOverDownloadBase + slot
                             : kCustomEffectBase + (m_current.params[kParamEffectNumber] & 0x0F);
    copy.slotTag = slot + 2;
    copy.empty = 0;
    const EffectRecord replaced = m_custom[static_cast<size_t>(slot)];
    m_custom[static_cast<size_t>(slot)] = copy;
    // The old record's file goes only once the new record is safely stored.
    const bool written = m_store.WriteMyCustomEffect(slot, copy);
    if (written) {
        DeleteReplacedEffectFile(replaced, slot, copy);
    }
    return written;
}

bool CWorkSpace::DeleteReplacedEffectFile(const EffectRecord& replaced, int slot,
                                          const EffectRecord& replacement) const {
    if (!replaced.downloaded) {
        return false;
    }
    const std::u16string source = RecordText(replaced.source);
    if (source.empty() || source == RecordText(replacement.source) ||
        source == RecordText(m_current.source)) {
        return false;
    }
    for (int other = 0; other < kCustomSlots; ++other) {
        if (other != slot && RecordText(m_custom[static_cast<size_t>(other)].source) == source) {
            return false;  // still used by another custom effect
        }
    }
    return DeleteCloudEffectFile(m_dataFolder, PathFromText(source));
}

bool CWorkSpace::AddDownloadedToMyCustom(std::u16string_view name, std::u16string_view numberText,
                                         int slot) {
    if (name.empty()) {
        return false;
    }
    if (!IsCustomSlot(slot)) {
        return true;
    }
    EffectRecord record{};
    SetRecordText(record.name, name);
    SetRecordText(record.source, numberText);
    record.params[kParamEffectNumber] = CustomFromDownloadNumber(numberText);
    record.downloaded = 1;
    m_custom[static_cast<size_t>(slot)] = record;
    return m_store.WriteMyCustomEffect(slot, record);
}

bool CWorkSpace::SaveDeviceCustomEffect(int slot, const EffectRecord& record, int downloaded) {
    if (slot < 0) {
        return false;
    }
    if (slot >= kDeviceCustomSlots) {
        return true;
    }
    EffectRecord& target = m_builtins[static_cast<size_t>(kDeviceCustomFirstPosition + slot)];
    std::memcpy(target.source, record.source, sizeof target.source);
    target.downloaded = downloaded;
    return m_store.WriteDeviceCustomEffect(slot, target);
}

bool CWorkSpace::ResetDeviceCustomEffect(int position) {
    if (position < kDeviceCustomFirstPosition ||
        position >= kDeviceCustomFirstPosition + kDeviceCustomSlots) {
        return false;
    }
    EffectRecord& target = m_builtins[static_cast<size_t>(position)];
    target = BuiltinEffects()[static_cast<size_t>(position)];
    return m_store.WriteDeviceCustomEffect(position - kDeviceCustomFirstPosition, target);
}

bool CWorkSpace::ApplyGroupPreset(int group, int position) {
    const std::vector<GroupPresetRecord>& list = GroupPresets(group);
    if (position < 0 || static_cast<size_t>(position) >= list.size()) {
        return false;
    }
    const GroupPresetRecord& preset = list[static_cast<size_t>(position)];
    const std::span<const int> ids = m_groups[static_cast<size_t>(group)].ids;
    if (preset.count != static_cast<int32_t>(ids.size())) {
        return false;  // a custom preset never saved
    }
    const bool ready = IsCardReady();
    for (size_t i = 0; i < ids.size(); ++i) {
        m_current.params[ids[i]] = preset.values[i];
        if (ready) {
            QueueParam(ids[i], preset.values[i]);
        }
    }
    RefreshControls();
    // Without a card the values are the workspace's own until it comes; with one the send counts.
    return !ready || FlushPending();
}

bool CWorkSpace::RestoreGroupFromEffect(int group) {
    if (group < 0 || group >= kGroupCount) {
        return false;
    }
    const std::span<const int> ids = m_groups[static_cast<size_t>(group)].ids;
    const bool ready = IsCardReady();
    // An effect sent from a file names that file; a downloaded effect's source is its index on
    // the card ("5"), which must never be taken for a file in the working directory.
    const std::filesystem::path file = PathFromText(RecordText(m_current.source));
    std::error_code ec;
    if (m_current.downloaded && file.is_absolute() && std::filesystem::is_regular_file(file, ec)) {
        // The values come from the file the effect was sent from, in the group's order.
        std::vector<EffectParamRecord> records;
        if (!ReadEffectFileParams(file, records)) {
            return false;
        }
        size_t next = 0;
        for (const EffectParamRecord& r : records) {
            if (next == ids.size()) {
                break;
            }
            const int id = ids[next];
            if (int64_t{r.number} - 1 != id) {
                continue;
            }
            int value = 0;
            if (MapEffectParamValue(r, m_descriptors[static_cast<size_t>(id)], value)) {
                m_current.params[id] = value;
                if (ready) {
                    QueueParam(id, value);
                }
            }
            ++next;
        }
    } else {
        // The card's own effects map their numbers to list positions through the number table;
        // anything else (a downloaded effect, a file that is gone) falls back to the plain effect.
        int position = BuiltinPositionOfEffectNumber(m_current.params[kParamEffectNumber]);
        const EffectRecord& source = m_builtins[static_cast<size_t>(position < 0 ? 0 : position)];
        for (int id : ids) {
            m_current.params[id] = source.params[id];
            if (ready) {
                QueueParam(id, source.params[id]);
            }
        }
    }
    RefreshControls();
    // Without a card the values are the workspace's own until it comes; with one the send counts.
    return !ready || FlushPending();
}

bool CWorkSpace::SaveCustomPreset(std::u16string_view name, int group, int slot) {
    if (group < kGroupEqualiser || group > kGroupVoice || slot < 0 || slot > 3) {
        return false;
    }
    std::vector<GroupPresetRecord>& list = m_presets[static_cast<size_t>(group)];
    if (list.size() <= 4) {
        return false;
    }
    const std::span<const int> ids = m_groups[static_cast<size_t>(group)].ids;
    GroupPresetRecord preset{};
    SetRecordText(preset.name, name);
    for (size_t i = 0; i < ids.size(); ++i) {
        preset.values[i] = m_current.params[ids[i]];
    }
    preset.count = static_cast<int32_t>(ids.size());
    if (group == kGroupReverb || group == kGroupVoice) {
        preset.values[0] |= 0x80;  // the group's on/off switch
    }
    while (list.size() < static_cast<size_t>(slot + kPresetCustomFirst + 1)) {
        list.push_back(GroupPresetRecord{});
    }
    list[static_cast<size_t>(slot + kPresetCustomFirst)] = preset;
    return m_store.WriteCustomPreset(group, slot, preset);
}

bool CWorkSpace::PresetNameExists(int group, int excludeSlot, std::u16string_view name) const {
    if (group < kGroupEqualiser || group > kGroupVoice) {
        return false;
    }
    const std::vector<GroupPresetRecord>& list = m_presets[static_cast<size_t>(group)];
    for (size_t i = 0; i < list.size(); ++i) {
        if (static_cast<int>(i) != excludeSlot + kPresetCustomFirst &&
            RecordText(list[i].name) == name) {
            return true;
        }
    }
    return false;
}

void CWorkSpace::SetSelectedPreset(int group, int position) {
    m_selectedPresets[group] = position;
}

int CWorkSpace::GetSelectedPreset(int group) const {
    auto it = m_selectedPresets.find(group);
    return it == m_selectedPresets.end() ? -1 : it->second;
}

bool CWorkSpace::SaveCurrentEffect() const {
    return m_store.WriteCurrentEffect(m_current);
}
