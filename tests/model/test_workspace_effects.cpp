#include "EffectRecords.h"
#include "EffectStore.h"
#include "ModelTestSupport.h"
#include "profile/Profile.h"

namespace {

using namespace modeltest;
using model::EffectRecord;
using model::GroupPresetRecord;
using model::RecordText;

// The entries of every CMD_SET_PARAMS frame sent so far, in order.
std::vector<std::pair<int, int>> AllEntries(const std::vector<card::Frame>& frames) {
    std::vector<std::pair<int, int>> all;
    for (const auto& f : frames) {
        auto e = Entries(f);
        all.insert(all.end(), e.begin(), e.end());
    }
    return all;
}

int CountEffectParams() {
    int n = 0;
    for (const auto& d : model::ParamDescriptors())
        n += d.effect ? 1 : 0;
    return n;
}

TEST(WorkSpaceStart, WithoutSettingsTheCurrentEffectIsPlainAndCustomSlotsAreEmpty) {
    TempDir dir;
    CWorkSpace ws(dir.Path() / "missing.db", dir.Path());
    EXPECT_EQ(RecordText(ws.CurrentEffect().name), u"原声");
    EXPECT_EQ(ws.GetParam(6), 4);
    for (const EffectRecord& r : ws.CustomEffects())
        EXPECT_EQ(r.empty, 1);
    EXPECT_FALSE(ws.ApplyMyCustomEffect(0));
    EXPECT_EQ(ws.GroupPresets(0).size(), 1u);
    for (int g = 1; g <= 3; ++g) {
        ASSERT_EQ(ws.GroupPresets(g).size(), 10u);
        EXPECT_EQ(ws.GroupPresets(g)[5].count, 0);
    }
    EXPECT_EQ(ws.BuiltinEffectList()[5].slotTag, 0);
    EXPECT_EQ(ws.BuiltinEffectList()[6].slotTag, 1);
    EXPECT_TRUE(ws.DownloadedEffects().empty());
}

TEST_F(WorkSpaceCardTest, ABuiltinEffectIsSelectedByItsNumberAlone) {
    ASSERT_TRUE(ws->ApplyBuiltinEffect(1));  // "户外"
    auto frames = SetParamsFrames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(Entries(frames[0]), (std::vector<std::pair<int, int>>{{6, 0}}));
    EXPECT_EQ(ws->CurrentEffect().position, 1);
    EXPECT_EQ(RecordText(ws->CurrentEffect().name), u"户外");
    EXPECT_EQ(ws->GetParam(9), 120);
    EXPECT_EQ(ws->GetParam(0), 100) << "volumes do not travel with effects";
    EXPECT_FALSE(ws->ApplyBuiltinEffect(7));
}

// Selected by its number alone, each built-in effect leaves panel and card with the same values:
// the card (its own table of its effects) is the reference for the panel's built-in list.
TEST_F(WorkSpaceCardTest, EachBuiltinEffectLeavesPanelAndCardAlike) {
    for (int position : {1, 6, 2, 5, 0, 3, 4}) {
        ASSERT_TRUE(ws->ApplyBuiltinEffect(position));
        for (const auto& d : model::ParamDescriptors()) {
            if (d.effect) {
                EXPECT_EQ(CardParam(d.id), ws->GetParam(d.id))
                    << "position " << position << ", parameter " << d.id;
            }
        }
    }
}

TEST_F(WorkSpaceCardTest, ACustomEffectSavedOverKtvIsStoredAs0x42AndSentWhole) {
    ASSERT_TRUE(ws->ApplyBuiltinEffect(3));  // "KTV", number 2
    ws->SetParam(30, 33);
    ASSERT_TRUE(ws->SaveMyCustomEffect(4, u"我的KTV"));

    EffectRecord stored{};
    ASSERT_TRUE(model::CEffectStore(SettingsFile()).ReadMyCustomEffect(4, stored));
    EXPECT_EQ(stored.params[6], 0x42);
    EXPECT_EQ(stored.slotTag, 6);
    EXPECT_EQ(stored.params[30], 33);
    EXPECT_EQ(stored.empty, 0);
    EXPECT_EQ(RecordText(stored.name), u"我的KTV");

    ASSERT_TRUE(ws->ApplyBuiltinEffect(0));
    const size_t before = SetParamsFrames().size();
    ASSERT_TRUE(ws->ApplyMyCustomEffect(4));
    auto frames = SetParamsFrames();
    frames.erase(frames.begin(), frames.begin() + static_cast<long>(before));
    auto sent = AllEntries(frames);
    EXPECT_EQ(static_cast<int>(sent.size()), CountEffectParams());
    EXPECT_NE(std::find(sent.begin(), sent.end(), std::pair<int, int>{6, 0x42}), sent.end());
    EXPECT_EQ(CardParam(30), 33);
    EXPECT_EQ(ws->CurrentEffect().position, 4);
}

TEST_F(WorkSpaceCardTest, ACustomReverbPresetKeepsItsSwitchWithBit0x80) {
    ws->SetParam(29, 1);
    ASSERT_TRUE(ws->SaveCustomPreset(u"我的混响", 2, 0));
    GroupPresetRecord stored{};
    ASSERT_TRUE(model::CEffectStore(SettingsFile()).ReadCustomPreset(2, 0, stored));
    EXPECT_EQ(stored.values[0], 0x81);
    EXPECT_EQ(stored.count, 5);
    EXPECT_EQ(RecordText(stored.name), u"我的混响");

    ws->SetParam(29, 0);
    ASSERT_TRUE(ws->ApplyGroupPreset(2, 5));
    EXPECT_EQ(ws->GetParam(29), 0x81);
    EXPECT_EQ(CardParam(29), 0x81);

    // A later start finds it again.
    auto again = MakeWorkSpace();
    EXPECT_EQ(again->GroupPresets(2)[5].values[0], 0x81);
}

TEST_F(WorkSpaceCardTest, AnUnsavedCustomPresetIsRefusedAndChangesNothing) {
    const int before = ws->GetParam(30);
    EXPECT_FALSE(ws->ApplyGroupPreset(2, 6));
    EXPECT_FALSE(ws->ApplyGroupPreset(2, 10));
    EXPECT_FALSE(ws->ApplyGroupPreset(4, 0));
    EXPECT_EQ(ws->GetParam(30), before);
    EXPECT_TRUE(SetParamsFrames().empty());
    EXPECT_FALSE(ws->SaveCustomPreset(u"x", 0, 0)) << "the mixer group has no custom presets";
    EXPECT_FALSE(ws->SaveCustomPreset(u"x", 1, 4));
}

TEST(WorkSpacePresets, PresetNamesAreCheckedAgainstAllOtherRecordsOfTheGroup) {
    TempDir dir;
    CWorkSpace ws(dir.Path() / "LyntConfigData.db", dir.Path());
    EXPECT_TRUE(ws.PresetNameExists(1, 0, u"明亮"));
    EXPECT_FALSE(ws.PresetNameExists(1, 0, u"娃娃音"));
    ASSERT_TRUE(ws.SaveCustomPreset(u"低沉", 1, 2));
    EXPECT_FALSE(ws.PresetNameExists(1, 2, u"低沉")) << "the slot being overwritten";
    EXPECT_TRUE(ws.PresetNameExists(1, 0, u"低沉"));
    EXPECT_FALSE(ws.PresetNameExists(0, 0, u"恢复默认"));

    ws.SetSelectedPreset(1, 3);
    EXPECT_EQ(ws.GetSelectedPreset(1), 3);
    EXPECT_EQ(ws.GetSelectedPreset(2), -1);
}

TEST_F(WorkSpaceCardTest, RestoringAGroupTakesTheValuesOfTheCurrentCardEffect) {
    ASSERT_TRUE(ws->ApplyBuiltinEffect(1));  // "户外", number 0 at position 1
    ws->SetParam(9, 1);
    ws->SetParam(23, 1);
    ASSERT_TRUE(ws->RestoreGroupFromEffect(1));
    EXPECT_EQ(ws->GetParam(9), 120);
    EXPECT_EQ(ws->GetParam(23), 160);
    EXPECT_EQ(CardParam(23), 160);
}

TEST_F(WorkSpaceCardTest, RestoringAGroupOfAFileEffectReadsTheFileAgain) {
    const auto path = dir.Path() / "bright.eff";
    EffectFileParts parts;
    // Reverb group ids 29, 30, 32, 35, 36: numbers 30, 31, 33, 36, 37; an unrelated one between.
    parts.params = {{30, 0, 1, 1.0f},    {2, 0, 100, 50.0f}, {31, 0, 10, 5.0f},
                   {33, 0, 100, 20.0f}, {36, 0, 60, 30.0f}, {37, 0, 160, 80.0f}};
    parts.Write(path);
    const int monitor = ws->GetParam(1);
    ws->SetFileEffect(u"明亮", path);
    EXPECT_EQ(ws->GetParam(6), 164);
    EXPECT_EQ(ws->CurrentEffect().slotTag, -1);
    ASSERT_TRUE(ws->RestoreGroupFromEffect(2));
    EXPECT_EQ(ws->GetParam(29), 1);
    EXPECT_EQ(ws->GetParam(30), 50);
    EXPECT_EQ(ws->GetParam(32), 20);
    EXPECT_EQ(ws->GetParam(35), 30);
    EXPECT_EQ(ws->GetParam(36), 80);
    EXPECT_EQ(ws->GetParam(1), monitor) << "not a group id";
    EXPECT_EQ(CardParam(36), 80);

    // Without its file the group comes from the plain effect, as for any effect not of the card.
    std::filesystem::remove(path);
    ws->SetParam(30, 1);
    ASSERT_TRUE(ws->RestoreGroupFromEffect(2));
    EXPECT_EQ(ws->GetParam(30), 100);
    EXPECT_EQ(ws->GetParam(36), 28);
}

TEST_F(WorkSpaceCardTest, ADownloadedEffectsIndexIsNeverReadAsAFileInTheWorkingDirectory) {
    EffectFileParts parts;
    parts.params = {{30, 0, 1, 1.0f},
                    {31, 0, 10, 5.0f},
                    {33, 0, 100, 20.0f},
                    {36, 0, 60, 30.0f},
                    {37, 0, 160, 80.0f}};
    parts.Write(dir.Path() / "5");
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    ASSERT_TRUE(ws->SelectDownloadedEffect(5, u"云端"));
    ws->SetParam(30, 1);
    ws->SetParam(36, 1);
    const bool restored = ws->RestoreGroupFromEffect(2);
    std::filesystem::current_path(cwd);
    ASSERT_TRUE(restored);
    // The reverb group of the plain effect, not the file's 50, 20, 30, 80.
    EXPECT_EQ(ws->GetParam(30), 100);
    EXPECT_EQ(ws->GetParam(32), 85);
    EXPECT_EQ(ws->GetParam(35), 17);
    EXPECT_EQ(ws->GetParam(36), 28);
    EXPECT_EQ(CardParam(36), 28);
}

TEST_F(WorkSpaceCardTest, DownloadedEffectsAreSelectedByNumber) {
    ASSERT_TRUE(ws->SelectDownloadedEffect(4, u"云端"));
    EXPECT_EQ(ws->GetParam(6), 11);
    EXPECT_EQ(RecordText(ws->CurrentEffect().source), u"4");
    EXPECT_EQ(CardParam(6), 11);

    ASSERT_TRUE(ws->AddDownloadedToMyCustom(u"云端", u"3", 2));
    EXPECT_EQ(ws->CustomEffects()[2].params[6], 67);
    EXPECT_TRUE(ws->AddDownloadedToMyCustom(u"云端", u"3", 12)) << "no such slot: no change";
    EXPECT_FALSE(ws->AddDownloadedToMyCustom(u"", u"3", 2));
    ASSERT_TRUE(ws->ApplyMyCustomEffect(2));
    EXPECT_EQ(CardParam(6), 10);
    EXPECT_EQ(ws->GetParam(6), 67);
    EXPECT_EQ(ws->CurrentEffect().slotTag, 2);

    // After a reconnect a downloaded effect goes with the volumes and its number only.
    const size_t before = SetParamsFrames().size();
    ASSERT_TRUE(ws->PushParams(true, true));
    auto frames = SetParamsFrames();
    frames.erase(frames.begin(), frames.begin() + static_cast<long>(before));
    auto sent = AllEntries(frames);
    EXPECT_EQ(sent.size(), 16u);
    EXPECT_NE(std::find(sent.begin(), sent.end(), std::pair<int, int>{6, 10}), sent.end());
}

TEST_F(WorkSpaceCardTest, OperationsThatNeedTheCardFailWithoutIt) {
    ws->SetConnected(false);
    EffectRecord any{};
    EXPECT_FALSE(ws->SelectEffectNumber(3));
    EXPECT_FALSE(ws->SendEffectRecord(any));
    EXPECT_FALSE(ws->ApplyBuiltinEffect(2));
    EXPECT_EQ(RecordText(ws->CurrentEffect().name), u"闪避") << "the values change all the same";
    EXPECT_TRUE(ws->ApplyGroupPreset(3, 1));
    EXPECT_EQ(ws->GetParam(28), 248);
    EXPECT_TRUE(SetParamsFrames().empty());
}

TEST(WorkSpaceStorage, RecordsSurviveARestartAndDamagedOnesFallBackToDefaults) {
    TempDir dir;
    const auto settings = dir.Path() / "LyntConfigData.db";
    {
        CWorkSpace ws(settings, dir.Path());
        ASSERT_TRUE(ws.ApplyBuiltinEffect(4) == false);  // no card: values change, nothing sent
        ws.SetParam(33, 77);
        ASSERT_TRUE(ws.SaveCurrentEffect());
        ASSERT_TRUE(ws.SaveMyCustomEffect(0, u"一"));
        ASSERT_TRUE(ws.SaveMyCustomEffect(1, u"二"));
        EffectRecord withSource{};
        model::SetRecordText(withSource.source, u"9");
        ASSERT_TRUE(ws.SaveDeviceCustomEffect(1, withSource, 1));
        EXPECT_TRUE(ws.SaveDeviceCustomEffect(2, withSource, 1));
        EXPECT_FALSE(ws.SaveDeviceCustomEffect(-1, withSource, 1));
    }
    {
        CWorkSpace ws(settings, dir.Path());
        EXPECT_EQ(RecordText(ws.CurrentEffect().name), u"音乐");
        EXPECT_EQ(ws.GetParam(33), 77);
        EXPECT_EQ(RecordText(ws.CustomEffects()[1].name), u"二");
        EXPECT_EQ(ws.CustomEffects()[1].params[6], 0x43);
        EXPECT_EQ(RecordText(ws.BuiltinEffectList()[6].source), u"9");
        EXPECT_EQ(ws.BuiltinEffectList()[6].downloaded, 1);
        EXPECT_EQ(RecordText(ws.BuiltinEffectList()[6].name), u"自定义2");
        ASSERT_TRUE(ws.ResetDeviceCustomEffect(6));
        EXPECT_FALSE(ws.ResetDeviceCustomEffect(4));
    }
    // Hand-edited values whose sums no longer match read as missing.
    namespace pp = platform::profile;
    auto value = pp::ReadPrivateProfileValue(u"MyCustomEffect", u"1", settings);
    ASSERT_TRUE(value.has_value());
    std::u16string damaged = *value;
    damaged[10] = damaged[10] == u'0' ? u'1' : u'0';
    ASSERT_TRUE(pp::WritePrivateProfileString(u"MyCustomEffect", u"1", damaged, settings));
    ASSERT_TRUE(pp::WritePrivateProfileString(u"LastStatus", u"CurrentEffect", u"00FF", settings));
    {
        CWorkSpace ws(settings, dir.Path());
        EXPECT_EQ(RecordText(ws.CurrentEffect().name), u"原声");
        EXPECT_EQ(ws.CustomEffects()[1].empty, 1);
        EXPECT_EQ(RecordText(ws.CustomEffects()[0].name), u"一");
        EXPECT_EQ(ws.BuiltinEffectList()[6].downloaded, 0);
    }
}

TEST(WorkSpaceStorage, DownloadRecordsCountOnlyWhenTheirFileExists) {
    TempDir dir;
    const auto settings = dir.Path() / "LyntConfigData.db";
    std::filesystem::create_directories(dir.Path() / "CloudEff" / "流行");
    const auto kept = dir.Path() / "CloudEff" / "流行" / "a.eff";
    std::ofstream(kept) << "x";
    namespace pp = platform::profile;
    for (int i = 0; i < 3; ++i) {
        model::CloudEffectEntry e{};
        model::SetRecordText(e.name, u"效果" + model::DecimalText(i));
        model::SetRecordText(e.location, i == 1 ? model::TextFromPath(kept) : u"/nowhere/x.eff");
        e.downloaded = 1;
        ASSERT_TRUE(pp::WritePrivateProfileStruct(u"DownloadEffect", model::DecimalText(i), &e,
                                                  sizeof e, settings));
    }
    // A count far beyond the records a hand edit left there.
    ASSERT_TRUE(
        pp::WritePrivateProfileString(u"DownloadEffect", u"count", u"2000000000", settings));
    CWorkSpace ws(settings, dir.Path());
    ASSERT_EQ(ws.DownloadedEffects().size(), 1u);
    EXPECT_EQ(RecordText(ws.DownloadedEffects()[0].name), u"效果1");
}

class ReplacedFileTest : public WorkSpaceCardTest {
protected:
    void SetUp() override {
        WorkSpaceCardTest::SetUp();
        std::filesystem::create_directories(dir.Path() / "CloudEff" / "cat");
        inside = dir.Path() / "CloudEff" / "cat" / "inside.eff";
        outside = dir.Path() / "outside.eff";
        EffectFileParts{}.Write(inside);
        EffectFileParts{}.Write(outside);
    }

    // Custom slot `slot` refers to `file`; then the current effect moves on.
    void SaveFileEffect(int slot, const std::filesystem::path& file) {
        ws->SetFileEffect(u"文件", file);
        ASSERT_TRUE(ws->SaveMyCustomEffect(slot, u"文件"));
        EXPECT_EQ(ws->CustomEffects()[static_cast<size_t>(slot)].params[6], 150 + slot);
        ASSERT_TRUE(ws->ApplyBuiltinEffect(0));
    }

    std::filesystem::path inside, outside;
};

TEST_F(ReplacedFileTest, ReplacingACustomEffectDeletesItsDownloadedFile) {
    SaveFileEffect(3, inside);
    ASSERT_TRUE(ws->SaveMyCustomEffect(3, u"新"));
    EXPECT_FALSE(std::filesystem::exists(inside));
}

TEST_F(ReplacedFileTest, AFileOutsideCloudEffIsNeverDeleted) {
    SaveFileEffect(3, outside);
    ASSERT_TRUE(ws->SaveMyCustomEffect(3, u"新"));
    EXPECT_TRUE(std::filesystem::exists(outside));

    SaveFileEffect(4, dir.Path() / "CloudEff" / ".." / "outside.eff");
    ASSERT_TRUE(ws->SaveMyCustomEffect(4, u"新"));
    EXPECT_TRUE(std::filesystem::exists(outside));

    std::filesystem::create_symlink(outside, dir.Path() / "CloudEff" / "cat" / "link.eff");
    SaveFileEffect(5, dir.Path() / "CloudEff" / "cat" / "link.eff");
    ASSERT_TRUE(ws->SaveMyCustomEffect(5, u"新"));
    EXPECT_TRUE(std::filesystem::exists(outside));
}

TEST_F(ReplacedFileTest, AFileStillUsedElsewhereIsKept) {
    SaveFileEffect(3, inside);
    SaveFileEffect(4, inside);
    ASSERT_TRUE(ws->SaveMyCustomEffect(3, u"新"));
    EXPECT_TRUE(std::filesystem::exists(inside)) << "slot 4 still uses it";

    ws->SetFileEffect(u"文件", inside);
    ASSERT_TRUE(ws->SaveMyCustomEffect(4, u"同一个"));
    EXPECT_TRUE(std::filesystem::exists(inside)) << "the new record uses it";
}

// A name field keeps 63 units (15 for a preset) and never half of a character outside the basic
// plane: U+1F600 is the pair D83D DE00, which would otherwise be split at unit 63.
TEST(RecordText, LongNamesAreCutBetweenCharacters) {
    model::EffectRecord e{};
    model::SetRecordText(e.name, std::u16string(70, u'声'));
    EXPECT_EQ(model::RecordText(e.name), std::u16string(63, u'声'));
    const std::u16string pairAtTheCut = std::u16string(62, u'a') + u"\xD83D\xDE00" + u"b";
    model::SetRecordText(e.name, pairAtTheCut);
    EXPECT_EQ(model::RecordText(e.name), std::u16string(62, u'a'));
    EXPECT_EQ(e.name[62], u'\0');
    const std::u16string pairBefore = std::u16string(61, u'a') + u"\xD83D\xDE00" + u"b";
    model::SetRecordText(e.name, pairBefore);
    EXPECT_EQ(model::RecordText(e.name), pairBefore.substr(0, 63));
    model::GroupPresetRecord p{};
    model::SetRecordText(p.name, u"ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(model::RecordText(p.name), u"ABCDEFGHIJKLMNO");
    EXPECT_EQ(model::kEffectNameUnits, 63u);
    EXPECT_EQ(model::kPresetNameUnits, 15u);
}

}  // namespace
