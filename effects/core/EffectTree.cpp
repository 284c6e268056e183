#include "EffectTree.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstring>

#include "profile/ProfileText.h"

namespace effects {

namespace {

// Lists inside lists are read this deep; deeper ones are kept as they are, unread.
constexpr int kMaxListDepth = 8;

char16_t Fold(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

// Element and attribute names as the file's readers look them up: letter case ignored.
bool SameName(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        if (Fold(static_cast<unsigned char>(*a)) != Fold(static_cast<unsigned char>(*b))) {
            return false;
        }
    }
    return *a == *b;
}

bool NameIs(const pugi::xml_node& node, const char* name) {
    return SameName(node.name(), name);
}

pugi::xml_attribute Attribute(const pugi::xml_node& node, const char* name) {
    for (pugi::xml_attribute a : node.attributes()) {
        if (SameName(a.name(), name)) {
            return a;
        }
    }
    return {};
}

std::u16string Text(const pugi::xml_attribute& a) {
    return a ? platform::profile::FromUtf8(a.value()) : std::u16string();
}

// The collapsed flag of a list element: "0" shows it expanded, anything else (or nothing)
// collapsed.
int CollapsedOf(const pugi::xml_attribute& a) {
    if (!a) {
        return 1;
    }
    const int v = a.as_int(1);
    return v == 0 ? 0 : v;
}

}  // namespace

bool SameIgnoringCase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char16_t x, char16_t y) { return Fold(x) == Fold(y); });
}

bool EffectPrj::IsSame(const TrData& other) const {
    return SameIgnoringCase(m_path, other.GetPath());
}

std::unique_ptr<TrData> EffectPrj::Clone() const {
    return std::make_unique<EffectPrj>(*this);
}

void EffectPrj::SaveXml(pugi::xml_node element) const {
    if (!NameIs(element, "Item")) {
        return;
    }
    element.append_attribute("Name") = platform::profile::ToUtf8(m_name).c_str();
    element.append_attribute("Path") = platform::profile::ToUtf8(m_path).c_str();
}

void EffectPrj::LoadXml(pugi::xml_node element) {
    if (!NameIs(element, "Item")) {
        return;
    }
    m_name = Text(Attribute(element, "Name"));
    m_path = Text(Attribute(element, "Path"));
}

CTreeData::CTreeData(std::u16string name) : m_name(std::move(name)) {}

CTreeData::CTreeData(std::unique_ptr<TrData> payload) : m_payload(std::move(payload)) {}

CTreeData::~CTreeData() = default;

bool CTreeData::IsSame(const TrData& payload) const {
    return m_payload && m_payload->IsSame(payload);
}

std::u16string CTreeData::GetName() const {
    return m_payload ? m_payload->GetName() : m_name;
}

void CTreeData::SetName(std::u16string_view name) {
    if (m_payload) {
        m_payload->SetName(name);
    } else {
        m_name = name;
    }
}

std::u16string CTreeData::GetPath() const {
    return m_payload ? m_payload->GetPath() : std::u16string();
}

void CTreeData::SetPath(std::u16string_view path) {
    if (m_payload) {
        m_payload->SetPath(path);
    }
}

std::u16string CTreeData::GetKey() const {
    return m_payload ? m_payload->GetPath() : m_name;
}

int CTreeData::Depth() const {
    int d = 0;
    for (const CTreeData* p = m_parent; p; p = p->m_parent) {
        ++d;
    }
    return d;
}

CTreeData* CTreeData::AddEffect(const TrData& payload) {
    return AppendChild(std::make_unique<CTreeData>(payload.Clone()));
}

CTreeData* CTreeData::AppendChild(std::unique_ptr<CTreeData> child) {
    if (!child || child->m_parent || child.get() == this) {
        return nullptr;
    }
    child->m_parent = this;
    m_children.push_back(std::move(child));
    return m_children.back().get();
}

std::unique_ptr<CTreeData> CTreeData::RemoveChild(const CTreeData* child) {
    const auto it = std::find_if(m_children.begin(), m_children.end(),
                                 [child](const auto& c) { return c.get() == child; });
    if (it == m_children.end()) {
        return nullptr;
    }
    std::unique_ptr<CTreeData> out = std::move(*it);
    m_children.erase(it);
    out->m_parent = nullptr;
    return out;
}

void CTreeData::ClearChildren() {
    m_children.clear();
    m_kept.reset();
}

void CTreeData::SaveXml(pugi::xml_node parent) const {
    if (m_payload) {
        m_payload->SaveXml(parent.append_child("Item"));
        return;
    }
    pugi::xml_node items = parent.append_child("Items");
    items.append_attribute("Name") = platform::profile::ToUtf8(m_name).c_str();
    items.append_attribute("Collapse") = collapsed;
    SaveChildrenXml(items);
}

void CTreeData::SaveChildrenXml(pugi::xml_node element) const {
    for (const auto& c : m_children) {
        c->SaveXml(element);
    }
    if (m_kept) {
        for (pugi::xml_node k : m_kept->children()) {
            element.append_copy(k);
        }
    }
}

void CTreeData::LoadXml(pugi::xml_node element) {
    LoadXml(element, 0);
}

void CTreeData::LoadXml(pugi::xml_node element, int depth) {
    ClearChildren();
    for (pugi::xml_node e : element.children()) {
        if (e.type() != pugi::node_element) {
            continue;
        }
        if (NameIs(e, "Item") && depth > 0) {
            EffectPrj effect;
            effect.LoadXml(e);
            AddEffect(effect);
        } else if (NameIs(e, "Items") && depth < kMaxListDepth) {
            auto list = std::make_unique<CTreeData>(Text(Attribute(e, "Name")));
            list->collapsed = CollapsedOf(Attribute(e, "Collapse"));
            list->LoadXml(e, depth + 1);
            AppendChild(std::move(list));
        } else {
            if (!m_kept) {
                m_kept = std::make_unique<pugi::xml_document>();
            }
            m_kept->append_copy(e);
        }
    }
}

std::vector<CTreeData*> Leaves(const CTreeData& root) {
    std::vector<CTreeData*> out;
    for (const auto& c : root.Children()) {
        if (c->IsLeaf()) {
            out.push_back(c.get());
        } else {
            const std::vector<CTreeData*> inner = Leaves(*c);
            out.insert(out.end(), inner.begin(), inner.end());
        }
    }
    return out;
}

}  // namespace effects
