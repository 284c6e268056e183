#include "EffectListFile.h"

#include <pugixml.hpp>

#include <sys/stat.h>

#include <sstream>
#include <system_error>

#include "DataFolder.h"
#include "EffectView.h"
#include "Log/Log.h"
#include "profile/ProfileFile.h"

#define LOG_SOURCE "effects\\core\\EffectListFile"

namespace effects {

namespace {

namespace fs = std::filesystem;
using platform::profile::detail::ReadStatus;

constexpr const char* kFileName = "EffectList.xml";
// A list file is a few kilobytes; anything near this is not one.
constexpr size_t kMaxFileBytes = 8u << 20;

bool SameFileName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// The list file in folder, its name's letter case ignored (a file copied from elsewhere may be
// "effectlist.xml"); the exact name when none is there.
fs::path FileIn(const fs::path& folder) {
    const fs::path exact = folder / kFileName;
    std::error_code ec;
    if (fs::exists(exact, ec)) {
        return exact;
    }
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (SameFileName(it->path().filename().string(), kFileName)) {
            return it->path();
        }
    }
    return exact;
}

bool Exists(const fs::path& file) {
    std::error_code ec;
    return !file.empty() && fs::exists(file, ec);
}

template <typename Pred>
pugi::xml_node FirstChild(const pugi::xml_node& parent, const char* name, Pred same) {
    for (pugi::xml_node c : parent.children()) {
        if (c.type() == pugi::node_element && same(c.name(), name)) {
            return c;
        }
    }
    return {};
}

pugi::xml_node FindChild(const pugi::xml_node& parent, const char* name) {
    return FirstChild(parent, name, [](const char* a, const char* b) {
        return SameFileName(a, b);  // the same ASCII case folding as the names of files
    });
}

enum class ParseResult { kMissing, kOk, kDamaged };

// Reads and parses file; a damage is logged.
ParseResult ParseFile(const fs::path& file, pugi::xml_document& doc, struct stat* info) {
    const char* fn = "effects::ParseEffectListFile";
    std::string bytes;
    switch (platform::profile::detail::ReadFileBytes(file, kMaxFileBytes, &bytes, info)) {
        case ReadStatus::kMissing:
            return ParseResult::kMissing;
        case ReadStatus::kTooLarge:
            VLOG_ERROR("efflist", fn, "%s is larger than %zu bytes", file.c_str(), kMaxFileBytes);
            return ParseResult::kDamaged;
        case ReadStatus::kError:
            VLOG_ERROR("efflist", fn, "%s cannot be read", file.c_str());
            return ParseResult::kDamaged;
        case ReadStatus::kOk:
            break;
    }
    // Comments, the declaration and processing instructions too: a save keeps them.
    const pugi::xml_parse_result r = doc.load_buffer(
        bytes.data(), bytes.size(),
        pugi::parse_default | pugi::parse_declaration | pugi::parse_comments | pugi::parse_pi,
        pugi::encoding_utf8);
    if (!r) {
        VLOG_ERROR("efflist", fn, "%s is not well-formed XML (%s at byte %td)", file.c_str(),
                   r.description(), r.offset);
        return ParseResult::kDamaged;
    }
    return ParseResult::kOk;
}

struct StringWriter : pugi::xml_writer {
    std::string text;
    void write(const void* data, size_t size) override {
        text.append(static_cast<const char*>(data), size);
    }
};

}  // namespace

EffectListFiles DefaultEffectListFiles() {
    EffectListFiles files;
    files.dataFolder = appbase::DataFolderPath();
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const fs::path dir = exe.parent_path();
        files.installed.push_back(dir / kFileName);
        files.installed.push_back(dir.parent_path() / "share" / "velora" / kFileName);
    }
    return files;
}

CEffectListStore::CEffectListStore(EffectListFiles files) : m_files(std::move(files)) {}

fs::path CEffectListStore::TargetFile() const {
    return m_files.dataFolder.empty() ? fs::path() : FileIn(m_files.dataFolder);
}

EffectListState CEffectListStore::Load() {
    m_root.ClearChildren();
    m_source.clear();
    m_state = EffectListState::kNone;
    if (m_files.dataFolder.empty()) {
        return m_state;
    }
    fs::path source = TargetFile();
    if (!Exists(source)) {
        source.clear();
        for (const fs::path& f : m_files.installed) {
            if (Exists(f)) {
                source = f;
                break;
            }
        }
    }
    if (source.empty()) {
        return m_state;
    }
    m_source = source;
    pugi::xml_document doc;
    switch (ParseFile(source, doc, nullptr)) {
        case ParseResult::kMissing:
            return m_state;
        case ParseResult::kDamaged:
            m_state = EffectListState::kDamaged;
            return m_state;
        case ParseResult::kOk:
            break;
    }
    m_state = EffectListState::kLoaded;
    const pugi::xml_node effect = FindChild(FindChild(doc, "AudioRack"), "Effect");
    if (effect) {
        m_root.LoadXml(effect);
    }
    return m_state;
}

bool CEffectListStore::Save() {
    const char* fn = "CEffectListStore::Save";
    const fs::path target = TargetFile();
    if (target.empty()) {
        return false;
    }
    if (!appbase::CreateFolders(m_files.dataFolder)) {
        VLOG_ERROR("efflist", fn, "no data folder %s", m_files.dataFolder.c_str());
        return false;
    }
    // The base whose other content stays: the user's file, else the one the lists came from.
    pugi::xml_document doc;
    struct stat info {};
    bool hadTarget = false;
    switch (ParseFile(target, doc, &info)) {
        case ParseResult::kDamaged:
            VLOG_ERROR("efflist", fn, "%s left as it is", target.c_str());
            return false;
        case ParseResult::kOk:
            hadTarget = true;
            break;
        case ParseResult::kMissing:
            if (!m_source.empty() && m_source != target) {
                if (ParseFile(m_source, doc, nullptr) == ParseResult::kDamaged) {
                    return false;
                }
            }
            break;
    }
    pugi::xml_node rack = FindChild(doc, "AudioRack");
    if (!rack) {
        rack = doc.append_child("AudioRack");
    }
    // The new lists take the old element's place.
    const pugi::xml_node old = FindChild(rack, "Effect");
    pugi::xml_node effect =
        old ? rack.insert_child_before("Effect", old) : rack.append_child("Effect");
    if (old) {
        rack.remove_child(old);
    }
    m_root.SaveChildrenXml(effect);

    StringWriter out;
    doc.save(out, "\t", pugi::format_default, pugi::encoding_utf8);
    if (!platform::profile::detail::ReplaceFileAtomically(target, out.text,
                                                          hadTarget ? &info : nullptr)) {
        VLOG_ERROR("efflist", fn, "%s not written", target.c_str());
        return false;
    }
    m_source = target;
    return true;
}

int LeadingNumber(std::u16string_view identifier) {
    const int n = EffectNumberOfIdentifier(identifier);
    return n < 0 ? -1 : n - 7;
}

}  // namespace effects
