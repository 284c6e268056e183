#include <chrono>
#include <thread>

#include "FlushTimerThread.h"
#include "ModelTestSupport.h"
#include "ParamBatch.h"
#include "QVAudioEvents.h"
#include "common/Device/FrameChecksum.h"

namespace {

using namespace modeltest;
using card::Frame;

TEST_F(WorkSpaceCardTest, BurstAfterAQuietSecondSendsTheFirstEditAtOnceAndTheLastOneLater) {
    ws->SetParam(30, 50);
    auto frames = SetParamsFrames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(Entries(frames[0]), (std::vector<std::pair<int, int>>{{30, 50}}));
    EXPECT_FALSE(timer.armed);

    now += 50;
    ws->SetParam(30, 60);
    now += 50;
    ws->SetParam(30, 70);
    EXPECT_EQ(SetParamsFrames().size(), 1u) << "edits within 500 ms wait for the timer";
    EXPECT_TRUE(timer.armed);
    EXPECT_EQ(timer.lastId, CWorkSpace::kFlushTimerId);
    EXPECT_EQ(timer.lastPeriod, 500u);

    now += 500;
    ws->OnFlushTimer(CWorkSpace::kFlushTimerId);
    frames = SetParamsFrames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(Entries(frames[1]), (std::vector<std::pair<int, int>>{{30, 70}}));
    EXPECT_EQ(frames[1][62], 1);
    EXPECT_FALSE(timer.armed);
    EXPECT_EQ(CardParam(30), 70);
    EXPECT_TRUE(ws->Pending().empty());
}

TEST_F(WorkSpaceCardTest, TheThreadTimerSendsTheLastValueHalfASecondAfterTheLastEdit) {
    CWorkSpace& w = *ws;
    CFlushTimerThread realTimer([&w](uint32_t id) { w.OnFlushTimer(id); });
    w.SetFlushTimerOwner(&realTimer);
    w.SetClock(nullptr);  // the real tick

    w.SetParam(30, 50);
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    w.SetParam(30, 60);
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    w.SetParam(30, 70);
    const auto lastEdit = std::chrono::steady_clock::now();
    ASSERT_TRUE(dispatcher.PumpUntil([&] { return w.Pending().empty(); }, 3000));
    const auto waited = std::chrono::steady_clock::now() - lastEdit;
    EXPECT_GE(waited, std::chrono::milliseconds(450));
    EXPECT_LT(waited, std::chrono::milliseconds(1500));

    auto frames = TimedHostFrames(card::CMD_SET_PARAMS);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(Entries(frames[0].second), (std::vector<std::pair<int, int>>{{30, 50}}));
    EXPECT_EQ(Entries(frames[1].second), (std::vector<std::pair<int, int>>{{30, 70}}));
    EXPECT_GE(frames[1].first - frames[0].first, 450 + 80 - 20);
    w.SetFlushTimerOwner(nullptr);
}

TEST_F(WorkSpaceCardTest, AnEditThatChangesNothingOrComesWithoutACardSendsNothing) {
    ws->SetParam(30, ws->GetParam(30));
    EXPECT_TRUE(ws->Pending().empty());
    ws->SetConnected(false);
    ws->SetParam(30, 12);
    EXPECT_EQ(ws->GetParam(30), 12);
    EXPECT_TRUE(ws->Pending().empty());
    ws->SetParam(47, 1);  // no such parameter
    EXPECT_EQ(ws->GetParam(47), 0);
    EXPECT_TRUE(SetParamsFrames().empty());
}

TEST_F(WorkSpaceCardTest, SuspendedFlushQueuesWithoutSending) {
    ws->SetFlushSuspended(true);
    ws->SetParam(30, 5);
    EXPECT_EQ(ws->Pending().size(), 1u);
    EXPECT_FALSE(timer.armed);
    EXPECT_TRUE(SetParamsFrames().empty());
    ws->SetFlushSuspended(false);
    EXPECT_TRUE(ws->FlushPending());
    EXPECT_EQ(CardParam(30), 5);
}

TEST_F(WorkSpaceCardTest, AFailedFlushKeepsItsEntriesForTheNextOne) {
    card->SetDropRepliesPct(100);
    ws->SetParam(31, 44);
    EXPECT_EQ(ws->Pending().size(), 1u);
    card->SetDropRepliesPct(0);
    now += 1000;
    ws->SetParam(32, 55);
    EXPECT_TRUE(ws->Pending().empty());
    EXPECT_EQ(CardParam(31), 44);
    EXPECT_EQ(CardParam(32), 55);
}

// A knob turned on the card after an edit the silent card did not take: the knob's value stands
// on both sides. The failed edit used to go with the next flush and undo the knob on the card
// while the panel showed the knob's value.
TEST_F(WorkSpaceCardTest, AKnobAfterAFailedEditWinsOnBothSides) {
    card->SetMuted(true);
    ws->SetParam(43, 52);
    EXPECT_EQ(ws->Pending().size(), 1u);
    card->SetMuted(false);
    EventLog events;
    card->TurnKnob(43, 12);
    ASSERT_TRUE(dispatcher.PumpUntil([&] { return !events.changes.empty(); }, 2000));
    now += 1000;
    ws->SetParam(31, 7);  // the next flush
    EXPECT_EQ(ws->GetParam(43), 12);
    EXPECT_EQ(CardParam(43), 12);
    EXPECT_EQ(CardParam(31), 7);
}

TEST(ParamBatch, SplitsAt19EntriesAndMarksTheLastFrameAtByte62) {
    std::map<int, int> pending;
    for (int id = 0; id < 38; ++id)
        pending[id] = id * 100;  // values above 8 bits too
    auto frames = model::BuildSetParamsFrames(pending);
    ASSERT_EQ(frames.size(), 2u);
    for (int f = 0; f < 2; ++f) {
        EXPECT_EQ(frames[f][0], card::CMD_SET_PARAMS);
        EXPECT_EQ(frames[f][2], f);
        EXPECT_EQ(frames[f][4], 19);
        EXPECT_EQ(frames[f][62], f == 1 ? 1 : 0);
    }
    // id 20 = value 2000 = 0x7D0: group nibble 1, bits 8-11 = 7, low byte 0xD0.
    EXPECT_EQ(frames[1][5], 19);
    EXPECT_EQ(frames[1][5 + 3], 20);
    EXPECT_EQ(frames[1][6 + 3], 0x17);
    EXPECT_EQ(frames[1][7 + 3], 0xD0);

    pending.erase(37);
    pending.erase(36);
    pending.erase(35);  // 35 entries: 19 + 16
    frames = model::BuildSetParamsFrames(pending);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1][4], 16);
    EXPECT_TRUE(model::BuildSetParamsFrames({}).empty());
}

TEST_F(WorkSpaceCardTest, AFullPushBringsEveryParameterToTheCard) {
    ASSERT_TRUE(ws->PushParams(true, true));
    EXPECT_EQ(SetParamsFrames().size(), 3u);  // 19 + 19 + 9
    for (int id = 0; id < model::kParamCount; ++id) {
        EXPECT_EQ(CardParam(id), ws->GetParam(id) & 0x0FFF) << "id " << id;
    }
}

TEST_F(WorkSpaceCardTest, ExciterBalanceSetsBassOrTreble) {
    struct Row {
        int position, bass, treble;
    };
    for (Row r : {Row{-10, 200, 100}, Row{0, 100, 100}, Row{10, 100, 200}, Row{-3, 130, 100},
                  Row{99, 100, 200}}) {
        now += 1000;
        ws->SetExciterBalance(r.position);
        EXPECT_EQ(ws->GetParam(7), r.bass) << r.position;
        EXPECT_EQ(ws->GetParam(8), r.treble) << r.position;
        EXPECT_EQ(CardParam(7), r.bass) << r.position;
        EXPECT_EQ(CardParam(8), r.treble) << r.position;
    }
}

Frame Report(std::vector<std::array<int, 3>> entries, int count = -1) {
    Frame f{};
    f[0] = card::RPT_PARAMS;
    f[4] = static_cast<uint8_t>(count < 0 ? entries.size() : count);
    for (size_t i = 0; i < entries.size(); ++i) {
        f[5 + 3 * i] = static_cast<uint8_t>(entries[i][0]);
        f[6 + 3 * i] = static_cast<uint8_t>(entries[i][1]);
        f[7 + 3 * i] = static_cast<uint8_t>(entries[i][2]);
    }
    f[63] = FrameChecksum(f.data(), 63);
    return f;
}

struct ReportCase {
    const char* name;
    std::vector<std::array<int, 3>> entries;  // id, middle byte, last byte
    int id;
    int expected;
};

void PrintTo(const ReportCase& c, std::ostream* os) {
    *os << c.name;
}

class ReportTest : public WorkSpaceCardTest, public ::testing::WithParamInterface<ReportCase> {};

TEST_P(ReportTest, StoresTheReportedValue) {
    EventLog events;
    ccm_util::EventBus::Instance().Fire(EventRecvData(Report(GetParam().entries)));
    EXPECT_EQ(ws->GetParam(GetParam().id), GetParam().expected);
    ASSERT_FALSE(events.changes.empty());
    EXPECT_EQ(events.changes.back().back(),
              (std::pair<int32_t, int32_t>{GetParam().id, GetParam().expected}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReportTest,
    ::testing::Values(ReportCase{"MonitorLevelInQuarterSteps", {{1, 0x10, 0x19}}, 1, 100},
                      ReportCase{"MonitorOffKeepsItsBit", {{1, 0x10, 0x99}}, 1, 0x80 | 100},
                      ReportCase{"MicrophoneInQuarterSteps", {{0, 0x10, 0x05}}, 0, 20},
                      ReportCase{"PhoneLiveInQuarterSteps", {{38, 0x10, 0x84}}, 38, 0x80 | 16},
                      ReportCase{"OtherVolumesAsTheyCome", {{30, 0x10, 0x19}}, 30, 25},
                      ReportCase{"TwelveBitValueUpperNibbleIgnored", {{28, 0xF1, 0x02}}, 28, 0x102},
                      ReportCase{"DownloadedEffectNumberOnlyStored", {{6, 0x10, 9}}, 6, 9}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WorkSpaceCardTest, ReportOfABuiltinNumberLoadsThatEffectAndClearsThePresetMarks) {
    EventLog events;
    ASSERT_TRUE(ws->ApplyBuiltinEffect(1));  // "户外"
    ws->SetParam(9, 3);
    ccm_util::EventBus::Instance().Fire(EventRecvData(Report({{6, 0x10, 4}})));
    EXPECT_EQ(model::RecordText(ws->CurrentEffect().name), u"原声");
    EXPECT_EQ(ws->GetParam(9), 100);
    EXPECT_EQ(ws->GetParam(6), 4);
    EXPECT_EQ(events.presetClears, 0) << "posted, not fired";
    dispatcher.Pump();
    EXPECT_EQ(events.presetClears, 1);

    ccm_util::EventBus::Instance().Fire(EventRecvData(Report({{6, 0x10, 9}})));
    dispatcher.Pump();
    EXPECT_EQ(events.presetClears, 1);
    EXPECT_EQ(model::RecordText(ws->CurrentEffect().name), u"原声");
}

TEST_F(WorkSpaceCardTest, AnUnknownIdStopsTheReportWithoutEvents) {
    EventLog events;
    FakeBinder binder({30});
    ws->RegisterBinder(&binder);
    ccm_util::EventBus::Instance().Fire(
        EventRecvData(Report({{30, 0x10, 40}, {50, 0x10, 1}, {31, 0x10, 2}})));
    EXPECT_EQ(ws->GetParam(30), 40);
    EXPECT_NE(ws->GetParam(31), 2);
    EXPECT_TRUE(events.changes.empty());
    EXPECT_EQ(binder.shown, (std::vector<std::pair<int, int>>{{30, 40}}));
    ws->UnregisterBinder(&binder);
}

TEST_F(WorkSpaceCardTest, ACountPastTheFrameEndIsCutTo19Entries) {
    EventLog events;
    std::vector<std::array<int, 3>> entries;
    for (int i = 0; i < 19; ++i)
        entries.push_back({9 + (i % 15), 0x10, i});
    ccm_util::EventBus::Instance().Fire(EventRecvData(Report(entries, 255)));
    ASSERT_EQ(events.changes.size(), 1u);
    EXPECT_EQ(events.changes[0].size(), 19u);
}

TEST_F(WorkSpaceCardTest, AKnobTurnedOnTheCardReachesBinderAndEvent) {
    EventLog events;
    FakeBinder binder({1, 9, 30});
    ws->RegisterBinder(&binder);
    card->TurnKnob(1, 0x19);
    ASSERT_TRUE(dispatcher.PumpUntil([&] { return !events.changes.empty(); }, 2000));
    EXPECT_EQ(ws->GetParam(1), 100);
    // The knob, then RefreshControls: every refreshable bound id and the 15 equaliser values.
    ASSERT_GE(binder.shown.size(), 3u);
    EXPECT_EQ(binder.shown[0], (std::pair<int, int>{1, 100}));
    ASSERT_EQ(events.changes.size(), 2u);
    EXPECT_EQ(events.changes[0].size(), 15u);
    EXPECT_EQ(events.changes[1], (std::vector<std::pair<int32_t, int32_t>>{{1, 100}}));
    ws->UnregisterBinder(&binder);
}

TEST_F(WorkSpaceCardTest, TheLastRegisteredBinderShowsValuesUntilItGoes) {
    FakeBinder page({30}), dialog({30});
    ws->RegisterBinder(&page);
    ws->RegisterBinder(&dialog);
    ws->RefreshControls();
    EXPECT_TRUE(page.shown.empty());
    EXPECT_EQ(dialog.shown.size(), 1u);
    ws->UnregisterBinder(&dialog);
    ws->RefreshControls();
    EXPECT_EQ(page.shown.size(), 1u);
    ws->UnregisterBinder(&page);
    EXPECT_EQ(ws->ActiveBinder(), nullptr);
}

TEST_F(WorkSpaceCardTest, EqualiserEditsAndLevelFramesReachTheUi) {
    EventLog events;
    ws->OnParamEdited(12, 77);
    ws->OnParamEdited(30, 77);
    ASSERT_EQ(events.changes.size(), 1u);
    EXPECT_EQ(events.changes[0], (std::vector<std::pair<int32_t, int32_t>>{{12, 77}}));

    Frame levels{};
    levels[0] = card::RPT_LEVELS;
    ccm_util::EventBus::Instance().Fire(EventRecvData(levels));
    EXPECT_EQ(events.levelFrames, 1);
    ws->SetStarted(false);
    ccm_util::EventBus::Instance().Fire(EventRecvData(levels));
    EXPECT_EQ(events.levelFrames, 1);
}

}  // namespace
