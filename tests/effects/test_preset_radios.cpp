// The preset radios' id arithmetic and the captions of custom presets.
#include <gtest/gtest.h>

#include "PresetRadios.h"

namespace {

model::GroupPresetRecord Preset(std::u16string_view name, int count) {
    model::GroupPresetRecord r{};
    model::SetRecordText(r.name, name);
    r.count = count;
    return r;
}

}  // namespace

TEST(PresetRadios, IdsNameGroupAndPosition) {
    ASSERT_TRUE(effects::PresetRadioFromId(11201));
    EXPECT_EQ(effects::PresetRadioFromId(11201)->group, 2);
    EXPECT_EQ(effects::PresetRadioFromId(11201)->position, 1);
    EXPECT_EQ(effects::PresetRadioFromId(11308)->group, 3);
    EXPECT_EQ(effects::PresetRadioFromId(11308)->position, 8);
    EXPECT_FALSE(effects::PresetRadioFromId(10999));
    EXPECT_FALSE(effects::PresetRadioFromId(11601));
    for (int id : {11101, 11205, 11308}) {
        const auto r = effects::PresetRadioFromId(id);
        EXPECT_EQ(effects::PresetRadioId(r->group, r->position), id);
    }
}

TEST(PresetRadios, OnlyAnAppliedCustomPresetIsMarked) {
    EXPECT_TRUE(effects::MarksPreset(false, 1));
    EXPECT_TRUE(effects::MarksPreset(false, 4));
    EXPECT_FALSE(effects::MarksPreset(false, 5));
    EXPECT_FALSE(effects::MarksPreset(false, 8));
    EXPECT_TRUE(effects::MarksPreset(true, 5));
}

TEST(PresetRadios, CustomCaptionsAreShortenedAndSkipUnsavedRecords) {
    std::vector<model::GroupPresetRecord> list(5, Preset(u"named", 5));
    list.push_back(Preset(u"五个字名称", 5));                   // position 5: exactly five, kept
    list.push_back(Preset(u"", 0));                             // position 6: never saved
    list.push_back(Preset(u"六个字的名称", 5));                 // position 7: shortened
    const auto captions = effects::CustomPresetCaptions(list);  // position 8 missing
    ASSERT_EQ(captions.size(), 2u);
    EXPECT_EQ(captions[0].position, 5);
    EXPECT_EQ(captions[0].text, u"五个字名称");
    EXPECT_EQ(captions[1].position, 7);
    EXPECT_EQ(captions[1].text, u"六个字的..");
    EXPECT_EQ(captions[1].tip, u"六个字的名称");
}
