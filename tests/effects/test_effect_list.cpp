// The card's effect lists in EffectList.xml, on real files: which file is read, what a file
// holds as lists, and what a save leaves of the file (checked by parsing it again).
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <fstream>
#include <random>
#include <sstream>

#include "../core/TempDir.h"
#include "EffectListFile.h"

namespace fs = std::filesystem;
using effects::CEffectListStore;
using effects::EffectListFiles;
using effects::EffectListState;

namespace {

void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Utf8(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// The lists as "name:collapsed[item=path,...]" lines, for short comparisons.
std::string Describe(const CTreeData& root) {
    std::string out;
    for (const auto& list : root.Children()) {
        out += Utf8(list->GetName()) + ":" + std::to_string(list->collapsed) + "[";
        for (const auto& c : list->Children()) {
            out += c->IsLeaf() ? Utf8(c->GetName()) + "=" + Utf8(c->GetPath())
                               : "(" + Utf8(c->GetName()) + ")";
            out += ",";
        }
        out += "]\n";
    }
    return out;
}

// Every node, lists inside lists too.
std::string DescribeDeep(const CTreeData& node) {
    std::string out = Utf8(node.GetName()) + "|" + Utf8(node.GetPath()) + "|" +
                      (node.IsLeaf() ? "" : std::to_string(node.collapsed)) + "{";
    for (const auto& c : node.Children()) {
        out += DescribeDeep(*c);
    }
    return out + "}";
}

class EffectListTest : public ::testing::Test {
protected:
    TempDir dir;
    fs::path data = dir.Path() / "data";
    fs::path installed = dir.Path() / "share" / "EffectList.xml";

    EffectListFiles Files() const { return {data, {dir.Path() / "nowhere.xml", installed}}; }
};

}  // namespace

TEST_F(EffectListTest, TheDataFoldersFileWinsAndIsTheOneWritten) {
    const std::string installedText =
        "<AudioRack><Effect><Items Name=\"装\" Collapse=\"0\"><Item Name=\"a\" Path=\"1\"/>"
        "</Items></Effect></AudioRack>";
    Write(installed, installedText);
    Write(data / "EffectList.xml",
          "<AudioRack><Effect><Items Name=\"mine\" Collapse=\"1\"><Item Name=\"b\" Path=\"2\"/>"
          "</Items></Effect></AudioRack>");
    CEffectListStore store(Files());
    EXPECT_EQ(store.Load(), EffectListState::kLoaded);
    EXPECT_EQ(store.SourceFile(), data / "EffectList.xml");
    EXPECT_EQ(Describe(store.Root()), "mine:1[b=2,]\n");
    store.Root().Children()[0]->collapsed = 0;
    ASSERT_TRUE(store.Save());
    EXPECT_EQ(Read(installed), installedText);
    CEffectListStore again(Files());
    again.Load();
    EXPECT_EQ(Describe(again.Root()), "mine:0[b=2,]\n");
}

// Without a file of the user's the installed one is read; a change goes into a new file of the
// user's, which keeps the installed file's other content. The installed file is never written.
TEST_F(EffectListTest, TheInstalledFileIsReadAndCopiedOnChange) {
    const std::string installedText =
        "<?xml version=\"1.0\"?><AudioRack><Effect><Items Name=\"装\" Collapse=\"0\">"
        "<Item Name=\"温暖\" Path=\"3\"/></Items></Effect><Note text=\"keep\"/></AudioRack>";
    Write(installed, installedText);
    CEffectListStore store(Files());
    EXPECT_EQ(store.Load(), EffectListState::kLoaded);
    EXPECT_EQ(store.SourceFile(), installed);
    EXPECT_EQ(Describe(store.Root()), "装:0[温暖=3,]\n");
    store.Root().Children()[0]->collapsed = 1;
    ASSERT_TRUE(store.Save());
    EXPECT_EQ(Read(installed), installedText);
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file((data / "EffectList.xml").c_str()));
    EXPECT_STREQ(doc.child("AudioRack").child("Note").attribute("text").value(), "keep");
    EXPECT_STREQ(
        doc.child("AudioRack").child("Effect").child("Items").attribute("Collapse").value(), "1");
}

TEST_F(EffectListTest, NoDataFolderReadsAndWritesNothing) {
    Write(installed, "<AudioRack><Effect><Items Name=\"x\"/></Effect></AudioRack>");
    CEffectListStore store(EffectListFiles{{}, {installed}});
    EXPECT_EQ(store.Load(), EffectListState::kNone);
    EXPECT_TRUE(store.Root().Children().empty());
    EXPECT_FALSE(store.Save());
}

TEST_F(EffectListTest, FilesWithoutListsShowNone) {
    for (const char* text : {"<AudioRack><Other><Items Name=\"x\"/></Other></AudioRack>",
                             "<Rack><Effect><Items Name=\"x\"/></Effect></Rack>", "<AudioRack/>"}) {
        Write(data / "EffectList.xml", text);
        CEffectListStore store(Files());
        EXPECT_EQ(store.Load(), EffectListState::kLoaded) << text;
        EXPECT_TRUE(store.Root().Children().empty()) << text;
    }
}

// Names are read whatever their letter case, the file's name too; they are written as designed.
TEST_F(EffectListTest, NamesAreReadWhateverTheirCase) {
    Write(data / "effectlist.XML",
          "<audiorack><EFFECT><items name=\"A\" COLLAPSE=\"0\"><ITEM NAME=\"x\" path=\"12\"/>"
          "</items></EFFECT></audiorack>");
    CEffectListStore store(Files());
    EXPECT_EQ(store.Load(), EffectListState::kLoaded);
    EXPECT_EQ(Describe(store.Root()), "A:0[x=12,]\n");
    ASSERT_TRUE(store.Save());
    EXPECT_FALSE(fs::exists(data / "EffectList.xml"));  // the user's file, under its own name
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file((data / "effectlist.XML").c_str()));
    // The first "Effect" element (any case) was replaced by one written as designed.
    const pugi::xml_node rack = doc.child("audiorack");
    EXPECT_FALSE(rack.child("EFFECT"));
    EXPECT_STREQ(rack.child("Effect").child("Items").child("Item").attribute("Path").value(), "12");
}

TEST_F(EffectListTest, CollapseZeroAloneExpands) {
    Write(data / "EffectList.xml",
          "<AudioRack><Effect><Items Name=\"zero\" Collapse=\"0\"/><Items Name=\"one\" "
          "Collapse=\"1\"/><Items Name=\"two\" Collapse=\"2\"/><Items Name=\"none\"/>"
          "</Effect></AudioRack>");
    CEffectListStore store(Files());
    store.Load();
    ASSERT_EQ(store.Root().ChildCount(), 4u);
    const auto& lists = store.Root().Children();
    EXPECT_EQ(lists[0]->collapsed, 0);
    for (size_t i = 1; i < 4; ++i) {
        EXPECT_NE(lists[i]->collapsed, 0) << Utf8(lists[i]->GetName());
    }
}

TEST_F(EffectListTest, DuplicateListNamesStayAsTheyAre) {
    Write(data / "EffectList.xml",
          "<AudioRack><Effect><Items Name=\"K歌\"><Item Name=\"a\" Path=\"1\"/></Items>"
          "<Items Name=\"K歌\"><Item Name=\"a\" Path=\"1\"/><Item Name=\"\" Path=\"\"/></Items>"
          "</Effect></AudioRack>");
    CEffectListStore store(Files());
    store.Load();
    EXPECT_EQ(Describe(store.Root()), "K歌:1[a=1,]\nK歌:1[a=1,=,]\n");
    ASSERT_TRUE(store.Save());
    CEffectListStore again(Files());
    again.Load();
    EXPECT_EQ(Describe(again.Root()), Describe(store.Root()));
}

// A save replaces the first "Effect" element in its place; everything else in the document
// (declaration, comments, other elements, a second "Effect") stays as it was.
TEST_F(EffectListTest, SavingLeavesEverythingElseUntouched) {
    Write(data / "EffectList.xml",
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- mine -->\n<AudioRack version=\"2\">"
          "<Before a=\"1\"/><Effect><Items Name=\"L\" Collapse=\"1\"><Item Name=\"A&amp;B\" "
          "Path=\"5\"/></Items></Effect><Other x=\"y\"><z>text</z></Other>"
          "<Effect><Items Name=\"second\"/></Effect></AudioRack>\n");
    CEffectListStore store(Files());
    store.Load();
    EXPECT_EQ(Describe(store.Root()), "L:1[A&B=5,]\n");
    store.Root().Children()[0]->collapsed = 0;
    ASSERT_TRUE(store.Save());

    const std::string saved = Read(data / "EffectList.xml");
    EXPECT_EQ(saved.rfind("<?xml", 0), 0u);  // no byte-order mark, declaration first
    EXPECT_NE(saved.find("\n\t<Before"), std::string::npos);  // one tab per level
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(saved.c_str(), pugi::parse_default | pugi::parse_comments));
    EXPECT_STREQ(
        doc.find_child([](pugi::xml_node n) { return n.type() == pugi::node_comment; }).value(),
        " mine ");
    const pugi::xml_node rack = doc.child("AudioRack");
    EXPECT_STREQ(rack.attribute("version").value(), "2");
    std::vector<std::string> order;
    for (pugi::xml_node c : rack.children()) {
        order.push_back(c.name());
    }
    EXPECT_EQ(order, (std::vector<std::string>{"Before", "Effect", "Other", "Effect"}));
    const pugi::xml_node items = rack.child("Effect").child("Items");
    EXPECT_STREQ(items.attribute("Name").value(), "L");
    EXPECT_STREQ(items.attribute("Collapse").value(), "0");
    EXPECT_STREQ(items.child("Item").attribute("Name").value(), "A&B");
    EXPECT_STREQ(rack.child("Other").child("z").text().get(), "text");
    EXPECT_STREQ(
        rack.child("Effect").next_sibling("Effect").child("Items").attribute("Name").value(),
        "second");
    // Only the file itself is in the folder: the temporary one was renamed over it.
    EXPECT_EQ(std::distance(fs::directory_iterator(data), fs::directory_iterator()), 1);
}

// Content of a list the tab does not show (a foreign element, a list inside a list) is read
// without inventing effects, and written back.
TEST_F(EffectListTest, UnknownContentOfAListIsKept) {
    Write(data / "EffectList.xml",
          "<AudioRack><Effect><Items Name=\"L\"><Item Name=\"a\" Path=\"1\"/><Note n=\"1\"/>"
          "<Items Name=\"inner\"><Item Name=\"b\" Path=\"2\"/></Items></Items><Item Name=\"stray\" "
          "Path=\"9\"/></Effect></AudioRack>");
    CEffectListStore store(Files());
    store.Load();
    EXPECT_EQ(Describe(store.Root()), "L:1[a=1,(inner),]\n");
    EXPECT_EQ(effects::Leaves(store.Root()).size(), 2u);
    ASSERT_TRUE(store.Save());
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file((data / "EffectList.xml").c_str()));
    const pugi::xml_node effect = doc.child("AudioRack").child("Effect");
    EXPECT_STREQ(effect.child("Items").child("Note").attribute("n").value(), "1");
    EXPECT_STREQ(effect.child("Items").child("Items").child("Item").attribute("Path").value(), "2");
    EXPECT_STREQ(effect.child("Item").attribute("Name").value(), "stray");
}

// A file that is not XML, cut short, or cannot be read shows no lists and is never written;
// neither does a damaged installed file give the user a file of nothing.
TEST_F(EffectListTest, ADamagedFileIsNeverOverwritten) {
    for (const std::string text : {"<AudioRack><Effect><Items Name=\"L\" Collapse=\"0\"><Item",
                                   "not xml at all", "\xff\xfe<"}) {
        Write(data / "EffectList.xml", text);
        CEffectListStore store(Files());
        EXPECT_EQ(store.Load(), EffectListState::kDamaged) << text;
        EXPECT_TRUE(store.Root().Children().empty());
        store.Root().AppendChild(std::make_unique<CTreeData>(u"new"));
        EXPECT_FALSE(store.Save());
        EXPECT_EQ(Read(data / "EffectList.xml"), text);
    }
    fs::remove(data / "EffectList.xml");
    fs::create_directories(data / "EffectList.xml");  // a folder in the file's place
    CEffectListStore folder(Files());
    EXPECT_EQ(folder.Load(), EffectListState::kDamaged);
    EXPECT_FALSE(folder.Save());
    fs::remove(data / "EffectList.xml");

    Write(installed, "<AudioRack><Effect>");
    CEffectListStore store(Files());
    EXPECT_EQ(store.Load(), EffectListState::kDamaged);
    EXPECT_FALSE(store.Save());
    EXPECT_FALSE(fs::exists(data / "EffectList.xml"));
}

TEST_F(EffectListTest, NoFileAnywhereStartsAFreshOne) {
    CEffectListStore store(Files());
    EXPECT_EQ(store.Load(), EffectListState::kNone);
    store.Root().AppendChild(std::make_unique<CTreeData>(u"new"))->AddEffect(EffectPrj(u"e", u"4"));
    ASSERT_TRUE(store.Save());
    CEffectListStore again(Files());
    EXPECT_EQ(again.Load(), EffectListState::kLoaded);
    EXPECT_EQ(Describe(again.Root()), "new:1[e=4,]\n");
}

// The identifier's leading digits are the effect's number on the card; none is 0.
TEST(EffectListIdentifiers, LeadingDigitsAreTheNumber) {
    EXPECT_EQ(effects::LeadingNumber(u"12"), 12);
    EXPECT_EQ(effects::LeadingNumber(u"12abc"), 12);
    EXPECT_EQ(effects::LeadingNumber(u"007"), 7);
    EXPECT_EQ(effects::LeadingNumber(u"abc12"), 0);
    EXPECT_EQ(effects::LeadingNumber(u""), 0);
    EXPECT_EQ(effects::LeadingNumber(u"99999999999999"), -1);  // no such effect
}

TEST(EffectTreeNodes, OwnershipAndSameness) {
    CTreeData root(u"Effect");
    CTreeData* list = root.AppendChild(std::make_unique<CTreeData>(u"L"));
    EffectPrj prj(u"Name", u"C:\\Eff\\A.EFF");
    CTreeData* leaf = list->AddEffect(prj);
    prj.SetName(u"changed");  // the leaf holds its own copy
    EXPECT_EQ(leaf->GetName(), u"Name");
    EXPECT_TRUE(leaf->IsSame(EffectPrj(u"other", u"c:\\eff\\a.eff")));
    EXPECT_FALSE(list->IsSame(prj));
    EXPECT_EQ(list->GetKey(), u"L");
    EXPECT_EQ(leaf->GetKey(), u"C:\\Eff\\A.EFF");
    EXPECT_EQ(leaf->Depth(), 2);
    // A node in a tree is not appended elsewhere; taken out it can be.
    CTreeData other;
    std::unique_ptr<CTreeData> taken = root.RemoveChild(list);
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->Parent(), nullptr);
    EXPECT_TRUE(root.Children().empty());
    EXPECT_EQ(other.AppendChild(std::move(taken)), list);
    EXPECT_EQ(root.RemoveChild(list), nullptr);
}

// Mutated list files: reading never fails hard, and whatever was read is written so that reading
// it again gives the same lists (a save loses nothing it showed).
TEST_F(EffectListTest, MutatedFilesReadAndSaveWithoutLoss) {
    const std::string base =
        "<?xml version=\"1.0\"?><AudioRack><Effect><Items Name=\"直播 &amp; K歌\" Collapse=\"0\">"
        "<Item Name=\"温暖\" Path=\"3\"/><Item Name=\"&lt;b&gt;\" Path=\"12x\"/></Items>"
        "<Items Name=\"二\"><Items Name=\"内\"><Item Name=\"c\" Path=\"\"/></Items></Items>"
        "</Effect><Other/></AudioRack>";
    const char* const tokens[] = {"<",           ">",     "/",        "\"",      "=",
                                  "&",           "&amp;", "<Item ",   "<Items ", "</Items>",
                                  "Collapse=\"", "\xff",  "\xe4\xb8", "]]>",     "<!--"};
    std::mt19937 rng(20261210);
    int loaded = 0;
    for (int round = 0; round < 500; ++round) {
        std::string text = base;
        for (int e = 1 + static_cast<int>(rng() % 3); e > 0; --e) {
            const size_t at = rng() % text.size();
            switch (rng() % 3) {
                case 0:
                    text[at] = static_cast<char>(rng());
                    break;
                case 1:
                    text.erase(at, 1 + rng() % 6);
                    break;
                default:
                    text.insert(at, tokens[rng() % std::size(tokens)]);
            }
        }
        Write(data / "EffectList.xml", text);
        CEffectListStore store(Files());
        if (store.Load() != EffectListState::kLoaded) {
            EXPECT_FALSE(store.Save());
            EXPECT_EQ(Read(data / "EffectList.xml"), text);
            continue;
        }
        ++loaded;
        ASSERT_TRUE(store.Save()) << text;
        CEffectListStore again(Files());
        ASSERT_EQ(again.Load(), EffectListState::kLoaded) << text;
        ASSERT_EQ(DescribeDeep(again.Root()), DescribeDeep(store.Root())) << text;
    }
    EXPECT_GT(loaded, 30);
}
