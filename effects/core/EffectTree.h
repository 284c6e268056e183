#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pugi {
class xml_node;
class xml_document;
}  // namespace pugi

// The nodes of the effect-list trees: the card's lists (EffectList.xml) and the cloud effects.
// A node with a payload is an effect, one without is a list (or a cloud category).
namespace effects {

// Letter case ignored as the list file's readers expect (ASCII letters only).
bool SameIgnoringCase(std::u16string_view a, std::u16string_view b);

class TrData {
public:
    virtual ~TrData() = default;
    virtual std::u16string GetName() const = 0;
    virtual void SetName(std::u16string_view name) = 0;
    virtual std::u16string GetPath() const = 0;
    virtual void SetPath(std::u16string_view path) = 0;
    virtual bool IsSame(const TrData& other) const = 0;
    virtual std::unique_ptr<TrData> Clone() const = 0;
    // Fills element (an "Item") with the payload's attributes.
    virtual void SaveXml(pugi::xml_node element) const = 0;
    // Reads the attributes of an "Item" element; other elements leave the payload as it is.
    virtual void LoadXml(pugi::xml_node element) = 0;
};

// One effect: its display name and identifier (on the card's lists the decimal number of an
// effect stored on the card; on the cloud tree the file's address).
class EffectPrj : public TrData {
public:
    EffectPrj() = default;
    EffectPrj(std::u16string name, std::u16string path)
        : m_name(std::move(name)), m_path(std::move(path)) {}

    std::u16string GetName() const override { return m_name; }
    void SetName(std::u16string_view name) override { m_name = name; }
    std::u16string GetPath() const override { return m_path; }
    void SetPath(std::u16string_view path) override { m_path = path; }
    // The same effect: paths equal, letter case ignored.
    bool IsSame(const TrData& other) const override;
    std::unique_ptr<TrData> Clone() const override;
    void SaveXml(pugi::xml_node element) const override;
    void LoadXml(pugi::xml_node element) override;

    // Whether the cloud effect's file was downloaded (not used by the card's lists).
    int downloadFlag = 0;

private:
    std::u16string m_name;
    std::u16string m_path;
};

class CTreeData {
public:
    // A list (or category, or the root) named name.
    explicit CTreeData(std::u16string name = {});
    // An effect holding payload.
    explicit CTreeData(std::unique_ptr<TrData> payload);
    ~CTreeData();
    CTreeData(const CTreeData&) = delete;
    CTreeData& operator=(const CTreeData&) = delete;

    bool IsSame(const TrData& payload) const;
    std::u16string GetName() const;
    void SetName(std::u16string_view name);
    std::u16string GetPath() const;  // empty for a list
    void SetPath(std::u16string_view path);
    // The payload's path, else the list's name.
    std::u16string GetKey() const;

    // Appends a leaf holding a copy of payload; returns it.
    CTreeData* AddEffect(const TrData& payload);
    // Appends child (ignored when null or already in a tree); returns it.
    CTreeData* AppendChild(std::unique_ptr<CTreeData> child);
    // Takes child out of this node; null when it is not one of its children.
    std::unique_ptr<CTreeData> RemoveChild(const CTreeData* child);
    void ClearChildren();

    // Writes the node under parent: an effect as an "Item", a list as an "Items" with its name
    // and collapsed flag and its children inside, and any elements kept from reading.
    void SaveXml(pugi::xml_node parent) const;
    // Writes the children, and the elements kept from reading, into element (the root's
    // "Effect").
    void SaveChildrenXml(pugi::xml_node element) const;
    // Reads a list element ("Items" or the root's "Effect") into this node's children: "Item"
    // elements become effects, "Items" elements lists (up to a depth), anything else is kept as
    // it was, to be written back by SaveXml.
    void LoadXml(pugi::xml_node element);

    TrData* Payload() const { return m_payload.get(); }
    bool IsLeaf() const { return m_payload != nullptr; }
    CTreeData* Parent() const { return m_parent; }
    const std::vector<std::unique_ptr<CTreeData>>& Children() const { return m_children; }
    size_t ChildCount() const { return m_children.size(); }
    // Depth below the tree's root (the root is 0).
    int Depth() const;

    // 1 collapsed (at first), 0 shown expanded.
    int collapsed = 1;
    // 1 on the leaf of the effect active on the card.
    int currentMark = 0;
    // The view's item for this node, set by whoever builds the view.
    void* viewItem = nullptr;

private:
    void LoadXml(pugi::xml_node element, int depth);

    std::unique_ptr<TrData> m_payload;
    CTreeData* m_parent = nullptr;
    std::vector<std::unique_ptr<CTreeData>> m_children;
    std::u16string m_name;
    // Elements of this list the tree does not show, written back unchanged.
    std::unique_ptr<pugi::xml_document> m_kept;
};

// Every leaf of the tree, in list order.
std::vector<CTreeData*> Leaves(const CTreeData& root);

}  // namespace effects

using effects::CTreeData;
using effects::EffectPrj;
using effects::TrData;
