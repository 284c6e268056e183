#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The Windows profile-file functions (GetPrivateProfileIntW and friends) on Linux, for the
// program's two settings files and the cloud download list. Files are UTF-16LE INI files with a
// byte-order mark, so a user's files move between Windows and Linux unchanged.
//
// Semantics follow Windows: section and key names match without regard to (ASCII) letter case and
// surrounding white space; values are trimmed; a value in matching quotes loses them when read as
// text; a new key goes to the end of its section and a new section to the end of the file; new
// lines end with CR LF; struct values are the bytes as upper-case hexadecimal digits followed by
// two digits of their sum modulo 256. An edit changes only the lines it must: everything else in
// the file stays byte for byte (see CProfileDocument).
//
// Every write reaches the disk before it returns, atomically: a temporary file in the same folder
// is written and flushed, then renamed over the file, and the folder is flushed. When any step
// fails (disk full, read-only folder or file, missing folder) the call returns false, logs the
// reason and the file is as it was. A write that changes nothing does not touch the file.
//
// Files damaged by hand are read as far as they make sense and never crash the reader: a file
// without a byte-order mark is read as UTF-8 (or UTF-16LE when it plainly is), an odd last byte
// is ignored, garbage lines mean nothing, and of a file larger than kMaxFileBytes only the lines
// in its first kMaxFileBytes are read. Such a file is rewritten as UTF-16LE with a byte-order mark
// at its next change; a file larger than kMaxFileBytes is never rewritten (writes return false),
// so a damaged file is not silently cut.
//
// All functions may be called from any thread; writes to the same file are serialised within the
// process. Another process writing the same file at the same moment is not coordinated with.
namespace platform::profile {

// Larger files are read only in part and never written.
inline constexpr size_t kMaxFileBytes = size_t{32} << 20;

// A section, key or value text argument: UTF-16 (u"..." literals, std::u16string), UTF-8
// ("..." and u8"..." literals, std::string), or null (nullptr), which the write functions take
// as "delete" like their Windows counterparts.
class TextArg {
public:
    TextArg(std::nullptr_t) : m_null(true) {}
    TextArg(const char16_t* text) : m_null(text == nullptr), m_view(text ? text : u"") {}
    TextArg(std::u16string_view text) : m_view(text) {}
    TextArg(const std::u16string& text) : m_view(text) {}
    TextArg(const char* utf8);
    TextArg(std::string_view utf8);
    TextArg(const std::string& utf8) : TextArg(std::string_view(utf8)) {}
    TextArg(const char8_t* utf8);
    TextArg(std::u8string_view utf8);

    bool IsNull() const { return m_null; }
    // Empty for a null argument.
    std::u16string_view View() const { return m_owns ? std::u16string_view(m_owned) : m_view; }

private:
    bool m_null = false;
    bool m_owns = false;
    std::u16string_view m_view;
    std::u16string m_owned;
};

// Reading. A null or empty section or key reads as missing.

// The key's value as a number, parsed as Windows does: leading white space, an optional sign, then
// "0x" (hexadecimal), "0o" (octal), "0b" (binary) or decimal digits, up to the first other
// character ("12abc" is 12, "abc" is 0); the result wraps like a 32-bit value. A missing key or an
// empty value gives defaultValue.
int GetPrivateProfileInt(const TextArg& section, const TextArg& key, int defaultValue,
                         const std::filesystem::path& file);

// The key's value, or defaultValue (without its trailing spaces) when the key is missing.
std::u16string GetPrivateProfileString(const TextArg& section, const TextArg& key,
                                       const TextArg& defaultValue,
                                       const std::filesystem::path& file);

// The Windows form: copies at most size - 1 units and a terminating zero into buffer and returns
// the number of units copied (the settings code's usual 260-character buffer is size 260).
uint32_t GetPrivateProfileString(const TextArg& section, const TextArg& key,
                                 const TextArg& defaultValue, char16_t* buffer, uint32_t size,
                                 const std::filesystem::path& file);

// Fills data with exactly size bytes from a struct value. False, with data untouched, when the key
// is missing, the value has another length, holds a non-hexadecimal digit or its sum is wrong.
bool GetPrivateProfileStruct(const TextArg& section, const TextArg& key, void* data, size_t size,
                             const std::filesystem::path& file);

// Writing. A null key deletes the whole section; a null value (or null data) deletes the key.
// Names and values must not hold line breaks or NUL; a section name must not hold ']' and a key
// name must not hold '=' nor start with '[' or ';' (Windows would write them and then not read
// them back); such a call returns false without touching the file.

bool WritePrivateProfileString(const TextArg& section, const TextArg& key, const TextArg& value,
                               const std::filesystem::path& file);

bool WritePrivateProfileStruct(const TextArg& section, const TextArg& key, const void* data,
                               size_t size, const std::filesystem::path& file);

// Beyond the Windows functions.

// The trimmed value as written in the file (quotes kept), nothing when the key is missing.
std::optional<std::u16string> ReadPrivateProfileValue(const TextArg& section, const TextArg& key,
                                                      const std::filesystem::path& file);

// Section names and the key names of a section, in file order, each once.
std::vector<std::u16string> GetPrivateProfileSectionNames(const std::filesystem::path& file);
std::vector<std::u16string> GetPrivateProfileKeyNames(const TextArg& section,
                                                      const std::filesystem::path& file);

// One section read whole, for loading a list: one read of the file instead of one per key (a
// file written in the last seconds is compared byte for byte on every read, see ClearReadCache).
// Its reads answer as the functions above would have at the moment the section was read.
class CProfileSection {
public:
    CProfileSection() = default;

    std::optional<std::u16string_view> Value(const TextArg& key) const;
    int GetInt(const TextArg& key, int defaultValue) const;
    std::u16string GetString(const TextArg& key, const TextArg& defaultValue) const;
    bool GetStruct(const TextArg& key, void* data, size_t size) const;
    // Key names in file order, each once.
    std::vector<std::u16string> KeyNames() const;
    size_t KeyCount() const { return m_entries.size(); }

private:
    friend CProfileSection ReadPrivateProfileSection(const TextArg& section,
                                                     const std::filesystem::path& file);
    // The first line of each name, in file order; the index maps a name folded to ASCII lower
    // case to its entry.
    std::vector<std::pair<std::u16string, std::u16string>> m_entries;
    std::unordered_map<std::u16string, size_t> m_index;
};

CProfileSection ReadPrivateProfileSection(const TextArg& section,
                                          const std::filesystem::path& file);

// The struct text Windows writes for these bytes ("0102" + sum "03").
std::u16string EncodeStruct(const void* data, size_t size);
// Decodes a struct text of exactly size bytes; false when it is not one.
bool DecodeStruct(std::u16string_view text, void* data, size_t size);

// Several writes to one file as one atomic write: either all of them reach the file or none does.
// For stores that rewrite whole sections (the sound-pad store deletes and rewrites six lists), so
// a crash or a full disk cannot leave half a list behind, and the file is flushed once.
class CProfileBatch {
public:
    CProfileBatch& WriteString(const TextArg& section, const TextArg& key, const TextArg& value);
    CProfileBatch& WriteStruct(const TextArg& section, const TextArg& key, const void* data,
                               size_t size);
    CProfileBatch& DeleteKey(const TextArg& section, const TextArg& key);
    CProfileBatch& DeleteSection(const TextArg& section);

    // Applies the edits in order to the file as it is now and writes it. False (and the file
    // unchanged) when an edit was invalid or the write failed.
    bool Commit(const std::filesystem::path& file);

    bool Empty() const { return m_ops.empty(); }

private:
    enum class Op : uint8_t { kSet, kDeleteKey, kDeleteSection };
    struct Edit {
        Op op;
        std::u16string section;
        std::u16string key;
        std::u16string value;
    };
    std::vector<Edit> m_ops;
    bool m_invalid = false;
};

// Drops the read cache. Never needed for correctness (the cache re-reads a file whose identity
// or times changed, and compares the contents of a recently changed one); for timing reads.
void ClearReadCache();

}  // namespace platform::profile
