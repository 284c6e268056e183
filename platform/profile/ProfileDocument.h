#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::profile {

// One profile (INI) file in memory, kept line by line so that an edit changes only the lines it
// must: comments, blank lines, unknown lines, the spacing and the line ends of every untouched
// line come back exactly as they were read. The Windows functions rewrite the whole file from
// their parsed form; a file they wrote reads the same here and the other way round.
//
// Reading rules (those of the Windows profile functions):
//  - lines end at LF; a CR before it belongs to the line end; leading and trailing white space of
//    names and values is ignored;
//  - "[name]" starts a section (text after the last ']' is ignored); a line before the first
//    section belongs to no section and is never found;
//  - "name=value" is a key of the section above it; a line starting with ';' is a comment; any
//    other line is kept but means nothing;
//  - section and key names match without regard to ASCII letter case; other characters must be
//    equal;
//  - when a section name occurs more than once, the first one counts; when a key occurs more
//    than once in it, the first one counts.
class CProfileDocument {
public:
    CProfileDocument() = default;

    static CProfileDocument Parse(std::u16string_view text);

    // The whole text, line ends included.
    std::u16string Text() const;

    // The trimmed value, or nothing when the section or the key is missing.
    std::optional<std::u16string_view> Find(std::u16string_view section,
                                            std::u16string_view key) const;

    // The edits return true when the text changed. Names and values must have passed
    // IsValidSectionName, IsValidKeyName and IsValidValue.
    //
    // A key that exists gets the new value in its own line, which keeps its name as written; a
    // new key goes after the last key of the section; a new section goes to the end of the file.
    // New lines end with CR LF.
    bool Set(std::u16string_view section, std::u16string_view key, std::u16string_view value);
    // Removes the key from every section of that name.
    bool DeleteKey(std::u16string_view section, std::u16string_view key);
    // Removes every section of that name: its header and its lines up to its last key; blank and
    // comment lines after the last key stay, as they usually introduce the next section.
    bool DeleteSection(std::u16string_view section);

    std::vector<std::u16string> SectionNames() const;
    std::vector<std::u16string> KeyNames(std::u16string_view section) const;
    // Every key line of the section (the first of that name) in file order, duplicates
    // included, as name and trimmed value; the views live as long as the document.
    std::vector<std::pair<std::u16string_view, std::u16string_view>> Entries(
        std::u16string_view section) const;

    size_t LineCount() const { return m_lines.size(); }

    static bool IsValidSectionName(std::u16string_view name);
    static bool IsValidKeyName(std::u16string_view name);
    static bool IsValidValue(std::u16string_view value);

    static std::u16string_view Trim(std::u16string_view text);
    static bool EqualNoCase(std::u16string_view a, std::u16string_view b);

private:
    // Drops the lines marked true, keeping the order of the rest.
    void RemoveMarkedLines(const std::vector<bool>& remove);
    enum class Kind : uint8_t { kBlank, kComment, kSection, kKey, kOther };
    enum class Eol : uint8_t { kNone, kLf, kCrLf };

    struct Line {
        std::u16string text;  // without the line end
        Eol eol = Eol::kNone;
        Kind kind = Kind::kBlank;
        // kSection: the name; kKey: the name, and the value from valueBegin to valueEnd.
        size_t nameBegin = 0;
        size_t nameEnd = 0;
        size_t valueBegin = 0;
        size_t valueEnd = 0;

        std::u16string_view Name() const {
            return std::u16string_view(text).substr(nameBegin, nameEnd - nameBegin);
        }
        std::u16string_view Value() const {
            return std::u16string_view(text).substr(valueBegin, valueEnd - valueBegin);
        }
    };

    static Line MakeLine(std::u16string text, Eol eol);
    static void Classify(Line& line);

    size_t FindSection(std::u16string_view name, size_t from) const;  // npos when none
    size_t FindKey(size_t header, std::u16string_view key) const;     // npos when none
    // The last key (or unknown) line of the section, or the header when it has none.
    size_t LastContentLine(size_t header) const;
    void EnsureLineEnd(size_t index);

    std::vector<Line> m_lines;
};

}  // namespace platform::profile
