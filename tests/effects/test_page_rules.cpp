// The effects page's rules that need no window: the view of the current effect, the buttons'
// menus and captions, the level meters.
#include <gtest/gtest.h>

#include <cstring>

#include "ButtonCaption.h"
#include "EffectMenu.h"
#include "EffectView.h"
#include "LevelMeters.h"

namespace {

using effects::Cover;

model::EffectRecord Record(int number, bool downloaded, const char16_t* source = u"") {
    model::EffectRecord r{};
    r.params[model::kParamEffectNumber] = number;
    r.downloaded = downloaded ? 1 : 0;
    r.slotTag = -1;
    std::char_traits<char16_t>::copy(r.source, source, std::char_traits<char16_t>::length(source));
    return r;
}

bool SameCovers(const effects::EffectCovers& a, const effects::EffectCovers& b) {
    return a.common == b.common && a.electric == b.electric && a.reverb == b.reverb &&
           a.save == b.save;
}

TEST(EffectView, NumbersRepeatEverySixteenAndDownloadsCoverAllButTheMixer) {
    for (int n = 0; n < 16; ++n) {
        EXPECT_TRUE(SameCovers(effects::CoversFor(n + 16, false), effects::CoversFor(n, false)))
            << n;
    }
    const auto two = effects::CoversFor(18, false);
    EXPECT_EQ(two.reverb, Cover::Shown);
    EXPECT_EQ(two.electric, Cover::Unchanged);
    EXPECT_EQ(two.common, Cover::Hidden);
    const auto eight = effects::CoversFor(8, false);
    EXPECT_EQ(eight.electric, Cover::Shown);
    EXPECT_EQ(eight.save, Cover::Hidden);
    // Effect 2 downloaded is not effect 2 of the card.
    const auto file = effects::CoversFor(2, true);
    EXPECT_EQ(file.common, Cover::Shown);
    EXPECT_EQ(file.reverb, Cover::Hidden);
    EXPECT_EQ(file.save, Cover::Hidden);
}

TEST(EffectView, CheckedButtonAndPage) {
    std::array<model::EffectRecord, 12> custom{};
    std::char_traits<char16_t>::copy(custom[4].source, u"123abc", 6);

    // Card effect 4 is the first device button, "原声".
    auto v = effects::DeriveEffectView(Record(4, false), custom);
    EXPECT_EQ(v.checkedButton, 0);
    EXPECT_EQ(v.effectPage, 0);
    EXPECT_TRUE(v.followVoiceTab);

    auto slot = Record(20, false);
    slot.slotTag = 3;  // custom slot 1: "自定义4", button 8
    EXPECT_EQ(effects::DeriveEffectView(slot, custom).checkedButton, 8);
    slot.slotTag = 14;
    v = effects::DeriveEffectView(slot, custom);
    EXPECT_EQ(v.checkedButton, -1);
    EXPECT_EQ(v.effectPage, 1);

    // A download stored in a My Effect is found by its source whatever the letter case.
    v = effects::DeriveEffectView(Record(130, true, u"123ABC"), custom);
    EXPECT_EQ(v.checkedButton, 11);
    EXPECT_EQ(v.effectPage, 1);
    EXPECT_FALSE(v.followVoiceTab);
    EXPECT_EQ(effects::DeriveEffectView(Record(6, true), custom).checkedButton, 6);
    // Unsaved slots have an empty source, which names no download.
    v = effects::DeriveEffectView(Record(130, true, u""), custom);
    EXPECT_EQ(v.checkedButton, -1);
    EXPECT_EQ(v.effectPage, -1);
}

TEST(EffectView, IdentifierToEffectNumber) {
    EXPECT_EQ(effects::EffectNumberOfIdentifier(u"123"), 130);
    EXPECT_EQ(effects::EffectNumberOfIdentifier(u"42_name.eff"), 49);
    EXPECT_EQ(effects::EffectNumberOfIdentifier(u"/home/u/.local/share/velora/CloudEff/5.eff"), 7);
    EXPECT_EQ(effects::EffectNumberOfIdentifier(u""), 7);
    // A number no effect has does not overflow into a plausible one.
    EXPECT_EQ(effects::EffectNumberOfIdentifier(u"99999999999999999999"), -1);
}

TEST(EffectMenu, WhoOffersWhat) {
    // Device effects: never the remote-control slots; only hotkeys, when they are offered.
    for (int i = 0; i < 7; ++i) {
        const auto plan = effects::PlanEffectMenu(i, true, true, false);
        EXPECT_TRUE(plan.show);
        EXPECT_FALSE(plan.saveToDevice);
        EXPECT_EQ(plan.hotkeyEntries, std::vector<int>{effects::kCmdSetHotkey});
    }
    EXPECT_FALSE(effects::PlanEffectMenu(3, true, false, false).show);
    // An unsaved My Effect has nothing to offer, a saved one the slots and its hotkey entries.
    EXPECT_FALSE(effects::PlanEffectMenu(9, false, true, true).show);
    const auto mine = effects::PlanEffectMenu(9, true, true, true);
    EXPECT_TRUE(mine.show);
    EXPECT_TRUE(mine.saveToDevice);
    EXPECT_EQ(mine.hotkeyEntries, (std::vector<int>{99, 100, 101}));
    EXPECT_FALSE(effects::PlanEffectMenu(19, true, true, true).show);
}

TEST(ButtonCaption, ShortensPastFourCharactersAndTipsTheWhole) {
    EXPECT_EQ(effects::MakeButtonCaption(u"自定义3").text, u"自定义3");
    const auto longName = effects::MakeButtonCaption(u"自定义13");
    EXPECT_EQ(longName.text, u"自定义..");
    EXPECT_EQ(longName.tip, u"自定义13");
    const auto withKey = effects::MakeButtonCaption(u"KTV", u"Ctrl+1");
    EXPECT_EQ(withKey.text, u"KTV..");
    EXPECT_EQ(withKey.tip, u"KTV(Ctrl+1)");
}

TEST(LevelMeters, ReportCountIsBoundedByTheMetersAndTheFrame) {
    std::array<uint8_t, 64> frame{};
    frame[4] = 9;
    for (int i = 0; i < 9; ++i) {
        frame[5 + 2 * i] = static_cast<uint8_t>(i + 1);
        frame[6 + 2 * i] = 0x01;  // 256 + i + 1
    }
    const auto levels = effects::ParseLevelReport(frame);
    ASSERT_EQ(levels.size(), 8u);
    EXPECT_EQ(levels[7], 256 + 8);
    // A short frame gives what it holds.
    EXPECT_EQ(effects::ParseLevelReport(std::span(frame).first(9)).size(), 2u);
    EXPECT_TRUE(effects::ParseLevelReport(std::span(frame).first(4)).empty());
}

TEST(LevelMeters, RiseAtOnceFallStepwiseThenRest) {
    effects::CLevelMeters m(40);
    EXPECT_TRUE(m.AtRest());
    m.SetLevel(2, 500);
    EXPECT_EQ(m.Shown(2), 500);
    EXPECT_TRUE(m.AtRest());  // a steady level needs no ticks
    m.SetLevel(2, 100);
    EXPECT_FALSE(m.AtRest());
    int ticks = 0;
    int last = m.Shown(2);
    while (m.Tick()) {
        EXPECT_EQ(last - m.Shown(2), 40);  // 500, 460, ... 140: one step per tick
        last = m.Shown(2);
        ++ticks;
    }
    EXPECT_EQ(ticks, 9);  // 400 in steps of 40; the tenth reaches rest
    EXPECT_EQ(m.Shown(2), 100);
    m.SetLevel(8, 900);  // no such meter
    m.SetLevel(0, 700);
    m.DropAll();
    EXPECT_EQ(m.Shown(0), 0);
    EXPECT_TRUE(m.AtRest());
}

}  // namespace
