#pragma once

#include <filesystem>
#include <vector>

#include "EffectRecords.h"

namespace model {

// The effect and preset records of the settings file, one struct value each:
// "LastStatus"/"CurrentEffect", "DeviceCustomEffect"/"0"-"1", "MyCustomEffect"/"0"-"11",
// "CustomPreset"/"<group>_<slot>" and the download list "DownloadEffect".
// A read fails (and leaves the record untouched) when the key is missing or fails the struct
// check; a write fails when the file cannot be written, leaving it as it was.
class CEffectStore {
public:
    explicit CEffectStore(std::filesystem::path settingsFile);

    const std::filesystem::path& Path() const { return m_path; }

    bool ReadCurrentEffect(EffectRecord& record) const;
    bool WriteCurrentEffect(const EffectRecord& record) const;
    bool ReadDeviceCustomEffect(int slot, EffectRecord& record) const;
    bool WriteDeviceCustomEffect(int slot, const EffectRecord& record) const;
    bool ReadMyCustomEffect(int slot, EffectRecord& record) const;
    bool WriteMyCustomEffect(int slot, const EffectRecord& record) const;
    bool ReadCustomPreset(int group, int slot, GroupPresetRecord& record) const;
    bool WriteCustomPreset(int group, int slot, const GroupPresetRecord& record) const;

    // The download records whose local file still exists, in key order. A count larger than the
    // keys the section holds (a damaged file) reads only what is there.
    std::vector<CloudEffectEntry> ReadDownloadedEffects() const;
    // Appends a download record under the key "count" names, then counts it.
    bool AppendDownloadedEffect(const CloudEffectEntry& entry) const;

private:
    template <typename Record>
    bool Read(const char16_t* section, const std::u16string& key, Record& record) const;
    template <typename Record>
    bool Write(const char16_t* section, const std::u16string& key, const Record& record) const;

    std::filesystem::path m_path;
};

// Between UTF-16 record text and file paths (UTF-8 on this system); an unpaired surrogate in a
// damaged record becomes U+FFFD instead of failing.
std::filesystem::path PathFromText(std::u16string_view text);
std::u16string TextFromPath(const std::filesystem::path& path);

}  // namespace model
