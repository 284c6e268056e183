// The card worker: awaited exchanges off the UI thread, in order, with results back on the UI
// thread; the workspace's flushes and the session exchanges running through it.
#include <gtest/gtest.h>

#include <thread>

#include "CardConnection.h"
#include "CardFixture.h"
#include "CardWorker.h"
#include "ConnectionEvents.h"
#include "FramesLog.h"
#include "IFlushTimerOwner.h"
#include "ParamEntries.h"
#include "ParamTables.h"
#include "WorkSpace.h"

namespace {

using namespace std::chrono;

TEST(CardWorker, RunsJobsInOrderAndAnswersOnTheUiThread) {
    ccm_util::CManualDispatcher ui;
    ccm_util::CScopedDispatcher scoped(&ui);
    card::CCardWorker worker;
    std::vector<int> ran;  // written by the worker only
    std::vector<std::pair<int, bool>> answered;
    const auto uiThread = std::this_thread::get_id();
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(worker.Submit([&ran, i] {
            ran.push_back(i);
            return i % 3 != 0;
        },
                                  [&, i](bool ok) {
                                      EXPECT_EQ(std::this_thread::get_id(), uiThread);
                                      answered.emplace_back(i, ok);
                                  }));
    }
    ASSERT_TRUE(worker.WaitIdle(5000));
    EXPECT_TRUE(answered.empty());  // nothing reaches the UI until it pumps
    ui.Pump();
    ASSERT_EQ(answered.size(), 20u);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(ran[static_cast<size_t>(i)], i);
        EXPECT_EQ(answered[static_cast<size_t>(i)], std::make_pair(i, i % 3 != 0));
    }
}

TEST(CardWorker, AnswersNotYetDeliveredDieWithTheWorker) {
    ccm_util::CManualDispatcher ui;
    ccm_util::CScopedDispatcher scoped(&ui);
    int delivered = 0;
    std::atomic<int> started{0};
    {
        card::CCardWorker worker;
        worker.Submit([] { return true; }, [&](bool) { ++delivered; });
        ASSERT_TRUE(worker.WaitIdle(5000));
        // One job in hand when the worker goes (a card slow to answer), one behind it that never
        // runs: the destructor waits for the first and drops the second.
        worker.Submit(
            [&] {
                ++started;
                std::this_thread::sleep_for(milliseconds(200));
                return true;
            },
            [&](bool) { ++delivered; });
        worker.Submit([&] { return ++started > 0; }, [&](bool) { ++delivered; });
        while (started == 0) std::this_thread::sleep_for(milliseconds(1));
    }
    EXPECT_EQ(started, 1);
    ui.Pump();  // the answers queued before the end reach nothing
    EXPECT_EQ(delivered, 0);
}

// A workspace and a connection whose awaited exchanges go through a card worker, as the panel's.
class WorkerConnectionTest : public CardFixture {
protected:
    void ConfigureCard(vcard::ServerOptions& o) override { o.framesLog = dir.Path() / "frames.log"; }

    void SetUp() override {
        openOnSetUp = false;
        CardFixture::SetUp();
        protocol.SetReplyTimeoutLimit(200);  // above the reply delays the tests play
        workspace = std::make_unique<CWorkSpace>(dir.Path() / "LyntConfigData.db", dir.Path());
        workspace->SetCardWorker(worker.get());
        connection = std::make_unique<CCardConnection>(builder, protocol, *workspace, loadingEffect);
        connection->SetCardWorker(worker.get());
        events = ccm_util::CEventSubscription::Of<EventDeviceChanged>([this](const EventDeviceChanged&) {
            changes.emplace_back(connection->IsConnected(), connection->IsConnecting());
        });
        ASSERT_TRUE(builder.OpenDevicePath(card->DevicePath()));
    }

    void TearDown() override {
        worker.reset();  // before what its answers refer to
        connection.reset();
        CardFixture::TearDown();
    }

    bool Settle() {
        return dispatcher.PumpUntil(
            [&] { return worker->Outstanding() == 0 && dispatcher.Pending() == 0; }, 10000);
    }

    std::vector<std::array<uint8_t, 64>> Host(int code) { return HostFrames(options.framesLog, code); }

    std::atomic<int> loadingEffect{0};
    std::unique_ptr<card::CCardWorker> worker = std::make_unique<card::CCardWorker>();
    std::unique_ptr<CWorkSpace> workspace;
    std::unique_ptr<CCardConnection> connection;
    ccm_util::CEventSubscription events;
    std::vector<std::pair<bool, bool>> changes;  // connected, connecting
};

TEST_F(WorkerConnectionTest, StartUpRunsOffTheCallerAndSendsTheSameFrames) {
    card->SetReplyDelayMs(30);
    // The caller is back before the card could have answered the first exchange.
    EXPECT_TRUE(connection->OnDeviceConnected());
    EXPECT_TRUE(connection->IsConnecting());
    EXPECT_FALSE(connection->IsConnected());
    EXPECT_TRUE(connection->OnDeviceConnected());  // a second ask while connecting adds nothing
    ASSERT_TRUE(Settle());
    EXPECT_TRUE(connection->IsConnected());
    EXPECT_FALSE(connection->IsConnecting());
    EXPECT_TRUE(connection->KeepAliveRunning());
    // connecting, then connected: the window follows both.
    EXPECT_EQ(changes, (std::vector<std::pair<bool, bool>>{{false, true}, {true, false}}));

    std::vector<int> codes;
    for (const auto& f : HostFrames(options.framesLog)) codes.push_back(f[0]);
    ASSERT_GE(codes.size(), 5u);
    EXPECT_EQ(codes[0], card::CMD_KEY_EXCHANGE);
    EXPECT_EQ(codes[1], card::CMD_HOST_STATE);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), card::CMD_KEY_EXCHANGE), 1);
    std::map<int, int> pushed;
    for (const auto& f : Host(card::CMD_SET_PARAMS)) {
        card::DecodeParamEntries(f, [&](const card::ParamEntry& e) { pushed[e.id] = e.value; });
    }
    EXPECT_EQ(pushed.size(), 47u);
}

TEST_F(WorkerConnectionTest, ASilentCardEndsConnectingAsAbsent) {
    card->SetDropRepliesPct(100);
    connection->OnDeviceConnected();
    EXPECT_TRUE(connection->IsConnecting());
    ASSERT_TRUE(Settle());
    EXPECT_FALSE(connection->IsConnecting());
    EXPECT_FALSE(connection->IsConnected());
    EXPECT_EQ(changes.back(), std::make_pair(false, false));
    EXPECT_TRUE(Host(card::CMD_SET_PARAMS).empty());
}

TEST_F(WorkerConnectionTest, AnAnswerThatComesAfterTheSessionEndedChangesNothing) {
    card->SetReplyDelayMs(30);
    connection->OnDeviceConnected();
    connection->EndSession();  // the window closed while the card was still answering
    ASSERT_TRUE(Settle());
    EXPECT_FALSE(connection->IsConnected());
    EXPECT_FALSE(connection->KeepAliveRunning());
    EXPECT_TRUE(Host(card::CMD_SET_PARAMS).empty());
    EXPECT_EQ(ReadCard([](auto& m) { return m.HostState(); }), 0);
}

TEST_F(WorkerConnectionTest, EditsMadeWhileAFlushIsOnItsWayFollowAsOneBatch) {
    connection->OnDeviceConnected();
    ASSERT_TRUE(Settle());
    const size_t before = Host(card::CMD_SET_PARAMS).size();
    card->SetReplyDelayMs(50);
    workspace->SetParam(30, 10);  // without a flush timer each edit goes out at once
    EXPECT_TRUE(workspace->IsFlushInFlight());
    for (int v = 11; v <= 40; ++v) {
        workspace->SetParam(30, v);
        workspace->SetParam(31, v);
    }
    ASSERT_TRUE(Settle());
    auto frames = Host(card::CMD_SET_PARAMS);
    EXPECT_EQ(frames.size() - before, 2u);
    EXPECT_EQ(ReadCard([](auto& m) { return m.Params()[30]; }), 40);
    EXPECT_EQ(ReadCard([](auto& m) { return m.Params()[31]; }), 40);
    EXPECT_TRUE(workspace->Pending().empty());
}

TEST_F(WorkerConnectionTest, AFailedFlushKeepsOnlyValuesNothingReplaced) {
    connection->OnDeviceConnected();
    ASSERT_TRUE(Settle());
    card->SetDropRepliesPct(100);
    workspace->SetParam(30, 10);  // without a flush timer each edit goes out at once
    workspace->SetParam(31, 11);
    workspace->SetParam(31, 21);  // a newer edit while the failing flush is on its way  // a newer edit while the failing flush is on its way
    ASSERT_TRUE(Settle());
    EXPECT_EQ(workspace->Pending(), (std::map<int, int>{{30, 10}, {31, 21}}));

    // A new effect replaces whatever was pending: a stale failure brings nothing back.
    workspace->SetParam(30, 12);
    workspace->ApplyBuiltinEffect(1);
    ASSERT_TRUE(Settle());
    EXPECT_EQ(workspace->Pending().count(30), 0u);
    EXPECT_EQ(workspace->Pending().count(31), 0u);
    EXPECT_EQ(workspace->Pending().count(model::kParamEffectNumber), 1u);  // the effect waits for the card
}

// A queued flush is not a flush answered: who waits for the edits made so far learns the
// card's answer to the frames that carry them, whether they went at once, behind a flush on its
// way, or failed.
TEST_F(WorkerConnectionTest, WaitersLearnTheAnswerToTheFramesThatCarryTheirEdits) {
    connection->OnDeviceConnected();
    ASSERT_TRUE(Settle());
    std::vector<std::pair<std::string, bool>> told;
    auto note = [&told](std::string who) {
        return [&told, who](bool sent) { told.emplace_back(who, sent); };
    };
    workspace->WhenSent(note("idle"));  // nothing waits: told at once
    card->SetReplyDelayMs(60);
    workspace->SetParam(30, 10);
    ASSERT_TRUE(workspace->IsFlushInFlight());
    workspace->WhenSent(note("first"));
    workspace->SetParam(31, 20);  // waits behind the flush on its way
    workspace->WhenSent(note("second"));
    EXPECT_EQ(told.size(), 1u) << "a queued flush told as done";
    ASSERT_TRUE(Settle());
    ASSERT_EQ(told.size(), 3u);
    EXPECT_EQ(told[1], std::make_pair(std::string("first"), true));
    EXPECT_EQ(told[2], std::make_pair(std::string("second"), true));
    EXPECT_EQ(ReadCard([](auto& m) { return m.Params()[31]; }), 20);

    // The card falls silent: the edit's waiter is told it failed, once the tries are over.
    card->SetReplyDelayMs(0);
    card->SetMuted(true);
    workspace->SetParam(32, 7);
    workspace->WhenSent(note("silent"));
    EXPECT_EQ(told.size(), 3u);
    ASSERT_TRUE(Settle());
    ASSERT_EQ(told.size(), 4u);
    EXPECT_EQ(told[3], std::make_pair(std::string("silent"), false));
    EXPECT_NE(ReadCard([](auto& m) { return m.Params()[32]; }), 7);
    card->SetMuted(false);
}

// While a file loads into the card or its firmware is written, edits wait for the line and go
// once it is free; a slot store is refused.
TEST_F(WorkerConnectionTest, EditsWaitWhileTheLineIsHeld) {
    connection->OnDeviceConnected();
    ASSERT_TRUE(Settle());
    std::atomic<int> upgrading{0};
    workspace->SetLineFlags(&loadingEffect, &upgrading);
    struct : IFlushTimerOwner {
        void StartTimer(uint32_t, uint32_t) override { armed = true; }
        void StopTimer(uint32_t) override { armed = false; }
        bool armed = false;
    } timer;
    workspace->SetFlushTimerOwner(&timer);
    const size_t before = Host(card::CMD_SET_PARAMS).size();
    upgrading = 1;
    EXPECT_NE(workspace->LineBusyReason(), nullptr);
    workspace->SetParam(30, 33);
    bool sent = false;
    workspace->WhenSent([&](bool ok) { sent = ok; });
    bool stored = true;
    EXPECT_FALSE(workspace->StoreToSlot(1, [&](bool ok) { stored = ok; }));
    EXPECT_FALSE(stored);
    ASSERT_TRUE(Settle());
    EXPECT_EQ(Host(card::CMD_SET_PARAMS).size(), before);
    EXPECT_TRUE(timer.armed) << "nothing would send the held edit later";
    workspace->OnFlushTimer(CWorkSpace::kFlushTimerId);  // still held
    ASSERT_TRUE(Settle());
    EXPECT_EQ(Host(card::CMD_SET_PARAMS).size(), before);
    EXPECT_FALSE(sent);

    upgrading = 0;
    loadingEffect = 1;  // a clip now
    workspace->OnFlushTimer(CWorkSpace::kFlushTimerId);
    ASSERT_TRUE(Settle());
    EXPECT_EQ(Host(card::CMD_SET_PARAMS).size(), before);
    loadingEffect = 0;
    workspace->OnFlushTimer(CWorkSpace::kFlushTimerId);
    ASSERT_TRUE(Settle());
    EXPECT_EQ(Host(card::CMD_SET_PARAMS).size(), before + 1);
    EXPECT_TRUE(sent);
    EXPECT_EQ(ReadCard([](auto& m) { return m.Params()[30]; }), 33);
    workspace->SetFlushTimerOwner(nullptr);
}

}  // namespace
