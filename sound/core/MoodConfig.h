#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "HotkeyRegistrar.h"
#include "MoodItem.h"
#include "MoodWriter.h"
#include "ccm_util/Lock.h"

namespace sound {

// The sound-pad store: favourites (each with its hotkey), the user's local clips, the downloaded
// cloud clips, the cloud categories of this run, the last clip played, the sound-pad volume and
// the switch for global hotkeys, kept in the sound-pad file. It also owns the registration of
// every global hotkey, the favourites' and the effect buttons', so that one switch and one
// conflict check cover both.
//
// The UI thread uses everything but the categories, which the cloud worker fills; those are
// guarded by a lock and handed out as copies. Every list change rewrites the list sections in one
// atomic write; a write that fails is logged and reported, and the lists keep the change, except
// a new favourite, which is taken back. Writes happen at once, or, once CoalesceWrites was called
// (the panel), on a thread of their own at most once per interval: the store answers from memory,
// a write that fails is tried again, and Flush and the destructor write what is pending.
class CMoodConfig {
public:
    // Favourite i's hotkey is registered under id kFavouriteHotkeyBase + i; effect buttons use
    // their own ids, which must lie below it.
    static constexpr int kFavouriteHotkeyBase = 14000;
    static constexpr int kDefaultVolume = 50;  // a fresh file
    static constexpr int kMissingVolume = 76;  // a file without Config/Volume
    static constexpr char kFileName[] = "LyntMoodcfg.ini";

    CMoodConfig();
    // Releases the hotkeys still registered (see SetHotkeyRegistrar).
    ~CMoodConfig();
    CMoodConfig(const CMoodConfig&) = delete;
    CMoodConfig& operator=(const CMoodConfig&) = delete;

    // appbase::DataFolder() / "LyntMoodcfg.ini"; empty (logged) when there is no data folder.
    static std::filesystem::path DefaultPath();

    // Stores the path; loads the file when it exists, otherwise creates it holding only the
    // byte-order mark, with volume 50 and hotkeys disabled. False only when the path is empty or
    // relative or the file cannot be created: the store then stays empty with its defaults.
    bool Init(const std::filesystem::path& path);
    // Reads the file: damaged entries are skipped one by one, as are local and downloaded clips
    // that are not an existing file at an absolute path, and favourites that are neither a file
    // nor one of the built-in clips. Volume is clamped to 0..100.
    void Load();
    // Rewrites the six list sections and Config/Volume, Config/EnableHotKey.
    bool Save();
    // From now on writes are coalesced (see above); the list operations then return true once
    // their change is queued.
    void CoalesceWrites(std::chrono::milliseconds interval);
    // Writes what is pending and waits for it; false when a write failed.
    bool Flush();
    const CMoodWriter& Writer() const { return m_writer; }

    const std::filesystem::path& Path() const { return m_path; }

    // The list operations return false when they changed nothing (index out of range, item
    // refused) or the write failed.

    // Favourites. Hotkey ids follow positions, so a change that moves entries re-registers all
    // hotkeys when they are enabled.
    const std::vector<MoodItem>& Favourites() const { return m_favourites; }
    // Refused when the list is full, the item cannot be stored (IsStorable) or is neither a file
    // nor a built-in clip.
    bool AddFavourite(const MoodItem& item);
    bool RemoveFavourite(size_t index);
    // Removes every favourite with exactly this name and path; true when one was removed.
    bool RemoveFavouritesOf(const MoodItem& item);
    // A favourite with the same path, compared without regard to (ASCII) letter case.
    bool IsFavourite(const MoodItem& item) const;
    uint32_t GetFavouriteHotkey(size_t index) const;
    // Stores and saves; the caller registers (RegisterHotkeys).
    bool SetFavouriteHotkey(size_t index, uint32_t hotkey);

    // The user's own clips.
    const std::vector<MoodItem>& LocalClips() const { return m_local; }
    // Replaces the first clip with exactly the same name.
    bool AddLocalClip(const MoodItem& item);
    bool RemoveLocalClip(size_t index);
    // The name is cut to kMaxClipNameChars.
    bool RenameLocalClip(size_t index, std::u16string_view name);

    // The downloaded cloud clips.
    const std::vector<MoodItem>& Downloaded() const { return m_downloaded; }
    // Replaces the first clip with the same cloud id.
    bool AddDownloaded(const MoodItem& item);
    std::optional<MoodItem> FindDownloaded(int32_t cloudId) const;

    // Hotkeys. The effect table maps effect button ids to hotkeys; the effects page fills it.
    bool HotkeysEnabled() const { return m_hotkeysEnabled; }
    // on -> off unregisters all, off -> on registers all; writes Config/EnableHotKey.
    bool SetHotkeysEnabled(bool on);
    // False for 0; true when a favourite or an effect button has this hotkey.
    bool IsHotkeyInUse(uint32_t hotkey) const;
    // Puts the value in the effect table (0: none); when hotkeys are enabled, the id's system
    // registration follows it. False for an id outside the effect buttons' range.
    bool SetEffectHotkey(int id, uint32_t hotkey);
    uint32_t GetEffectHotkey(int id) const;
    const std::map<int, uint32_t>& EffectHotkeys() const { return m_effectHotkeys; }
    // Brings the system registrations in line with the favourites and the effect table: ids
    // whose hotkey changed or went are released, the others registered. Failures are ignored:
    // the entry stays without an active hotkey (IsHotkeyRegistered tells).
    void RegisterHotkeys();
    // Releases every id this store registered.
    void UnregisterHotkeys();
    bool IsHotkeyRegistered(int id) const { return m_registered.count(id) != 0; }
    // The service hotkeys go to; null: none (nothing is registered). The registrar must outlive
    // the store or be replaced first: replacing releases what the old one holds.
    void SetHotkeyRegistrar(IHotkeyRegistrar* registrar);

    // Volume 0..100 (values outside are clamped); writes Config/Volume.
    int Volume() const { return m_volume; }
    bool SetVolume(int volume);

    // The last clip played (all zero: none) and its length in whole seconds.
    const MoodItem& LastPlayed() const { return m_lastPlayed; }
    bool SetLastPlayed(const MoodItem& item);
    bool SetLastPlayedLength(std::u16string_view seconds);
    int GetLastPlayedLength() const;

    // Cloud categories of this run, for the cloud worker and the page.
    void ClearCategories();
    // The new category's index, -1 when names and item lists would not match.
    int AddCategory(std::u16string_view name, std::vector<MoodItem> items);
    // Appends to category's entries; false when the index is no longer valid (cleared meanwhile).
    bool AppendCategoryItems(size_t category, const std::vector<MoodItem>& items);
    // False when an index is out of range.
    bool SetCloudItemState(size_t category, size_t index, int32_t state);
    size_t CategoryCount() const;
    std::u16string CategoryName(size_t category) const;
    std::vector<MoodItem> CategoryItems(size_t category) const;
    std::optional<MoodItem> CloudItem(size_t category, size_t index) const;

    // Whether an item can go into a list and come back from the file as it went in.
    static bool IsStorable(const MoodItem& item);

private:
    bool FavouritesChanged();  // re-register when enabled, save
    bool Persist(MoodChanges changes);
    std::map<int, uint32_t> WantedHotkeys() const;
    void TryRegister(int id, uint32_t hotkey);

    std::filesystem::path m_path;
    bool m_hotkeysEnabled = false;
    int m_volume = kDefaultVolume;
    std::vector<MoodItem> m_local;
    std::vector<MoodItem> m_downloaded;
    std::vector<MoodItem> m_favourites;

    mutable ccm_util::CLock m_categoryLock;  // guards the two category vectors
    std::vector<std::vector<MoodItem>> m_categories;
    std::vector<std::u16string> m_categoryNames;

    MoodItem m_lastPlayed{};
    std::map<int, uint32_t> m_effectHotkeys;
    IHotkeyRegistrar* m_registrar = nullptr;
    std::map<int, uint32_t> m_registered;  // id -> hotkey the registrar holds for us
    int m_lastPlayedLength = 0;

    CMoodWriter m_writer;  // last: its destructor writes what is pending
};

}  // namespace sound
