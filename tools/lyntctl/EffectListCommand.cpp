// lyntctl effects: the card's effect lists of EffectList.xml, as the effects page's "KX音效" tab
// shows them. Reads the file only; the card is not asked.
#include "Commands.h"
#include "CtlSession.h"
#include "EffectListFile.h"
#include "profile/ProfileText.h"

namespace ctl {

int CmdEffects(const Invocation& in) {
    using platform::profile::ToUtf8;
    if (!in.args.empty()) {
        in.out.Error("usage: lyntctl effects");
        return kExitUsage;
    }
    effects::CEffectListStore store(effects::DefaultEffectListFiles());
    if (store.Load() == effects::EffectListState::kDamaged) {
        // As the panel does: no lists; the file stays for the user to mend.
        in.out.Error("the effect lists in " + store.SourceFile().string() +
                     " cannot be read; none shown");
    }
    size_t listIndex = 0;
    for (const auto& list : store.Root().Children()) {
        const std::string listName = ToUtf8(list->GetName());
        size_t position = 0;
        for (const auto& child : list->Children()) {
            if (!child->IsLeaf()) {
                continue;  // lists inside lists are not offered
            }
            const std::u16string path = child->GetPath();
            const int number = path.empty() ? -1 : effects::LeadingNumber(path);
            Json::Value o;
            o["type"] = "effect";
            o["list"] = listName;
            o["list_index"] = static_cast<Json::UInt>(listIndex);
            o["position"] = static_cast<Json::UInt>(position);
            o["name"] = ToUtf8(child->GetName());
            o["path"] = ToUtf8(path);
            o["number"] = number >= 0 ? Json::Value(number) : Json::Value();
            in.out.Emit(listName + "\t" + std::to_string(position) + "\t" +
                            ToUtf8(child->GetName()) + "\t" +
                            (number >= 0 ? std::to_string(number) : std::string("-")),
                        o);
            ++position;
        }
        ++listIndex;
    }
    return kExitOk;
}

}  // namespace ctl
