#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

// The settings file: data folder + "\\LyntConfigData.db", a UTF-16LE INI file read
// and written only through platform/profile with the path CConfigData holds.

// Sections and keys of the settings file, for every part of the program that reads or writes it,
// so the names are spelt in one place.
namespace config_keys {
inline constexpr char16_t kSettings[] = u"Settings";
inline constexpr char16_t kCloseBtnOperation[] = u"CloseBtnOperation";
inline constexpr char16_t kMainWinTopmost[] = u"MainWinTopmost";
inline constexpr char16_t kHotKey[] = u"HotKey";          // keys "10000" … "10018"
inline constexpr char16_t kSoundTrack[] = u"SoundTrack";  // in kHotKey
inline constexpr char16_t kTime[] = u"Time";
inline constexpr char16_t kLastRecordTime[] = u"LastRecordTime";
inline constexpr char16_t kLastStatus[] = u"LastStatus";
inline constexpr char16_t kCurrentEffect[] = u"CurrentEffect";
inline constexpr char16_t kCustomPreset[] = u"CustomPreset";              // keys "%d_%d"
inline constexpr char16_t kDeviceCustomEffect[] = u"DeviceCustomEffect";  // keys "0", "1"
inline constexpr char16_t kMyCustomEffect[] = u"MyCustomEffect";          // keys "0" … "11"
inline constexpr char16_t kDownloadEffect[] = u"DownloadEffect";          // "count", "0" …
inline constexpr char16_t kCount[] = u"count";
}  // namespace config_keys

// The settings store: the file path and the "Settings" integers, read once at start-up (the
// program never writes them; a user edits them while the program is not running). One instance
// for the program (Instance()); tests make their own.
class CConfigData {
public:
    enum Index : int { kCloseBtnOperation = 0, kMainWinTopmost = 1, kSettingCount = 2 };

    struct SettingRow {
        int index;
        const char16_t* key;
        int defaultValue;
    };
    static constexpr std::array<SettingRow, kSettingCount> kTable{{
        {kCloseBtnOperation, config_keys::kCloseBtnOperation, 1},
        {kMainWinTopmost, config_keys::kMainWinTopmost, 0},
    }};

    static constexpr char kFileName[] = "LyntConfigData.db";
    static constexpr size_t kTextBufferChars = 260;  // text values: up to 259 characters

    CConfigData();

    // The program's store, created on first use.
    static CConfigData& Instance();
    // appbase::DataFolder() / "LyntConfigData.db". Empty (logged) when there is no data folder
    // (no home folder known, or the folder cannot be made): the settings file lives there or
    // nowhere, never in the working directory.
    static std::filesystem::path DefaultPath();

    // Stores the path (false when it is empty or relative: the defaults stay and no path is kept,
    // so nothing is written relative to the working directory); creates the file holding only
    // the byte-order mark FF FE when it is missing; reads the "Settings" table. A file that cannot
    // be created is logged and the defaults are used: Load still returns true.
    bool Load(const std::filesystem::path& path);
    // Load(DefaultPath()): false when there is no data folder.
    bool LoadDefault() { return Load(DefaultPath()); }

    // The loaded value, or the table's default before a successful Load; 0 for an unknown index.
    int GetInt(int index) const;
    const std::filesystem::path& GetPath() const { return m_path; }
    bool IsLoaded() const { return m_loaded; }

    // "DownloadEffect"/"count" written as "%ld".
    bool SetDownloadCount(long count);
    // "DownloadEffect"/"count", 0 when missing or negative.
    long GetDownloadCount() const;
    // The cloud download count update in one atomic write: the record under the key of the current count,
    // then count + 1; a crash can not leave a record that the count does not cover.
    bool AddDownloadRecord(const void* record, size_t size);

    // "Time"/"LastRecordTime" (hh:mm:ss), empty when missing; at most 259 characters.
    std::u16string GetLastRecordTime() const;
    bool SetLastRecordTime(std::u16string_view text);

private:
    std::filesystem::path m_path;
    std::array<int, kSettingCount> m_values{};
    bool m_loaded = false;
};
