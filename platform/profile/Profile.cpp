#include "profile/Profile.h"

#include <unistd.h>
#include <cstring>
#include <mutex>

#include "Log/Log.h"
#include "profile/ProfileDocument.h"
#include "profile/ProfileFile.h"
#include "profile/ProfileText.h"

#define LOG_SOURCE "platform\\profile\\Profile"

namespace platform::profile {

namespace {

constexpr const char* kTag = "profile";

// Read-modify-write of a file must not interleave with another thread's (the cloud download
// workers write Download.ini while the UI thread may write it too).
std::mutex g_writeMutex;

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    return -1;
}

// Windows reads the number through RtlUnicodeStringToInteger with base 0.
int ParseWindowsInt(std::u16string_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] <= u' ') {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    uint32_t base = 10;
    if (i + 1 < text.size() && text[i] == u'0') {
        if (text[i + 1] == u'x') {
            base = 16;
        } else if (text[i + 1] == u'o') {
            base = 8;
        } else if (text[i + 1] == u'b') {
            base = 2;
        }
        if (base != 10) {
            i += 2;
        }
    }
    uint32_t value = 0;
    for (; i < text.size(); ++i) {
        const int digit = HexDigit(text[i]);
        if (digit < 0 || static_cast<uint32_t>(digit) >= base) {
            break;
        }
        value = value * base + static_cast<uint32_t>(digit);  // wraps like the Windows code
    }
    if (negative) {
        value = 0u - value;
    }
    return static_cast<int>(value);
}

// What GetPrivateProfileString hands out for a value: without matching surrounding quotes, and
// up to a NUL as a C caller would see it.
std::u16string_view StringValue(std::u16string_view value) {
    const size_t nul = value.find(u'\0');
    if (nul != std::u16string_view::npos) {
        value = value.substr(0, nul);
    }
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return value;
}

std::u16string_view DefaultValue(const TextArg& def) {
    std::u16string_view v = def.View();
    while (!v.empty() && v.back() == u' ') {
        v.remove_suffix(1);
    }
    return v;
}

int IntValue(std::optional<std::u16string_view> value, int defaultValue) {
    if (!value) {
        return defaultValue;
    }
    // Windows reads the text into a 30-unit buffer first.
    std::u16string_view text = StringValue(*value).substr(0, 29);
    if (text.empty()) {
        return defaultValue;
    }
    return ParseWindowsInt(text);
}

std::u16string FoldName(std::u16string_view name) {
    std::u16string folded(CProfileDocument::Trim(name));
    for (char16_t& c : folded) {
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c - u'A' + u'a');
        }
    }
    return folded;
}

std::optional<std::u16string_view> Lookup(const CProfileDocument& doc, const TextArg& section,
                                          const TextArg& key) {
    if (section.IsNull() || key.IsNull()) {
        return std::nullopt;
    }
    return doc.Find(section.View(), key.View());
}

}  // namespace

TextArg::TextArg(const char* utf8) : m_null(utf8 == nullptr) {
    if (utf8 != nullptr) {
        m_owned = FromUtf8(utf8);
        m_owns = true;
    }
}

TextArg::TextArg(std::string_view utf8) : m_owns(true), m_owned(FromUtf8(utf8)) {}

TextArg::TextArg(const char8_t* utf8) : m_null(utf8 == nullptr) {
    if (utf8 != nullptr) {
        m_owned = FromUtf8(reinterpret_cast<const char*>(utf8));
        m_owns = true;
    }
}

TextArg::TextArg(std::u8string_view utf8)
    : m_owns(true),
      m_owned(FromUtf8(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()))) {
}

int GetPrivateProfileInt(const TextArg& section, const TextArg& key, int defaultValue,
                         const std::filesystem::path& file) {
    const auto doc = detail::LoadDocument(file);
    return IntValue(Lookup(*doc, section, key), defaultValue);
}

std::u16string GetPrivateProfileString(const TextArg& section, const TextArg& key,
                                       const TextArg& defaultValue,
                                       const std::filesystem::path& file) {
    const auto doc = detail::LoadDocument(file);
    const auto value = Lookup(*doc, section, key);
    if (!value) {
        return std::u16string(DefaultValue(defaultValue));
    }
    return std::u16string(StringValue(*value));
}

uint32_t GetPrivateProfileString(const TextArg& section, const TextArg& key,
                                 const TextArg& defaultValue, char16_t* buffer, uint32_t size,
                                 const std::filesystem::path& file) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    const std::u16string text = GetPrivateProfileString(section, key, defaultValue, file);
    const size_t n = std::min<size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n * sizeof(char16_t));
    buffer[n] = u'\0';
    return static_cast<uint32_t>(n);
}

bool GetPrivateProfileStruct(const TextArg& section, const TextArg& key, void* data, size_t size,
                             const std::filesystem::path& file) {
    if (data == nullptr && size != 0) {
        return false;
    }
    const auto doc = detail::LoadDocument(file);
    const auto value = Lookup(*doc, section, key);
    return value && DecodeStruct(*value, data, size);
}

std::optional<std::u16string> ReadPrivateProfileValue(const TextArg& section, const TextArg& key,
                                                      const std::filesystem::path& file) {
    const auto doc = detail::LoadDocument(file);
    const auto value = Lookup(*doc, section, key);
    if (!value) {
        return std::nullopt;
    }
    return std::u16string(*value);
}

std::vector<std::u16string> GetPrivateProfileSectionNames(const std::filesystem::path& file) {
    return detail::LoadDocument(file)->SectionNames();
}

std::vector<std::u16string> GetPrivateProfileKeyNames(const TextArg& section,
                                                      const std::filesystem::path& file) {
    if (section.IsNull()) {
        return {};
    }
    return detail::LoadDocument(file)->KeyNames(section.View());
}

CProfileSection ReadPrivateProfileSection(const TextArg& section,
                                          const std::filesystem::path& file) {
    CProfileSection read;
    if (section.IsNull()) {
        return read;
    }
    const auto doc = detail::LoadDocument(file);
    for (const auto& [name, value] : doc->Entries(section.View())) {
        if (read.m_index.try_emplace(FoldName(name), read.m_entries.size()).second) {
            read.m_entries.emplace_back(name, value);
        }
    }
    return read;
}

std::optional<std::u16string_view> CProfileSection::Value(const TextArg& key) const {
    if (key.IsNull()) {
        return std::nullopt;
    }
    const auto it = m_index.find(FoldName(key.View()));
    if (it == m_index.end()) {
        return std::nullopt;
    }
    return std::u16string_view(m_entries[it->second].second);
}

int CProfileSection::GetInt(const TextArg& key, int defaultValue) const {
    return IntValue(Value(key), defaultValue);
}

std::u16string CProfileSection::GetString(const TextArg& key, const TextArg& defaultValue) const {
    const auto value = Value(key);
    return std::u16string(value ? StringValue(*value) : DefaultValue(defaultValue));
}

bool CProfileSection::GetStruct(const TextArg& key, void* data, size_t size) const {
    if (data == nullptr && size != 0) {
        return false;
    }
    const auto value = Value(key);
    return value && DecodeStruct(*value, data, size);
}

std::vector<std::u16string> CProfileSection::KeyNames() const {
    std::vector<std::u16string> names;
    names.reserve(m_entries.size());
    for (const auto& entry : m_entries) {
        names.push_back(entry.first);
    }
    return names;
}

std::u16string EncodeStruct(const void* data, size_t size) {
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    std::u16string text;
    text.reserve(size * 2 + 2);
    const auto* bytes = static_cast<const unsigned char*>(data);
    unsigned sum = 0;
    for (size_t i = 0; i < size; ++i) {
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 0x0F];
        sum += bytes[i];
    }
    text += kHex[(sum >> 4) & 0x0F];
    text += kHex[sum & 0x0F];
    return text;
}

bool DecodeStruct(std::u16string_view text, void* data, size_t size) {
    if (size > (text.size() / 2) || text.size() != size * 2 + 2) {
        return false;
    }
    // Decode into a scratch buffer first so that a bad value leaves the caller's default alone.
    std::string bytes(size, '\0');
    unsigned sum = 0;
    for (size_t i = 0; i < size; ++i) {
        const int hi = HexDigit(text[2 * i]);
        const int lo = HexDigit(text[2 * i + 1]);
        if (hi < 0 || lo < 0) {
            return false;
        }
        const auto b = static_cast<unsigned char>((hi << 4) | lo);
        bytes[i] = static_cast<char>(b);
        sum += b;
    }
    const int hi = HexDigit(text[2 * size]);
    const int lo = HexDigit(text[2 * size + 1]);
    if (hi < 0 || lo < 0 || static_cast<unsigned>((hi << 4) | lo) != (sum & 0xFF)) {
        return false;
    }
    if (size != 0) {
        std::memcpy(data, bytes.data(), size);
    }
    return true;
}

bool WritePrivateProfileString(const TextArg& section, const TextArg& key, const TextArg& value,
                               const std::filesystem::path& file) {
    return CProfileBatch().WriteString(section, key, value).Commit(file);
}

bool WritePrivateProfileStruct(const TextArg& section, const TextArg& key, const void* data,
                               size_t size, const std::filesystem::path& file) {
    return CProfileBatch().WriteStruct(section, key, data, size).Commit(file);
}

CProfileBatch& CProfileBatch::WriteString(const TextArg& section, const TextArg& key,
                                          const TextArg& value) {
    if (section.IsNull() || !CProfileDocument::IsValidSectionName(section.View())) {
        m_invalid = true;
    } else if (key.IsNull()) {
        m_ops.push_back({Op::kDeleteSection, std::u16string(section.View()), {}, {}});
    } else if (!CProfileDocument::IsValidKeyName(key.View())) {
        m_invalid = true;
    } else if (value.IsNull()) {
        m_ops.push_back(
            {Op::kDeleteKey, std::u16string(section.View()), std::u16string(key.View()), {}});
    } else if (!CProfileDocument::IsValidValue(value.View())) {
        m_invalid = true;
    } else {
        m_ops.push_back({Op::kSet, std::u16string(section.View()), std::u16string(key.View()),
                         std::u16string(value.View())});
    }
    return *this;
}

CProfileBatch& CProfileBatch::WriteStruct(const TextArg& section, const TextArg& key,
                                          const void* data, size_t size) {
    if (data == nullptr) {
        return WriteString(section, key, nullptr);
    }
    return WriteString(section, key, EncodeStruct(data, size));
}

CProfileBatch& CProfileBatch::DeleteKey(const TextArg& section, const TextArg& key) {
    if (key.IsNull()) {
        m_invalid = true;
        return *this;
    }
    return WriteString(section, key, nullptr);
}

CProfileBatch& CProfileBatch::DeleteSection(const TextArg& section) {
    return WriteString(section, nullptr, nullptr);
}

bool CProfileBatch::Commit(const std::filesystem::path& file) {
    const char* fn = "platform::profile::CProfileBatch::Commit";
    if (m_invalid) {
        VLOG_ERROR(kTag, fn, "refused an invalid section, key or value for %s", file.c_str());
        return false;
    }
    if (file.empty()) {
        return false;
    }
    std::lock_guard<std::mutex> lock(g_writeMutex);

    // Write through a symbolic link instead of replacing the link with a file.
    std::filesystem::path target = file;
    std::error_code ec;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(file, ec))) {
        auto resolved = std::filesystem::canonical(file, ec);
        if (!ec) {
            target = std::move(resolved);
        }
    }

    std::string bytes;
    struct stat info {};
    const detail::ReadStatus status = detail::ReadFileBytes(target, kMaxFileBytes, &bytes, &info);
    if (status == detail::ReadStatus::kError) {
        VLOG_ERROR(kTag, fn, "cannot read %s; not writing it", target.c_str());
        return false;
    }
    if (status == detail::ReadStatus::kTooLarge) {
        VLOG_ERROR(kTag, fn, "%s is larger than %zu bytes; not rewriting it", target.c_str(),
                   kMaxFileBytes);
        return false;
    }
    const bool exists = status == detail::ReadStatus::kOk;
    // Windows opens the file for writing in place, which a read-only file refuses; a rename
    // would not notice.
    if (exists && ::access(target.c_str(), W_OK) != 0) {
        VLOG_ERROR(kTag, fn, "%s is read-only; not writing it", target.c_str());
        return false;
    }

    CProfileDocument doc = exists ? detail::ParseFileBytes(bytes, false) : CProfileDocument();
    bool changed = false;
    for (const Edit& edit : m_ops) {
        switch (edit.op) {
            case Op::kSet:
                changed |= doc.Set(edit.section, edit.key, edit.value);
                break;
            case Op::kDeleteKey:
                changed |= doc.DeleteKey(edit.section, edit.key);
                break;
            case Op::kDeleteSection:
                changed |= doc.DeleteSection(edit.section);
                break;
        }
    }
    if (!changed) {
        return true;
    }
    std::string out = EncodeUtf16LeWithBom(doc.Text());
    if (exists && out == bytes) {
        return true;  // the edits cancelled out
    }
    if (!detail::ReplaceFileAtomically(target, out, exists ? &info : nullptr)) {
        return false;
    }
    detail::RememberDocument(target, out, std::make_shared<const CProfileDocument>(std::move(doc)));
    return true;
}

}  // namespace platform::profile
