#include "MoodFile.h"

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#include "Log/Log.h"
#include "profile/ProfileText.h"

#define LOG_SOURCE "sound\\core\\MoodFile"

namespace sound::mood_file {

namespace pp = platform::profile;

namespace {

constexpr const char* kTag = "mood";

std::u16string Key(size_t i) {
    const std::string text = std::to_string(i);
    return std::u16string(text.begin(), text.end());
}

// Reads the path of an entry; false when the key is missing or the path cannot be the field's.
bool ReadPath(const pp::CProfileSection& paths, const std::u16string& key, MoodItem& item) {
    return paths.Value(key) && SetClipPath(item, paths.GetString(key, u""));
}

}  // namespace

bool CreateWithByteOrderMark(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        if (errno == EEXIST) {
            return true;  // made meanwhile: fine
        }
        VLOG_ERROR(kTag, "CreateWithByteOrderMark", "cannot create %s: %s", file.c_str(),
                   std::strerror(errno));
        return false;
    }
    static constexpr unsigned char kBom[] = {0xFF, 0xFE};
    ssize_t n;
    do {
        n = ::write(fd, kBom, sizeof kBom);
    } while (n < 0 && errno == EINTR);
    const int writeError = n < 0 ? errno : 0;
    const bool ok = n == static_cast<ssize_t>(sizeof kBom) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!ok || !closed) {
        VLOG_ERROR(kTag, "CreateWithByteOrderMark", "cannot write %s: %s", file.c_str(),
                   std::strerror(writeError != 0 ? writeError : errno));
        ::unlink(file.c_str());
        return false;
    }
    return true;
}

std::vector<MoodItem> ReadList(const ListSections& sections, const std::filesystem::path& file) {
    std::vector<MoodItem> list;
    // Each section read once: a list of a thousand entries is otherwise thousands of reads.
    const pp::CProfileSection items = pp::ReadPrivateProfileSection(sections.items, file);
    const pp::CProfileSection paths = pp::ReadPrivateProfileSection(sections.paths, file);
    const int count = items.GetInt(kCount, 0);
    // A count edited to millions reads no more keys than the section holds.
    const size_t keys = items.KeyCount();
    const size_t n = std::min({static_cast<size_t>(std::max(count, 0)), keys, kMaxListEntries});
    if (static_cast<size_t>(std::max(count, 0)) > kMaxListEntries) {
        VLOG_ERROR(kTag, "ReadList", "[%s] count %d: reading the first %zu entries only",
                   pp::ToUtf8(sections.items).c_str(), count, kMaxListEntries);
    }
    for (size_t i = 0; i < n; ++i) {
        const std::u16string key = Key(i);
        MoodItem item{};
        if (!items.GetStruct(key, &item, kMoodStoredBytes) || !ReadPath(paths, key, item)) {
            continue;
        }
        TerminateClipText(item);
        list.push_back(item);
    }
    return list;
}

void WriteList(pp::CProfileBatch& batch, const ListSections& sections,
               const std::vector<MoodItem>& list) {
    batch.WriteString(sections.items, kCount, Key(list.size()));
    for (size_t i = 0; i < list.size(); ++i) {
        batch.WriteStruct(sections.items, Key(i), &list[i], kMoodStoredBytes);
    }
    for (size_t i = 0; i < list.size(); ++i) {
        batch.WriteString(sections.paths, Key(i), ClipPath(list[i]));
    }
}

bool ReadLastPlayed(MoodItem& item, const std::filesystem::path& file) {
    MoodItem read{};
    if (!pp::GetPrivateProfileStruct(kLastPlayMood, u"0", &read, kLastPlayedStoredBytes, file)) {
        return false;
    }
    // The two path characters of the value are overwritten by the full path.
    if (!ReadPath(pp::ReadPrivateProfileSection(kLastPlayMoodPath, file), u"0", read)) {
        SetClipPath(read, u"");
    }
    TerminateClipText(read);
    item = read;
    return true;
}

void WriteLastPlayed(pp::CProfileBatch& batch, const MoodItem& item) {
    batch.WriteStruct(kLastPlayMood, u"0", &item, kLastPlayedStoredBytes)
        .WriteString(kLastPlayMoodPath, u"0", ClipPath(item));
}

}  // namespace sound::mood_file
