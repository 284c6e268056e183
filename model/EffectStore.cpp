#include "EffectStore.h"

#include <algorithm>
#include <system_error>

#include "ConfigData.h"
#include "profile/Profile.h"
#include "profile/ProfileText.h"

namespace model {

namespace pp = platform::profile;
namespace keys = config_keys;

namespace {

std::u16string PresetKey(int group, int slot) {
    return DecimalText(group) + u"_" + DecimalText(slot);
}

}  // namespace

std::filesystem::path PathFromText(std::u16string_view text) {
    return std::filesystem::path(pp::ToUtf8(text));
}

std::u16string TextFromPath(const std::filesystem::path& path) {
    return pp::FromUtf8(path.native());
}

CEffectStore::CEffectStore(std::filesystem::path settingsFile) : m_path(std::move(settingsFile)) {}

template <typename Record>
bool CEffectStore::Read(const char16_t* section, const std::u16string& key, Record& record) const {
    if (m_path.empty()) {
        return false;
    }
    Record read;
    if (!pp::GetPrivateProfileStruct(section, key, &read, sizeof read, m_path)) {
        return false;
    }
    record = read;
    return true;
}

template <typename Record>
bool CEffectStore::Write(const char16_t* section, const std::u16string& key,
                         const Record& record) const {
    return !m_path.empty() &&
           pp::WritePrivateProfileStruct(section, key, &record, sizeof record, m_path);
}

bool CEffectStore::ReadCurrentEffect(EffectRecord& record) const {
    return Read(keys::kLastStatus, keys::kCurrentEffect, record);
}

bool CEffectStore::WriteCurrentEffect(const EffectRecord& record) const {
    return Write(keys::kLastStatus, keys::kCurrentEffect, record);
}

bool CEffectStore::ReadDeviceCustomEffect(int slot, EffectRecord& record) const {
    return Read(keys::kDeviceCustomEffect, DecimalText(slot), record);
}

bool CEffectStore::WriteDeviceCustomEffect(int slot, const EffectRecord& record) const {
    return Write(keys::kDeviceCustomEffect, DecimalText(slot), record);
}

bool CEffectStore::ReadMyCustomEffect(int slot, EffectRecord& record) const {
    return Read(keys::kMyCustomEffect, DecimalText(slot), record);
}

bool CEffectStore::WriteMyCustomEffect(int slot, const EffectRecord& record) const {
    return Write(keys::kMyCustomEffect, DecimalText(slot), record);
}

bool CEffectStore::ReadCustomPreset(int group, int slot, GroupPresetRecord& record) const {
    return Read(keys::kCustomPreset, PresetKey(group, slot), record);
}

bool CEffectStore::WriteCustomPreset(int group, int slot, const GroupPresetRecord& record) const {
    return Write(keys::kCustomPreset, PresetKey(group, slot), record);
}

std::vector<CloudEffectEntry> CEffectStore::ReadDownloadedEffects() const {
    std::vector<CloudEffectEntry> list;
    if (m_path.empty()) {
        return list;
    }
    int count = pp::GetPrivateProfileInt(keys::kDownloadEffect, keys::kCount, 0, m_path);
    // A count edited to millions must not turn into millions of reads.
    size_t keyCount = pp::GetPrivateProfileKeyNames(keys::kDownloadEffect, m_path).size();
    int n = std::clamp<int>(count, 0, static_cast<int>(std::min<size_t>(keyCount, 1 << 20)));
    for (int i = 0; i < n; ++i) {
        CloudEffectEntry entry;
        if (!Read(keys::kDownloadEffect, DecimalText(i), entry)) {
            continue;
        }
        std::error_code ec;
        if (std::filesystem::is_regular_file(PathFromText(RecordText(entry.location)), ec)) {
            list.push_back(entry);
        }
    }
    return list;
}

bool CEffectStore::AppendDownloadedEffect(const CloudEffectEntry& entry) const {
    if (m_path.empty()) {
        return false;
    }
    const int count = std::max(0, pp::GetPrivateProfileInt(keys::kDownloadEffect, keys::kCount, 0,
                                                            m_path));
    return Write(keys::kDownloadEffect, DecimalText(count), entry) &&
           pp::WritePrivateProfileString(keys::kDownloadEffect, keys::kCount,
                                         DecimalText(count + 1), m_path);
}

}  // namespace model
