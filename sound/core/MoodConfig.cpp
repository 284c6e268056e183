#include "MoodConfig.h"

#include <algorithm>
#include <string>
#include <system_error>

#include "DataFolder.h"
#include "Log/Log.h"
#include "MoodFile.h"
#include "profile/Profile.h"
#include "profile/ProfileDocument.h"
#include "profile/ProfileText.h"

#define LOG_SOURCE "sound\\core\\MoodConfig"

namespace sound {

namespace pp = platform::profile;
namespace mf = mood_file;

namespace {

constexpr const char* kTag = "mood";

// Favourites play from a built-in resource or a file; a resource name that is not one of ours
// would only ever fail to open, and must not reach a resource loader.
bool IsFavouriteKind(const MoodItem& item) {
    return item.kind == kMoodFile ||
           (item.kind == kMoodResource && FindBuiltinClip(ClipPath(item)) >= 0);
}

bool IsFileClip(const MoodItem& item) {
    return item.kind == kMoodFile && !ClipFilePath(item).empty();
}

bool FileExists(const MoodItem& item) {
    std::error_code ec;
    return std::filesystem::is_regular_file(ClipFilePath(item), ec);
}

template <typename Keep>
std::vector<MoodItem> ReadListKeeping(const mf::ListSections& sections,
                                      const std::filesystem::path& file, Keep keep) {
    std::vector<MoodItem> list = mf::ReadList(sections, file);
    const size_t before = list.size();
    std::erase_if(list, [&](const MoodItem& item) { return !keep(item); });
    if (list.size() != before) {
        VLOG_INFO(kTag, "CMoodConfig::Load", "[%s]: %zu of %zu entries dropped",
                  pp::ToUtf8(sections.items).c_str(), before - list.size(), before);
    }
    return list;
}

}  // namespace

CMoodConfig::CMoodConfig() = default;

CMoodConfig::~CMoodConfig() {
    UnregisterHotkeys();
}

std::filesystem::path CMoodConfig::DefaultPath() {
    const std::filesystem::path folder = appbase::DataFolder();
    std::error_code ec;
    if (folder.empty() || !std::filesystem::is_directory(folder, ec)) {
        VLOG_ERROR(kTag, "CMoodConfig::DefaultPath", "no data folder: no sound-pad file");
        return {};
    }
    return folder / kFileName;
}

void CMoodConfig::CoalesceWrites(std::chrono::milliseconds interval) {
    m_writer.Coalesce(interval);
}

bool CMoodConfig::Flush() {
    return m_writer.Flush();
}

bool CMoodConfig::Persist(MoodChanges changes) {
    return !m_path.empty() && m_writer.Write(m_path, std::move(changes));
}

bool CMoodConfig::Init(const std::filesystem::path& path) {
    // Whatever happens below, nothing of an earlier file stays; its pending changes reach it.
    m_writer.Flush();
    UnregisterHotkeys();
    m_path.clear();
    m_favourites.clear();
    m_local.clear();
    m_downloaded.clear();
    m_lastPlayed = MoodItem{};
    m_lastPlayedLength = 0;
    m_volume = kDefaultVolume;
    m_hotkeysEnabled = false;
    if (path.empty() || !path.is_absolute()) {
        VLOG_ERROR(kTag, "CMoodConfig::Init", "no sound-pad file in a data folder (path \"%s\")",
                   path.c_str());
        return false;
    }
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
        m_path = path;
        Load();
        return true;
    }
    if (!mf::CreateWithByteOrderMark(path)) {
        return false;
    }
    m_path = path;
    return true;
}

void CMoodConfig::Load() {
    if (m_path.empty()) {
        return;
    }
    m_writer.Flush();  // the file first holds what this store changed
    m_favourites = ReadListKeeping(mf::kFavourites, m_path, IsFavouriteKind);
    m_local = ReadListKeeping(mf::kLocalClips, m_path, [](const MoodItem& item) {
        return IsFileClip(item) && FileExists(item);
    });
    m_downloaded = ReadListKeeping(mf::kDownloaded, m_path, [](const MoodItem& item) {
        return IsFileClip(item) && FileExists(item);
    });
    m_lastPlayed = MoodItem{};
    mf::ReadLastPlayed(m_lastPlayed, m_path);
    m_lastPlayedLength =
        std::max(0, pp::GetPrivateProfileInt(mf::kLastPlayMoodTotal, mf::kMoodTotalTime, 0, m_path));
    m_volume = std::clamp(
        pp::GetPrivateProfileInt(mf::kConfig, mf::kVolume, kMissingVolume, m_path), 0, 100);
    m_hotkeysEnabled = pp::GetPrivateProfileInt(mf::kConfig, mf::kEnableHotKey, 0, m_path) != 0;
    // A reload under registered hotkeys: registrations follow the lists just read.
    if (!m_registered.empty()) {
        if (m_hotkeysEnabled) {
            RegisterHotkeys();
        } else {
            UnregisterHotkeys();
        }
    }
}

bool CMoodConfig::Save() {
    if (m_path.empty()) {
        return false;
    }
    MoodChanges changes;
    changes.lists = MoodChanges::Lists{m_favourites, m_local, m_downloaded};
    changes.volume = m_volume;
    changes.hotkeysEnabled = m_hotkeysEnabled;
    return Persist(std::move(changes));
}

bool CMoodConfig::IsStorable(const MoodItem& item) {
    const std::u16string path = ClipPath(item);
    if (path.find_first_of(u"\r\n") != std::u16string::npos ||
        pp::CProfileDocument::Trim(path).size() != path.size()) {
        return false;
    }
    // The reader takes matching quotes off a value.
    return !(path.size() >= 2 && (path.front() == u'"' || path.front() == u'\'') &&
             path.back() == path.front());
}

bool CMoodConfig::FavouritesChanged() {
    if (m_hotkeysEnabled) {
        RegisterHotkeys();
    }
    return Save();
}

bool CMoodConfig::AddFavourite(const MoodItem& item) {
    if (m_favourites.size() >= mf::kMaxListEntries || !IsStorable(item) || !IsFavouriteKind(item)) {
        VLOG_ERROR(kTag, "CMoodConfig::AddFavourite", "clip not added (kind %d, %zu favourites)",
                   item.kind, m_favourites.size());
        return false;
    }
    MoodItem copy = item;
    TerminateClipText(copy);
    m_favourites.push_back(copy);
    // Appending moves no entry: the new one registers with the others when the caller asks.
    if (!Save()) {
        // Not kept: the user sees it was not added and may try again (no "already there").
        m_favourites.pop_back();
        return false;
    }
    return true;
}

bool CMoodConfig::RemoveFavourite(size_t index) {
    if (index >= m_favourites.size()) {
        return false;
    }
    m_favourites.erase(m_favourites.begin() + static_cast<std::ptrdiff_t>(index));
    return FavouritesChanged();
}

bool CMoodConfig::RemoveFavouritesOf(const MoodItem& item) {
    const std::u16string name = ClipName(item);
    const std::u16string path = ClipPath(item);
    const size_t removed = std::erase_if(m_favourites, [&](const MoodItem& f) {
        return ClipName(f) == name && ClipPath(f) == path;
    });
    if (removed == 0) {
        return false;
    }
    FavouritesChanged();
    return true;
}

bool CMoodConfig::IsFavourite(const MoodItem& item) const {
    const std::u16string path = ClipPath(item);
    return std::any_of(m_favourites.begin(), m_favourites.end(), [&](const MoodItem& f) {
        return pp::CProfileDocument::EqualNoCase(ClipPath(f), path);
    });
}

uint32_t CMoodConfig::GetFavouriteHotkey(size_t index) const {
    return index < m_favourites.size() ? m_favourites[index].hotkey : 0;
}

bool CMoodConfig::SetFavouriteHotkey(size_t index, uint32_t hotkey) {
    if (index >= m_favourites.size()) {
        return false;
    }
    m_favourites[index].hotkey = hotkey;
    return Save();
}

bool CMoodConfig::AddLocalClip(const MoodItem& item) {
    if (!IsStorable(item) || !IsFileClip(item)) {
        VLOG_ERROR(kTag, "CMoodConfig::AddLocalClip", "not a clip file (kind %d)", item.kind);
        return false;
    }
    const std::u16string name = ClipName(item);
    const auto same = std::find_if(m_local.begin(), m_local.end(),
                                   [&](const MoodItem& c) { return ClipName(c) == name; });
    if (same != m_local.end()) {
        m_local.erase(same);
    } else if (m_local.size() >= mf::kMaxListEntries) {
        return false;
    }
    MoodItem copy = item;
    TerminateClipText(copy);
    m_local.push_back(copy);
    return Save();
}

bool CMoodConfig::RemoveLocalClip(size_t index) {
    if (index >= m_local.size()) {
        return false;
    }
    m_local.erase(m_local.begin() + static_cast<std::ptrdiff_t>(index));
    return Save();
}

bool CMoodConfig::RenameLocalClip(size_t index, std::u16string_view name) {
    if (index >= m_local.size()) {
        return false;
    }
    if (name.size() > kMaxClipNameChars) {
        const bool splitsPair =
            name[kMaxClipNameChars - 1] >= 0xD800 && name[kMaxClipNameChars - 1] <= 0xDBFF;
        name = name.substr(0, splitsPair ? kMaxClipNameChars - 1 : kMaxClipNameChars);
    }
    SetClipName(m_local[index], name);
    return Save();
}

bool CMoodConfig::AddDownloaded(const MoodItem& item) {
    if (!IsStorable(item) || !IsFileClip(item)) {
        VLOG_ERROR(kTag, "CMoodConfig::AddDownloaded", "not a clip file (kind %d)", item.kind);
        return false;
    }
    const auto same = std::find_if(m_downloaded.begin(), m_downloaded.end(),
                                   [&](const MoodItem& c) { return c.cloudId == item.cloudId; });
    if (same != m_downloaded.end()) {
        m_downloaded.erase(same);
    } else if (m_downloaded.size() >= mf::kMaxListEntries) {
        return false;
    }
    MoodItem copy = item;
    TerminateClipText(copy);
    m_downloaded.push_back(copy);
    return Save();
}

std::optional<MoodItem> CMoodConfig::FindDownloaded(int32_t cloudId) const {
    for (const MoodItem& item : m_downloaded) {
        if (item.cloudId == cloudId) {
            return item;
        }
    }
    return std::nullopt;
}

bool CMoodConfig::SetVolume(int volume) {
    m_volume = std::clamp(volume, 0, 100);
    MoodChanges changes;
    changes.volume = m_volume;
    return Persist(std::move(changes));
}

bool CMoodConfig::SetLastPlayed(const MoodItem& item) {
    m_lastPlayed = item;
    TerminateClipText(m_lastPlayed);
    if (m_path.empty() || !IsStorable(m_lastPlayed)) {
        return false;
    }
    MoodChanges changes;
    changes.lastPlayed = m_lastPlayed;
    return Persist(std::move(changes));
}

bool CMoodConfig::SetLastPlayedLength(std::u16string_view seconds) {
    if (m_path.empty() || seconds.find_first_of(u"\r\n") != std::u16string_view::npos) {
        return false;
    }
    // Read back as the file's reader would read it.
    int value = 0;
    for (char16_t c : pp::CProfileDocument::Trim(seconds)) {
        if (c < u'0' || c > u'9' || value > 100000000) {
            break;
        }
        value = value * 10 + (c - u'0');
    }
    m_lastPlayedLength = value;
    MoodChanges changes;
    changes.lastPlayedLength = std::u16string(seconds);
    return Persist(std::move(changes));
}

int CMoodConfig::GetLastPlayedLength() const {
    return m_path.empty() ? 0 : m_lastPlayedLength;
}

}  // namespace sound
