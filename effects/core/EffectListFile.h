#pragma once

#include <filesystem>
#include <vector>

#include "EffectTree.h"

// The named lists of effects stored on the card, kept in "EffectList.xml":
//   <AudioRack> <Effect> <Items Name=".." Collapse="0|1"> <Item Name=".." Path="7"/> ..
// Element and attribute names are read whatever their letter case. The user's own file in the
// data folder wins over the one installed with the program; changes always go to the user's file,
// so the installed one is never written. A file that cannot be read or parsed shows no lists and
// is never overwritten.
namespace effects {

struct EffectListFiles {
    std::filesystem::path dataFolder;  // empty: none known, nothing read or written
    std::vector<std::filesystem::path>
        installed;  // files that came with the program, preferred first
};

// The data folder, and the file installed beside the program or under its share/velora.
EffectListFiles DefaultEffectListFiles();

enum class EffectListState {
    kNone,     // no file (or no data folder)
    kLoaded,   // read; the lists may still be none (no "Effect" element)
    kDamaged,  // not readable or not XML: no lists, and the file stays as it is
};

class CEffectListStore {
public:
    explicit CEffectListStore(EffectListFiles files);

    // Reads the lists into Root(), replacing what it held.
    EffectListState Load();
    // Writes Root()'s lists into the user's file: only the first "Effect" element is replaced,
    // everything else stays; the file is replaced atomically. False (logged) when there is no
    // data folder, the file there is damaged, or the write failed.
    bool Save();

    CTreeData& Root() { return m_root; }
    const CTreeData& Root() const { return m_root; }
    EffectListState State() const { return m_state; }
    // The file the lists came from; empty when none was.
    const std::filesystem::path& SourceFile() const { return m_source; }
    // Where Save writes: the user's file in the data folder; empty without a data folder.
    std::filesystem::path TargetFile() const;

private:
    EffectListFiles m_files;
    CTreeData m_root{u"Effect"};
    EffectListState m_state = EffectListState::kNone;
    std::filesystem::path m_source;
};

// The leading decimal digits of an identifier as a number (0 when it has none): the effect's
// number on the card.
int LeadingNumber(std::u16string_view identifier);

}  // namespace effects
