#include "profile/ProfileDocument.h"

#include <algorithm>

namespace platform::profile {

namespace {

constexpr size_t npos = std::u16string_view::npos;

// The Windows functions also count CR and ^Z (an old DOS end-of-file mark) as white space.
bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\v' || c == u'\f' || c == 0x1A;
}

char16_t FoldAscii(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

bool ContainsLineBreakOrNul(std::u16string_view text) {
    return text.find_first_of(std::u16string_view(u"\r\n\0", 3)) != npos;
}

}  // namespace

std::u16string_view CProfileDocument::Trim(std::u16string_view text) {
    size_t b = 0;
    size_t e = text.size();
    while (b < e && IsSpace(text[b])) {
        ++b;
    }
    while (e > b && IsSpace(text[e - 1])) {
        --e;
    }
    return text.substr(b, e - b);
}

bool CProfileDocument::EqualNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

// Windows would write any of these and then not find them again, or turn one value into several
// lines; refusing them keeps every file readable.
bool CProfileDocument::IsValidSectionName(std::u16string_view name) {
    const std::u16string_view trimmed = Trim(name);
    return !trimmed.empty() && !ContainsLineBreakOrNul(name) && name.find(u']') == npos;
}

bool CProfileDocument::IsValidKeyName(std::u16string_view name) {
    const std::u16string_view trimmed = Trim(name);
    return !trimmed.empty() && !ContainsLineBreakOrNul(name) && name.find(u'=') == npos &&
           trimmed.front() != u'[' && trimmed.front() != u';';
}

bool CProfileDocument::IsValidValue(std::u16string_view value) {
    return !ContainsLineBreakOrNul(value);
}

void CProfileDocument::Classify(Line& line) {
    const std::u16string_view text(line.text);
    size_t start = 0;
    while (start < text.size() && IsSpace(text[start])) {
        ++start;
    }
    line.nameBegin = line.nameEnd = line.valueBegin = line.valueEnd = 0;
    if (start == text.size()) {
        line.kind = Kind::kBlank;
        return;
    }
    if (text[start] == u';') {
        line.kind = Kind::kComment;
        return;
    }
    if (text[start] == u'[') {
        const size_t close = text.rfind(u']');
        if (close != npos && close > start) {
            const std::u16string_view inner = text.substr(start + 1, close - start - 1);
            const std::u16string_view name = Trim(inner);
            line.kind = Kind::kSection;
            line.nameBegin = static_cast<size_t>(name.data() - text.data());
            line.nameEnd = line.nameBegin + name.size();
            return;
        }
        // Without a closing bracket Windows reads the line as a key; so do we.
    }
    const size_t eq = text.find(u'=', start);
    if (eq == npos) {
        line.kind = Kind::kOther;
        return;
    }
    size_t nameEnd = eq;
    while (nameEnd > start && IsSpace(text[nameEnd - 1])) {
        --nameEnd;
    }
    size_t valueBegin = eq + 1;
    while (valueBegin < text.size() && IsSpace(text[valueBegin])) {
        ++valueBegin;
    }
    size_t valueEnd = text.size();
    while (valueEnd > valueBegin && IsSpace(text[valueEnd - 1])) {
        --valueEnd;
    }
    line.kind = Kind::kKey;
    line.nameBegin = start;
    line.nameEnd = nameEnd;
    line.valueBegin = valueBegin;
    line.valueEnd = valueEnd;
}

CProfileDocument::Line CProfileDocument::MakeLine(std::u16string text, Eol eol) {
    Line line;
    line.text = std::move(text);
    line.eol = eol;
    Classify(line);
    return line;
}

CProfileDocument CProfileDocument::Parse(std::u16string_view text) {
    CProfileDocument doc;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t lf = text.find(u'\n', pos);
        if (lf == npos) {
            doc.m_lines.push_back(MakeLine(std::u16string(text.substr(pos)), Eol::kNone));
            break;
        }
        size_t end = lf;
        Eol eol = Eol::kLf;
        if (end > pos && text[end - 1] == u'\r') {
            --end;
            eol = Eol::kCrLf;
        }
        doc.m_lines.push_back(MakeLine(std::u16string(text.substr(pos, end - pos)), eol));
        pos = lf + 1;
    }
    return doc;
}

std::u16string CProfileDocument::Text() const {
    size_t total = 0;
    for (const Line& line : m_lines) {
        total += line.text.size() + 2;
    }
    std::u16string out;
    out.reserve(total);
    for (const Line& line : m_lines) {
        out += line.text;
        if (line.eol == Eol::kCrLf) {
            out += u"\r\n";
        } else if (line.eol == Eol::kLf) {
            out += u'\n';
        }
    }
    return out;
}

size_t CProfileDocument::FindSection(std::u16string_view name, size_t from) const {
    for (size_t i = from; i < m_lines.size(); ++i) {
        if (m_lines[i].kind == Kind::kSection && EqualNoCase(m_lines[i].Name(), name)) {
            return i;
        }
    }
    return npos;
}

size_t CProfileDocument::FindKey(size_t header, std::u16string_view key) const {
    for (size_t i = header + 1; i < m_lines.size(); ++i) {
        const Line& line = m_lines[i];
        if (line.kind == Kind::kSection) {
            break;
        }
        if (line.kind == Kind::kKey && EqualNoCase(line.Name(), key)) {
            return i;
        }
    }
    return npos;
}

size_t CProfileDocument::LastContentLine(size_t header) const {
    size_t last = header;
    for (size_t i = header + 1; i < m_lines.size(); ++i) {
        const Kind kind = m_lines[i].kind;
        if (kind == Kind::kSection) {
            break;
        }
        if (kind == Kind::kKey || kind == Kind::kOther) {
            last = i;
        }
    }
    return last;
}

void CProfileDocument::EnsureLineEnd(size_t index) {
    if (m_lines[index].eol == Eol::kNone) {
        m_lines[index].eol = Eol::kCrLf;
    }
}

std::optional<std::u16string_view> CProfileDocument::Find(std::u16string_view section,
                                                          std::u16string_view key) const {
    section = Trim(section);
    key = Trim(key);
    if (section.empty() || key.empty()) {
        return std::nullopt;
    }
    const size_t header = FindSection(section, 0);
    if (header == npos) {
        return std::nullopt;
    }
    const size_t line = FindKey(header, key);
    if (line == npos) {
        return std::nullopt;
    }
    return m_lines[line].Value();
}

bool CProfileDocument::Set(std::u16string_view section, std::u16string_view key,
                           std::u16string_view value) {
    section = Trim(section);
    key = Trim(key);
    // Windows drops the leading white space of a value it writes; the trailing one is written
    // and ignored on reading.
    while (!value.empty() && IsSpace(value.front())) {
        value.remove_prefix(1);
    }
    const size_t header = FindSection(section, 0);
    if (header == npos) {
        if (!m_lines.empty()) {
            EnsureLineEnd(m_lines.size() - 1);
        }
        std::u16string head;
        head.reserve(section.size() + 2);
        head += u'[';
        head += section;
        head += u']';
        m_lines.push_back(MakeLine(std::move(head), Eol::kCrLf));
        std::u16string entry(key);
        entry += u'=';
        entry += value;
        m_lines.push_back(MakeLine(std::move(entry), Eol::kCrLf));
        return true;
    }
    const size_t index = FindKey(header, key);
    if (index != npos) {
        Line& line = m_lines[index];
        if (line.Value() == value) {
            return false;
        }
        // Keep the line as written up to the value ("Key = " stays "Key = ").
        const size_t eq = line.text.find(u'=', line.nameEnd);
        const size_t keep = value.empty() ? eq + 1 : line.valueBegin;
        std::u16string text = line.text.substr(0, keep);
        text += value;
        const Eol eol = line.eol;
        line = MakeLine(std::move(text), eol);
        return true;
    }
    const size_t after = LastContentLine(header);
    EnsureLineEnd(after);
    std::u16string entry(key);
    entry += u'=';
    entry += value;
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(after + 1),
                   MakeLine(std::move(entry), Eol::kCrLf));
    return true;
}

bool CProfileDocument::DeleteKey(std::u16string_view section, std::u16string_view key) {
    section = Trim(section);
    key = Trim(key);
    std::vector<bool> remove(m_lines.size(), false);
    bool any = false;
    bool inSection = false;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const Line& line = m_lines[i];
        if (line.kind == Kind::kSection) {
            inSection = EqualNoCase(line.Name(), section);
        } else if (inSection && line.kind == Kind::kKey && EqualNoCase(line.Name(), key)) {
            remove[i] = true;
            any = true;
        }
    }
    if (!any) {
        return false;
    }
    RemoveMarkedLines(remove);
    return true;
}

void CProfileDocument::RemoveMarkedLines(const std::vector<bool>& remove) {
    size_t out = 0;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (!remove[i]) {
            if (out != i) {
                m_lines[out] = std::move(m_lines[i]);
            }
            ++out;
        }
    }
    m_lines.resize(out);
}

bool CProfileDocument::DeleteSection(std::u16string_view section) {
    section = Trim(section);
    std::vector<bool> remove(m_lines.size(), false);
    bool any = false;
    for (size_t header = FindSection(section, 0); header != npos;
         header = FindSection(section, header + 1)) {
        const size_t last = LastContentLine(header);
        for (size_t i = header; i <= last; ++i) {
            remove[i] = true;
        }
        any = true;
    }
    if (!any) {
        return false;
    }
    RemoveMarkedLines(remove);
    return true;
}

std::vector<std::u16string> CProfileDocument::SectionNames() const {
    std::vector<std::u16string> names;
    for (const Line& line : m_lines) {
        if (line.kind != Kind::kSection || line.Name().empty()) {
            continue;
        }
        const bool seen = std::any_of(names.begin(), names.end(), [&](const std::u16string& n) {
            return EqualNoCase(n, line.Name());
        });
        if (!seen) {
            names.emplace_back(line.Name());
        }
    }
    return names;
}

std::vector<std::u16string> CProfileDocument::KeyNames(std::u16string_view section) const {
    std::vector<std::u16string> names;
    section = Trim(section);
    if (section.empty()) {
        return names;
    }
    const size_t header = FindSection(section, 0);
    if (header == npos) {
        return names;
    }
    for (size_t i = header + 1; i < m_lines.size() && m_lines[i].kind != Kind::kSection; ++i) {
        const Line& line = m_lines[i];
        if (line.kind != Kind::kKey || line.Name().empty()) {
            continue;
        }
        const bool seen = std::any_of(names.begin(), names.end(), [&](const std::u16string& n) {
            return EqualNoCase(n, line.Name());
        });
        if (!seen) {
            names.emplace_back(line.Name());
        }
    }
    return names;
}


std::vector<std::pair<std::u16string_view, std::u16string_view>> CProfileDocument::Entries(
    std::u16string_view section) const {
    std::vector<std::pair<std::u16string_view, std::u16string_view>> entries;
    section = Trim(section);
    const size_t header = section.empty() ? npos : FindSection(section, 0);
    if (header == npos) {
        return entries;
    }
    for (size_t i = header + 1; i < m_lines.size() && m_lines[i].kind != Kind::kSection; ++i) {
        const Line& line = m_lines[i];
        if (line.kind == Kind::kKey && !line.Name().empty()) {
            entries.emplace_back(line.Name(), line.Value());
        }
    }
    return entries;
}

}  // namespace platform::profile
